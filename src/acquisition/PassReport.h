#pragma once

#include <QString>
#include <QtGlobal>

class QImage;

namespace nimbuscope {

/// What a download pass tells the window about itself. The pass decides what changed; the
/// saver window decides how it looks (labels, bars, the conditions picture). Calls come on
/// the user-interface thread, in the order the pass makes its changes.
class PassReport {
public:
    /// How a pass's frame downloads ended: no frame listed, fewer than a full animation, or
    /// enough.
    enum class FrameSupply { None, Partial, Full };

    virtual ~PassReport() = default;

    /// "Nimbuscope for ..." over the download bar.
    virtual void showTitle(const QString& title) = 0;
    /// A pass starts: its download line and bar come up (the bar sized before), the
    /// network-problem and missing-frames lines go.
    virtual void showPassStart() = 0;
    /// The frame caption line comes up with the first pass.
    virtual void showImageInfo() = 0;
    /// Whether the pass's next step is due: the window ticks the pass while this is on.
    virtual void runSteps(bool on) = 0;

    /// The download bar: its state, its number of steps, and a step done.
    virtual bool downloadBarShown() = 0;
    virtual qint32 downloadStep() = 0;
    virtual void setDownloadSteps(qint32 steps) = 0;
    /// Puts the bar on `step`, lowered to the number of steps.
    virtual void setDownloadStep(qint32 step) = 0;
    /// The bar counts from 1 and stands there.
    virtual void startDownloadSteps() = 0;
    virtual void advanceDownload() = 0;

    /// The location page's temperature and conditions lines.
    virtual void showConditions(const QString& temperature, const QString& conditions) = 0;
    /// A list arrived: the animation bar goes back to 1 and has at least `steps` steps.
    virtual void restartAnimationBar(qint32 steps) = 0;
    /// A new current-conditions picture.
    virtual void showConditionsPicture(const QImage& picture) = 0;
    /// The span the listed frames cover, and the animation bar: `maximum` frames, at
    /// `position` (lowered to the maximum, in the caller's variable too).
    virtual void showRadarTimes(const QString& caption, qint32 maximum, qint32& position) = 0;
    /// No frame is listed: the span and the animation bar go.
    virtual void clearRadarTimes() = 0;

    /// "N retries" after the pass's network problems in a row.
    virtual void showRetries(qint32 count) = 0;
    /// The frame downloads are over; the download line and bar go.
    virtual void showFramesEnd(FrameSupply supply) = 0;
    /// A pass ended in a network problem; offline, the window says how to retry.
    virtual void showNetworkProblem(bool offline) = 0;
};

} // namespace nimbuscope
