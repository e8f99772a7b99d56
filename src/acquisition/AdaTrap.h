#pragma once

#include "support/Error.h"
#include "support/Log.h"

#include <QString>

#include <utility>

namespace nimbuscope {

/// The acquisition trap line of the debug log: "ADA: name: ERROR RAISED AND HANDLED".
inline void logAdaHandled(Log& log, const QString& name) {
    log.logDebug(QStringLiteral("ADA: ") + name + QStringLiteral(": ERROR RAISED AND HANDLED"));
}

/// The error trap of acquisition: like `trapped`, and then the "ADA:" line in the debug log.
/// `errorName` goes into the error-log line and `adaName` into the debug line; they differ
/// for a few procedures whose two lines have always named them differently.
template <typename T, typename Body>
T adaTrapped(Log& log, const QString& errorName, const QString& adaName, T fallback, Body&& body) {
    try {
        return std::forward<Body>(body)();
    } catch (const std::exception& e) {
        logTrappedError(log, errorName, asError(e));
        logAdaHandled(log, adaName);
    }
    return fallback;
}

template <typename T, typename Body>
T adaTrapped(Log& log, const QString& name, T fallback, Body&& body) {
    return adaTrapped(log, name, name, std::move(fallback), std::forward<Body>(body));
}

} // namespace nimbuscope
