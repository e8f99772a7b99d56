#pragma once

#include "support/DateTime.h"

#include <QString>

#include <array>

class QLabel;
class QWidget;

namespace nimbuscope {

class MyProgress;
class PictureBox;
class SaverTimer;

/// Bar numbers of the saver window's progress bars.
inline constexpr int kDownloadBar = 0;
inline constexpr int kRadarTimeBar = 1;

/// The controls of the saver window that the timer cycle, the frame presentation and the
/// download steps write directly. The window owns them; this only points at them.
struct SaverControls {
    QWidget* window = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture2 = nullptr;
    PictureBox* LogoImage = nullptr;
    PictureBox* currentConditionsPictureBox = nullptr;
    QLabel* ItemCaption = nullptr;
    QLabel* ImageInfo = nullptr;
    QLabel* ImageDate = nullptr;
    QLabel* currentTime = nullptr;
    QLabel* currentTempF = nullptr;
    QLabel* currentConditions = nullptr;
    QLabel* CurrentRadarTimes = nullptr;
    QLabel* currentRadarTimesLabel = nullptr;
    QLabel* DownloadInfo = nullptr;
    QLabel* DownloadInfoChannelName = nullptr;
    QLabel* NetworkProblem = nullptr;
    QLabel* NetworkProblem2 = nullptr;
    QLabel* retryCount = nullptr;
    QLabel* RadarImagesMissing = nullptr;
    QLabel* EscToChange = nullptr;
    QLabel* cmdline = nullptr;
    MyProgress* progress = nullptr;
    SaverTimer* Timer1 = nullptr;
    SaverTimer* TimeOfDay = nullptr;
    SaverTimer* AsyncDownloadTimer = nullptr;
    SaverTimer* Win9xPwdDismiss = nullptr;
};

/// The saver window's public run state, shared by the timer cycle, the frame presentation
/// and the download steps. All of it lives on the user-interface thread.
struct SaverRunState {
    static constexpr qint32 kPreloadImagesThreshold = 240;

    DateTime lastDownloadTime;
    DateTime lastSetupTime;
    bool offlineMode = false;
    qint16 playIndex = 0;
    QString nimbuscopeTmp;
    qint32 updateRateMs = 0;
    QString zipcode;
    qint32 displayProgressVal = 0;
    bool interruptedDownload = false;
    bool locationChanged = false;
    bool zipcodeIsValid = false;
    bool currentConditionsImgIsValid = false;
    QString previousRadarID;
    bool cursorIgnoreMovement = false;
    bool cursorAlwaysVisible = false;
    bool preloadImages = false;
    qint32 preloadImagesThreshold = kPreloadImagesThreshold;

    /// Set after each frame drawn, cleared after a failed draw.
    bool frameShownOK = false;
    /// "animationRateMS" and "animationLastFrameMS" as read at load (or after the settings).
    qint32 animationRateMS = 0;
    qint32 animationLastFrameMS = 0;
    /// The screen in pixels, and its shape width / height.
    qint32 screenWidth = 0;
    qint32 screenHeight = 0;
    float screenAspect = 1.0f;
    /// The scale frames are drawn at: below 1 in a window smaller than the layout's design.
    double pictureScale = 1.0;
    /// The bottom of the title lines in the top left corner; a frame's caption stays below
    /// it. (A banner line under the title would lower it.) 0 when nothing is laid out.
    qint32 headerBottom = 0;

    /// Active frames of the first and second animation cycle, and the list position where
    /// the second cycle starts (0 when there is none); rebuilt after every pass.
    std::array<qint16, 2> cycleFrameCounts{0, 0};
    qint16 secondCycleStart = 0;
};

} // namespace nimbuscope
