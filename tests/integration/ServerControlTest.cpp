// The controller with the real host, the real login shell, the real lsof and the stand-in server on
// port 8008.
#include "Files.h"
#include "Processes.h"
#include "Programs.h"
#include "RecordingHost.h"
#include "Sandbox.h"
#include "app/AppDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <iostream>

namespace tolvane::testing {
namespace {

const QString PortAlert =
    QStringLiteral("Port :8008 is occupied. Please close the process that is using it to start the Tolvane.");
const QString RunningNotice = QStringLiteral("Running, you can now click on 'Open in Browser' menu.");
// Bounded waits: every command pays the user's login profile, which can be slow on a loaded machine.
constexpr int ServerWaitMs = 60000;

// A fresh user: home, configuration and data folders of its own, the stand-in server as executable.
class ServerControlTest : public ::testing::Test {
protected:
    ServerControlTest() { setExecutable(QStringLiteral(TOLVANE_SERVER_PATH)); }
    ~ServerControlTest() override
    {
        controller.reset();
        runServer(QStringLiteral("stop"));
    }

    void setExecutable(const QString& path)
    {
        executable = path;
        sandbox.apply(path);
    }

    // The host reads the environment when it is made, so the controller comes after every setting.
    void makeController()
    {
        recorder = std::make_unique<RecordingHost>();
        installed = std::make_unique<ScopedHost>(*recorder);
        controller = std::make_unique<AppDelegate>();
        controller->loadInterface();
        controller->applicationWillFinishLaunching();
        controller->outlets.statusItem = std::make_unique<StatusItem>();
        controller->outlets.statusItem->setImage(QStringLiteral("favicon"));
    }

    int runServer(const QString& word) { return testing::runServer(executable, word, sandbox.data); }

    bool waitFor(const std::function<bool()>& condition)
    {
        return RecordingHost::waitFor(condition, ServerWaitMs);
    }
    bool presentedRunning()
    {
        return controller->status() == ServerStatusRunning &&
               controller->outlets.statusItem->image() == QStringLiteral("stop");
    }
    bool presentedStopped()
    {
        return controller->status() == ServerStatusStopped &&
               controller->outlets.statusItem->image() == QStringLiteral("favicon") &&
               controller->outlets.statusItem->toolTip() == QStringLiteral("Tolvane is stopped.");
    }

    Sandbox sandbox;
    QString executable;
    std::unique_ptr<RecordingHost> recorder;
    std::unique_ptr<ScopedHost> installed;
    std::unique_ptr<AppDelegate> controller;
};

TEST_F(ServerControlTest, StartWithThePortFreeEndsPresentedAsRunning)
{
    makeController();
    QElapsedTimer clock;
    clock.start();
    controller->startFunction();
    ASSERT_TRUE(waitFor([&] { return presentedRunning(); }));
    std::cout << "start request to running presentation: " << clock.elapsed() << " ms\n";
    EXPECT_TRUE(recorder->subtitles.contains(RunningNotice));
    EXPECT_TRUE(recorder->alerts.isEmpty());
    EXPECT_EQ(runServer(QStringLiteral("status")), 0);
    EXPECT_FALSE(controller->outlets.startTolvane->isEnabled());
    EXPECT_TRUE(controller->outlets.stopTolvane->isEnabled());
}

TEST_F(ServerControlTest, StopEndsPresentedAsStopped)
{
    ASSERT_EQ(runServer(QStringLiteral("start")), 0);
    makeController();
    controller->getTolvaneStatus();
    ASSERT_TRUE(waitFor([&] { return presentedRunning(); }));
    controller->stopFunction(false);
    ASSERT_TRUE(waitFor([&] { return presentedStopped(); }));
    EXPECT_EQ(recorder->subtitles.mid(recorder->subtitles.indexOf(QStringLiteral("Stopping"))),
              (QStringList{QStringLiteral("Stopping"), QStringLiteral("Stopped")}));
    EXPECT_EQ(runServer(QStringLiteral("status")), 1);
}

TEST_F(ServerControlTest, StartWhileAnotherListenerHoldsThePortAlertsThenPresentsStopped)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 8008));
    makeController();
    controller->startFunction();
    ASSERT_TRUE(waitFor([&] { return !recorder->alerts.isEmpty(); }));
    EXPECT_EQ(recorder->alerts, QStringList{PortAlert});
    ASSERT_TRUE(waitFor([&] { return presentedStopped(); }));
    EXPECT_TRUE(controller->outlets.startTolvane->isEnabled());
    // The log names the holder of the port: this very test program.
    const QString holder = QStringLiteral("(process %1)").arg(QCoreApplication::applicationPid());
    EXPECT_EQ(recorder->records.filter(holder).size(), 1)
        << recorder->records.join(QLatin1Char('|')).toStdString();
}

