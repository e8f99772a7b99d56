#include "settings/cRegistry.h"

#include "support/Error.h"
#include "support/StringUtils.h"

#include <QCoreApplication>

#include <cmath>
#include <limits>

namespace nimbuscope {

namespace {

constexpr char kFallbackProgramName[] = "nimbuscope";
constexpr qsizetype kDwordSize = 4;

/// A key opened or created for one operation; closed when the operation leaves, whichever
/// way it leaves.
class ScopedKey {
public:
    explicit ScopedKey(RegistryApi& api) : api_(api) {}
    ~ScopedKey() {
        if (open_) {
            api_.closeKey(handle_);
        }
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    bool open(qint32 root, const QString& path, quint32 access) {
        open_ = api_.openKey(root, path, access, handle_) == regstatus::Success;
        return open_;
    }
    bool create(qint32 root, const QString& path) {
        open_ = api_.createKey(root, path, regaccess::AllAccess, handle_) == regstatus::Success;
        return open_;
    }
    RegistryApi::Handle handle() const { return handle_; }

private:
    RegistryApi& api_;
    RegistryApi::Handle handle_ = 0;
    bool open_ = false;
};

qint32 fromLittleEndian(const QByteArray& data) {
    quint32 n = 0;
    for (qsizetype i = std::min(data.size(), kDwordSize) - 1; i >= 0; --i) {
        n = (n << 8) | uchar(data[i]);
    }
    return qint32(n);
}

QByteArray toLittleEndian(qint32 value) {
    QByteArray data(kDwordSize, Qt::Uninitialized);
    for (qsizetype i = 0; i < kDwordSize; ++i) {
        data[i] = char((quint32(value) >> (8 * i)) & 0xFF);
    }
    return data;
}

/// The byte order of a REG_DWORD_BIG_ENDIAN value reversed.
QByteArray swapEndian(const QByteArray& data) {
    QByteArray padded = data.left(kDwordSize);
    padded.prepend(QByteArray(kDwordSize - padded.size(), '\0'));
    std::reverse(padded.begin(), padded.end());
    return padded;
}

/// Text as the registry returns it, without its final terminator.
QString textOf(const QByteArray& data) {
    QString text = ansiToText(data);
    if (text.endsWith(QChar(0))) {
        text.chop(1);
    }
    return text;
}

bool isShortOrLong(const QVariant& v) {
    return v.typeId() == QMetaType::Int || v.typeId() == QMetaType::Short;
}

} // namespace

QString registryErrorSource() {
    QString program = QCoreApplication::applicationName();
    if (program.isEmpty()) {
        program = QLatin1String(kFallbackProgramName);
    }
    return program + QStringLiteral(".cRegistry");
}

cRegistry::cRegistry(RegistryApi& api) : api_(api) {}

void cRegistry::raise(int number, const QString& description) const {
    throw Error(number, description, registryErrorSource());
}

QString cRegistry::setFailureText(const QVariant& vValue) const {
    return QStringLiteral("Failed to set registry value Key: '") + rootText() +
           QStringLiteral("',Section: '") + sectionKey_ + QStringLiteral("',Key: '") + valueKey_ +
           QStringLiteral("' to value: '") + variantToText(vValue) + QStringLiteral("'");
}

bool cRegistry::KeyExists() {
    ScopedKey key(api_);
    return key.open(classKey_, sectionKey_, regaccess::QueryValue);
}

bool cRegistry::ValueExists() {
    ScopedKey key(api_);
    if (!key.open(classKey_, sectionKey_, regaccess::QueryValue)) {
        return false;
    }
    qint32 type = 0;
    QByteArray buffer;
    quint32 size = 0;
    const long status = api_.queryValue(key.handle(), valueKey_, type, &buffer, size);
    return status == regstatus::Success || status == regstatus::MoreData;
}

bool cRegistry::CreateKey() {
    ScopedKey key(api_);
    if (!key.create(classKey_, sectionKey_)) {
        raise(kErrFailed, QStringLiteral("Failed to create registry Key: '") + sectionKey_);
    }
    return true;
}

bool cRegistry::DeleteKey() {
    if (api_.deleteKey(classKey_, sectionKey_) != regstatus::Success) {
        raise(kErrFailed, QStringLiteral("Failed to delete registry Key: '") + rootText() +
                              QStringLiteral("',Section: '") + sectionKey_);
    }
    return true;
}

bool cRegistry::DeleteValue() {
    long status = regstatus::Success;
    {
        ScopedKey key(api_);
        if (!key.open(classKey_, sectionKey_, regaccess::AllAccess)) {
            raise(kErrFailed, QStringLiteral("Failed to open key '") + rootText() +
                                  QStringLiteral("',Section: '") + sectionKey_ +
                                  QStringLiteral("' for delete access"));
        }
        status = api_.deleteValue(key.handle(), valueKey_);
    }
    if (status != regstatus::Success) {
        raise(kErrFailed, QStringLiteral("Failed to delete registry Key: '") + rootText() +
                              QStringLiteral("',Section: '") + sectionKey_ +
                              QStringLiteral("',Key: '") + valueKey_);
    }
    return true;
}

QVariant cRegistry::value() {
    ScopedKey key(api_);
    if (!key.open(classKey_, sectionKey_, regaccess::QueryValue)) {
        return default_;
    }
    return readOpenKey(key.handle());
}

QVariant cRegistry::readOpenKey(RegistryApi::Handle key) {
    qint32 type = 0;
    QByteArray data;
    quint32 size = 0;
    long status = api_.queryValue(key, valueKey_, type, &data, size);
    if (status != regstatus::Success && status != regstatus::MoreData) {
        return default_;
    }
    // Another process may change the value between the two queries; then it reads as missing.
    status = api_.queryValue(key, valueKey_, type, &data, size);
    if (status != regstatus::Success) {
        return default_;
    }
    valueType_ = type;
    switch (type) {
    case REG_SZ:
    case REG_MULTI_SZ:
        return textOf(data);
    case REG_EXPAND_SZ:
        return api_.expandEnvironmentStrings(textOf(data));
    case REG_DWORD:
        return fromLittleEndian(data);
    case REG_DWORD_BIG_ENDIAN:
        return fromLittleEndian(swapEndian(data));
    default:
        return data + QByteArray(1, '\0'); // one element past the data, holding 0
    }
}

cRegistry::WriteOutcome cRegistry::write(const QVariant& vValue) {
    ScopedKey key(api_);
    if (!key.create(classKey_, sectionKey_)) {
        return WriteOutcome::KeyNotCreated;
    }
    long status = regstatus::InvalidData;
    switch (valueType_) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        const QString text = variantToText(vValue);
        status = api_.setValue(key.handle(), valueKey_, textValueType(text),
                               textToAnsi(text) + QByteArray(1, '\0'));
        break;
    }
    case REG_BINARY:
        if (vValue.typeId() != QMetaType::QByteArray) {
            return WriteOutcome::NotByteArray;
        }
        status = api_.setValue(key.handle(), valueKey_, REG_BINARY, vValue.toByteArray());
        break;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        if (!isShortOrLong(vValue)) {
            return WriteOutcome::NothingWritten;
        }
        status = api_.setValue(key.handle(), valueKey_, REG_DWORD, toLittleEndian(vValue.toInt()));
        break;
    default:
        break; // no other type can be written: the write fails with status 13
    }
    if (status != regstatus::Success) {
        return WriteOutcome::WriteFailed;
    }
    lastValue_ = vValue;
    return WriteOutcome::Written;
}

