// The real host runs real commands: output through one pipe, every end delivered once, and
// commands that outlive the host.
#include "platform/QtHost.h"

#include "Processes.h"
#include "RecordingHost.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

namespace tolvane::testing {
namespace {

using ::testing::ElementsAre;

class QtHostTest : public ::testing::Test {
protected:
    QtHostTest()
    {
        QObject::connect(&host, &Host::taskDidTerminate,
                         [this](const TaskTermination& t) { ends.push_back(t); });
    }

    // Launches the command line through a plain shell (the host runs whatever program it is given;
    // the login profile is the controller's business) and records its first output.
    void launch(const QString& line, std::optional<QProcessEnvironment> environment = std::nullopt,
                std::optional<std::chrono::milliseconds> timeLimit = std::nullopt)
    {
        TaskSpec spec{
            QStringLiteral("/bin/bash"), {QStringLiteral("-c"), line}, std::move(environment), timeLimit};
        QString failure;
        ASSERT_TRUE(host.launchTask(
            spec, [this](const QByteArray& piece) { outputs.push_back(piece); }, &failure))
            << failure.toStdString();
    }
    bool waitForEnds(std::size_t count, int timeoutMs = 60000)
    {
        return RecordingHost::waitFor([&] { return ends.size() >= count; }, timeoutMs);
    }

    QtHost host;
    std::vector<TaskTermination> ends;
    std::vector<QByteArray> outputs;
    QTemporaryDir folder;
};

TEST_F(QtHostTest, FirstOutputThenTheEndWithExitStatusAndCommandLine)
{
    launch(QStringLiteral("printf hello; exit 3"));
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_THAT(outputs, ElementsAre(QByteArray("hello")));
    EXPECT_EQ(ends[0].terminationStatus, 3);
    EXPECT_EQ(ends[0].arguments.last(), QStringLiteral("printf hello; exit 3"));
}

TEST_F(QtHostTest, StandardErrorArrivesInTheSameChannel)
{
    launch(QStringLiteral("echo only-error >&2"));
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_THAT(outputs, ElementsAre(QByteArray("only-error\n")));
}

TEST_F(QtHostTest, ACommandThatWritesNothingGivesOneEmptyPiece)
{
    launch(QStringLiteral("exit 0"));
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_THAT(outputs, ElementsAre(QByteArray()));
}

TEST_F(QtHostTest, OutputAfterTheFirstPieceIsDrainedSoTheCommandIsNotKilled)
{
    launch(
        QStringLiteral("echo first; sleep 0.2; for i in $(seq 1 20000); do echo \"line $i\"; done; exit 7"));
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_THAT(outputs, ElementsAre(QByteArray("first\n")));
    EXPECT_EQ(ends[0].terminationStatus, 7); // 141 would mean SIGPIPE on a closed pipe
}

TEST_F(QtHostTest, ACommandKilledByASignalReportsItAsTheShellDoes)
{
    launch(QStringLiteral("kill -KILL $$"));
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_EQ(ends[0].terminationStatus, 128 + SIGKILL);
}

TEST_F(QtHostTest, TheGivenEnvironmentReplacesTheInheritedOne)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TOLVANE_HOME"), QStringLiteral("/given/data"));
    launch(QStringLiteral("printf %s \"$TOLVANE_HOME\""), environment);
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_EQ(outputs.at(0), QByteArray("/given/data"));
}

TEST_F(QtHostTest, AProgramThatCannotBeStartedIsRefusedAndNeverEnds)
{
    QString failure;
    TaskSpec spec{folder.filePath(QStringLiteral("no-such-program")), {}, std::nullopt, std::nullopt};
    int handled = 0;
    EXPECT_FALSE(host.launchTask(
        spec, [&handled](const QByteArray&) { ++handled; }, &failure));
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_FALSE(waitForEnds(1, 500));
    EXPECT_EQ(handled, 0) << "a command that never started has no output to hand on";
}

TEST_F(QtHostTest, TheEndArrivesAlthoughAProgramItStartedStillHoldsThePipe)
{
    const QString pidFile = folder.filePath(QStringLiteral("sleeper.pid"));
    launch(QStringLiteral("sleep 60 & echo $! > '%1'; exit 5").arg(pidFile));
    const bool ended = waitForEnds(1, 30000);
    QFile file(pidFile);
    if (file.open(QIODevice::ReadOnly))
        ::kill(file.readAll().trimmed().toInt(), SIGTERM);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ends[0].terminationStatus, 5);
}

