// The interface files give every outlet, and every control sends its action to the controller.
#include "ControllerTest.h"
#include "prefs/PathControl.h"
#include "prefs/Popover.h"

#include <QTest>
#include <functional>

namespace tolvane::testing {
namespace {

using InterfaceTest = ControllerTest;

TEST_F(InterfaceTest, EveryOutletIsFilled)
{
    const Outlets& o = controller->outlets;
    EXPECT_TRUE(o.splash);
    EXPECT_TRUE(o.window);
    EXPECT_TRUE(o.startTolvane);
    EXPECT_TRUE(o.stopTolvane);
    EXPECT_TRUE(o.openInBrowserMenu);
    EXPECT_TRUE(o.tolvaneVersion);
    EXPECT_TRUE(o.customTolvaneData);
    EXPECT_TRUE(o.loadOnLogin);
    EXPECT_TRUE(o.startOnLoad);
    EXPECT_TRUE(o.tolvaneDataHelp);
    EXPECT_TRUE(o.popover);
    EXPECT_TRUE(o.popoverMsg);
    EXPECT_TRUE(o.startButton);
    EXPECT_TRUE(o.stopButton);
    EXPECT_TRUE(o.openBrowserButton);
    EXPECT_TRUE(o.statusMenu);
    EXPECT_TRUE(o.taskLogs);
    EXPECT_TRUE(o.deleteTolvaneData);
    EXPECT_TRUE(o.tolvaneUninstallHelp);
    EXPECT_TRUE(o.savePrefs);
    EXPECT_TRUE(o.aView);
    // The status item is made by the launch, not by the interface files.
    EXPECT_FALSE(o.statusItem);
}

TEST_F(InterfaceTest, TheStatusMenuOffersStartStopOpenPreferencesAndQuit)
{
    QStringList titles;
    for (QAction* action : controller->outlets.statusMenu->actions()) {
        if (!action->isSeparator())
            titles.append(action->text());
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Start Tolvane"), QStringLiteral("Stop Tolvane"),
                                   QStringLiteral("Open in Browser"), QStringLiteral("Preferences…"),
                                   QStringLiteral("Quit Tolvane")}));
}

TEST_F(InterfaceTest, ControlsNamedByTheMessagesCarryThoseTitles)
{
    EXPECT_EQ(controller->outlets.startTolvane->text(), QStringLiteral("Start Tolvane"));
    EXPECT_EQ(controller->outlets.openInBrowserMenu->text(), QStringLiteral("Open in Browser"));
    EXPECT_EQ(controller->outlets.savePrefs->text(), QStringLiteral("Apply"));
    EXPECT_EQ(controller->outlets.deleteTolvaneData->text(), QStringLiteral("Delete Tolvane data folder"));
}

QAction* menuAction(AppDelegate& controller, const char* name)
{
    return controller.outlets.statusMenu->findChild<QAction*>(QLatin1String(name));
}

QAbstractButton* windowButton(AppDelegate& controller, const char* name)
{
    return controller.outlets.window->findChild<QAbstractButton*>(QLatin1String(name));
}

struct ActionRow {
    const char* control;
    std::function<void(AppDelegate&)> send;
    std::function<bool(AppDelegate&, FakeHost&)> sent;
};

void PrintTo(const ActionRow& row, std::ostream* os)
{
    *os << row.control;
}

class InterfaceActionTest : public ControllerTest, public ::testing::WithParamInterface<ActionRow> {
protected:
    void SetUp() override
    {
        installExecutable();
        controller->outlets.savePrefs->setEnabled(false);
    }
};

TEST_P(InterfaceActionTest, ReachesTheController)
{
    GetParam().send(*controller);
    EXPECT_TRUE(GetParam().sent(*controller, fake)) << GetParam().control;
}

bool launchedPortCheck(AppDelegate&, FakeHost& fake)
{
    return fake.runningTask(QStringLiteral("-sTCP:LISTEN")) >= 0;
}
bool launchedStop(AppDelegate&, FakeHost& fake)
{
    return fake.runningTask(QStringLiteral("stop")) >= 0 &&
           fake.notificationSubtitles().contains(QStringLiteral("Stopping"));
}
bool openedBrowser(AppDelegate&, FakeHost& fake)
{
    return fake.openedUrls.size() == 1;
}
bool applyEnabled(AppDelegate& controller, FakeHost&)
{
    return controller.outlets.savePrefs->isEnabled();
}