TEST_F(ServerControlTest, AClientConnectionToPort8008RaisesNoPortAlert)
{
    // A connection whose one end has local port 8008 and the other remote port 8008, with nobody
    // listening any more: the port is free for the server.
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 8008));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, 8008);
    ASSERT_TRUE(client.waitForConnected(5000));
    ASSERT_TRUE(listener.waitForNewConnection(5000));
    QTcpSocket* accepted = listener.nextPendingConnection();
    ASSERT_NE(accepted, nullptr);
    listener.close();

    makeController();
    controller->startFunction();
    ASSERT_TRUE(waitFor([&] { return presentedRunning(); }));
    EXPECT_TRUE(recorder->alerts.isEmpty());
    EXPECT_EQ(client.state(), QAbstractSocket::ConnectedState);
}

TEST_F(ServerControlTest, AnExecutableInAFolderWithABlankAndAQuoteWorks)
{
    const QString awkward = sandbox.filePath(QStringLiteral("my server's $dir/tolvane server.pex"));
    QDir().mkpath(QFileInfo(awkward).path());
    ASSERT_TRUE(QFile::copy(QStringLiteral(TOLVANE_SERVER_PATH), awkward));
    setExecutable(awkward);
    makeController();
    controller->startFunction();
    ASSERT_TRUE(waitFor([&] { return presentedRunning(); }));
}

TEST_F(ServerControlTest, AStatusCommandThatWritesSeveralPiecesIsNotKilledAndItsStatusIsRead)
{
    const QString chatty =
        sandbox.writeScript(QStringLiteral("chatty.pex"),
                            "#!/bin/sh\n"
                            "echo \"first piece\"\n"
                            "sleep 0.3\n"
                            "i=0; while [ $i -lt 3000 ]; do echo \"more output $i\"; i=$((i+1)); done\n"
                            "sleep 0.3\n"
                            "echo \"last piece\"\n"
                            "exit 6\n");
    ASSERT_FALSE(chatty.isEmpty());
    setExecutable(chatty);
    makeController();
    controller->setNewStatus(ServerStatusStopped); // a changed code: the first piece is shown
    controller->getTolvaneStatus();
    ASSERT_TRUE(waitFor([&] { return controller->status() == ServerStatusFailedToStart; }));
    EXPECT_EQ(controller->outlets.statusItem->image(), QStringLiteral("exclaim"));
    // Only the first piece reached the log view.
    EXPECT_TRUE(controller->outlets.taskLogs->toPlainText().contains(QStringLiteral("first piece")));
    EXPECT_FALSE(controller->outlets.taskLogs->toPlainText().contains(QStringLiteral("last piece")));
}

TEST_F(ServerControlTest, AStatusThatHangsIsEndedAtItsLimitIsNoAnswerAndALaterPollShowsTheServerStopped)
{
    // A server program whose status hangs, with a child that ignores the request to terminate, while
    // the file "hang" exists; every process it starts writes its pid down.
    const QString program = sandbox.filePath(QStringLiteral("hanging.pex"));
    const QString hang = sandbox.filePath(QStringLiteral("hang"));
    const QString running = sandbox.filePath(QStringLiteral("running"));
    const QString pids = sandbox.filePath(QStringLiteral("pids"));
    ASSERT_TRUE(writeScript(program, QStringLiteral("#!/bin/sh\n"
                                                    "echo $$ >> '%1'\n"
                                                    "if [ -e '%2' ]; then\n"
                                                    "    (trap '' TERM; exec sleep 300) &\n"
                                                    "    echo $! >> '%1'\n"
                                                    "    sleep 300\n"
                                                    "fi\n"
                                                    "[ -e '%3' ]\n")
                                         .arg(pids, hang, running)
                                         .toLocal8Bit()));
    setExecutable(program);
    QFile(running).open(QIODevice::WriteOnly);

    makeController();
    recorder->shortenedTimeLimit = std::chrono::seconds(2);
    controller->getTolvaneStatus();
    ASSERT_TRUE(waitFor([&] { return presentedRunning(); }));

    // The server dies, and the next status hangs.
    ASSERT_TRUE(QFile::remove(running));
    QFile(hang).open(QIODevice::WriteOnly);
    controller->startTolvaneTimer();
    ASSERT_TRUE(waitFor([&] { return !recorder->records.filter(QStringLiteral("Ended `")).isEmpty(); }));
    EXPECT_EQ(recorder->records.filter(QStringLiteral("Ended `")),
              QStringList{QStringLiteral("Ended `%1 status` after 2 s: it had not finished.").arg(program)});
    // The ended status gave no answer: what the last answer said is still shown.
    EXPECT_EQ(recorder->records.filter(QStringLiteral("gave no answer")).size(), 1);
    EXPECT_TRUE(controller->outlets.stopTolvane->isEnabled());
    EXPECT_EQ(controller->outlets.statusItem->image(), QStringLiteral("stop"));
    EXPECT_EQ(controller->status(), ServerStatusRunning);

    // The poll goes on, and its next result presents the server as stopped.
    ASSERT_TRUE(QFile::remove(hang));
    ASSERT_TRUE(waitFor([&] { return presentedStopped(); }));
    EXPECT_TRUE(recorder->subtitles.contains(QStringLiteral("Stopped")));

    // Nothing of the hung command is left, the child that ignored the request included.
    EXPECT_TRUE(waitFor([&] { return livingProcesses(pidsIn(pids)).empty(); }))
        << livingProcesses(pidsIn(pids)).size() << " processes of it are left";
}

} // namespace
} // namespace tolvane::testing
