// The whole controller from launch to quit: the real binary, a second launch, and a stop at Quit
// that outlives the controller.
#include "Printing.h"
#include "Programs.h"
#include "RecordingHost.h"
#include "Sandbox.h"
#include "app/AppDelegate.h"
#include "common/BuildInfo.h"
#include "platform/ReopenChannel.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace tolvane::testing {
namespace {

using ::testing::IsSupersetOf;

constexpr int WaitMs = 60000;

// The records of the system log in what the controller wrote to standard error, where each one is
// mirrored on a line that starts with the time and "Tolvane[<pid>] "; a record that starts with a line
// break goes on with the line that follows.
QStringList logRecords(const QByteArray& output)
{
    static const QRegularExpression recordStart(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} Tolvane\\[\\d+\\] (.*)$"));
    QStringList records;
    bool startedWithABreak = false;
    for (const QString& line : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = recordStart.match(line);
        if (match.hasMatch()) {
            records.append(match.captured(1));
            startedWithABreak = records.last().isEmpty();
        } else if (startedWithABreak) {
            records.last() += QLatin1Char('\n') + line;
            startedWithABreak = false;
        }
    }
    return records;
}

// A user of its own: home, configuration, runtime and data folders, the stand-in server.
class LifecycleTest : public ::testing::Test {
protected:
    LifecycleTest()
    {
        environment = sandbox.environment(QStringLiteral(TOLVANE_SERVER_PATH));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    }
    ~LifecycleTest() override
    {
        for (QProcess* controller : {&first, &second}) {
            if (controller->state() != QProcess::NotRunning) {
                controller->terminate();
                controller->waitForFinished(10000);
            }
        }
        serverStatus(QStringLiteral("stop"));
    }

    int serverStatus(const QString& word = QStringLiteral("status"))
    {
        return runServer(QStringLiteral(TOLVANE_SERVER_PATH), word, sandbox.data);
    }
    void launch(QProcess& controller)
    {
        controller.setProcessEnvironment(environment);
        controller.setProcessChannelMode(QProcess::MergedChannels);
        controller.start(QStringLiteral(TOLVANE_CONTROLLER_PATH), {});
        ASSERT_TRUE(controller.waitForStarted(10000));
    }
    bool outputContains(QProcess& controller, const QByteArray& text)
    {
        output += controller.readAll();
        return output.contains(text);
    }

