// A user of its own in a temporary folder, for tests and benchmarks that run the controller or the
// server for real: home, configuration, runtime and data folders, removed with the sandbox.
#pragma once

#include "ScopedEnvironment.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <utility>
#include <vector>

namespace tolvane::testing {

class Sandbox {
public:
    Sandbox();

    bool isValid() const { return folder.isValid(); }
    // A path below the sandbox.
    QString filePath(const QString& relative) const { return folder.filePath(relative); }

    // HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and TOLVANE_HOME name this user's folders and TOLVANE_PEX
    // the executable: in a copy of this process's environment, for a program to start, ...
    QProcessEnvironment environment(const QString& executable) const;
    // ... or in this process's own environment until the sandbox goes. Hosts read the environment when
    // they are made, so the host comes after this. A login shell started with this HOME reads the system
    // profile only, not the profile of the person running the tests, and a runtime folder of its own
    // keeps a controller from handing over to one that somebody else runs on this machine.
    void apply(const QString& executable);

    // Writes an executable script below the sandbox and answers its path; empty when it could not.
    QString writeScript(const QString& name, const QByteArray& body) const;

    QTemporaryDir folder;
    QString home;
    QString config;
    QString runtime;
    QString data;
    // This process's variables that apply() and the test set; put back when the sandbox goes.
    ScopedEnvironment variables;

private:
    std::vector<std::pair<const char*, QString>> settings(const QString& executable) const;
};

} // namespace tolvane::testing
