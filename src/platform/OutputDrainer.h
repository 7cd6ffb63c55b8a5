// The output of commands that outlive the controller: read and discarded until their pipes close.
#pragma once

#include <vector>

namespace tolvane {

// Hands the reading ends of the pipes to a small process of its own, which reads and discards until
// every pipe is closed, so that no command writes into a closed pipe after the controller has gone.
// Returns at once; the caller closes its own copies of the pipes afterwards.
void drainUntilClosed(const std::vector<int>& readFds);

} // namespace tolvane
