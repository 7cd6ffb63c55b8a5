// The controller's sequence from launch to termination: the launch, reopen, Quit and the notification
// that says why the application ended.
#include "ControllerTest.h"
#include "common/BuildInfo.h"
#include "prefs/PathControl.h"

#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <functional>

namespace tolvane::testing {
namespace {

using namespace std::chrono_literals;

const QString SetupIncomplete = QStringLiteral("The Tolvane installation is not complete, please re-install "
                                               "Tolvane. \n\nRefer to the Console app for details.");
const QString QuitForSetup = QStringLiteral("Tolvane was quit because the required setup is incomplete.");
const QString QuitForUninstall = QStringLiteral("Tolvane was quit to complete the uninstall process.");
const QString StoppedAndQuit = QStringLiteral("Tolvane is now stopped and quit.");
const QString LoadedWithoutStart =
    QStringLiteral("Tolvane is now loaded, click on the Start Tolvane menu to get started.");
const QString PortCheck = QStringLiteral("lsof -nP -iTCP:8008 -sTCP:LISTEN");
const QString QuitQuestion = QStringLiteral("This will stop and quit Tolvane, are you sure?");

class LaunchTest : public ControllerTest {
public:
    using ControllerTest::controller;

protected:
    void SetUp() override { makeFolder(fake.home + QStringLiteral("/.tolvane")); }

