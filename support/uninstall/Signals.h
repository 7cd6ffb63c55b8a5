// SIGTERM, SIGINT and SIGHUP are held for the whole run: a step that has begun finishes, and the tool
// looks for a held signal between steps. Programs the tool starts get them as usual.
#pragma once

#include <optional>

namespace tolvane::uninstall {

// Holds the signals in this thread and every thread started after it; call first thing in main.
void holdTerminationSignals();
// The held signal that has arrived, if any.
std::optional<int> arrivedTerminationSignal();
// For a child process between fork and exec: the signals as a new program expects them.
void releaseTerminationSignalsInChild();
const char* signalName(int signal);

} // namespace tolvane::uninstall
