#include "AcquisitionRig.h"

#include "common/RegistryValue.h"

#include <QDir>
#include <QLabel>

namespace nimbuscope::test {

AcquisitionRig::AcquisitionRig()
    : settings(registry, platform, log), sys(platform, log, clock), list(log) {
    state.nimbuscopeTmp = world.tmp() + QStringLiteral("/Nimbuscope/tmp-tester");
    dataDir_ = state.nimbuscopeTmp + QStringLiteral("/data/");
    QDir().mkpath(dataDir_);
    dataFolder_ = FolderHandle::open(dataDir_);
    settings.loadRegistryValues();
    settings.saveZipCode(QString::fromLatin1(kZip));

    progress = std::make_unique<MyProgress>(&window, log);
    controls.window = &window;
    controls.progress = progress.get();
    controls.AsyncDownloadTimer = &AsyncDownloadTimer;
    // The labels are null-checked where shown; the one the tests look at is made.
    controls.RadarImagesMissing = new QLabel(&window);
    state.zipcode = QString::fromLatin1(kZip);
    window.show();

    auto fake = std::make_unique<FakeRetriever>();
    net = fake.get();
    myHTTPRetrieve.reset(std::move(fake));
    ada = std::make_unique<AcquireDataAsync>(AcquisitionServices{
        report, state, list, settings, log, clock, sys, myHTTPRetrieve,
        [this](bool skipCleanup) {
            ++endCalls;
            endSkipCleanup = skipCleanup;
            throw ProgramEnded{};
        },
        [] {}, [this](const QString& dir) { return dir == dataDir_ ? dataFolder_ : nullptr; },
        [this](QIODevice& device, const QByteArray& bytes) {
            return writeBody ? writeBody(device, bytes) : device.write(bytes);
        }});
}

void AcquisitionRig::setNumberSetting(const char* valueName, qint32 value) {
    storeRegistryValue(registry, HKEY_LOCAL_MACHINE, QLatin1String(RegistryValues::kProductKey),
                       QLatin1String(valueName), value);
    settings.loadRegistryValues();
}

bool AcquisitionRig::startPass(bool refreshLocation, const QString& zipcode) {
    list.initDisplayList(false, state.preloadImages);
    return ada->getWeatherRadar(state.zipcode, dataDir_, refreshLocation, zipcode);
}

void AcquisitionRig::runTicks() {
    for (int i = 0; i < 3000 && AsyncDownloadTimer.isEnabled(); ++i) {
        clock.advanceMs(100);
        ada->AsyncDownloadManager();
    }
}

void AcquisitionRig::serveLocation() {
    const QString page = QStringLiteral("http://forecast.weather.gov/MapClick.php?zoneid=KSZ040");
    const QByteArray bytes = fixtureBytes(QStringLiteral("absolute_radar_link.html"));
    net->serve(kZipCityURL,
               {{FakeRetriever::Running, FakeRetriever::Done}, bytes, page.toLatin1()});
    net->serve(page, bytes);
    net->serve(kConditionsURL, frameBody());
}

QStringList AcquisitionRig::serveList(const QString& product, int frames, int newestMinute) {
    QStringList out;
    QByteArray text;
    for (int i = frames - 1; i >= 0; --i) {
        const DateTime t = DateTime::fromParts(2026, 12, 5, 21, newestMinute).addMinutes(-5 * i);
        out << "ktwx.dd." + t.toQDateTime().toString(QStringLiteral("yyyyMMdd.HHmm")) + ".gif";
        text += frameURL(product, out.last()).toLatin1() + '\n';
    }
    net->serve(listURL(product), text);
    return out;
}

void AcquisitionRig::serveFrames(const QString& product, const QStringList& gifNames) {
    for (const QString& gif : gifNames) {
        net->serve(frameURL(product, gif), frameBody());
    }
}

void AcquisitionRig::serveEverything(int frames) {
    serveLocation();
    serveFrames(kShort, serveList(kShort, frames));
    serveFrames(kLong, serveList(kLong, frames, 35));
}

} // namespace nimbuscope::test