INSTANTIATE_TEST_SUITE_P(
    Controls, InterfaceActionTest,
    ::testing::Values(
        ActionRow{"startTolvane", [](AppDelegate& c) { c.outlets.startTolvane->trigger(); },
                  launchedPortCheck},
        ActionRow{"stopTolvane", [](AppDelegate& c) { c.outlets.stopTolvane->trigger(); }, launchedStop},
        ActionRow{"openInBrowserMenu", [](AppDelegate& c) { c.outlets.openInBrowserMenu->trigger(); },
                  openedBrowser},
        ActionRow{"startButton", [](AppDelegate& c) { c.outlets.startButton->click(); }, launchedPortCheck},
        ActionRow{"stopButton", [](AppDelegate& c) { c.outlets.stopButton->click(); }, launchedStop},
        ActionRow{"openBrowserButton", [](AppDelegate& c) { c.outlets.openBrowserButton->click(); },
                  openedBrowser},
        ActionRow{"showPreferencesMenu",
                  [](AppDelegate& c) { menuAction(c, "showPreferencesMenu")->trigger(); },
                  [](AppDelegate& c, FakeHost&) { return c.outlets.window->isVisible(); }},
        ActionRow{"quitMenu", [](AppDelegate& c) { menuAction(c, "quitMenu")->trigger(); },
                  [](AppDelegate&, FakeHost& f) {
                      return f.alertMessages() ==
                             QStringList{QStringLiteral("This will stop and quit Tolvane, are you sure?")};
                  }},
        ActionRow{"savePrefs",
                  [](AppDelegate& c) {
                      c.outlets.savePrefs->setEnabled(true);
                      c.outlets.savePrefs->click();
                  },
                  launchedStop},
        ActionRow{"discardButton",
                  [](AppDelegate& c) {
                      c.outlets.window->show();
                      windowButton(c, "discardButton")->click();
                  },
                  [](AppDelegate& c, FakeHost&) { return !c.outlets.window->isVisible(); }},
        ActionRow{"customTolvaneData",
                  [](AppDelegate& c) { c.outlets.customTolvaneData->choose(QStringLiteral("/tmp")); },
                  applyEnabled},
        ActionRow{"loadOnLogin", [](AppDelegate& c) { c.outlets.loadOnLogin->click(); }, applyEnabled},
        ActionRow{"startOnLoad", [](AppDelegate& c) { c.outlets.startOnLoad->click(); }, applyEnabled},
        ActionRow{"tolvaneDataHelp",
                  [](AppDelegate& c) {
                      c.outlets.window->show();
                      c.outlets.tolvaneDataHelp->click();
                  },
                  [](AppDelegate& c, FakeHost&) {
                      return c.outlets.popover->isVisible() &&
                             c.outlets.popoverMsg->text().endsWith(
                                 QStringLiteral("refer to the README document."));
                  }},
        ActionRow{"tolvaneUninstallHelp",
                  [](AppDelegate& c) {
                      c.outlets.window->show();
                      c.outlets.tolvaneUninstallHelp->click();
                  },
                  [](AppDelegate& c, FakeHost&) {
                      return c.outlets.popover->isVisible() &&
                             c.outlets.popoverMsg->text().startsWith(QStringLiteral("This will uninstall"));
                  }},
        ActionRow{"uninstallButton", [](AppDelegate& c) { windowButton(c, "uninstallButton")->click(); },
                  [](AppDelegate&, FakeHost& f) {
                      return f.alerts.size() == 1 && f.alerts[0].messageText.startsWith(QStringLiteral(
                                                         "The Tolvane uninstall script is not found"));
                  }},
        ActionRow{"clearLogsButton",
                  [](AppDelegate& c) {
                      c.outlets.taskLogs->setPlainText(QStringLiteral("old output"));
                      windowButton(c, "clearLogsButton")->click();
                  },
                  [](AppDelegate& c, FakeHost&) { return c.outlets.taskLogs->toPlainText().isEmpty(); }},
        ActionRow{
            "closeSplashButton",
            [](AppDelegate& c) {
                c.outlets.splash->findChild<QAbstractButton*>(QStringLiteral("closeSplashButton"))->click();
            },
            [](AppDelegate& c, FakeHost&) { return !c.outlets.splash->isVisible(); }}),
    [](const ::testing::TestParamInfo<ActionRow>& row) { return std::string(row.param.control); });

} // namespace
} // namespace tolvane::testing
