#pragma once

#include "support/DateTime.h"

#include <QString>

#include <array>

namespace nimbuscope {

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
