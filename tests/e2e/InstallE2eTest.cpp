// The saver's package, laid out by "cmake --install" under a private prefix: its desktop entries
// are valid and start programs it installed, and its preview ("/p <window id>") reads the
// picture of that prefix, fills the host's window whatever its size, ends with it and writes
// nothing.
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
constexpr int kDrawnWithinMs = 10000;
constexpr int kGoneWithinMs = 500;
// Nothing shipped is this colour, so seeing it proves the installed copy was read.
constexpr QRgb kMarkColour = 0x12c05a;
constexpr int kColourSlack = 8;

/// Runs `program` to its end; empty when it succeeded, else what went wrong.
QString runToEnd(const QString& program, const QStringList& arguments) {
    ProgramRun run(program, arguments);
    return run.succeeds(kInstallWithinMs)
               ? QString()
               : run.describe() + QLatin1Char('\n') + QString::fromLocal8Bit(run.standardOutput());
}

} // namespace

TEST(InstallE2eTest, DesktopEntriesStartInstalledProgramsAndThePreviewFollowsItsHost) {
    const TestWorld world;
    const QString prefix = world.root() + QStringLiteral("/prefix/");
    const QString failure =
        runToEnd(QStringLiteral(NIMBUSCOPE_CMAKE_COMMAND),
                 {QStringLiteral("--install"), QStringLiteral(NIMBUSCOPE_BUILD_DIR),
                  QStringLiteral("--prefix"), prefix, QStringLiteral("--component"),
                  QStringLiteral("saver")});
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();

    for (const char* entry : {"nimbuscope-settings", "nimbuscope-launcher"}) {
        SCOPED_TRACE(entry);
        const QString path = prefix + QStringLiteral("share/applications/%1.desktop").arg(entry);
        const QString invalid = runToEnd(QStringLiteral("desktop-file-validate"), {path});
        EXPECT_TRUE(invalid.isEmpty()) << invalid.toStdString();
        QSettings desktop(path, QSettings::IniFormat);
        const QString exec = desktop.value(QStringLiteral("Desktop Entry/Exec")).toString();
        EXPECT_TRUE(
            QFileInfo(prefix + QStringLiteral("bin/") + exec.section(u' ', 0, 0)).isExecutable())
            << exec.toStdString();
        const QString icon = desktop.value(QStringLiteral("Desktop Entry/Icon")).toString();
        EXPECT_FALSE(
            QImage(prefix + QStringLiteral("share/icons/hicolor/128x128/apps/%1.png").arg(icon))
                .isNull())
            << icon.toStdString();
    }
    const QString data = prefix + QStringLiteral("share/nimbuscope/");
    for (const char* file : {"RadarList.txt", "RadarUnavailable.jpg", "NimbuscopePreview.jpg"}) {
        EXPECT_TRUE(QFileInfo(data + QLatin1String(file)).isFile()) << file;
    }
    QImage mark(160, 121, QImage::Format_RGB32);
    mark.fill(kMarkColour);
    ASSERT_TRUE(QFile::remove(data + QStringLiteral("NimbuscopePreview.jpg")));
    ASSERT_TRUE(mark.save(data + QStringLiteral("NimbuscopePreview.jpg"), "JPG"));

    XvfbSession session;
    ASSERT_RUNNING(session);
    const quint32 host = session.x().createWindow({20, 20, 160, 121}, 0xff00ff);
    ASSERT_NE(host, 0u);
    const QString saver = prefix + QStringLiteral("bin/nimbuscope");
    const auto run = session.run(saver, {QStringLiteral("/p"), QString::number(host)});
    const auto filled = [&](QSize size) {
        return waitUntil(
            [&] {
                const QImage shown = session.x().grabWindow(host);
                return shown.size() == size && colourShare(shown, kMarkColour, kColourSlack) > 0.99;
            },
            kDrawnWithinMs);
    };
    EXPECT_TRUE(filled({160, 121})) << run->describe().toStdString();
    for (const QSize size : {QSize(320, 242), QSize(120, 121)}) {
        ASSERT_TRUE(session.x().resizeWindow(host, size));
        EXPECT_TRUE(filled(size)) << size.width();
    }
    ASSERT_TRUE(session.x().destroyWindow(host));
    EXPECT_TRUE(run->succeeds(kGoneWithinMs)) << run->describe().toStdString();
    const QStringList written =
        QDir(world.tmp()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_TRUE(written.isEmpty()) << written.join(u' ').toStdString();

    // A window id that leads nowhere ends the program at once.
    for (const QString& id : {QString::number(host), QStringLiteral("2147483647")}) {
        const auto refused = session.run(saver, {QStringLiteral("/p"), id});
        EXPECT_TRUE(refused->waitForEnd(5000)) << id.toStdString();
    }
}
