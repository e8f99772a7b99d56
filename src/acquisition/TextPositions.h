#pragma once

#include "support/Error.h"

#include <QString>

// Character positions as the page and list parsers count them: the first character is 1 and
// 0 means "not found". The parsers' rules ("searched from character 250", "s + 80 >= p") are
// stated in these terms, so the arithmetic stays readable next to them.
namespace nimbuscope::textpos {

/// Position of `what` in `text`, searching from position `from`; 0 when absent or when
/// `from` lies past the end.
inline qsizetype find(const QString& text, QStringView what, qsizetype from = 1,
                      Qt::CaseSensitivity cs = Qt::CaseSensitive) {
    if (from < 1 || from > text.size()) {
        return 0;
    }
    return text.indexOf(what, from - 1, cs) + 1;
}

inline qsizetype findNoCase(const QString& text, QStringView what, qsizetype from = 1) {
    return find(text, what, from, Qt::CaseInsensitive);
}

/// Position of the last `what` that starts at or before position `upTo`; 0 when none.
inline qsizetype findLast(const QString& text, QStringView what, qsizetype upTo,
                          Qt::CaseSensitivity cs = Qt::CaseSensitive) {
    if (upTo < 1) {
        return 0;
    }
    return text.lastIndexOf(what, qMin(upTo, text.size()) - 1, cs) + 1;
}

/// `count` characters (all when negative) from position `start`. A start before the first
/// character is the invalid call the parsers' error traps report.
inline QString mid(const QString& text, qsizetype start, qsizetype count = -1) {
    if (start < 1) {
        throw Error::of(err::InvalidProcedureCall);
    }
    return text.mid(start - 1, count);
}

/// The text before position `pos` (exclusive).
inline QString before(const QString& text, qsizetype pos) {
    return text.left(qMax<qsizetype>(0, pos - 1));
}

/// `text` cut before the first `what`; the whole text when there is none.
inline QString cutBefore(const QString& text, QStringView what,
                         Qt::CaseSensitivity cs = Qt::CaseSensitive) {
    const qsizetype at = text.indexOf(what, 0, cs);
    return at < 0 ? text : text.left(at);
}

/// `text` up to and including the first `what`; the whole text when there is none.
inline QString cutAfter(const QString& text, QStringView what,
                        Qt::CaseSensitivity cs = Qt::CaseSensitive) {
    const qsizetype at = text.indexOf(what, 0, cs);
    return at < 0 ? text : text.left(at + what.size());
}

/// `text` with every `what` replaced; an empty `what` changes nothing (Qt would insert
/// `with` between every character).
inline QString replaced(QString text, QStringView what, QStringView with,
                        Qt::CaseSensitivity cs = Qt::CaseSensitive) {
    if (!what.isEmpty()) {
        text.replace(what.toString(), with.toString(), cs);
    }
    return text;
}

} // namespace nimbuscope::textpos
