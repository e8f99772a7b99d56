// The installed programs, laid out by "cmake --install" under a private prefix: they must find
// their data in that prefix rather than in the source tree, and the desktop entries must be
// valid and start programs that were installed.
#include "common/TestWorld.h"
#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/XvfbSession.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSettings>

#include <gtest/gtest.h>

using namespace nimbuscope::e2e;
using namespace nimbuscope::test;

namespace {

constexpr int kInstallWithinMs = 60000;
constexpr int kToolWithinMs = 10000;
constexpr int kDrawnWithinMs = 10000;
constexpr int kGoneWithinMs = 500;
// Nothing shipped is this colour, so seeing it proves the installed copy was read.
constexpr QRgb kMarkColour = 0x12c05a;
constexpr QRgb kHostColour = 0xff00ff;
constexpr int kColourSlack = 8;

const char* const kDesktopEntries[] = {"share/applications/nimbuscope-settings.desktop",
                                       "share/applications/nimbuscope-launcher.desktop"};

/// Runs `program` to its end; empty when it succeeded, else what went wrong.
QString runToEnd(const QString& program, const QStringList& arguments, int timeoutMs) {
    ProgramRun run(program, arguments, QProcessEnvironment::systemEnvironment());
    if (run.waitForEnd(timeoutMs) && run.endedNormally() && run.exitCode() == 0) {
        return {};
    }
    return run.describe() + QLatin1Char('\n') + QString::fromLocal8Bit(run.standardOutput());
}

} // namespace

// One test: the install takes most of its time.
TEST(InstallE2eTest, ProgramsReadTheirOwnPrefixAndDesktopEntriesStartThem) {
    const TestWorld world;
    const QString prefix = world.root() + QStringLiteral("/prefix");
    const auto installed = [&](const QString& relative) {
        return prefix + QLatin1Char('/') + relative;
    };
    const QString failure =
        runToEnd(QStringLiteral(NIMBUSCOPE_CMAKE_COMMAND),
                 {QStringLiteral("--install"), QStringLiteral(NIMBUSCOPE_BUILD_DIR),
                  QStringLiteral("--prefix"), prefix},
                 kInstallWithinMs);
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();

    for (const char* entry : kDesktopEntries) {
        SCOPED_TRACE(entry);
        const QString path = installed(QLatin1String(entry));
        const QString invalid =
            runToEnd(QStringLiteral("desktop-file-validate"), {path}, kToolWithinMs);
        EXPECT_TRUE(invalid.isEmpty()) << invalid.toStdString();

        QSettings desktop(path, QSettings::IniFormat);
        const QString exec = desktop.value(QStringLiteral("Desktop Entry/Exec")).toString();
        const QString program = exec.section(QLatin1Char(' '), 0, 0);
        EXPECT_TRUE(QFileInfo(installed(QStringLiteral("bin/") + program)).isExecutable())
            << exec.toStdString();
        const QString icon = desktop.value(QStringLiteral("Desktop Entry/Icon")).toString();
        EXPECT_FALSE(QImage(installed(QStringLiteral("share/icons/hicolor/128x128/apps/") + icon +
                                      QStringLiteral(".png")))
                         .isNull())
            << icon.toStdString();
    }

    const QString picture = installed(QStringLiteral("share/nimbuscope/NimbuscopePreview.jpg"));
    ASSERT_TRUE(QFileInfo(picture).isFile());
    for (const char* file : {"RadarList.txt", "RadarUnavailable.jpg"}) {
        EXPECT_TRUE(QFileInfo(installed(QStringLiteral("share/nimbuscope/") + QLatin1String(file)))
                        .isFile())
            << file;
    }
    // The installed preview picture, not the source tree's, must be what the preview shows.
    QImage mark(160, 121, QImage::Format_RGB32);
    mark.fill(kMarkColour);
    ASSERT_TRUE(QFile::remove(picture));
    ASSERT_TRUE(mark.save(picture, "JPG"));

    XvfbSession session;
    ASSERT_TRUE(session.isRunning()) << session.errorString().toStdString();
    const quint32 host = session.x().createWindow({20, 20, 160, 121}, kHostColour);
    ASSERT_NE(host, 0u);
    const auto run = session.run(installed(QStringLiteral("bin/nimbuscope")),
                                 {QStringLiteral("/p"), QString::number(host)});
    EXPECT_TRUE(waitUntil(
        [&] { return colourShare(session.x().grabWindow(host), kMarkColour, kColourSlack) > 0.99; },
        kDrawnWithinMs))
        << run->describe().toStdString();
    ASSERT_TRUE(session.x().destroyWindow(host));
    EXPECT_TRUE(run->waitForEnd(kGoneWithinMs));
}