    Sandbox sandbox;
    QProcessEnvironment environment;
    QProcess first;
    QProcess second;
    QByteArray output;
};

TEST_F(LifecycleTest, TheControllerBringsTheServerUpByItselfAndASecondLaunchReopensIt)
{
    launch(first);
    ASSERT_TRUE(RecordingHost::waitFor(
        [&] { return outputContains(first, "Running, you can now click on 'Open in Browser' menu."); },
        WaitMs))
        << output.toStdString();
    EXPECT_EQ(serverStatus(), 0);

    launch(second);
    ASSERT_TRUE(second.waitForFinished(WaitMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(
        RecordingHost::waitFor([&] { return outputContains(first, "Tolvane was opened again."); }, WaitMs));
    EXPECT_EQ(first.state(), QProcess::Running);

    // The platform's own request to end it: the termination step says why, the server keeps running.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(WaitMs));
    EXPECT_TRUE(outputContains(first, "Tolvane is now stopped and quit."));
    EXPECT_EQ(serverStatus(), 0);
}

TEST_F(LifecycleTest, WithoutTheExecutableTheLaunchAlertsAndEnds)
{
    environment.insert(QStringLiteral("TOLVANE_PEX"), sandbox.filePath(QStringLiteral("missing.pex")));
    launch(first);
    // The alert is modal; on the offscreen platform nobody answers it, so close it from outside by
    // ending the process politely once it is up.
    ASSERT_TRUE(RecordingHost::waitFor(
        [&] { return outputContains(first, "The Tolvane executable cannot be found."); }, WaitMs));
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(WaitMs));
    EXPECT_TRUE(outputContains(first, "Tolvane was quit because the required setup is incomplete."));
    EXPECT_FALSE(QFile::exists(sandbox.config + QStringLiteral("/Tolvane/tolvane.conf")));
    // The system log's records, as the controller mirrors them to standard error, each compared whole:
    // the one the alert sends the user to names both places it looked and the variable it read.
    EXPECT_THAT(
        logRecords(output),
        IsSupersetOf({QStringLiteral("\n* The Tolvane executable cannot be found."),
                      QStringLiteral("The Tolvane executable was looked for at '%1', which TOLVANE_PEX "
                                     "names, and at '%2'.")
                          .arg(sandbox.filePath(QStringLiteral("missing.pex")), DefaultTolvaneExecutable),
                      QStringLiteral("Tolvane was quit because the required setup is incomplete.")}));
}

TEST(ReopenChannelTest, ASecondLaunchHandsOverToTheRunningOne)
{
    QTemporaryDir run;
    ReopenChannel running(run.path());
    int reopened = 0;
    ASSERT_FALSE(running.handOverToRunningInstance());
    ASSERT_TRUE(running.listen([&] { ++reopened; }));

    // The second launch waits for the answer, which the running one gives from its event loop.
    bool handedOver = false;
    std::atomic<bool> finished{false};
    std::thread launcher([&] {
        ReopenChannel later(run.path());
        handedOver = later.handOverToRunningInstance();
        finished = true;
    });
    const bool ended = RecordingHost::waitFor([&] { return finished.load(); }, WaitMs);
    launcher.join();
    ASSERT_TRUE(ended);
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(reopened, 1);
}

TEST(ReopenChannelTest, ASocketLeftByAControllerThatDiedIsTakenOver)
{
    QTemporaryDir run;
    ReopenChannel next(run.path());
    // A controller killed outright leaves its bound socket file behind, with nobody listening.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(next.socketPath());
    ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    ASSERT_TRUE(QFile::exists(next.socketPath()));

    EXPECT_FALSE(next.handOverToRunningInstance());
    int reopened = 0;
    EXPECT_TRUE(next.listen([&] { ++reopened; }));
    ReopenChannel later(run.path());
    std::atomic<bool> finished{false};
    std::thread launcher([&] {
        EXPECT_TRUE(later.handOverToRunningInstance());
        finished = true;
    });
    const bool ended = RecordingHost::waitFor([&] { return finished.load(); }, WaitMs);
    launcher.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(reopened, 1);
}

// Quit in-process: confirmed, the stop is launched, the application ends at once; the stop, slowed
// down here, finishes after the controller and its host are gone.
TEST(QuitTest, TheStopSentAtQuitOutlivesTheController)
{
    Sandbox sandbox;
    const QString slowServer = sandbox.writeScript(
        QStringLiteral("slow-server.pex"),
        QStringLiteral(
            "#!/bin/sh\n[ \"$1\" = stop ] && sleep 2 && echo \"stopping late\"\nexec '%1' \"$@\"\n")
            .arg(QStringLiteral(TOLVANE_SERVER_PATH))
            .toUtf8());
    ASSERT_FALSE(slowServer.isEmpty());
    sandbox.apply(slowServer);

    ASSERT_EQ(runServer(slowServer, QStringLiteral("start"), sandbox.data), 0);
    {
        RecordingHost recorder;
        ScopedHost installed(recorder);
        AppDelegate controller;
        controller.loadInterface();
        controller.applicationWillFinishLaunching();
        controller.quitApplcation(nullptr);
        EXPECT_EQ(recorder.alerts,
                  QStringList{QStringLiteral("This will stop and quit Tolvane, are you sure?")});
        EXPECT_EQ(recorder.terminateCalls, 1);
        EXPECT_EQ(recorder.launchedCommandLines.filter(QStringLiteral(" stop")).size(), 1);
    }
    // The controller is gone; the stop it sent goes on and stops the server.
    const bool stopped = RecordingHost::waitFor(
        [&] { return runServer(slowServer, QStringLiteral("status"), sandbox.data) == 1; }, WaitMs);
    if (!stopped)
        runServer(QStringLiteral(TOLVANE_SERVER_PATH), QStringLiteral("stop"), sandbox.data);
    EXPECT_TRUE(stopped);
}

} // namespace
} // namespace tolvane::testing
