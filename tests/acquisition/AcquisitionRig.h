#pragma once

#include "acquisition/AcquireDataAsync.h"
#include "display/MyProgress.h"
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

#include <QWidget>

#include <memory>
#include <optional>

namespace nimbuscope::test {

/// A saver window's download controls and state around one AcquireDataAsync, with a scripted
/// network, a fake clock and a private cache folder. The location is the zip code "66604".
class AcquisitionRig : public ParserTest {
protected:
    AcquisitionRig();

    static constexpr const char* kZip = "66604";
    static inline const QString kShort = QStringLiteral("DS.p19r0");
    static inline const QString kLong = QStringLiteral("DS.p20-r");
    static inline const QString kTemplate =
        QStringLiteral("http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa");
    static inline const QString kZipCityURL =
        QStringLiteral("http://forecast.weather.gov/zipcity.php?inputstring=66604");
    static inline const QString kConditionsURL =
        QStringLiteral("http://forecast.weather.gov/images/wtf/ovc.jpg");
    static QString listURL(const QString& product) {
        return "http://radar.weather.gov/radar/loopdata/" + product + "/ktwx.txt";
    }
    static QString frameURL(const QString& product, const QString& gifName,
                            const QString& host = QStringLiteral("radar.weather.gov")) {
        return "http://" + host + "/radar/images/" + product + "/SI.ktwx/" + gifName;
    }
    QString cached(const QString& name) const { return dataDir_ + name; }

    void setNumberSetting(const char* valueName, qint32 value);
    /// Empties the display list and starts a pass, as the main timer cycle does.
    bool startPass(bool refreshLocation = true, const QString& zipcode = QStringLiteral("00000"));
    /// Ticks the download timer (100 ms of virtual time each) until the pass stops it.
    void runTicks();

    /// Serve the location page and its picture; a list of frames five minutes apart, the
    /// newest at 21:newestMinute (the clock says 21:35); the frames; or all of it.
    void serveLocation();
    QStringList serveList(const QString& product, int frames, int newestMinute = 30);
    void serveFrames(const QString& product, const QStringList& gifNames);
    void serveEverything(int frames = 10);

    /// A radar frame, also the conditions picture: a picture ending in the GIF trailer.
    static QByteArray frameBody() { return fixtureBytes(QStringLiteral("frame.png")); }

    MemoryRegistry registry;
    RegistryValues settings;
    SystemUtils sys;
    DisplayList list;
    QWidget window;
    std::unique_ptr<MyProgress> progress;
    FakeSaverTimer AsyncDownloadTimer;
    SaverControls controls;
    SaverRunState state;
    PassOnScreen report{controls, state};
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
