#pragma once

#include <QString>

#include <exception>
#include <new>
#include <utility>

namespace nimbuscope {

/// Error numbers the program raises or reports, with the descriptions users of the logs
/// know them by.
namespace err {
constexpr int InvalidProcedureCall = 5;
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int SubscriptOutOfRange = 9;
constexpr int TypeMismatch = 13;
constexpr int FileNotFound = 53;
constexpr int BadFileNameOrNumber = 52;
constexpr int PathFileAccessError = 75;
constexpr int PathNotFound = 76;
constexpr int ObjectRequired = 424;
constexpr int CannotCreateObject = 429;

/// The usual description for one of the numbers above, or "Application-defined or
/// object-defined error".
QString describe(int number);
} // namespace err

/// An error with a number, a description and the source that raised it. Every error trap
/// of the program catches these (and the standard exceptions, mapped to a number).
class Error : public std::exception {
public:
    Error(int number, QString description = {}, QString source = {});
    static Error of(int number) { return Error(number, err::describe(number)); }

    int number() const { return number_; }
    const QString& description() const { return description_; }
    const QString& source() const { return source_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    int number_;
    QString description_;
    QString source_;
    QByteArray what_;
};

/// The number and description of whatever `e` is, for the error-log line.
Error asError(const std::exception& e);

class Log;

/// Writes the error trap's line for `name`: "ERROR :: name :: (number) - description".
void logTrappedError(Log& log, const QString& name, const Error& e);

/// Runs `body`; on an error writes the trap's line for `name` to the error log and returns
/// `fallback` instead.
template <typename T, typename Body>
T trapped(Log& log, const QString& name, T fallback, Body&& body) {
    try {
        return std::forward<Body>(body)();
    } catch (const Error& e) {
        logTrappedError(log, name, e);
    } catch (const std::exception& e) {
        logTrappedError(log, name, asError(e));
    }
    return fallback;
}

/// The same for a body without a result.
template <typename Body>
void trappedVoid(Log& log, const QString& name, Body&& body) {
    try {
        std::forward<Body>(body)();
    } catch (const Error& e) {
        logTrappedError(log, name, e);
    } catch (const std::exception& e) {
        logTrappedError(log, name, asError(e));
    }
}

} // namespace nimbuscope
