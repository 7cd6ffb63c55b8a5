// The login integration: makes TOLVANE_HOME hold for the programs the session starts from now on and
// after every later login, and, when asked, opens the controller at login. One interface; the
// adapter of the platform is chosen at compile time.
#pragma once

#include "common/BuildInfo.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace tolvane {

// What the login entry must do at every login.
struct LoginAgent {
    QString dataLocation;
    bool openAtLogin = false;
    QString bundlePath; // the installed application: the bundle on macOS, the executable elsewhere
    QString version;    // the controller's version, recorded in the entry
};

class LoginIntegration {
public:
    virtual ~LoginIntegration() = default;

    // The folders that hold the login entries, each with a trailing separator; created when missing.
    virtual QStringList agentFolders() const = 0;

    // The shell command text, run through the standard shell, that sets TOLVANE_HOME at once for the
    // programs the session starts from now on. The data location is escaped so that the shell sees it
    // unchanged; an ordinary path gives the plain text.
    virtual QString setCommand(const QString& dataLocation) const = 0;

    // The command the login entry runs at every login: the set command, followed, when the agent opens
    // the controller at login, by " ; " and the command that opens it.
    virtual QString agentCommand(const LoginAgent& agent) const = 0;

    // The printed form of the entry that `writeAgent` would write, for the log.
    virtual QString describe(const LoginAgent& agent) const = 0;

    // Writes the login entry (every file of it) atomically: a complete new file or none; the old file
    // stays intact on failure. False when any file could not be written.
    virtual bool writeAgent(const LoginAgent& agent) = 0;

    // The path of the (main) login entry file, for the log.
    virtual QString agentFilePath() const = 0;
};

// The adapters. `homeDirectory` has no trailing separator; `configHome` is the user's configuration
// folder (XDG_CONFIG_HOME, or ~/.config when that is unset or empty).
std::unique_ptr<LoginIntegration> makeLaunchdLoginIntegration(const QString& homeDirectory);
std::unique_ptr<LoginIntegration> makeFreedesktopLoginIntegration(const QString& configHome);

// The adapter of the platform this controller was built for.
std::unique_ptr<LoginIntegration> makeLoginIntegration();

} // namespace tolvane
