// The status interpreter's decisions: what the end of a command the controller launched means for the
// server status code, what is presented and what runs next. Plain data in, plain data out; the
// controller reads its state, asks, and carries the step out.
#pragma once

#include "server/StatusCodes.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <optional>

namespace tolvane {

// What the controller holds when a command ends.
struct InterpreterState {
    std::int32_t held = ServerStatusUndetermined; // the code held before this end
    bool portAlert = false;                       // the port check found the port in use
    bool startPending = false;                    // a start was asked for; the next answer sends it
    bool missingShown = false;                    // the missing-executable state is what the user sees
};

// How a command ended.
struct CommandEnd {
    QString commandLine; // as given to the shell; its last blank-separated word names the command
    int exitStatus = 0;
    // Set when the command was ended at its time limit after this long: it gave no answer.
    std::optional<std::chrono::milliseconds> endedAfter;
    // False for a server command that was not launched because the server executable is missing.
    bool launched = true;
    QString portCheckOutput; // the port check's first output, which names the process holding the port
};

// What to do about it, in this order: the flags, the log lines, the alert (modal), the code recorded,
// the presentation, the notification, the command launched next.
struct InterpreterStep {
    InterpreterState flags; // `held` unused; the three flags afterwards
    QStringList logLines;
    std::optional<QString> alert;
    std::optional<std::int32_t> record; // the code recorded as the new status, if any
    bool present = false;               // present the recorded code (or, without one, the code held)
    std::optional<QString> notification;
    std::optional<QString> next; // the server command word launched next
};

InterpreterStep interpretCommandEnd(const InterpreterState& state, const CommandEnd& end,
                                    bool executableExists);

// The notification of the missing-executable state, and the port alert.
extern const QString ExecutableMissingText;
extern const QString PortOccupiedText;

} // namespace tolvane
