// Writing a hive in the registry editor's text format.
#include "registry/RegistryHiveFormat.h"

#include "registry/RegistryApi.h"

#include <limits>
#include <vector>

namespace nimbuscope {

namespace {

constexpr qsizetype kHexLineWidth = 80; // the editor wraps long hex data at 80 columns

QString quoted(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"')) {
            out += QLatin1Char('\\');
        }
        out += c;
    }
    return out + QLatin1Char('"');
}

/// The text of a REG_SZ value when the quoted form reproduces its data exactly.
std::optional<QString> quotableText(const RegistryValue& v) {
    const QByteArray& d = v.data;
    if (v.type != REG_SZ || d.size() < 2 || d.size() % 2 != 0 || d.at(d.size() - 1) != 0 ||
        d.at(d.size() - 2) != 0) {
        return std::nullopt;
    }
    const QString text = utf16Text(d.constData(), d.size() / 2 - 1);
    if (!isStorableValueName(text)) { // no NUL, no line break, well-formed
        return std::nullopt;
    }
    return text;
}

QString hexData(const QString& lead, const QByteArray& data) {
    QString out = lead;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        QString token = QStringLiteral("%1").arg(uchar(data[i]), 2, 16, QLatin1Char('0'));
        if (i + 1 < data.size()) {
            token += QLatin1Char(',');
        }
        // Keep room for the continuation backslash within the line width.
        if (i > 0 && out.size() - lineStart + token.size() > kHexLineWidth - 1) {
            out += QStringLiteral("\\\n  ");
            lineStart = out.size() - 2;
        }
        out += token;
    }
    return out;
}

QString valueLine(const RegistryValue& v) {
    const QString lead = v.name.isEmpty() ? QStringLiteral("@=") : quoted(v.name) + u'=';
    if (const auto text = quotableText(v)) {
        return lead + quoted(*text);
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        quint32 n = 0;
        for (int i = 3; i >= 0; --i) {
            n = (n << 8) | uchar(v.data[i]);
        }
        return lead + QStringLiteral("dword:%1").arg(n, 8, 16, QLatin1Char('0'));
    }
    if (v.type == REG_BINARY) {
        return hexData(lead + QStringLiteral("hex:"), v.data);
    }
    return hexData(lead + QStringLiteral("hex(%1):").arg(quint32(v.type), 0, 16), v.data);
}

/// The hive's text, keys in the order a depth-first walk meets them; none when it would be
/// longer than `maxBytes`. The walk keeps its own stack, and one path that each key's path
/// replaces from its parent's on, so neither depth nor breadth costs more than the text.
std::optional<QByteArray> hiveText(const RegistryHive& hive, qsizetype maxBytes) {
    struct Pending {
        const RegistryKey* key;
        qsizetype parentPathLength;
    };
    QString out = QLatin1String(kHiveHeader) + QStringLiteral("\n\n");
    QString path = hive.root.name;
    std::vector<Pending> pending{{&hive.root, -1}};
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        const bool isRoot = next.parentPathLength < 0;
        if (!isRoot) {
            // Every key met since the parent lies below it, so the path still starts with it.
            path.truncate(next.parentPathLength);
            path += u'\\' + next.key->name;
        }
        if (!isRoot || !next.key->values.isEmpty()) {
            out += u'[' + path + QStringLiteral("]\n");
            for (const RegistryValue& v : next.key->values) {
                out += valueLine(v) + u'\n';
            }
            out += u'\n';
        }
        // A UTF-8 text is never shorter than its count of UTF-16 units.
        if (out.size() > maxBytes) {
            return std::nullopt;
        }
        for (auto sub = next.key->subKeys.rbegin(); sub != next.key->subKeys.rend(); ++sub) {
            pending.push_back({&*sub, path.size()});
        }
    }
    QByteArray bytes = out.toUtf8();
    if (bytes.size() > maxBytes) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

QByteArray writeHive(const RegistryHive& hive) {
    return hiveText(hive, std::numeric_limits<qsizetype>::max()).value();
}

std::optional<QByteArray> writeHiveWithinLimits(const RegistryHive& hive) {
    return hiveText(hive, hivelimits::kMaxFileBytes);
}

} // namespace nimbuscope
