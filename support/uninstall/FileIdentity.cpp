// Identity by device and inode, and the walks that need it.
#include "FileIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tolvane::uninstall {

namespace {

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

std::optional<struct stat> statOf(const QString& path, bool followLinks)
{
    struct stat info;
    const QByteArray name = encoded(path);
    const int result = followLinks ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info);
    if (result != 0)
        return std::nullopt;
    return info;
}

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

std::optional<FileId> identityOf(const QString& path)
{
    const auto info = statOf(path, true);
    if (!info)
        return std::nullopt;
    return FileId{info->st_dev, info->st_ino};
}

std::optional<FileId> entryIdentityOf(const QString& path)
{
    const auto info = statOf(path, false);
    if (!info)
        return std::nullopt;
    return FileId{info->st_dev, info->st_ino};
}

bool entryExists(const QString& path)
{
    return !path.isEmpty() && statOf(path, false).has_value();
}

QString resolved(const QString& path)
{
    if (path.isEmpty())
        return {};
    return QFileInfo(path).canonicalFilePath();
}

QString resolvedEntry(const QString& path)
{
    if (!QDir::isAbsolutePath(path))
        return {};
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    if (trimmed == QLatin1String("/"))
        return trimmed;
    const QString name = nameOf(trimmed);
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return resolved(trimmed);
    const QString folder = resolved(parentOf(trimmed));
    if (folder.isEmpty())
        return {};
    return folder == QLatin1String("/") ? QLatin1Char('/') + name : folder + QLatin1Char('/') + name;
}

QString resolvedAsFarAsItExists(const QString& path)
{
    if (!QDir::isAbsolutePath(path))
        return {};
    if (const QString entry = resolvedEntry(path); !entry.isEmpty())
        return entry;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = QStringLiteral("/");
    qsizetype i = 0;
    for (; i < parts.size(); ++i) {
        if (parts[i] == QLatin1String("."))
            continue;
        const QString next = current == QLatin1String("/") ? QLatin1Char('/') + parts[i]
                                                           : current + QLatin1Char('/') + parts[i];
        if (parts[i] != QLatin1String("..") && !entryExists(next))
            break;
        current = resolved(next);
        if (current.isEmpty())
            return {};
    }
    QStringList rest = parts.mid(i);
    if (rest.contains(QStringLiteral("..")))
        return {};
    rest.removeAll(QStringLiteral("."));
    const QString tail = rest.join(QLatin1Char('/'));
    if (tail.isEmpty())
        return current;
    return current == QLatin1String("/") ? QLatin1Char('/') + tail : current + QLatin1Char('/') + tail;
}

namespace {

// The identities on the way from the entry up to the root: the entry itself (a link as a link), then
// each folder above it. An entry that does not exist starts at its nearest existing folder.
std::vector<FileId> identitiesUpward(const QString& path)
{
    std::vector<FileId> ids;
    QString current = resolvedEntry(path);
    if (current.isEmpty()) {
        // Not resolvable as a whole: start from the nearest folder above it that exists.
        QString above = QDir::cleanPath(path);
        while (above != QLatin1String("/") && resolved(above).isEmpty())
            above = parentOf(above);
        current = resolved(above);
    }
    if (current.isEmpty())
        return ids;
    if (const auto own = entryIdentityOf(current))
        ids.push_back(*own);
    // A link's target counts too: the entry "is" the folder it leads to.
    if (const auto target = identityOf(current); target && (ids.empty() || !(*target == ids.front())))
        ids.push_back(*target);
    while (current != QLatin1String("/")) {
        current = parentOf(current);
        if (const auto id = identityOf(current))
            ids.push_back(*id);
    }
    return ids;
}

} // namespace

bool isAtOrBelow(const QString& path, const QString& folder)
{
    const auto folderId = identityOf(folder);
    if (!folderId)
        return false;
    for (const FileId& id : identitiesUpward(path)) {
        if (id == *folderId)
            return true;
    }
    return false;
}

bool isBelow(const QString& path, const QString& folder)
{
    const auto folderId = identityOf(folder);
    if (!folderId)
        return false;
    const QString entry = resolvedEntry(path);
    if (entry.isEmpty() || entry == QLatin1String("/"))
        return false;
    // The entry itself may be the folder (or a link to it): only the folders above it count.
    return isAtOrBelow(parentOf(entry), folder);
}

QString otherDeviceBelow(const QString& folder, bool* unreadable)
{
    *unreadable = false;
    const auto top = statOf(folder, false);
    if (!top)
        return folder;
    std::vector<QString> pending{folder};
    while (!pending.empty()) {
        const QString current = pending.back();
        pending.pop_back();
        DIR* dir = ::opendir(encoded(current).constData());
        if (!dir) {
            *unreadable = true;
            return current;
        }
        while (const dirent* entry = ::readdir(dir)) {
            const QString name = QFile::decodeName(entry->d_name);
            if (name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            const QString child = current + QLatin1Char('/') + name;
            const auto info = statOf(child, false);
            if (!info)
                continue;
            if (info->st_dev != top->st_dev) {
                ::closedir(dir);
                return child;
            }
            if (S_ISDIR(info->st_mode))
                pending.push_back(child);
        }
        ::closedir(dir);
    }
    return {};
}

namespace {

QString whyNotRemovable(const QString& entry, const struct stat& info)
{
    const QString folder = parentOf(entry);
    const auto folderInfo = statOf(folder, true);
    if (!folderInfo || ::access(encoded(folder).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("the user may not remove it: no write access to the folder %1 that holds it")
            .arg(folder);
    const uid_t user = ::geteuid();
    if (user != 0 && (folderInfo->st_mode & S_ISVTX) && folderInfo->st_uid != user && info.st_uid != user)
        return QStringLiteral(
                   "the user may not remove it: it belongs to someone else in the shared folder %1")
            .arg(folder);
    // A folder that moves or empties needs write access to itself as well.
    if (S_ISDIR(info.st_mode) && ::access(encoded(entry).constData(), W_OK | X_OK | R_OK) != 0)
        return QStringLiteral("the user may not remove it: no write access to %1").arg(entry);
    return {};
}

} // namespace

QString whyUserMayNotRemove(const QString& entry, bool wholeTree)
{
    const auto info = statOf(entry, false);
    if (!info)
        return {};
    if (QString why = whyNotRemovable(entry, *info); !why.isEmpty())
        return why;
    if (!wholeTree || !S_ISDIR(info->st_mode))
        return {};
    std::vector<QString> pending{entry};
    while (!pending.empty()) {
        const QString current = pending.back();
        pending.pop_back();
        DIR* dir = ::opendir(encoded(current).constData());
        if (!dir)
            return QStringLiteral("the user may not remove it: cannot read %1").arg(current);
        while (const dirent* child = ::readdir(dir)) {
            const QString name = QFile::decodeName(child->d_name);
            if (name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            const QString path = current + QLatin1Char('/') + name;
            const auto childInfo = statOf(path, false);
            if (!childInfo)
                continue;
            if (QString why = whyNotRemovable(path, *childInfo); !why.isEmpty()) {
                ::closedir(dir);
                return why;
            }
            if (S_ISDIR(childInfo->st_mode))
                pending.push_back(path);
        }
        ::closedir(dir);
    }
    return {};
}

} // namespace tolvane::uninstall
