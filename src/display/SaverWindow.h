#pragma once

#include "pictures/SaverRunState.h"

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
/// window's side of a download pass write directly. The window owns them; this only points
/// at them.
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

} // namespace nimbuscope