    // Any timer after the splash's: the launch schedules only the poll besides it.
    const FakeHost::Timer* pollTimer() const { return fake.timers.size() > 1 ? &fake.timers[1] : nullptr; }
    QStringList lastWords() const
    {
        QStringList words;
        for (const auto& task : fake.tasks)
            words.append(task.commandLine().split(QLatin1Char(' ')).last());
        return words;
    }
};

TEST_F(LaunchTest, TheSplashClosesAfterATenthOfASecond)
{
    controller->applicationDidFinishLaunching();
    ASSERT_TRUE(controller->outlets.splash->isVisible());
    ASSERT_FALSE(fake.timers.empty());
    EXPECT_EQ(fake.timers[0].interval, 100ms);
    EXPECT_FALSE(fake.timers[0].repeats);

    fake.advance(99ms);
    EXPECT_TRUE(controller->outlets.splash->isVisible());
    fake.advance(1ms);
    EXPECT_FALSE(controller->outlets.splash->isVisible());
}

TEST_F(LaunchTest, WithoutTheExecutableItAlertsAndTerminatesHavingSetUpNothing)
{
    int terminatedDuringAlert = -1;
    fake.onAlert = [&](const AlertRequest&) { terminatedDuringAlert = fake.terminateCalls; };

    controller->applicationDidFinishLaunching();

    EXPECT_EQ(fake.alertMessages(), QStringList{SetupIncomplete});
    EXPECT_EQ(terminatedDuringAlert, 0);
    EXPECT_EQ(fake.terminateCalls, 1);
    EXPECT_EQ(controller->outlets.statusItem, nullptr);
    EXPECT_TRUE(fake.userDefaults().allKeys().isEmpty());
    EXPECT_TRUE(fake.systemCommands.isEmpty());
    EXPECT_TRUE(fake.tasks.empty());
    EXPECT_EQ(fake.timers.size(), 1u);
    EXPECT_TRUE(fake.notifications.empty());
    // The splash still closes on time.
    fake.advance(100ms);
    EXPECT_FALSE(controller->outlets.splash->isVisible());
    EXPECT_EQ(fake.liveTimers(), 0u);

    controller->applicationWillTerminate();
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{QuitForSetup});
}

TEST_F(LaunchTest, WithTheExecutableItRegistersSetsUpTheItemAndThePollThenStarts)
{
    installExecutable();
    // What has been set up by the time the start launches its port check.
    bool registered = false, itemReady = false, tooltipsSet = false, pollScheduled = false;
    fake.onLaunch = [&](const TaskSpec& spec) {
        if (spec.arguments.value(2) != PortCheck)
            return;
        registered = fake.userDefaults().contains(QStringLiteral("version"));
        const StatusItem* made = controller->outlets.statusItem.get();
        // The start itself has just shown the loading image on it.
        itemReady = made && made->image() == QStringLiteral("loading") &&
                    made->menu() == controller->outlets.statusMenu.get() && made->highlightMode() &&
                    made->toolTip() == QStringLiteral("Click to show the Tolvane menu items.");
        tooltipsSet = !controller->outlets.tolvaneDataHelp->toolTip().isEmpty() &&
                      !controller->outlets.tolvaneUninstallHelp->toolTip().isEmpty();
        pollScheduled = pollTimer() != nullptr;
    };

    controller->applicationDidFinishLaunching();

    EXPECT_TRUE(fake.alerts.empty());
    EXPECT_EQ(fake.terminateCalls, 0);
    ASSERT_EQ(fake.tasks.size(), 1u);
    EXPECT_EQ(fake.tasks[0].commandLine(), PortCheck);
    EXPECT_TRUE(registered);
    EXPECT_TRUE(itemReady);
    EXPECT_TRUE(tooltipsSet);
    EXPECT_TRUE(pollScheduled);
    EXPECT_EQ(item().image(), QStringLiteral("loading"));
    EXPECT_TRUE(controller->istolvaneStart());
    // The first run's login step went before, and the start says nothing of its own.
    EXPECT_EQ(fake.systemCommands.size(), 1);
    EXPECT_FALSE(fake.notificationSubtitles().contains(LoadedWithoutStart));

    const FakeHost::Timer* poll = pollTimer();
    ASSERT_NE(poll, nullptr);
    EXPECT_EQ(poll->interval, 8000ms);
    EXPECT_TRUE(poll->repeats);
    fake.advance(8s);
    EXPECT_EQ(lastWords(), (QStringList{QStringLiteral("-sTCP:LISTEN"), QStringLiteral("status")}));
}

TEST_F(LaunchTest, WithStartAtLaunchOffItSaysSoAndOnlyAsksForTheStatus)
{
    installExecutable();
    fake.userDefaults().setValue(QStringLiteral("version"), ControllerVersion);
    fake.userDefaults().setValue(QStringLiteral("autoStartOnLoad"), false);

    controller->applicationDidFinishLaunching();

    EXPECT_FALSE(controller->autoStartOnLoad());
    EXPECT_EQ(lastWords(), QStringList{QStringLiteral("status")});
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{LoadedWithoutStart});
    EXPECT_FALSE(controller->istolvaneStart());
    EXPECT_EQ(item().image(), QStringLiteral("favicon"));
    EXPECT_NE(pollTimer(), nullptr);
}

// Reopen through the controller's own rule for what is on screen.
struct ReopenRow {
    const char* name;
    // What is on screen when the application is opened again; true when it reopened it itself.
    std::function<bool(LaunchTest&)> arrange;
    bool preferencesShown;
};

void PrintTo(const ReopenRow& row, std::ostream* os)
{
    *os << row.name;
}

class ReopenTest : public LaunchTest, public ::testing::WithParamInterface<ReopenRow> {
public:
    // A window that is not the controller's: what an XEmbed tray makes of the status item.
    std::unique_ptr<QWidget> otherWindow;

    // The user's edit that a new showing of Preferences would replace with the stored value.
    QString editedPath() const { return fake.folder.filePath(QStringLiteral("edited")); }
    void showPreferencesWithAnEdit()
    {
        controller->showPreferences(nullptr);
        makeFolder(editedPath());
        controller->outlets.customTolvaneData->choose(editedPath());
    }
};

