// Files in tests: whole files read and written, executable scripts, folder listings, and a folder that
// refuses new files.
#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QStringList>
#include <optional>

namespace tolvane::testing {

// Owner read, write and execute: what a script written by a test gets.
inline constexpr QFileDevice::Permissions ScriptPermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// The whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);
// The whole file as UTF-8 text.
QString readText(const QString& path);
// Writes the whole file, making its folder as needed, and then gives it the permissions when set.
bool writeFile(const QString& path, const QByteArray& contents,
               std::optional<QFileDevice::Permissions> permissions = std::nullopt);
// An executable script: writeFile with ScriptPermissions.
bool writeScript(const QString& path, const QByteArray& body);
// The entries of a folder other than . and .., hidden ones included, sorted.
QStringList folderEntries(const QString& path);

// Makes a folder refuse new files even for root (the immutable attribute; for another user, taking away
// the write permission also does) and undoes it on destruction. isLocked() is true only when the
// folder was seen to refuse a new file.
class LockedFolder {
public:
    explicit LockedFolder(const QString& path);
    ~LockedFolder();
    LockedFolder(const LockedFolder&) = delete;
    LockedFolder& operator=(const LockedFolder&) = delete;

    bool isLocked() const { return m_locked; }

private:
    enum class Mode { None, Immutable, ReadOnly };
    QString m_path;
    Mode m_mode = Mode::None;
    bool m_locked = false;
};

} // namespace tolvane::testing
