#include "setup/SetupChoices.h"

#include "pictures/SaverRunState.h"

#include <cmath>

namespace nimbuscope {

namespace {

// Frames arrive every five minutes.
constexpr double kMinutesPerFrame = 5.0;
// Two products of frames are kept.
constexpr double kProducts = 2.0;
// At or above the saver's preloading threshold frames are shown from their files, below it
// from decoded pictures.
constexpr qint32 kPreloadBelowMs = SaverRunState::kPreloadImagesThreshold;
constexpr double kFileKB = 10.0;
constexpr double kPictureKB = 384.0;
constexpr double kBaseMBFromFiles = 6.0;
constexpr double kBaseMBFromPictures = 7.0;
constexpr double kKBPerMB = 1000.0;

} // namespace

int choiceIndex(std::span<const SetupChoice> choices, qint32 value, int unlisted) {
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].value == value) {
            return int(i);
        }
    }
    return unlisted;
}

qint32 choiceValue(std::span<const SetupChoice> choices, int index, qint32 fallback) {
    return index >= 0 && std::size_t(index) < choices.size() ? choices[std::size_t(index)].value
                                                             : fallback;
}

qint32 estimateMemoryUsage(qint32 discardAfterMinutes, qint32 animationRateMS) {
    const double frames = discardAfterMinutes / kMinutesPerFrame;
    const double mb = animationRateMS >= kPreloadBelowMs
                          ? frames * kFileKB * kProducts / kKBPerMB + kBaseMBFromFiles
                          : frames * kPictureKB * kProducts / kKBPerMB + kBaseMBFromPictures;
    // The default rounding mode rounds halves to even.
    return qint32(std::nearbyint(mb));
}

bool isFiveDigitZip(const QString& text) {
    constexpr qsizetype kZipLength = 5;
    if (text.size() != kZipLength) {
        return false;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

bool isCancelChord(Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers held =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    return held == Qt::AltModifier || held == (Qt::ControlModifier | Qt::AltModifier);
}

} // namespace nimbuscope
