// The pipe: pipe() then fcntl(), since not every system has pipe2(). The flags are set before any
// command is launched from this thread, so no child inherits an end in between.
#include "platform/Pipe.h"

#include <fcntl.h>
#include <unistd.h>

namespace tolvane {

bool makePipe(int (&fds)[2], PipeReads reads)
{
    if (::pipe(fds) != 0)
        return false;
    for (const int fd : fds) {
        ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
        if (reads == PipeReads::NonBlocking)
            setNonBlocking(fd);
    }
    return true;
}

void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace tolvane
