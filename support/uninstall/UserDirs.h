// The freedesktop user-dirs.dirs file, read the way GLib reads it, so that every folder a file manager
// shows as Documents, Desktop, ... is known as such.
#pragma once

#include "Plan.h"

#include <QString>
#include <vector>

namespace tolvane::uninstall {

// The folders the file names: lines "XDG_<NAME>_DIR" with blanks allowed before the key and around
// "=", a value in double quotes that starts with "$HOME" (joined to the home folder) or "/", up to the
// last double quote, one trailing slash dropped. A value with backslashes counts both as written and
// with its backslash escapes undone (the way the xdg-user-dirs tools write it), so that no spelling
// of a folder escapes. Every other line is skipped.
std::vector<NamedFolder> parseUserDirs(const QString& text, const QString& home);

// The names under which those folders exist when the file names none of them.
inline const QStringList DefaultUserFolderNames = {QStringLiteral("Desktop"),   QStringLiteral("Documents"),
                                                   QStringLiteral("Downloads"), QStringLiteral("Music"),
                                                   QStringLiteral("Pictures"),  QStringLiteral("Public"),
                                                   QStringLiteral("Templates"), QStringLiteral("Videos")};

} // namespace tolvane::uninstall
