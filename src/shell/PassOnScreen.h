#pragma once

#include "acquisition/PassReport.h"

namespace nimbuscope {

class MyProgress;
struct SaverControls;
struct SaverRunState;

/// The saver window's side of a download pass: its labels, its two bars, the conditions
/// picture and the pass's step timer. A control left unset is skipped, except the bars,
/// whose absence is an error of the caller's step.
class PassOnScreen final : public PassReport {
public:
    PassOnScreen(const SaverControls& controls, const SaverRunState& state)
        : c_(controls), s_(state) {}

    void showTitle(const QString& title) override;
    void showPassStart() override;
    void showImageInfo() override;
    void runSteps(bool on) override;

    bool downloadBarShown() override;
    qint32 downloadStep() override;
    void setDownloadSteps(qint32 steps) override;
    void setDownloadStep(qint32 step) override;
    void startDownloadSteps() override;
    void advanceDownload() override;

    void showConditions(const QString& temperature, const QString& conditions) override;
    void showConditionsPicture(const QImage& picture) override;
    void showRadarTimes(const QString& caption, qint32 maximum, qint32& position) override;
    void clearRadarTimes() override;
    void restartAnimationBar(qint32 steps) override;

    void showRetries(qint32 count) override;
    void showFramesEnd(FrameSupply supply) override;
    void showNetworkProblem(bool offline) override;

private:
    MyProgress& bar();

    const SaverControls& c_;
    const SaverRunState& s_;
};

} // namespace nimbuscope
