#pragma once

#include "display/DisplayList.h"
#include "display/SaverWindow.h"

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
    /// Lets pending window events run once.
    std::function<void()> doEvents;
};

/// Shows the network-problem line above "Press the <Enter> key to retry..." at the bottom of
/// the screen, as the saver does while it is offline.
void showOfflineLines(const SaverControls& c, int screenHeight);

/// The drawing side of the saver window: shows the next frame of the display list on each
/// tick of Timer1 and gives Timer1 that frame's hold time, and keeps the clock label current.
class FramePresentation {
public:
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
    /// the fallback picture while there is nothing to show. A call made while one is still
    /// running (from a nested event loop) returns at once.
    void showNextImage();

    /// Draws one frame file centred on the screen in Picture1 (through Picture2); `ok` tells
    /// whether it was drawn. With preloading, an item's decoded picture is kept in the display
    /// list and used from there. "Image file not found: " + path is shown at most once per
    /// path for the life of this object; later misses of that path are only logged.
    void showChannelItemPB(const QString& fileName, const DisplayItem& item, bool useCache,
                           bool& ok);

    /// The TimeOfDay tick: "Current Time:  " + the long time + two spaces.
    void TimeOfDay_Timer();

    void setHomeDirectory(const QString& folder) { homeDirectory_ = folder; }
    /// Told of every frame the moment it is on screen, with the hold time it was given;
    /// empty (the usual case) costs nothing.
    using FrameShownHook = std::function<void(const DisplayItem&, qint32 intervalMs)>;
    void setFrameShownHook(FrameShownHook hook) { frameShown_ = std::move(hook); }
    /// The home folder's "RadarUnavailable.jpg".
    QString fallbackPicturePath() const;

private:
    void placeClock();
    void showOfflineAndEmpty();
    void drawFallbackPicture();
    /// The frame loop of one tick; false (with the reason) when it gave up.
    bool findAndDrawFrame(DisplayItem& shown, QString& reason);
    QString missingFileReason(const DisplayItem& item);
    /// Sets the frame's hold time and draws it; whether it was drawn.
    bool drawFrame(const DisplayItem& item);
    void waitForMissingFile();
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
    std::function<void()> doEvents_;
    FrameShownHook frameShown_;
    /// Paths already reported as missing in a message box during this run.
    QSet<QString> reportedMissing_;
    bool showing_ = false;
};

} // namespace nimbuscope
