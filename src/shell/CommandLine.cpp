#include "shell/CommandLine.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace nimbuscope {

namespace {

constexpr qsizetype kSwitchLength = 2;

bool isSkipped(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isAsciiHexDigit(QChar c) {
    const QChar lower = c.toLower();
    return isAsciiDigit(c) || (lower >= QLatin1Char('a') && lower <= QLatin1Char('f'));
}

SaverMode modeOf(const QString& switchText) {
    // Tested in the order start-up has always used; the texts are distinct, so the order
    // cannot change the answer.
    if (switchText == QLatin1String("/a")) {
        return SaverMode::Password;
    }
    if (switchText.isEmpty() || switchText == QLatin1String("/s")) {
        return SaverMode::Saver;
    }
    if (switchText == QLatin1String("/p")) {
        return SaverMode::Preview;
    }
    if (switchText == QLatin1String("/c")) {
        return SaverMode::Setup;
    }
    return SaverMode::None;
}

qint32 roundedToInt32(double value) {
    constexpr double kMin = double(std::numeric_limits<qint32>::min());
    constexpr double kMax = double(std::numeric_limits<qint32>::max());
    const double rounded = std::nearbyint(value); // the default mode rounds halves to even
    if (!(rounded >= kMin)) {
        return std::numeric_limits<qint32>::min();
    }
    if (rounded > kMax) {
        return std::numeric_limits<qint32>::max();
    }
    return qint32(rounded);
}

// `number` is "[-]digits[.digits]" with at least one digit. from_chars ignores the locale,
// which the process takes from its environment.
double toDouble(const std::string& number) {
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: far outside the 32-bit range, or next to zero.
        const std::string whole = number.substr(0, number.find('.'));
        const bool large = whole.find_first_of("123456789") != std::string::npos;
        const bool negative = number.front() == '-';
        return large ? (negative ? -HUGE_VAL : HUGE_VAL) : 0.0;
    }
    return value;
}

} // namespace

qint32 leadingNumber(const QString& text) {
    // Only the characters that can belong to the number are collected, so the conversion
    // sees a plain "[sign]digits[.digits]".
    std::string number;
    bool signAllowed = true;
    bool pointSeen = false;
    bool digitSeen = false;
    for (const QChar c : text) {
        if (isSkipped(c)) {
            continue;
        }
        if (signAllowed && (c == QLatin1Char('+') || c == QLatin1Char('-'))) {
            number += char(c.unicode());
        } else if (isAsciiDigit(c)) {
            number += char(c.unicode());
            digitSeen = true;
        } else if (c == QLatin1Char('.') && !pointSeen) {
            number += '.';
            pointSeen = true;
        } else {
            break;
        }
        signAllowed = false;
    }
    if (!digitSeen) {
        return 0;
    }
    if (number.front() == '+') {
        number.erase(0, 1);
    }
    return roundedToInt32(toDouble(number));
}

CommandLine parseCommandLine(const QString& cmd) {
    CommandLine line;
    line.switchText = cmd.left(kSwitchLength).toLower();
    line.mode = modeOf(line.switchText);
    line.number = leadingNumber(cmd.mid(kSwitchLength));
    return line;
}

QString commandLineFromArguments(const QStringList& arguments) {
    return arguments.join(QLatin1Char(' '));
}

HostArguments takeHostArguments(const QStringList& arguments) {
    HostArguments out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool option = a == QLatin1String("--window-id") || a == QLatin1String("-window-id");
        if (option && i + 1 < arguments.size()) {
            out.windowId = arguments[++i];
        } else {
            out.rest.append(a);
        }
    }
    return out;
}

std::optional<quint32> parseHostWindow(const QString& text) {
    const QString trimmed = text.trimmed();
    const bool hex = trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? trimmed.mid(2) : trimmed;
    // toULongLong would also take a sign or inner blanks; an id is digits and nothing else.
    for (const QChar c : digits) {
        if (!(hex ? isAsciiHexDigit(c) : isAsciiDigit(c))) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qulonglong id = digits.toULongLong(&ok, hex ? 16 : 10);
    if (!ok || id == 0 || id > std::numeric_limits<quint32>::max()) {
        return std::nullopt;
    }
    return static_cast<quint32>(id);
}

} // namespace nimbuscope
