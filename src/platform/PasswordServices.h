#pragma once

#include <QtGlobal>

namespace nimbuscope {

/// The system's screen-saver password services, which only the 9x family of the original
/// system offers. Callers reach them on that family only (or on an injected 9x platform).
class PasswordServices {
public:
    virtual ~PasswordServices() = default;
    /// Opens the system's dialog for changing the screen-saver password, owned by the window
    /// `ownerHandle` (0 for none). Answers false when the system has no such dialog; the
    /// program ignores the answer either way.
    virtual bool changePassword(qint32 ownerHandle) = 0;
    /// Asks for the screen-saver password over the window `windowHandle`; true when the
    /// right one was given (or when the system keeps no password, so the saver may end).
    virtual bool verifyPassword(qint32 windowHandle) = 0;
};

/// This system keeps no screen-saver password: there is nothing to change, and nothing
/// stops the saver from ending.
class NoPasswordServices final : public PasswordServices {
public:
    bool changePassword(qint32) override { return false; }
    bool verifyPassword(qint32) override { return true; }
};

} // namespace nimbuscope
