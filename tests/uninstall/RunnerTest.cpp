// Bounded runs: a program that will not end is ended with everything it started, and held termination
// signals are the tool's alone.
#include "Runner.h"

#include "Signals.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <pthread.h>

namespace tolvane::uninstall {
namespace {

TEST(BoundedRun, AProgramThatIgnoresTerminationIsKilledWithWhatItStarted)
{
    QTemporaryDir folder;
    const QString pidFile = folder.filePath(QStringLiteral("child"));
    RunOptions options;
    options.limit = std::chrono::seconds(1);
    QElapsedTimer clock;
    clock.start();
    const RunResult result =
        runBounded(QStringLiteral("sh"),
                   {QStringLiteral("-c"), QStringLiteral("trap '' TERM; sleep 300 & echo $! > \"$1\"; wait"),
                    QStringLiteral("sh"), pidFile},
                   options);
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_LT(clock.elapsed(), 60000);
    QFile file(pidFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t child = static_cast<pid_t>(file.readAll().trimmed().toInt());
    ASSERT_GT(child, 0);
    // The group's SIGKILL reached the child too (it may linger a moment as a zombie of init).
    bool gone = false;
    for (int look = 0; look < 50 && !gone; ++look) {
        gone = ::kill(child, 0) != 0;
        if (!gone) {
            QFile status(QStringLiteral("/proc/%1/stat").arg(child));
            gone = status.open(QIODevice::ReadOnly) && status.readAll().contains(") Z ");
        }
        if (!gone)
            ::usleep(100000);
    }
    EXPECT_TRUE(gone) << "the child " << child << " still runs";
}

// A server's stop that leaves a process behind holding its output does not hold the tool.
TEST(BoundedRun, AProcessLeftBehindWithTheOutputDoesNotHoldTheWait)
{
    RunOptions options;
    options.limit = std::chrono::seconds(20);
    QElapsedTimer clock;
    clock.start();
    const RunResult result = runBounded(
        QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("sleep 10 & echo hi")}, options);
    EXPECT_FALSE(result.ended);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_LT(clock.elapsed(), 8000);
}

TEST(BoundedRun, AnEndedProgramGivesItsStatusAndOutput)
{
    const RunOptions options;
    const RunResult result =
        runBounded(QStringLiteral("sh"),
                   {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2; exit 3")}, options);
    EXPECT_FALSE(result.ended);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.output, QByteArray("out\n"));
    EXPECT_EQ(result.errors, QByteArray("err\n"));
    EXPECT_EQ(result.said(), QStringLiteral("out | err"));
    EXPECT_FALSE(runBounded(QStringLiteral("no-such-program-here"), {}, {}).started);
}

TEST(BoundedRun, AProgramStartedGetsTerminationSignalsAsUsual)
{
    holdTerminationSignals();
    const RunResult result =
        runBounded(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("kill -TERM $$; exit 0")}, {});
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    // Held, the shell would have gone on to exit 0.
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_FALSE(arrivedTerminationSignal());
}

} // namespace
} // namespace tolvane::uninstall
