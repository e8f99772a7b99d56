// nimbuscope-bridge-check <zip> [--search URL] [--api URL] [--map URL] [--stills URL]

#include "BridgeCheck.h"

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace nimbuscope;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nimbuscope-bridge-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NIMBUSCOPE_VERSION));
    BridgeConfig config;
    QCommandLineParser cli;
    cli.setApplicationDescription(
        QStringLiteral("Asks NOAA's current services what the saver's legacy-forms bridge asks "
                       "them, for one zip code, and prints what each answered."));
    cli.addHelpOption();
    cli.addVersionOption();
    cli.addPositionalArgument(QStringLiteral("zip"), QStringLiteral("a five-digit US zip code"));
    const QCommandLineOption search(QStringLiteral("search"), QStringLiteral("location search"),
                                    QStringLiteral("url"), config.locationSearchURL);
    const QCommandLineOption api(QStringLiteral("api"), QStringLiteral("api.weather.gov base"),
                                 QStringLiteral("url"), config.apiURL);
    const QCommandLineOption map(QStringLiteral("map"), QStringLiteral("map server base"),
                                 QStringLiteral("url"), config.mapServerURL);
    const QCommandLineOption stills(QStringLiteral("stills"), QStringLiteral("standard stills"),
                                    QStringLiteral("url"), config.stillsURL);
    cli.addOptions({search, api, map, stills});
    cli.process(app);
    if (cli.positionalArguments().size() != 1) {
        cli.showHelp(2);
    }
    config.locationSearchURL = cli.value(search);
    config.apiURL = cli.value(api);
    config.mapServerURL = cli.value(map);
    config.stillsURL = cli.value(stills);
    config.utcNow = [] { return QDateTime::currentDateTimeUtc(); };

    constexpr int kTimeoutMs = 30000;
    HttpBridgeTransport transport([] { return kTimeoutMs; });
    QTextStream out(stdout);
    BridgeCheck check(config, transport, out);
    return check.run(cli.positionalArguments().first()) ? 0 : 1;
}
