// The platform's own request to end the application (log-out, shut-down, a terminal's interrupt)
// arrives as a signal; it ends the application the ordinary way, through its termination step.
#pragma once

namespace tolvane {

// Turns SIGTERM, SIGINT and SIGHUP into a quit of the running application.
void quitOnTerminationSignals();

} // namespace tolvane
