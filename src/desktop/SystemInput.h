#pragma once

#include <QElapsedTimer>
#include <QPoint>

#include <memory>

#include <optional>

namespace nimbuscope {

/// The system's mouse cursor and keyboard as the saver uses them: where the cursor is,
/// moving it, showing or hiding it, and sending a key to whatever has the input. A test
/// passes a fake that records every call.
class SystemInput {
public:
    static constexpr int kEscapeKey = 27;

    virtual ~SystemInput() = default;

    /// The cursor position in screen pixels; nothing when it cannot be read.
    virtual std::optional<QPoint> cursorPos() = 0;
    virtual void setCursorPos(QPoint position) = 0;
    /// Adds one to (show) or takes one from (hide) the display counter of the cursor, as the
    /// system call does: the cursor is shown while the counter is not negative.
    virtual void showCursor(bool show) = 0;
    /// A key press and release of the virtual key `key`, sent to the active window.
    virtual void sendKey(int key) = 0;
};

/// The cursor through QCursor and an application override cursor (hidden = a blank
/// override, stacked like the display counter); keys are posted to the active modal
/// window, else to the focus window.
///
/// Asking the display server where the cursor is takes a round trip, and the saver asks on
/// every frame. The position a mouse event brought is taken at once instead; without one,
/// the server is asked again only once the last answer is kServerAskMs old. Movement over
/// the program's own windows is so seen at once, movement elsewhere within that time.
class QtSystemInput final : public SystemInput {
public:
    static constexpr int kServerAskMs = 250;

    QtSystemInput();
    ~QtSystemInput() override;
    QtSystemInput(const QtSystemInput&) = delete;
    QtSystemInput& operator=(const QtSystemInput&) = delete;

    std::optional<QPoint> cursorPos() override;
    void setCursorPos(QPoint position) override;
    void showCursor(bool show) override;
    void sendKey(int key) override;

private:
    class MouseWatch;

    int hiddenCount_ = 0;
    std::unique_ptr<MouseWatch> watch_;
    std::optional<QPoint> known_;
    QElapsedTimer knownAge_;
};

} // namespace nimbuscope