void cRegistry::setValue(const QVariant& vValue) {
    switch (write(vValue)) {
    case WriteOutcome::KeyNotCreated:
        raise(kErrFailed, setFailureText(vValue));
    case WriteOutcome::NotByteArray:
        raise(kErrFailed, QString());
    case WriteOutcome::WriteFailed:
        raise(kErrSetFailed, setFailureText(vValue));
    case WriteOutcome::Written:
    case WriteOutcome::NothingWritten:
        return;
    }
}

bool cRegistry::testWrite(const QVariant& vValue) {
    try {
        return write(vValue) == WriteOutcome::Written;
    } catch (...) {
        return false;
    }
}

bool cRegistry::EnumerateValues(QStringList& sKeyNames, qint32& iKeyCount) {
    sKeyNames.clear();
    iKeyCount = 0;
    ScopedKey key(api_);
    if (!key.open(classKey_, sectionKey_, regaccess::QueryValue)) {
        return true;
    }
    quint32 longest = 0;
    api_.queryMaxValueNameLength(key.handle(), longest);
    QString name;
    for (quint32 index = 0; api_.enumValue(key.handle(), index, name) == regstatus::Success;
         ++index) {
        sKeyNames.append(name);
        ++iKeyCount;
    }
    return true;
}

bool cRegistry::EnumerateSections(QStringList& sSect, qint32& iSectCount) {
    sSect.clear();
    iSectCount = 0;
    try {
        ScopedKey key(api_);
        if (!key.open(classKey_, sectionKey_, regaccess::EnumerateSubKeys)) {
            return true;
        }
        QString name;
        for (quint32 index = 0; api_.enumKey(key.handle(), index, name) == regstatus::Success;
             ++index) {
            sSect.append(StripTerminator(name));
            ++iSectCount;
        }
    } catch (const std::exception& e) {
        raise(kErrEnumFailed, asError(e).description());
    }
    return true;
}

bool variantIsEmptyOrZero(const QVariant& v) {
    if (!v.isValid() || v.isNull()) {
        return true;
    }
    if (v.typeId() == QMetaType::QString) {
        return v.toString().isEmpty();
    }
    bool numeric = false;
    const double n = v.toDouble(&numeric);
    return numeric && n == 0;
}

QString variantToText(const QVariant& v) {
    if (!v.isValid()) {
        return {};
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        return boolText(v.toBool());
    case QMetaType::QByteArray:
        return StripTerminator(ansiToText(v.toByteArray()));
    default:
        return v.toString();
    }
}

qint32 variantToInt32(const QVariant& v) {
    if (!v.isValid()) {
        return 0;
    }
    double n = 0;
    bool ok = false;
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? -1 : 0;
    case QMetaType::QByteArray:
        throw Error::of(err::TypeMismatch);
    case QMetaType::QString: {
        const QString text = v.toString().trimmed();
        if (text.isEmpty()) {
            throw Error::of(err::TypeMismatch);
        }
        n = text.toDouble(&ok);
        break;
    }
    default:
        n = v.toDouble(&ok);
        break;
    }
    if (!ok || !std::isfinite(n)) {
        throw Error::of(err::TypeMismatch);
    }
    n = std::nearbyint(n);
    if (n < double(std::numeric_limits<qint32>::min()) ||
        n > double(std::numeric_limits<qint32>::max())) {
        throw Error::of(err::Overflow);
    }
    return qint32(n);
}

qint32 textValueType(const QString& text) {
    const qsizetype first = text.indexOf(QLatin1Char('%'));
    const bool expands = first >= 0 && text.indexOf(QLatin1Char('%'), first + 2) >= 0;
    return expands ? REG_EXPAND_SZ : REG_SZ;
}

} // namespace nimbuscope