TEST_P(ReopenTest, ShowsPreferencesOnlyWhenNoneOfTheControllersWindowsIsOnScreen)
{
    fake.userDefaults().setValue(QStringLiteral("version"), ControllerVersion);
    controller->closeSplash();
    const bool reopened = GetParam().arrange(*this);
    const bool editPending = controller->outlets.customTolvaneData->stringValue() == editedPath();
    if (!reopened)
        controller->reopen();

    EXPECT_EQ(controller->outlets.window->isVisible() && !editPending, GetParam().preferencesShown);
    if (editPending) {
        EXPECT_EQ(controller->outlets.customTolvaneData->stringValue(), editedPath())
            << "Preferences was shown anew";
        EXPECT_TRUE(controller->outlets.savePrefs->isEnabled());
    }
    EXPECT_EQ(fake.logRecords.count(QStringLiteral("Tolvane was opened again.")), 1);
}

INSTANTIATE_TEST_SUITE_P(
    OnScreen, ReopenTest,
    ::testing::Values(ReopenRow{"Nothing", [](LaunchTest&) { return false; }, true},
                      ReopenRow{"TheSplash",
                                [](LaunchTest& fixture) {
                                    fixture.controller->outlets.splash->show();
                                    return false;
                                },
                                false},
                      ReopenRow{"Preferences",
                                [](LaunchTest& fixture) {
                                    static_cast<ReopenTest&>(fixture).showPreferencesWithAnEdit();
                                    return false;
                                },
                                false},
                      ReopenRow{"AnAlert",
                                [](LaunchTest& fixture) {
                                    // The alert is answered from inside its own event loop, after the reopen.
                                    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tolvane"),
                                                    QStringLiteral("alert"));
                                    QTimer::singleShot(0, &box, [&fixture, &box] {
                                        fixture.controller->reopen();
                                        box.done(0);
                                    });
                                    box.exec();
                                    return true;
                                },
                                false},
                      // The status item's window on an XEmbed tray is a visible top-level widget that is not
                      // the controller's.
                      ReopenRow{"AnotherWindow",
                                [](LaunchTest& fixture) {
                                    auto& reopen = static_cast<ReopenTest&>(fixture);
                                    reopen.otherWindow = std::make_unique<QWidget>();
                                    reopen.otherWindow->show();
                                    return false;
                                },
                                true}),
    [](const ::testing::TestParamInfo<ReopenRow>& row) { return std::string(row.param.name); });

TEST_F(LaunchTest, ReopenWithoutAVisibleWindowShowsPreferences)
{
    fake.userDefaults().setValue(QStringLiteral("version"), ControllerVersion);
    EXPECT_TRUE(controller->applicationShouldHandleReopen(false));
    EXPECT_TRUE(controller->outlets.window->isVisible());
    EXPECT_FALSE(controller->outlets.splash->isVisible());
}

TEST_F(LaunchTest, ReopenWithAVisibleWindowChangesNothing)
{
    EXPECT_TRUE(controller->applicationShouldHandleReopen(true));
    EXPECT_FALSE(controller->outlets.window->isVisible());
    EXPECT_TRUE(controller->outlets.splash->isVisible());
    EXPECT_TRUE(fake.notifications.empty());
    EXPECT_TRUE(fake.logRecords.isEmpty());
}

TEST_F(LaunchTest, QuitWithoutTheExecutableAsksThenTerminatesWithoutAStop)
{
    makeStatusItem();
    controller->quitApplcation(nullptr);
    EXPECT_EQ(fake.alertMessages(), QStringList{QuitQuestion});
    // Nothing can run, so no stop is sent, and the stop's notification does not claim one.
    EXPECT_TRUE(fake.tasks.empty());
    EXPECT_TRUE(fake.notifications.empty());
    EXPECT_EQ(fake.terminateCalls, 1);
    controller->applicationWillTerminate();
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{QuitForSetup});
}

TEST_F(LaunchTest, QuitWithoutTheExecutableThenCancelKeepsRunning)
{
    fake.alertAnswers = {FirstButtonReturn + 1};
    controller->quitApplcation(nullptr);
    EXPECT_EQ(fake.alertMessages(), QStringList{QuitQuestion});
    EXPECT_EQ(fake.terminateCalls, 0);
}

