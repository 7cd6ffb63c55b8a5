// Whether an exited server is still in the process table, asked of real child processes: one that
// runs, one that has exited but is not reaped yet, and one that is gone. The same cases run against
// each way of asking the system (/proc on Linux, ps elsewhere).
#include "ProcessState.h"

#include "DataFolder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvane {
namespace {

// A child that lives until the test lets it go, then exits with status 3.
class Child {
public:
    Child()
    {
        int gate[2];
        if (::pipe(gate) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(gate[1]);
            char byte;
            [[maybe_unused]] const ssize_t n = ::read(gate[0], &byte, 1); // returns when the gate closes
            ::_exit(3);
        }
        ::close(gate[0]);
        m_gate = gate[1];
    }
    ~Child()
    {
        letGo();
        reap();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return m_pid; }
    void letGo()
    {
        if (m_gate >= 0) {
            ::close(m_gate);
            m_gate = -1;
        }
    }
    // Waits for the exit but leaves the child in the process table, as a server nobody reaps.
    bool waitForExitWithoutReaping()
    {
        letGo();
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT) == 0 &&
               info.si_pid == m_pid;
    }
    void reap()
    {
        if (m_pid > 0) {
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    int m_gate = -1;
};

TEST(ProcessStateTest, ARunningProcessIsNeitherAZombieNorGone)
{
    Child child;
    ASSERT_GT(child.pid(), 0);
    EXPECT_FALSE(isZombie(child.pid()));
    EXPECT_FALSE(processGone(child.pid()));
    EXPECT_FALSE(isZombie(::getpid()));
}

TEST(ProcessStateTest, AnExitedProcessNobodyReapedIsAZombieAndCountsAsGone)
{
    Child child;
    ASSERT_GT(child.pid(), 0);
    ASSERT_TRUE(child.waitForExitWithoutReaping());
    ASSERT_EQ(::kill(child.pid(), 0), 0) << "an unreaped child still answers kill()";
    EXPECT_TRUE(isZombie(child.pid()));
    EXPECT_TRUE(processGone(child.pid()));
}

TEST(ProcessStateTest, AReapedProcessIsGoneAndNoZombie)
{
    Child child;
    ASSERT_GT(child.pid(), 0);
    const pid_t pid = child.pid();
    child.letGo();
    child.reap();
    EXPECT_FALSE(isZombie(pid));
    EXPECT_TRUE(processGone(pid));
    EXPECT_TRUE(processGone(0));
}

} // namespace
} // namespace tolvane
