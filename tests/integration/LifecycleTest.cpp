// The whole controller from launch to quit: the real binary, a second launch, and a stop at Quit
// that outlives the controller.
#include "RecordingHost.h"
#include "app/AppDelegate.h"
#include "platform/ReopenChannel.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tolvane::testing {
namespace {

constexpr int WaitMs = 60000;

// A user of its own: home, configuration, runtime and data folders, the stand-in server.
class LifecycleTest : public ::testing::Test {
protected:
    LifecycleTest()
    {
        for (const char* name : {"home", "config", "run", "data"})
            QDir().mkpath(folder.filePath(QString::fromLatin1(name)));
        QFile::setPermissions(folder.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), folder.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.filePath(QStringLiteral("run")));
        environment.insert(QStringLiteral("TOLVANE_HOME"), folder.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("TOLVANE_PEX"), QStringLiteral(TOLVANE_SERVER_PATH));
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
        QProcess server;
        server.setProcessEnvironment(environment);
        server.start(QStringLiteral(TOLVANE_SERVER_PATH), {word});
        server.waitForFinished(WaitMs);
        return server.exitCode();
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

    QTemporaryDir folder;
    QProcessEnvironment environment;
    QProcess first;
    QProcess second;
    QByteArray output;
};

TEST_F(LifecycleTest, TheControllerBringsTheServerUpByItselfAndASecondLaunchReopensIt)
{
    launch(first);
    ASSERT_TRUE(RecordingHost::waitFor([&] { return outputContains(first, "Running, you can now click on 'Open in Browser' menu."); }, WaitMs))
        << output.toStdString();
    EXPECT_EQ(serverStatus(), 0);

    launch(second);
    ASSERT_TRUE(second.waitForFinished(WaitMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(RecordingHost::waitFor([&] { return outputContains(first, "Tolvane was opened again."); }, WaitMs));
    EXPECT_EQ(first.state(), QProcess::Running);

    // The platform's own request to end it: the termination step says why, the server keeps running.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(WaitMs));
    EXPECT_TRUE(outputContains(first, "Tolvane is now stopped and quit."));
    EXPECT_EQ(serverStatus(), 0);
}

TEST_F(LifecycleTest, WithoutTheExecutableTheLaunchAlertsAndEnds)
{
    environment.insert(QStringLiteral("TOLVANE_PEX"), folder.filePath(QStringLiteral("missing.pex")));
    launch(first);
    // The alert is modal; on the offscreen platform nobody answers it, so close it from outside by
    // ending the process politely once it is up.
    ASSERT_TRUE(RecordingHost::waitFor([&] { return outputContains(first, "The Tolvane executable cannot be found."); }, WaitMs));
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(WaitMs));
    EXPECT_TRUE(outputContains(first, "Tolvane was quit because the required setup is incomplete."));
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("config/Tolvane/tolvane.conf"))));
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
    QTemporaryDir folder;
    const QString data = folder.filePath(QStringLiteral("data"));
    const QString slowServer = folder.filePath(QStringLiteral("slow-server.pex"));
    QFile script(slowServer);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\n[ \"$1\" = stop ] && sleep 2 && echo \"stopping late\"\nexec '%1' \"$@\"\n")
                     .arg(QStringLiteral(TOLVANE_SERVER_PATH))
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(data);
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", folder.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("TOLVANE_HOME", data.toLocal8Bit());
    qputenv("TOLVANE_PEX", slowServer.toLocal8Bit());

    QProcess server;
    server.start(slowServer, {QStringLiteral("start")});
    ASSERT_TRUE(server.waitForFinished(WaitMs));
    ASSERT_EQ(server.exitCode(), 0);
    {
        RecordingHost recorder;
        ScopedHost installed(recorder);
        AppDelegate controller;
        controller.loadInterface();
        controller.applicationWillFinishLaunching();
        controller.quitApplcation(nullptr);
        EXPECT_EQ(recorder.alerts, QStringList{QStringLiteral("This will stop and quit Tolvane, are you sure?")});
        EXPECT_EQ(recorder.terminateCalls, 1);
        EXPECT_EQ(recorder.launchedCommandLines.filter(QStringLiteral(" stop")).size(), 1);
    }
    // The controller is gone; the stop it sent goes on and stops the server.
    const bool stopped = RecordingHost::waitFor(
        [&] {
            QProcess status;
            status.start(slowServer, {QStringLiteral("status")});
            status.waitForFinished(WaitMs);
            return status.exitCode() == 1;
        },
        WaitMs);
    qputenv("HOME", savedHome);
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("TOLVANE_PEX");
    if (!stopped) {
        QProcess::execute(QStringLiteral(TOLVANE_SERVER_PATH), {QStringLiteral("stop")});
        qunsetenv("TOLVANE_HOME");
    }
    EXPECT_TRUE(stopped);
    qunsetenv("TOLVANE_HOME");
}

} // namespace
} // namespace tolvane::testing
