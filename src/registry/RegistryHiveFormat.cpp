#include "registry/RegistryHiveFormat.h"

#include "registry/RegistryApi.h"

#include <QHash>
#include <QStringDecoder>

#include <vector>

namespace nimbuscope {

namespace {

constexpr qsizetype kMaxDwordDigits = 8;
constexpr QLatin1StringView kDwordPrefix("dword:");
constexpr QLatin1StringView kHexPrefix("hex");

std::optional<QString> decodeText(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE")) {
        if (bytes.size() % 2 != 0) {
            return std::nullopt;
        }
        // An unpaired surrogate could not be written back: the file is damaged like one
        // holding bad UTF-8.
        QString text = utf16Text(bytes.constData() + 2, (bytes.size() - 2) / 2);
        if (!text.isValidUtf16()) {
            return std::nullopt;
        }
        return text;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
    if (utf8.hasError()) {
        return std::nullopt;
    }
    return text;
}

QString rightTrimmed(const QString& line) {
    qsizetype end = line.size();
    while (end > 0 && (line[end - 1] == QLatin1Char(' ') || line[end - 1] == QLatin1Char('\t') ||
                       line[end - 1] == QLatin1Char('\r'))) {
        --end;
    }
    return line.left(end);
}

QByteArray utf16Bytes(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

/// Reads the file line by line into the hive; stops at the first line it cannot take, or
/// at the first that takes the hive past its bounds. Keys and values are found through
/// indexes of their case-folded names, so a file of many siblings is read in linear time.
class HiveParser {
public:
    HiveParser(QStringList lines, QString rootName)
        : lines_(std::move(lines)), rootName_(std::move(rootName)), hive_(rootName_) {
        keys_.push_back({-1, 0});
    }

    std::optional<RegistryHive> run(HiveParseError* error) {
        if (parseAll()) {
            return std::move(hive_);
        }
        if (error != nullptr) {
            *error = error_;
        }
        return std::nullopt;
    }

private:
    /// Where a key sits: its parent's id and its position among the parent's sub-keys.
    struct KeyPlace {
        int parent;
        std::size_t index;
    };

    bool fail(const QString& message) {
        error_ = {int(index_) + 1, message};
        return false;
    }

    bool parseAll() {
        if (lines_.isEmpty() || rightTrimmed(lines_.first()) != QLatin1String(kHiveHeader)) {
            return fail(QStringLiteral("missing header"));
        }
        for (index_ = 1; index_ < lines_.size(); ++index_) {
            const QString line = rightTrimmed(lines_[index_]);
            if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) {
                continue;
            }
            const bool ok = line.startsWith(QLatin1Char('[')) ? parseSection(line)
                            : (line.startsWith(QLatin1Char('"')) || line.startsWith(u'@'))
                                ? parseValue(line)
                                : fail(QStringLiteral("unexpected line"));
            if (!ok) {
                return false;
            }
        }
        return true;
    }

    bool parseSection(const QString& line) {
        if (!line.endsWith(QLatin1Char(']'))) {
            return fail(QStringLiteral("unterminated section"));
        }
        const QStringList parts = line.mid(1, line.size() - 2).split(QLatin1Char('\\'));
        if (parts.first().compare(rootName_, Qt::CaseInsensitive) != 0) {
            return fail(QStringLiteral("section outside ") + rootName_);
        }
        if (parts.size() - 1 > hivelimits::kMaxKeyDepth) {
            return fail(QStringLiteral("keys nested too deep"));
        }
        for (qsizetype i = 1; i < parts.size(); ++i) {
            if (!isStorableKeyName(parts[i])) {
                return fail(QStringLiteral("bad key name"));
            }
        }
        return enterKey(parts.mid(1));
    }

    /// Makes the key at `path` (and any missing parent) the current one.
    bool enterKey(const QStringList& path) {
        RegistryKey* key = &hive_.root;
        int id = 0;
        for (const QString& name : path) {
            const auto found = children_.constFind({id, name.toCaseFolded()});
            if (found != children_.constEnd()) {
                id = *found;
                key = &key->subKeys[keys_[std::size_t(id)].index];
                continue;
            }
            if (qsizetype(keys_.size()) > hivelimits::kMaxKeys) {
                return fail(QStringLiteral("too many keys"));
            }
            key->subKeys.push_back(RegistryKey{name, {}, {}});
            keys_.push_back({id, key->subKeys.size() - 1});
            id = int(keys_.size() - 1);
            children_.insert({keys_[std::size_t(id)].parent, name.toCaseFolded()}, id);
            key = &key->subKeys.back();
        }
        // No key is added before the next section line, so the pointer stays good till then.
        current_ = id;
        currentKey_ = key;
        return true;
    }

    bool parseQuoted(const QString& line, qsizetype& pos, QString& out) {
        out.clear();
        for (++pos; pos < line.size(); ++pos) {
            const QChar c = line[pos];
            if (c == QLatin1Char('"')) {
                ++pos;
                return true;
            }
            if (c == QLatin1Char('\\')) {
                if (++pos >= line.size() ||
                    (line[pos] != QLatin1Char('\\') && line[pos] != QLatin1Char('"'))) {
                    return fail(QStringLiteral("bad escape"));
                }
            }
            out += line[pos];
        }
        return fail(QStringLiteral("unterminated string"));
    }

    bool parseValue(const QString& line) {
        if (currentKey_ == nullptr) {
            return fail(QStringLiteral("value outside a section"));
        }
        qsizetype pos = 0;
        QString name;
        if (line[0] == QLatin1Char('@')) {
            pos = 1;
        } else if (!parseQuoted(line, pos, name)) {
            return false;
        }
        while (pos < line.size() && line[pos].isSpace()) {
            ++pos;
        }
        if (pos >= line.size() || line[pos] != QLatin1Char('=')) {
            return fail(QStringLiteral("missing '='"));
        }
        QString data = line.mid(pos + 1).trimmed();
        qint32 type = 0;
        QByteArray bytes;
        if (!parseData(data, type, bytes)) {
            return false;
        }
        if (bytes.size() > hivelimits::kMaxValueBytes) {
            return fail(QStringLiteral("value too large"));
        }
        putValue(name, type, bytes);
        return true;
    }

    /// As RegistryKey::putValue, through the index of the current key's value names.
    void putValue(const QString& name, qint32 type, const QByteArray& bytes) {
        QList<RegistryValue>& values = currentKey_->values;
        const std::pair<int, QString> where{current_, name.toCaseFolded()};
        const auto found = valueIndex_.constFind(where);
        if (found != valueIndex_.constEnd()) {
            values[*found].type = type;
            values[*found].data = bytes;
            return;
        }
        valueIndex_.insert(where, values.size());
        values.append(RegistryValue{name, type, bytes});
    }

    bool parseData(QString data, qint32& type, QByteArray& bytes) {
        if (data.startsWith(QLatin1Char('"'))) {
            qsizetype pos = 0;
            QString text;
            if (!parseQuoted(data, pos, text)) {
                return false;
            }
            if (pos != data.size()) {
                return fail(QStringLiteral("text after string"));
            }
            type = REG_SZ;
            bytes = utf16Bytes(text + QChar(0));
            return true;
        }
        if (data.startsWith(kDwordPrefix, Qt::CaseInsensitive)) {
            return parseDword(data.mid(kDwordPrefix.size()), type, bytes);
        }
        if (data.startsWith(kHexPrefix, Qt::CaseInsensitive)) {
            return parseHex(data.mid(kHexPrefix.size()), type, bytes);
        }
        return fail(QStringLiteral("unknown value data"));
    }

    bool parseDword(const QString& digits, qint32& type, QByteArray& bytes) {
        bool ok = false;
        const quint32 n = digits.toUInt(&ok, 16);
        if (!ok || digits.isEmpty() || digits.size() > kMaxDwordDigits ||
            digits.startsWith(QLatin1Char('+')) || digits.startsWith(QLatin1Char('-'))) {
            return fail(QStringLiteral("bad dword"));
        }
        type = REG_DWORD;
        bytes.resize(4);
        for (int i = 0; i < 4; ++i) {
            bytes[i] = char((n >> (8 * i)) & 0xFF);
        }
        return true;
    }

    bool parseHexType(QString& rest, qint32& type) {
        type = REG_BINARY;
        if (rest.startsWith(QLatin1Char('('))) {
            const qsizetype close = rest.indexOf(QLatin1Char(')'));
            const QString digits = close < 0 ? QString() : rest.mid(1, close - 1);
            bool ok = false;
            type = qint32(digits.toUInt(&ok, 16));
            if (!ok || digits.size() > kMaxDwordDigits || digits.startsWith(u'+')) {
                return fail(QStringLiteral("bad hex type"));
            }
            rest = rest.mid(close + 1);
        }
        if (!rest.startsWith(QLatin1Char(':'))) {
            return fail(QStringLiteral("missing ':'"));
        }
        rest = rest.mid(1);
        return true;
    }

    bool parseHex(QString rest, qint32& type, QByteArray& bytes) {
        if (!parseHexType(rest, type)) {
            return false;
        }
        // Long data goes on over following lines, each ending in a backslash but the last.
        while (rest.endsWith(QLatin1Char('\\'))) {
            rest.chop(1);
            if (++index_ >= lines_.size()) {
                return fail(QStringLiteral("continuation past the end"));
            }
            rest += rightTrimmed(lines_[index_]).trimmed();
        }
        bytes.clear();
        if (rest.trimmed().isEmpty()) {
            return true;
        }
        for (const QStringView token : QStringView(rest).split(QLatin1Char(','))) {
            const QStringView digits = token.trimmed();
            bool ok = false;
            const uint b = digits.toUInt(&ok, 16);
            if (!ok || digits.isEmpty() || digits.size() > 2 || digits.startsWith(u'+')) {
                return fail(QStringLiteral("bad hex byte"));
            }
            bytes.append(char(b));
        }
        return true;
    }

    QStringList lines_;
    QString rootName_;
    RegistryHive hive_;
    /// Key ids: 0 is the root; a key's id is its place in `keys_`.
    std::vector<KeyPlace> keys_;
    QHash<std::pair<int, QString>, int> children_;
    QHash<std::pair<int, QString>, qsizetype> valueIndex_;
    int current_ = -1;
    RegistryKey* currentKey_ = nullptr;
    qsizetype index_ = 0;
    HiveParseError error_;
};

} // namespace

std::optional<RegistryHive> parseHive(const QByteArray& bytes, const QString& rootName,
                                      HiveParseError* error) {
    if (bytes.size() > hivelimits::kMaxFileBytes) {
        if (error != nullptr) {
            *error = {0, QStringLiteral("file too large")};
        }
        return std::nullopt;
    }
    const std::optional<QString> text = decodeText(bytes);
    if (!text) {
        if (error != nullptr) {
            *error = {0, QStringLiteral("not well-formed UTF-8 or UTF-16 text")};
        }
        return std::nullopt;
    }
    if (text->trimmed().isEmpty()) {
        return RegistryHive(rootName);
    }
    return HiveParser(text->split(QLatin1Char('\n')), rootName).run(error);
}

} // namespace nimbuscope
