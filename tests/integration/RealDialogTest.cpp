// The real host's alerts, answered with the keyboard and the mouse as a user answers them, and what
// waits while one is on screen.
#include "Files.h"
#include "Processes.h"
#include "Programs.h"
#include "RecordingHost.h"
#include "Sandbox.h"
#include "app/AppDelegate.h"
#include "platform/QtHost.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace tolvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr int WaitMs = 30000;

// Runs `work` from inside the alert's own event loop once the alert is on screen.
void whenTheAlertShows(const std::function<void(QMessageBox&)>& work)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, work] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        work(*box);
    });
    poll->start(10);
}

QAbstractButton* buttonTitled(QMessageBox& box, const QString& title)
{
    for (QAbstractButton* button : box.buttons()) {
        if (button->text() == title)
            return button;
    }
    return nullptr;
}

enum class Answer { Return, Enter, Escape, CloseWindow, ClickOk, ClickCancel };

struct AlertRow {
    const char* name;
    QStringList buttons; // none: the single default "OK"
    Answer answer;
    int expected;
};

void PrintTo(const AlertRow& row, std::ostream* os)
{
    *os << row.name;
}

class RealAlertTest : public ::testing::TestWithParam<AlertRow> {
protected:
    QtHost host;
};

TEST_P(RealAlertTest, AnswersAsTheUserDid)
{
    const AlertRow& row = GetParam();
    whenTheAlertShows([&row](QMessageBox& box) {
        switch (row.answer) {
        case Answer::Return:
            QTest::keyClick(&box, Qt::Key_Return);
            break;
        case Answer::Enter:
            QTest::keyClick(&box, Qt::Key_Enter);
            break;
        case Answer::Escape:
            QTest::keyClick(&box, Qt::Key_Escape);
            break;
        case Answer::CloseWindow:
            box.close();
            break;
        case Answer::ClickOk:
        case Answer::ClickCancel:
            if (QAbstractButton* button = buttonTitled(
                    box, row.answer == Answer::ClickOk ? QStringLiteral("OK") : QStringLiteral("Cancel")))
                QTest::mouseClick(button, Qt::LeftButton);
            break;
        }
    });
    AlertRequest request;
    request.messageText = QStringLiteral("Are you sure?");
    request.buttons = row.buttons;
    EXPECT_EQ(host.runModalAlert(request), row.expected);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

const QStringList OkCancel = {QStringLiteral("OK"), QStringLiteral("Cancel")};

INSTANTIATE_TEST_SUITE_P(
    Answers, RealAlertTest,
    ::testing::Values(AlertRow{"QuestionReturn", OkCancel, Answer::Return, FirstButtonReturn},
                      AlertRow{"QuestionEnter", OkCancel, Answer::Enter, FirstButtonReturn},
                      AlertRow{"QuestionClickOk", OkCancel, Answer::ClickOk, FirstButtonReturn},
                      AlertRow{"QuestionEscape", OkCancel, Answer::Escape, FirstButtonReturn + 1},
                      AlertRow{"QuestionClosed", OkCancel, Answer::CloseWindow, FirstButtonReturn + 1},
                      AlertRow{"QuestionClickCancel", OkCancel, Answer::ClickCancel, FirstButtonReturn + 1},
                      AlertRow{"AlertReturn", {}, Answer::Return, FirstButtonReturn},
                      AlertRow{"AlertEnter", {}, Answer::Enter, FirstButtonReturn},
                      AlertRow{"AlertEscape", {}, Answer::Escape, FirstButtonReturn},
                      AlertRow{"AlertClosed", {}, Answer::CloseWindow, FirstButtonReturn},
                      AlertRow{"AlertClickOk", {}, Answer::ClickOk, FirstButtonReturn}),
    [](const ::testing::TestParamInfo<AlertRow>& row) { return std::string(row.param.name); });

// While an alert is up the controller does nothing else: what comes meanwhile follows the answer.
class HeldBackTest : public ::testing::Test {
protected:
    HeldBackTest()
    {
        QObject::connect(&host, &Host::taskDidTerminate, &host, [this](const TaskTermination& t) {
            events << QStringLiteral("end %1").arg(t.terminationStatus);
        });
    }

    // A command that writes its pid down and ends with the status.
    void launchEndingWith(int status)
    {
        const QString pidFile = folder.filePath(QStringLiteral("pid-%1").arg(status));
        TaskSpec spec;
        spec.launchPath = QStringLiteral("/bin/bash");
        spec.arguments = {QStringLiteral("-c"),
                          QStringLiteral("echo $$ > '%1'; exit %2").arg(pidFile).arg(status)};
        ASSERT_TRUE(host.launchTask(
            spec, [](const QByteArray&) {}, nullptr));
        pidFiles << pidFile;
    }
    // The host has seen the command end: its process was reaped, which the host does when it handles
    // the end.
    bool reaped(int index) const
    {
        const std::vector<pid_t> pid = pidsIn(pidFiles.at(index));
        return !pid.empty() && livingProcesses(pid).empty();
    }

    QtHost host;
    QTemporaryDir folder;
    QStringList pidFiles;
    QStringList events;
};

TEST_F(HeldBackTest, EndsAndTimersThatComeWhileAnAlertIsUpFollowTheAnswerInOrder)
{
    launchEndingWith(1);
    QStringList duringAlert;
    bool allCame = false;
    whenTheAlertShows([&](QMessageBox& box) {
        // The first command ends, then a timer falls due, then a second command ends, all under the alert.
        allCame = RecordingHost::waitFor([&] { return reaped(0); }, WaitMs);
        host.scheduleTimer(1ms, false, [this] { events << QStringLiteral("timer"); });
        RecordingHost::waitFor([] { return false; }, 100);
        launchEndingWith(2);
        allCame = allCame && RecordingHost::waitFor([&] { return reaped(1); }, WaitMs);
        duringAlert = events;
        QTest::keyClick(&box, Qt::Key_Return);
    });
    AlertRequest request;
    request.messageText = QStringLiteral("Port :8008 is occupied.");
    EXPECT_EQ(host.runModalAlert(request), FirstButtonReturn);
    ASSERT_TRUE(allCame) << "a command did not end within " << WaitMs << " ms";
    EXPECT_TRUE(duringAlert.isEmpty()) << duringAlert.join(QLatin1Char(',')).toStdString();

    ASSERT_TRUE(RecordingHost::waitFor([&] { return events.size() >= 3; }, WaitMs));
    RecordingHost::waitFor([] { return false; }, 100); // nothing more comes
    EXPECT_EQ(events,
              (QStringList{QStringLiteral("end 1"), QStringLiteral("timer"), QStringLiteral("end 2")}));
}

// The two confirmations that matter most, answered with Escape on the real alert: the controller and
// the server it runs stay as they were.
class RealConfirmationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox.isValid());
        sandbox.apply(QStringLiteral(TOLVANE_SERVER_PATH));
        // The host reads the environment when it is made: after the sandbox.
        recorder.emplace();
        recorder->realAlerts = true;
        installed.emplace(*recorder);
        controller.emplace();
        controller->loadInterface();
        controller->applicationWillFinishLaunching();
    }

    static void answerWithEscape()
    {
        whenTheAlertShows([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    }

    Sandbox sandbox;
    std::optional<RecordingHost> recorder;
    std::optional<ScopedHost> installed;
    std::optional<AppDelegate> controller;
};

TEST_F(RealConfirmationTest, QuitAnsweredWithEscapeKeepsTheServerAndTheControllerRunning)
{
    const QString server = QStringLiteral(TOLVANE_SERVER_PATH);
    ASSERT_EQ(runServer(server, QStringLiteral("start"), sandbox.data), 0);

    answerWithEscape();
    controller->quitApplcation(nullptr);
    RecordingHost::waitFor([] { return false; }, 500); // a stop, had one been sent, has time to end

    EXPECT_EQ(recorder->alerts,
              QStringList{QStringLiteral("This will stop and quit Tolvane, are you sure?")});
    EXPECT_EQ(recorder->terminateCalls, 0);
    EXPECT_TRUE(recorder->launchedCommandLines.filter(QStringLiteral(" stop")).isEmpty())
        << recorder->launchedCommandLines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(runServer(server, QStringLiteral("status"), sandbox.data), 0) << "the server was stopped";
    runServer(server, QStringLiteral("stop"), sandbox.data);
}

TEST_F(RealConfirmationTest, UninstallAnsweredWithEscapeRunsNoTool)
{
    // The tool beside the application leaves a mark when it runs.
    const QString ran = sandbox.filePath(QStringLiteral("the-tool-ran"));
    recorder->bundle = sandbox.filePath(QStringLiteral("Applications/Tolvane.app"));
    ASSERT_TRUE(writeScript(sandbox.filePath(QStringLiteral("Applications/Tolvane_Uninstall.tool")),
                            QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(ran).toUtf8()));

    answerWithEscape();
    controller->tolvaneUninstall(nullptr);
    RecordingHost::waitFor([] { return false; }, 200);

    EXPECT_EQ(recorder->alerts, QStringList{QStringLiteral(
                                    "Are you sure that you want to uninstall the Tolvane application?")});
    EXPECT_FALSE(QFile::exists(ran)) << "the uninstall tool ran";
    EXPECT_EQ(recorder->terminateCalls, 0);
}

} // namespace
} // namespace tolvane::testing
