#pragma once

#include <QRgb>
#include <QString>

#include <array>

class QWidget;

namespace nimbuscope {

class Log;

/// Three flat progress bars on a window, each a full-length background rectangle with a
/// fill rectangle over it whose width shows the value. Bar 0 shows a download pass, bar 1
/// the position in the animation. Sizes are pixels. A bar index outside 0 to 2 is an error
/// written to the error log as "ERROR :: MyProgress:<operation> :: (9) - ...".
class MyProgress {
public:
    static constexpr int kBars = 3;
    static constexpr QRgb kBackColour = 0xff3a3d42;
    static constexpr QRgb kFillColour = 0xff2f9be0;

    /// Creates the six rectangles as hidden children of `parent`, which owns them.
    MyProgress(QWidget* parent, Log& log);
    MyProgress(const MyProgress&) = delete;
    MyProgress& operator=(const MyProgress&) = delete;

    /// The background gets width × height; the fill gets the bar's value as its width until
    /// the next setValue.
    void setWidthHeight(qint32 width, qint32 height, int i);
    void setTopLeft(qint32 top, qint32 left, int i);
    bool visible(int i);
    qint32 max(int i);
    /// Changes the maximum without redrawing.
    void setMax(qint32 max, int i);
    /// Changes the minimum and moves the bar to it.
    void setMin(qint32 min, int i);
    /// Shows `value` on bar i. A value above the maximum is lowered to it, in the caller's
    /// variable too; a value below the minimum changes nothing.
    void setValue(qint32& value, int i);
    /// One step forward, never past the maximum.
    void incrValue(int i);
    void setVisible(bool visible, int i);

    qint32 min(int i) const;
    qint32 value(int i) const;

    /// The controls, for layout and tests; nullptr outside 0 to 2.
    QWidget* MyProgressBarBack(int i) const;
    QWidget* MyProgressBar(int i) const;

private:
    struct Bar {
        qint32 min = 0;
        qint32 max = 0;
        qint32 value = 0;
        QWidget* back = nullptr;
        QWidget* fill = nullptr;
    };

    /// Bar i; raises "Subscript out of range" outside 0 to 2.
    Bar& bar(int i);
    static QString trapName(const char* operation);

    Log& log_;
    std::array<Bar, kBars> bars_;
};

} // namespace nimbuscope
