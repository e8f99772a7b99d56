#pragma once

#include <functional>
#include <memory>

namespace nimbuscope {

/// A timer of the saver window, with the behaviour of a form timer: enabling it starts a
/// fresh countdown; setting the interval while it is enabled restarts the countdown; ticks
/// never overlap: a tick that comes due while one runs waits for it to return. The real timer
/// wraps a precise QTimer; the scenario rig runs virtual ones.
class SaverTimer {
public:
    virtual ~SaverTimer() = default;

    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;

    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

protected:
    void fire() {
        // A copy runs, so a handler may replace itself or end the timer it runs on.
        if (const std::function<void()> handler = handler_) {
            handler();
        }
    }

private:
    std::function<void()> handler_;
};

/// Makes the timers of one window: real ones in the program, virtual ones in the rig.
class SaverTimerFactory {
public:
    virtual ~SaverTimerFactory() = default;
    virtual std::unique_ptr<SaverTimer> create(int intervalMs, bool enabled) = 0;
};

} // namespace nimbuscope
