#pragma once

#include <QString>
#include <Qt>

#include <array>
#include <span>

namespace nimbuscope {

/// One item of a setup list: its text, blanks included, and the value it stores.
struct SetupChoice {
    const char* text;
    qint32 value;
};

/// "discardAfter", minutes.
inline constexpr std::array<SetupChoice, 11> kDiscardAfterChoices{{
    {"    1  hour", 60},
    {" 1.5  hours", 90},
    {"    2  hours", 120},
    {" 2.5  hours", 150},
    {"    3  hours", 180},
    {" 3.5  hours", 210},
    {"    4  hours", 240},
    {" 4.5  hours", 270},
    {"    5  hours", 300},
    {" 5.5  hours", 330},
    {"    6  hours", 360},
}};

/// "animationRateMS", milliseconds.
inline constexpr std::array<SetupChoice, 5> kAnimationRateChoices{{
    {"1/10 second", 100},
    {" 1/4  second", 250},
    {" 1/2  second", 500},
    {" 3/4  second", 750},
    {"     1  second", 1000},
}};

/// "animationLastFrameMS", milliseconds.
inline constexpr std::array<SetupChoice, 5> kAnimationLastFrameChoices{{
    {"    1  second", 1000},
    {"    2  seconds", 2000},
    {"    3  seconds", 3000},
    {"    4  seconds", 4000},
    {"    5  seconds", 5000},
}};

/// The position a stored value that no item stands for selects.
inline constexpr int kDiscardAfterUnlisted = 0;
inline constexpr int kAnimationRateUnlisted = 1;
inline constexpr int kAnimationLastFrameUnlisted = 1;

/// What a list position outside the table stores (and counts as in the estimate).
inline constexpr qint32 kDiscardAfterFallback = 60;
inline constexpr qint32 kAnimationRateFallback = 250;
inline constexpr qint32 kAnimationLastFrameFallback = 3000;

/// The index of the item standing for `value`, else `unlisted`.
int choiceIndex(std::span<const SetupChoice> choices, qint32 value, int unlisted);
/// The value of the item at `index`, else `fallback`.
qint32 choiceValue(std::span<const SetupChoice> choices, int index, qint32 fallback);

/// Megabytes the frames of `discardAfterMinutes` take at `animationRateMS`: slow animations
/// hold compressed frames, fast ones decoded pictures. Rounded half to even.
qint32 estimateMemoryUsage(qint32 discardAfterMinutes, qint32 animationRateMS);

/// Exactly five characters, each one of 0-9: no sign, point, blank or other digit forms.
bool isFiveDigitZip(const QString& text);

/// True when a key that goes down with `modifiers` cancels: Alt alone, or Ctrl+Alt, without
/// Shift.
bool isCancelChord(Qt::KeyboardModifiers modifiers);

} // namespace nimbuscope
