// What differs between the systems the tool runs on; nix/ and mac/ each implement it, and the build
// picks one.
#pragma once

#include "Plan.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace tolvane::uninstall {

class Log;

// The user's well-known folders: on freedesktop systems those of user-dirs.dirs and their usual names,
// on macOS the system's own list.
std::vector<NamedFolder> wellKnownFolders(const QProcessEnvironment& environment, const QString& home,
                                          const QString& configFolder);
std::vector<SystemFolder> systemFolders();
// The user's Tolvane settings and login entries, and the folders of the product's own that hold them.
QStringList settingsPaths(const QString& home, const QString& configFolder);
QStringList settingsFolders(const QString& home, const QString& configFolder);
// Every mount point of the mount table, as this process sees it.
QStringList mountPoints();
// The system package that owns the tool, when the tool came with one.
std::optional<QString> owningPackage(const QString& tool, Log& log);

// The command that runs the given command (a program by its absolute path and its arguments) with
// administrator rights, asking the user; absent with the reason when there is no way to ask.
struct Command {
    QString program;
    QStringList arguments;
    // It asks on the terminal, so it keeps the terminal's session.
    bool asksOnTerminal = false;
};
std::optional<Command> administratorCommand(const QStringList& command,
                                            const QProcessEnvironment& environment, QString* missing);
// The package's removal as a command for administratorCommand.
QStringList packageRemovalCommand(const QString& package);

// Makes sure the Trash can take the path: answers why not, or empty. (Qt creates the Trash folder but not
// the user's data folder that holds it, and without one moves the path to a folder relative to the current
// one; a Trash whose folders it cannot write keeps it trying forever.)
QString prepareTrash(const QProcessEnvironment& environment, const QString& home, const QString& path);

// What goes before a setting's file is removed (on macOS the preferences daemon drops its copy).
void beforeRemovingSetting(const QString& path, Log& log);
// Removes TOLVANE_HOME from the login session's environments; best effort, logged.
void unsetSessionVariable(const QString& name, Log& log);

} // namespace tolvane::uninstall
