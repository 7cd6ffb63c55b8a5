// The server status code: what the controller holds as the server's state, taken from the exit status
// of the server's `status` command.
#pragma once

#include <cstdint>

namespace tolvane {

// Server status codes with a meaning of their own; any other value is a `status` exit status.
inline constexpr std::int32_t ServerStatusRunning = 0;
inline constexpr std::int32_t ServerStatusStopped = 1;
inline constexpr std::int32_t ServerStatusStarting = 4;
inline constexpr std::int32_t ServerStatusFailedToStart = 6;
// The controller's own value: before the first result, after a failed launch, after the login step and
// while the server executable is missing.
inline constexpr std::int32_t ServerStatusUndetermined = 101;

// The status code that an exit status of the server's `status` command stands for.
std::int32_t exitStatusToCode(int exitStatus);

} // namespace tolvane
