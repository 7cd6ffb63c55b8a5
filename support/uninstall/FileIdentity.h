// Identity by the file system: resolved paths, device and inode, never the spelling of a path.
#pragma once

#include <QString>
#include <optional>
#include <sys/types.h>

namespace tolvane::uninstall {

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// The identity of what the path leads to (links followed), or of the entry itself.
std::optional<FileId> identityOf(const QString& path);
std::optional<FileId> entryIdentityOf(const QString& path);
bool entryExists(const QString& path);

// The absolute path with every link and "." or ".." resolved; empty when it does not exist.
QString resolved(const QString& path);

// The entry the absolute path names: its folder resolved, its own name kept, so that a link names
// the link. Empty when the folder cannot be resolved or the name is "." or "..".
QString resolvedEntry(const QString& path);

// The absolute path with the part that exists resolved as resolvedEntry does and the rest (which does not
// exist) kept as written; empty when that rest holds ".." (it cannot be followed).
QString resolvedAsFarAsItExists(const QString& path);

// The path (an entry, resolved by resolvedEntry) is the folder or lies below it: some entry on the way
// from the path up to the root is the same file as the folder. A path that does not exist is
// judged by its nearest existing folder.
bool isAtOrBelow(const QString& path, const QString& folder);
// The same, with the path strictly below the folder.
bool isBelow(const QString& path, const QString& folder);

// The first folder at or below the folder (links not followed) that lies on another device, or that
// cannot be read; empty when the whole tree is on the folder's own device. Sets unreadable when the
// walk met a folder it could not read.
QString otherDeviceBelow(const QString& folder, bool* unreadable);

// Why the user may not remove the entry with the user's own rights (the folder that holds it must be
// writable, a folder itself too, and a shared folder with the sticky bit needs the user to own the
// one or the other); empty when the user may. With wholeTree, every folder below must allow it too.
QString whyUserMayNotRemove(const QString& entry, bool wholeTree);

} // namespace tolvane::uninstall
