#pragma once

#include "display/SaverWindow.h"
#include "pictures/DisplayList.h"

#include <QLocale>
#include <QSet>
#include <QString>

#include <functional>

namespace nimbuscope {

class Clock;
class Log;

/// What the frame presentation works on: the saver window's controls and run state, the
/// display list, and the services it may not reach for itself.
struct PresentationContext {
    SaverControls& c;
    SaverRunState& s;
    DisplayList& list;
    Log& log;
    Clock& clock;
    /// The saver's home folder, which holds the fallback picture.
    QString homeDirectory;
    /// Shows a message with an OK button and returns when the user has answered.
    std::function<void(const QString&)> messageBox;
    /// Whose long time format the clock uses: the user's.
    QLocale locale = QLocale();
};

/// Shows the network-problem line above "Press the <Enter> key to retry..." at the bottom of
/// the screen, as the saver does while it is offline.
void showOfflineLines(const SaverControls& c, int screenHeight);

/// The drawing side of the saver window: shows the next frame of the display list on each
/// tick of Timer1 and gives Timer1 that frame's hold time, and keeps the clock label current.
/// A frame whose file is missing (a pass may be replacing it) is waited for by coming back
/// 100 ms later at the next position, up to ten times; a tick itself never waits.
class FramePresentation {
public:
    /// Where a frame of `picture` size is placed in the window, clear of the title lines.
    QRect frameBoxFor(QSize picture) const;
    static constexpr qint32 kDefaultPaceMs = 250;
    static constexpr int kMaxMissingFileRetries = 10;
    static constexpr int kMaxFailedDrawRetries = 3;
    static constexpr int kMissingFileWaitMs = 100;
    static inline const QString kFallbackPicture = QStringLiteral("RadarUnavailable.jpg");

    explicit FramePresentation(PresentationContext context);
    FramePresentation(const FramePresentation&) = delete;
    FramePresentation& operator=(const FramePresentation&) = delete;

    /// One Timer1 tick's worth of animation: draws the next active frame (wrapping round),
    /// sets Timer1's interval to its hold time and advances playIndex by one position. Draws
    /// the fallback picture while there is nothing to show. A missing frame file moves on one
    /// position and sets the interval to the 100 ms wait instead; the count of waits goes on
    /// into the next tick. A call made while one is still running (from a nested event loop)
    /// returns at once.
    void showNextImage();

    /// Draws one frame file centred on the screen in Picture1 (through Picture2); `ok` tells
    /// whether it was drawn. With preloading, an item's decoded picture is kept in the display
    /// list and used from there. "Image file not found: " + path is shown at most once per
    /// path for the life of this object; later misses of that path are only logged.
    void showChannelItemPB(const QString& fileName, const DisplayItem& item, bool useCache,
                           bool& ok);

    /// The TimeOfDay tick: "Current Time:  " + the long time + two spaces.
    void TimeOfDay_Timer();
    /// `moment` in the long time format of the presentation's locale.
    QString longTime(DateTime moment) const;
    void setLocale(const QLocale& locale) { locale_ = locale; }

    void setHomeDirectory(const QString& folder) { homeDirectory_ = folder; }
    /// Gives Picture2, which the information column is placed by, the box its picture gets on
    /// the screen as it is now (after the window changed size); Picture1 follows at the next
    /// frame.
    void refitSizingBox();
    /// Told of every frame the moment it is on screen, with the hold time it was given;
    /// empty (the usual case) costs nothing.
    using FrameShownHook = std::function<void(const DisplayItem&, qint32 intervalMs)>;
    void setFrameShownHook(FrameShownHook hook) { frameShown_ = std::move(hook); }
    /// The home folder's "RadarUnavailable.jpg".
    QString fallbackPicturePath() const;

private:
    /// How a tick's search for a frame ended.
    enum class Search { Shown, Waiting, Failed };

    void placeClock();
    void showOfflineAndEmpty();
    void drawFallbackPicture();
    /// The frame loop of one tick; the reason is set when it gave up.
    Search findAndDrawFrame(DisplayItem& shown, QString& reason);
    QString missingFileReason(const DisplayItem& item);
    /// Sets the frame's hold time and draws it; whether it was drawn.
    bool drawFrame(const DisplayItem& item);
    /// Comes back after the wait for a missing file, one position on.
    void waitForMissingFile(int retries);
    void setFrameInterval(const DisplayItem& item);
    qint32 newCycleProgressValue(const DisplayItem& item) const;
    void finishShownFrame(const DisplayItem& item);
    void advancePlayIndex();
    void logFailure(const QString& reason);

    bool frameFileUsable(const QString& fileName);
    void reportMissingFile(const QString& fileName);
    KeptPicture pictureFor(const QString& fileName, const DisplayItem& item, bool useCache);
    void placePictures(const KeptPicture& picture);

    SaverControls& c_;
    SaverRunState& s_;
    DisplayList& list_;
    Log& log_;
    Clock& clock_;
    QString homeDirectory_;
    std::function<void(const QString&)> messageBox_;
    QLocale locale_;
    FrameShownHook frameShown_;
    /// Paths already reported as missing in a message box during this run.
    QSet<QString> reportedMissing_;
    bool showing_ = false;
    /// Missing files and failed draws spent so far by the waits that led to this tick.
    int carriedRetries_ = 0;
};

} // namespace nimbuscope
