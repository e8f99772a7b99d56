#pragma once

#include <QString>
#include <QTemporaryDir>

namespace nimbuscope::test {

/// A private set of folders for one test: HOME, XDG_CONFIG_HOME, XDG_CONFIG_DIRS,
/// XDG_RUNTIME_DIR and TMPDIR all point inside one temporary folder while it lives, so no
/// test touches the user's real hive, cache or locks.
class TestWorld {
public:
    TestWorld();
    ~TestWorld();
    TestWorld(const TestWorld&) = delete;
    TestWorld& operator=(const TestWorld&) = delete;

    QString root() const { return dir_.path(); }
    QString home() const { return root() + QStringLiteral("/home"); }
    QString configHome() const { return root() + QStringLiteral("/config"); }
    QString configDir() const { return root() + QStringLiteral("/etc-xdg"); }
    QString runtimeDir() const { return root() + QStringLiteral("/run"); }
    QString tmp() const { return root() + QStringLiteral("/tmp"); }

    /// Writes `bytes` to `path` (relative to root() unless absolute), creating folders.
    QString writeFile(const QString& path, const QByteArray& bytes) const;
    QByteArray readFile(const QString& path) const;

private:
    QTemporaryDir dir_;
    QList<QPair<QByteArray, QByteArray>> saved_;
};

} // namespace nimbuscope::test
