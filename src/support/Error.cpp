#include "support/Error.h"

#include "support/Log.h"

#include <stdexcept>

namespace nimbuscope {

QString err::describe(int number) {
    switch (number) {
    case InvalidProcedureCall: return QStringLiteral("Invalid procedure call or argument");
    case Overflow: return QStringLiteral("Overflow");
    case OutOfMemory: return QStringLiteral("Out of memory");
    case SubscriptOutOfRange: return QStringLiteral("Subscript out of range");
    case TypeMismatch: return QStringLiteral("Type mismatch");
    case BadFileNameOrNumber: return QStringLiteral("Bad file name or number");
    case FileNotFound: return QStringLiteral("File not found");
    case PathFileAccessError: return QStringLiteral("Path/File access error");
    case PathNotFound: return QStringLiteral("Path not found");
    case ObjectRequired: return QStringLiteral("Object required");
    case CannotCreateObject: return QStringLiteral("ActiveX component can't create object");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

Error::Error(int number, QString description, QString source)
    : number_(number), description_(std::move(description)), source_(std::move(source)),
      what_(description_.toUtf8()) {}

Error asError(const std::exception& e) {
    if (auto* own = dynamic_cast<const Error*>(&e)) {
        return *own;
    }
    if (dynamic_cast<const std::bad_alloc*>(&e)) {
        return Error::of(err::OutOfMemory);
    }
    if (dynamic_cast<const std::out_of_range*>(&e)) {
        return Error::of(err::SubscriptOutOfRange);
    }
    if (dynamic_cast<const std::overflow_error*>(&e)) {
        return Error::of(err::Overflow);
    }
    return Error(err::InvalidProcedureCall, QString::fromUtf8(e.what()));
}

void logTrappedError(Log& log, const QString& name, const Error& e) {
    log.logError(QStringLiteral("ERROR :: %1 :: (%2) - %3")
                     .arg(name)
                     .arg(e.number())
                     .arg(e.description()));
}

} // namespace nimbuscope
