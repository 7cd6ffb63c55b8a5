// Files in tests.
#include "Files.h"

#include "Programs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace tolvane::testing {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString readText(const QString& path)
{
    return QString::fromUtf8(readFile(path));
}

bool writeFile(const QString& path, const QByteArray& contents,
               std::optional<QFileDevice::Permissions> permissions)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        return false;
    file.close();
    return !permissions || file.setPermissions(*permissions);
}

bool writeScript(const QString& path, const QByteArray& body)
{
    return writeFile(path, body, ScriptPermissions);
}

QStringList folderEntries(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                QDir::Name);
}

LockedFolder::LockedFolder(const QString& path) : m_path(path)
{
    // Root writes into read-only folders, so for root only the immutable attribute shuts a folder.
    if (runProgram(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0)
        m_mode = Mode::Immutable;
    else if (::geteuid() != 0 && QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner))
        m_mode = Mode::ReadOnly;
    // Only a folder that really refuses a new file counts.
    QFile probe(path + QStringLiteral("/.locked-folder-probe"));
    m_locked = m_mode != Mode::None && !probe.open(QIODevice::WriteOnly);
    if (probe.isOpen()) {
        probe.close();
        probe.remove();
    }
}

LockedFolder::~LockedFolder()
{
    if (m_mode == Mode::Immutable)
        runProgram(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
    else if (m_mode == Mode::ReadOnly)
        QFile::setPermissions(m_path,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace tolvane::testing