TEST_F(QtHostTest, EveryEndIsDeliveredExactlyOnce)
{
    for (int i = 0; i < 20; ++i)
        launch(QStringLiteral("exit %1").arg(i));
    const bool all = waitForEnds(20, 20000);
    ASSERT_TRUE(all) << ends.size() << " ends, " << outputs.size() << " outputs";
    RecordingHost::waitFor([] { return false; }, 300); // any duplicate would arrive meanwhile
    ASSERT_EQ(ends.size(), 20u);
    std::vector<int> statuses;
    for (const TaskTermination& end : ends)
        statuses.push_back(end.terminationStatus);
    std::sort(statuses.begin(), statuses.end());
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(statuses[static_cast<std::size_t>(i)], i);
}

TEST_F(QtHostTest, ACommandWithinItsTimeLimitEndsAsUsual)
{
    launch(QStringLiteral("exit 4"), std::nullopt, std::chrono::seconds(30));
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_EQ(ends[0].terminationStatus, 4);
    EXPECT_FALSE(ends[0].endedAfter.has_value());
}

TEST_F(QtHostTest, ACommandPastItsTimeLimitIsEndedWithEverythingItStarted)
{
    const QString pids = folder.filePath(QStringLiteral("pids"));
    // The shell and a program it left running in the background, both waiting far longer than the limit.
    launch(QStringLiteral("echo $$ > '%1'; sleep 300 & echo $! >> '%1'; sleep 300").arg(pids), std::nullopt,
           std::chrono::seconds(1));
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_EQ(ends[0].terminationStatus, 128 + SIGTERM);
    ASSERT_TRUE(ends[0].endedAfter.has_value());
    EXPECT_GE(*ends[0].endedAfter, std::chrono::seconds(1));
    ASSERT_EQ(pidsIn(pids).size(), 2u);
    EXPECT_TRUE(RecordingHost::waitFor([&] { return livingProcesses(pidsIn(pids)).empty(); }, 30000))
        << "a process of it is left";
}

TEST_F(QtHostTest, WhatIgnoresTheRequestToTerminateIsKilledAfterTheGracePeriod)
{
    const QString pids = folder.filePath(QStringLiteral("pids"));
    // Ignored signals stay ignored in every program the shell starts, the background one included.
    launch(QStringLiteral(
               "trap '' TERM; echo $$ > '%1'; sleep 300 & echo $! >> '%1'; while :; do sleep 0.1; done")
               .arg(pids),
           std::nullopt, std::chrono::seconds(1));
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_EQ(ends[0].terminationStatus, 128 + SIGKILL);
    ASSERT_TRUE(ends[0].endedAfter.has_value());
    ASSERT_EQ(pidsIn(pids).size(), 2u);
    EXPECT_TRUE(RecordingHost::waitFor([&] { return livingProcesses(pidsIn(pids)).empty(); }, 30000))
        << "a process of it is left";
}

TEST(QtHostLifetime, CommandsStillRunningWhenTheHostGoesFinishAndKeepWriting)
{
    QTemporaryDir folder;
    const QString doneFile = folder.filePath(QStringLiteral("done"));
    {
        QtHost host;
        TaskSpec spec{
            QStringLiteral("/bin/bash"),
            {QStringLiteral("-c"),
             QStringLiteral("echo started; sleep 1; for i in $(seq 1 5000); do echo \"line $i\"; done; "
                            "echo finished > '%1'")
                 .arg(doneFile)},
            std::nullopt,
            std::nullopt};
        ASSERT_TRUE(host.launchTask(
            spec, [](const QByteArray&) {}, nullptr));
        RecordingHost::waitFor([] { return false; }, 200);
    }
    // The host is gone: the command was neither killed nor left writing into a closed pipe.
    ASSERT_TRUE(RecordingHost::waitFor([&] { return QFile::exists(doneFile); }, 60000));
    QFile done(doneFile);
    ASSERT_TRUE(done.open(QIODevice::ReadOnly));
    EXPECT_EQ(done.readAll(), QByteArray("finished\n"));
}

} // namespace
} // namespace tolvane::testing
