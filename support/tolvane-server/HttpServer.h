// The detached server process: a tiny HTTP responder on 127.0.0.1:8008.
#pragma once

#include "DataFolder.h"

#include <string>
#include <string_view>
#include <sys/types.h>

namespace tolvane {

constexpr int kPort = 8008;

// Starts a detached server process for the folder. Returns its pid once it holds the server lock (so no
// second server can start meanwhile), or 0 when it could not get that far. It binds after delayMs.
pid_t spawnServer(const DataFolder& folder, int delayMs);

// True when 127.0.0.1:8008 answers with a page served by process `pid`, within timeoutMs.
bool probeServer(pid_t pid, int timeoutMs);

std::string htmlEscape(std::string_view text);

} // namespace tolvane
