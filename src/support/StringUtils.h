#pragma once

#include <QByteArray>
#include <QString>

namespace nimbuscope {

/// Cuts `text` before its first NUL, in place, and returns it.
QString StripNulls(QString& text);
/// `text` up to its first NUL (the whole text when it has none); `text` is left alone.
QString StripTerminator(const QString& text);

/// Bytes in the ANSI code page (Windows-1252) to text, and back. Characters outside the
/// code page become "?" on the way back, as the system's conversion does.
QString ansiToText(const QByteArray& bytes);
QByteArray textToAnsi(const QString& text);

/// "True" or "False", the way text shows a Boolean.
inline QString boolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace nimbuscope
