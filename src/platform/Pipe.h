// A pipe whose ends no launched command inherits, made with calls that every POSIX system has.
#pragma once

namespace tolvane {

enum class PipeReads { Blocking, NonBlocking };

// Fills `fds` with the read and the write end, both close-on-exec, and both non-blocking when asked
// for. False, with errno set and nothing open, when the pipe cannot be made.
bool makePipe(int (&fds)[2], PipeReads reads);

// Reads and writes on the descriptor return at once instead of waiting.
void setNonBlocking(int fd);

} // namespace tolvane
