#pragma once

#include "registry/RegistryApi.h"

#include <QString>
#include <QStringList>
#include <QVariant>

namespace nimbuscope {

/// One registry access: set the root, key, value name and type, then read or assign
/// `value`. Every key opened is closed before an operation returns. Failures are raised as
/// `Error` with a number, a description and the source "<program>.cRegistry"; reads,
/// existence tests, `testWrite` and `EnumerateValues` never raise for registry failures.
///
/// Values travel as QVariant: an invalid QVariant is the empty variant, strings are
/// QString, numbers qint32 (or qint16), byte arrays QByteArray.
class cRegistry {
public:
    static constexpr int kErrFailed = 26001;
    static constexpr int kErrSetFailed = int(0x800469A9u);
    static constexpr int kErrEnumFailed = int(0x800469AAu);

    explicit cRegistry(RegistryApi& api);

    bool KeyExists();
    bool ValueExists();
    bool CreateKey();
    bool DeleteKey();
    bool DeleteValue();

    /// Reads the value; a missing key or value gives `Default`. Sets `ValueType` to the type
    /// found. REG_EXPAND_SZ comes back expanded; REG_BINARY as a byte array one longer than
    /// the data, the last byte 0.
    QVariant value();
    /// Writes the value by `ValueType`: text becomes REG_EXPAND_SZ when it holds two "%" at
    /// least two characters apart, else REG_SZ; REG_DWORD and REG_DWORD_BIG_ENDIAN write a
    /// 16- or 32-bit integer as 4 little-endian bytes of REG_DWORD, and anything else for
    /// them is quietly not written; REG_BINARY writes a byte array as it is.
    void setValue(const QVariant& vValue);
    /// As setValue, answering whether the value was written instead of raising (false also
    /// when nothing was written because a number was expected).
    bool testWrite(const QVariant& vValue);

    /// Value names (and sub-key names) of the key, in order; indexed from 0 here.
    bool EnumerateValues(QStringList& sKeyNames, qint32& iKeyCount);
    bool EnumerateSections(QStringList& sSect, qint32& iSectCount);

    qint32 ValueType() const { return valueType_; }
    void setValueType(qint32 eValueType) { valueType_ = eValueType; }
    qint32 ClassKey() const { return classKey_; }
    void setClassKey(qint32 eKey) { classKey_ = eKey; }
    const QString& SectionKey() const { return sectionKey_; }
    void setSectionKey(const QString& sSectionKey) { sectionKey_ = sSectionKey; }
    const QString& ValueKey() const { return valueKey_; }
    void setValueKey(const QString& sValueKey) { valueKey_ = sValueKey; }
    const QVariant& Default() const { return default_; }
    void setDefault(const QVariant& vDefault) { default_ = vDefault; }
    /// The value last written successfully by this object.
    const QVariant& lastValue() const { return lastValue_; }

private:
    enum class WriteOutcome { Written, NothingWritten, KeyNotCreated, NotByteArray, WriteFailed };

    WriteOutcome write(const QVariant& vValue);
    QVariant readOpenKey(RegistryApi::Handle key);
    QString setFailureText(const QVariant& vValue) const;
    QString rootText() const { return QString::number(classKey_); }
    [[noreturn]] void raise(int number, const QString& description) const;

    RegistryApi& api_;
    qint32 classKey_ = 0;
    QString sectionKey_;
    QString valueKey_;
    QVariant lastValue_;
    QVariant default_;
    qint32 valueType_ = 0;
};

/// The empty variant compares equal to 0 and to "": true for an invalid QVariant, 0 and "".
bool variantIsEmptyOrZero(const QVariant& v);

/// A registry value as text, as a variant converts: empty for the empty variant, numbers in
/// decimal, "True"/"False", byte arrays as ANSI bytes up to their first NUL.
QString variantToText(const QVariant& v);
/// A registry value as a 32-bit integer, as a variant converts: 0 for the empty variant,
/// numeric text rounded to the nearest integer (halves to even). Raises `Error` 13 (type
/// mismatch) for other text and byte arrays, and 6 (overflow) outside the 32-bit range.
qint32 variantToInt32(const QVariant& v);

/// The type a text value is written as: REG_EXPAND_SZ when it holds a "%" and a second "%"
/// at least two characters after it, else REG_SZ.
qint32 textValueType(const QString& text);

/// The source every registry error carries: the program's name + ".cRegistry".
QString registryErrorSource();

} // namespace nimbuscope
