// The uninstall's plan: what the tool found (Facts), and every action it will take, in the order it
// takes them, with every refusal and its reason. Planning reads the file system and changes nothing.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace tolvane::uninstall {

// A folder with the name the user knows it by: "XDG_DOCUMENTS_DIR", "the system folder /usr".
struct NamedFolder {
    QString name;
    QString path;
};

// A folder of the system's own. Where the users' homes and disks live (/Users, /Volumes) only the folder
// itself and what holds it are protected; elsewhere everything inside it is.
struct SystemFolder {
    QString path;
    bool holdsUserData = false;
};

struct Facts {
    // Whether the data folder goes to the Trash ("yes") or stays untouched ("no").
    bool removeData = false;
    QString home;
    QString configFolder;
    // The product folder as given (TOLVANE_PRODUCT_DIR) or the folder that really holds the tool.
    QString productFolder;
    QString tool;
    QString controller;
    // The server executable; empty when there is none to stop.
    QString serverExecutable;
    // The data location as the controller reads it; absent when it has none.
    std::optional<QString> dataFolder;
    // The user's well-known folders (Documents, Desktop, ...) and the system's folders.
    std::vector<NamedFolder> wellKnownFolders;
    std::vector<SystemFolder> systemFolders;
    // The user's Tolvane settings and login entries, present or not, and the folders of the product's own
    // that go with them when they hold nothing else.
    QStringList settings;
    QStringList settingsFolders;
    // The Debian package that owns the tool, when one does.
    std::optional<QString> package;
    // Where the install prefix is, from the product folder ("../.." or an absolute path), and the files the
    // product installs outside its folder, relative to that prefix (or absolute).
    QString prefixFromProduct;
    QStringList outsideFiles;
    // Every mount point the mount table lists.
    QStringList mountPoints;
    // The tool runs with administrator rights already: nothing needs asking for them.
    bool privileged = false;
    // A way to ask for administrator rights (pkexec, sudo, the system's prompt) is there.
    bool adminAvailable = false;
    // What to tell when it is not.
    QString adminMissing;
};

struct Action {
    enum class Kind {
        StopServer,
        AdminRemove,
        UserRemove,
        RemovePackage,
        RemoveSetting,
        UnsetEnvironment,
        Trash,
        Keep,
        Refuse,
    };
    Kind kind;
    // The path, package or variable the action is about; "-" for a refusal of the whole run.
    QString subject;
    // What the subject is, for the log: "the data folder", "the marker line", "the uninstall".
    QString what;
    // A refusal's reason.
    QString reason;
};

struct Plan {
    std::vector<Action> actions;
    bool refused() const;
    std::vector<Action> of(Action::Kind kind) const;
};

// The marker that names a folder as the installed product and lists what the install put outside it.
inline const QString MarkerName = QStringLiteral(".tolvane-product");

Plan makePlan(const Facts& facts);

// The action's name in the plan text: "admin-remove", "trash", ...
QString kindName(Action::Kind kind);
// The plan as text: one line an action, fields separated by a tab, each field escaped so that a line
// holds no tab, line feed or other control character of its own.
QString planText(const Plan& plan);
QString escapedField(const QString& field);

// The log line of a refusal: "refusing <subject>: <reason>; nothing removed".
QString refusalLine(const Action& refusal);

} // namespace tolvane::uninstall
