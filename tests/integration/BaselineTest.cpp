// After a few hundred commands through the real host, the real login shell and the stand-in server,
// the controller's process holds the same descriptors, threads and child processes as before them: what
// a user who leaves the controller running for weeks would feel as a slow leak. The soak benchmark does
// the same for thousands of commands; this is the short run every test run makes.
#include "Processes.h"
#include "Programs.h"
#include "RecordingHost.h"
#include "Sandbox.h"
#include "app/AppDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace tolvane::testing {
namespace {

using ::testing::IsEmpty;
using ::testing::IsSubsetOf;

constexpr int ServerWaitMs = 60000;
// Each cycle runs ten commands: three status polls, Start (port check, status, start, status), one
// more poll, Stop (stop, status).
constexpr int CommandsPerCycle = 10;
constexpr int Cycles = 30;

// What a descriptor is, without the number it happens to have: "pipe", "socket", "anon_inode:[eventfd]",
// or the path of a file. A pipe or socket made afresh has a new inode; its kind is what counts.
std::string descriptorKind(const QString& target)
{
    static const QStringList withInode{QStringLiteral("pipe:["), QStringLiteral("socket:[")};
    for (const QString& prefix : withInode) {
        if (target.startsWith(prefix))
            return prefix.chopped(2).toStdString();
    }
    return target.toStdString();
}

struct Snapshot {
    std::vector<std::string> descriptors; // kinds, one an open descriptor
    std::vector<std::string> threads;     // names, one a thread
    std::vector<std::string> children;    // "pid name state", one a child process, zombies included
};

Snapshot snapshot()
{
    Snapshot now;
    QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& entry : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t length =
            ::readlink(QFile::encodeName(fds.filePath(entry)).constData(), target, sizeof target);
        // The listing's own descriptor is closed by now: its entry has no target any more.
        if (length > 0)
            now.descriptors.push_back(
                descriptorKind(QString::fromLocal8Bit(target, static_cast<qsizetype>(length))));
    }
    QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task) + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly))
            now.threads.push_back(comm.readAll().trimmed().toStdString());
    }
    for (pid_t child : childProcesses(::getpid(), true)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
        if (stat.open(QIODevice::ReadOnly))
            now.children.push_back(stat.readAll().trimmed().toStdString());
    }
    return now;
}

class BaselineTest : public ::testing::Test {
protected:
    BaselineTest()
    {
        // The host reads the environment when it is made, so it comes after the sandbox's settings.
        sandbox.apply(QStringLiteral(TOLVANE_SERVER_PATH));
        recorder = std::make_unique<RecordingHost>();
        installed = std::make_unique<ScopedHost>(*recorder);
        QObject::connect(recorder.get(), &Host::taskDidTerminate, [this] { ++ends; });
        controller = std::make_unique<AppDelegate>();
        controller->loadInterface();
        controller->applicationWillFinishLaunching();
        controller->outlets.statusItem = std::make_unique<StatusItem>();
        controller->outlets.statusItem->setImage(QStringLiteral("favicon"));
    }
    ~BaselineTest() override
    {
        controller.reset();
        installed.reset();
        recorder.reset();
        runServer(QStringLiteral(TOLVANE_SERVER_PATH), QStringLiteral("stop"), sandbox.data);
    }

    // Every command launched so far has ended and the status shows `code` with its image.
    bool settled(std::int32_t code, const char* image)
    {
        return ends == recorder->launchedCommandLines.size() && controller->status() == code &&
               controller->outlets.statusItem->image() == QLatin1String(image);
    }
    ::testing::AssertionResult poll(std::int32_t expected, const char* image)
    {
        const qsizetype before = ends;
        controller->getTolvaneStatus();
        if (RecordingHost::waitFor([&] { return ends > before && settled(expected, image); }, ServerWaitMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the status poll did not end with " << expected;
    }
    ::testing::AssertionResult cycle()
    {
        for (int i = 0; i < 3; ++i) {
            if (auto polled = poll(ServerStatusStopped, "favicon"); !polled)
                return polled;
        }
        controller->startFunction();
        if (!RecordingHost::waitFor(
                [&] { return settled(ServerStatusRunning, "stop") || !recorder->alerts.isEmpty(); },
                ServerWaitMs))
            return ::testing::AssertionFailure() << "Start did not end presented as running";
        // Another program on port 8008 (a server left by something else) ends the run: it is not ours.
        if (!recorder->alerts.isEmpty())
            return ::testing::AssertionFailure() << recorder->alerts.join(QLatin1Char('|')).toStdString();
        if (auto polled = poll(ServerStatusRunning, "stop"); !polled)
            return polled;
        controller->stopFunction(false);
        if (!RecordingHost::waitFor([&] { return settled(ServerStatusStopped, "favicon"); }, ServerWaitMs))
            return ::testing::AssertionFailure() << "Stop did not end presented as stopped";
        return ::testing::AssertionSuccess();
    }

    Sandbox sandbox;
    std::unique_ptr<RecordingHost> recorder;
    std::unique_ptr<ScopedHost> installed;
    std::unique_ptr<AppDelegate> controller;
    qsizetype ends = 0;
};

TEST_F(BaselineTest, AFewHundredCommandsLeaveDescriptorsThreadsAndChildrenAsTheyWere)
{
    // A warm-up cycle: what Qt and the controller make once and keep is part of the baseline.
    ASSERT_TRUE(cycle());
    RecordingHost::waitFor([] { return false; }, 100);
    const Snapshot before = snapshot();
    const qsizetype commandsBefore = recorder->launchedCommandLines.size();

    for (int i = 0; i < Cycles; ++i)
        ASSERT_TRUE(cycle()) << "in cycle " << i + 1;

    RecordingHost::waitFor([] { return false; }, 100);
    const Snapshot after = snapshot();
    ASSERT_EQ(recorder->launchedCommandLines.size() - commandsBefore, Cycles * CommandsPerCycle);
    // Fewer counts as back: Qt's pooled threads end when they have been idle for a while.
    EXPECT_THAT(after.descriptors, IsSubsetOf(before.descriptors));
    EXPECT_THAT(after.threads, IsSubsetOf(before.threads));
    EXPECT_THAT(after.children, IsEmpty());
    EXPECT_THAT(before.children, IsEmpty());
}

} // namespace
} // namespace tolvane::testing
