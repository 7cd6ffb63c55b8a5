// The termination signals reach the main loop through a pipe that no command inherits and that
// blocks neither the signal handler nor the main loop. That such a signal ends the controller through
// its termination step is shown on the real binary in LifecycleTest.
#include "platform/TerminationSignals.h"

#include <array>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace tolvane::testing {
namespace {

std::set<int> openDescriptors()
{
    std::set<int> open;
    for (int fd = 0; fd < 1024; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1)
            open.insert(fd);
    }
    return open;
}

// Puts back what the test program did on these signals, so that a test runner can still end it.
class ScopedSignalActions {
public:
    ScopedSignalActions()
    {
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            ::sigaction(kSignals[i], nullptr, &m_saved[i]);
    }
    ~ScopedSignalActions()
    {
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            ::sigaction(kSignals[i], &m_saved[i], nullptr);
    }
    ScopedSignalActions(const ScopedSignalActions&) = delete;
    ScopedSignalActions& operator=(const ScopedSignalActions&) = delete;

private:
    static constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};
    std::array<struct sigaction, 3> m_saved{};
};

TEST(TerminationSignalsTest, ThePipeIsClosedOnExecAndNeverBlocks)
{
    ScopedSignalActions restore;
    const std::set<int> before = openDescriptors();
    quitOnTerminationSignals();
    std::vector<int> added;
    for (const int fd : openDescriptors()) {
        if (before.count(fd) == 0)
            added.push_back(fd);
    }
    ASSERT_EQ(added.size(), 2u) << "the two ends of the signal pipe";
    for (const int fd : added) {
        EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0)
            << "descriptor " << fd << " would leak into every command";
        EXPECT_NE(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0)
            << "descriptor " << fd << " could block the signal handler or the main loop";
    }
}

} // namespace
} // namespace tolvane::testing