TEST_F(LaunchTest, QuitAsksFirstAndCancelKeepsEverythingRunning)
{
    installExecutable();
    fake.alertAnswers = {FirstButtonReturn + 1};

    controller->quitApplcation(nullptr);

    ASSERT_EQ(fake.alerts.size(), 1u);
    EXPECT_EQ(fake.alerts[0].messageText, QuitQuestion);
    EXPECT_EQ(fake.alerts[0].buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Cancel")}));
    EXPECT_TRUE(fake.tasks.empty());
    EXPECT_TRUE(fake.notifications.empty());
    EXPECT_EQ(fake.terminateCalls, 0);
}

TEST_F(LaunchTest, QuitConfirmedStopsTheServerThenTerminates)
{
    installExecutable();
    int terminatedAtStop = -1;
    fake.onLaunch = [&](const TaskSpec&) { terminatedAtStop = fake.terminateCalls; };

    controller->quitApplcation(nullptr);

    EXPECT_EQ(fake.alertMessages(), QStringList{QuitQuestion});
    EXPECT_EQ(fake.notificationSubtitles(),
              QStringList{QStringLiteral("Stopping and quitting the application...")});
    EXPECT_EQ(lastWords(), QStringList{QStringLiteral("stop")});
    EXPECT_EQ(terminatedAtStop, 0);
    EXPECT_EQ(fake.terminateCalls, 1);
}

TEST_F(LaunchTest, AfterQuitTheEndOfTheFinalStopChangesNothing)
{
    installExecutable();
    makeStatusItem();
    controller->getTolvaneStatus();
    fake.endRunning(QStringLiteral("status"), 0);
    ASSERT_EQ(item().image(), QStringLiteral("stop"));
    controller->quitApplcation(nullptr);
    ASSERT_EQ(fake.terminateCalls, 1);
    controller->applicationWillTerminate();
    ASSERT_EQ(fake.notificationSubtitles().last(), StoppedAndQuit);

    const QStringList notices = fake.notificationSubtitles();
    const QStringList records = fake.logRecords;
    const QString image = item().image();
    const QString logView = controller->outlets.taskLogs->toPlainText();
    const std::size_t launched = fake.tasks.size();
    // The code changed last, so the stop's output would reach the log view if it were handled.
    ASSERT_NE(controller->status(), controller->lastStatus());
    fake.endRunning(QStringLiteral("stop"), 0, "Tolvane stopped\n");

    EXPECT_EQ(fake.notificationSubtitles(), notices);
    EXPECT_EQ(fake.logRecords, records);
    EXPECT_EQ(item().image(), image);
    EXPECT_EQ(controller->outlets.taskLogs->toPlainText(), logView);
    EXPECT_EQ(fake.tasks.size(), launched) << "a status query followed the stop";
}

struct Termination {
    const char* name;
    bool executable;
    std::int32_t quitReason;
    QString subtitle;
};

void PrintTo(const Termination& row, std::ostream* os)
{
    *os << row.name;
}

class TerminationTest : public LaunchTest, public ::testing::WithParamInterface<Termination> {};

TEST_P(TerminationTest, SaysWhyTheApplicationEnded)
{
    if (GetParam().executable)
        installExecutable();
    controller->setQuitReason(GetParam().quitReason);

    controller->applicationWillTerminate();

    EXPECT_EQ(fake.notificationSubtitles(), QStringList{GetParam().subtitle});
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, TerminationTest,
    ::testing::Values(Termination{"Installed", true, QuitReasonNone, StoppedAndQuit},
                      Termination{"InstalledAfterUninstall", true, QuitReasonUninstall, StoppedAndQuit},
                      Termination{"UninstallRemovedIt", false, QuitReasonUninstall, QuitForUninstall},
                      Termination{"SetupIncomplete", false, QuitReasonNone, QuitForSetup}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace tolvane::testing
