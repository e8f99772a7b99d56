#pragma once

#include "acquisition/AcquireDataAsync.h"
#include "display/MyProgress.h"
#include "display/PictureBox.h"
#include "display/SaverWindow.h"
#include "pictures/DisplayList.h"
#include "registry/MemoryRegistry.h"
#include "settings/RegistryValues.h"
#include "shell/PassOnScreen.h"
#include "support/SystemUtils.h"

#include "ParserTestSupport.h"
#include "common/FakeProcessEnd.h"
#include "common/FakeRetriever.h"
#include "common/FakeSaverTimer.h"

#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace nimbuscope::test {

/// A saver window's worth of controls and state around one AcquireDataAsync, with a
/// scripted network, a fake clock and private folders. Settings start as a zip-code
/// location "66604" with NOAA's default hosts.
class AcquisitionRig : public ParserTest {
protected:
    AcquisitionRig();

    static constexpr const char* kZip = "66604";
    static inline const QString kShort = QStringLiteral("DS.p19r0");
    static inline const QString kLong = QStringLiteral("DS.p20-r");
    static inline const QString kTemplate =
        QStringLiteral("http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa");
    static QString conditionsImageURL();
    static QString listURL(const QString& product);
    static QString frameURL(const QString& product, const QString& gifName,
                            const QString& host = QStringLiteral("radar.weather.gov"));
    /// The cache folder, ending in "/".
    QString data() const { return dataDir_; }
    QString cached(const QString& name) const { return data() + name; }
    bool exists(const QString& name) const;

    /// Writes a number setting to the registry and reloads the settings.
    void setNumberSetting(const char* valueName, qint32 value);

    /// Empties the display list and starts a pass, as the main timer cycle does.
    bool startPass(bool refreshLocation = true, const QString& zipcode = QStringLiteral("00000"));
    /// Ticks the download timer (100 ms of virtual time each) until the pass stops it.
    void runTicks();

    /// Serves the location page (the query redirects to locationPageURL) and the conditions
    /// picture; a list of `frames` frames (their ".gif" names) five minutes apart, the newest
    /// at 21:newestMinute (the clock says 21:35); the frames themselves; or all of it.
    void serveLocation();
    QStringList serveList(const QString& product, int frames, int newestMinute = 30);
    void serveFrames(const QString& product, const QStringList& gifNames);
    void serveEverything(int frames = 10);

    /// A radar frame: a picture of few colours ending in the GIF trailer, over 6000 bytes.
    static QByteArray frameBody();
    static QByteArray conditionsBody();

    MemoryRegistry registry;
    RegistryValues settings;
    SystemUtils sys;
    DisplayList list;
    QWidget window;
    std::unique_ptr<MyProgress> progress;
    FakeSaverTimer Timer1, TimeOfDay, AsyncDownloadTimer, Win9xPwdDismiss;
    SaverControls controls;
    SaverRunState state;
    /// The pass's reports as the saver window shows them, on the controls above.
    PassOnScreen report{controls, state};
    /// No factory: the rig puts its scripted component in.
    ComponentFactory components;
    RetrieverSlot myHTTPRetrieve{components};
    FakeRetriever* net = nullptr;
    /// Calls of the end seam, which throws ProgramEnded like the window's end does.
    int endCalls = 0;
    std::optional<bool> endSkipCleanup;
    CacheWriteBody writeBody;
    std::unique_ptr<AcquireDataAsync> ada;

private:
    QString dataDir_;
    std::shared_ptr<const FolderHandle> dataFolder_;
};

} // namespace nimbuscope::test
