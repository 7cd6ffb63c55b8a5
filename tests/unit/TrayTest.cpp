// The status item and the desktop's tray: the item waits for a tray host where the toolkit would never
// find a later one, is placed again when a host comes again, and without any tray the Preferences window
// stands in for the status menu.
#include "ControllerTest.h"
#include "common/BuildInfo.h"

#include <QPointer>
#include <chrono>

namespace tolvane::testing {
namespace {

using namespace std::chrono_literals;

const QString NoTray = QStringLiteral(
    "No system tray was found: the Tolvane Preferences window stands in for the Tolvane menu.");
const QString QuitQuestion = QStringLiteral("This will stop and quit Tolvane, are you sure?");
const QString QuittingText = QStringLiteral("Stopping and quitting the application...");

class TrayTest : public ControllerTest {
protected:
    void SetUp() override
    {
        installExecutable();
        fake.userDefaults().setValue(QStringLiteral("version"), ControllerVersion);
    }

    QWidget& window() { return *controller->outlets.window; }
    bool onServerTab() { return controller->outlets.tabs->currentWidget() == controller->outlets.serverTab; }
    bool quitButtonShown() { return controller->outlets.quitButton->isVisible(); }
    // The launch ran with nothing on screen; the server's start is under way.
    void launch()
    {
        controller->closeSplash();
        controller->applicationDidFinishLaunching();
    }
};

// The desktop's tray at launch and in the ten seconds after it.
struct TrayRow {
    const char* name;
    bool trayAtLaunch;
    bool itemFindsLaterTrays;
    // When a tray comes after launch, and whether it says so (a StatusNotifierItem host) or not (an
    // XEmbed tray, which the item finds by itself).
    std::optional<std::chrono::milliseconds> trayComesAfter;
    bool hostSaysSo;
    bool placedAtLaunch;
    bool windowStandsIn;
};

void PrintTo(const TrayRow& row, std::ostream* os)
{
    *os << row.name;
}

class TraySituationTest : public TrayTest, public ::testing::WithParamInterface<TrayRow> {};

TEST_P(TraySituationTest, PlacesTheItemWhenATrayWillShowItAndStandsInWithTheWindowOnlyWithoutOne)
{
    const TrayRow& row = GetParam();
    fake.trayRuns = row.trayAtLaunch;
    fake.itemFindsLaterTrays = row.itemFindsLaterTrays;

    launch();
    EXPECT_EQ(item().isPlaced(), row.placedAtLaunch);
    if (row.trayComesAfter) {
        fake.advance(*row.trayComesAfter);
        if (row.hostSaysSo)
            fake.trayHostComes();
        else
            fake.trayRuns = true;
        EXPECT_TRUE(item().isPlaced());
    }
    fake.advance(10s - row.trayComesAfter.value_or(0ms) - 1ms);
    EXPECT_FALSE(window().isVisible()) << "before ten seconds have passed";
    fake.advance(1ms);

    EXPECT_EQ(window().isVisible(), row.windowStandsIn);
    EXPECT_EQ(fake.notificationSubtitles().count(NoTray), row.windowStandsIn ? 1 : 0);
    if (row.windowStandsIn) {
        EXPECT_TRUE(onServerTab());
        EXPECT_TRUE(quitButtonShown());
    }
    // Said once, however long the controller runs on.
    fake.advance(60s);
    EXPECT_EQ(fake.notificationSubtitles().count(NoTray), row.windowStandsIn ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    AtLaunch, TraySituationTest,
    ::testing::Values(TrayRow{"ATrayRuns", true, true, std::nullopt, false, true, false},
                      TrayRow{"AStatusNotifierHostRunsOnWayland", true, false, std::nullopt, false, true,
                              false},
                      TrayRow{"AnXEmbedTrayComesLater", false, true, 4s, false, true, false},
                      TrayRow{"AStatusNotifierHostComesLaterOnWayland", false, false, 4s, true, false, false},
                      TrayRow{"NoTrayOnX11", false, true, std::nullopt, false, true, true},
                      TrayRow{"NoTrayOnWayland", false, false, std::nullopt, false, false, true}),
    [](const ::testing::TestParamInfo<TrayRow>& row) { return std::string(row.param.name); });

TEST_F(TrayTest, AnItemPlacedLateShowsWhatThePresentationSetMeanwhile)
{
    fake.trayRuns = false;
    fake.itemFindsLaterTrays = false;
    launch();
    ASSERT_FALSE(item().isPlaced());
    controller->showStatus(ServerStatusRunning);

    fake.trayHostComes();
    ASSERT_TRUE(item().isPlaced());
    const QSystemTrayIcon* icon = item().trayIcon();
    EXPECT_EQ(icon->toolTip(), QStringLiteral("Tolvane is running."));
    EXPECT_FALSE(icon->icon().isNull());
    EXPECT_EQ(icon->contextMenu(), controller->outlets.statusMenu.get());
    EXPECT_TRUE(icon->isVisible());
    EXPECT_EQ(item().image(), QStringLiteral("stop"));
}

// A host that appears after the item was placed: two seconds later the controller looks whether the
// host lists the item, and places it again when not.
class HostComesAgainTest : public TrayTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HostComesAgainTest, TheItemIsPlacedAgainOnlyWhenTheHostDoesNotListIt)
{
    const bool listed = GetParam();
    const QString placedAgain =
        QStringLiteral("The tray host does not list the status item: it is placed in the tray again.");
    launch();
    ASSERT_TRUE(item().isPlaced());
    const QPointer<QSystemTrayIcon> icon = item().trayIcon();
    fake.itemRegistered = listed;

    fake.trayHostComes();
    fake.advance(1999ms);
    EXPECT_FALSE(fake.logRecords.contains(placedAgain)) << "before the toolkit had its time";
    fake.advance(1ms);

    EXPECT_EQ(fake.logRecords.count(placedAgain), listed ? 0 : 1);
    EXPECT_EQ(item().placements(), listed ? 1 : 2);
    // The one icon, in the tray again: it is not made anew.
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(item().trayIcon(), icon.data());
    EXPECT_TRUE(icon->isVisible());
    EXPECT_EQ(fake.logRecords.count(QStringLiteral("A system tray host appeared.")), 1);
}

INSTANTIATE_TEST_SUITE_P(HostListsTheItem, HostComesAgainTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& row) {
                             return std::string(row.param ? "Listed" : "NotListed");
                         });

TEST_F(TrayTest, QuitFromTheStandInWindowAsksStopsAndTerminates)
{
    fake.trayRuns = false;
    fake.itemFindsLaterTrays = false;
    launch();
    fake.advance(10s);
    ASSERT_TRUE(quitButtonShown());
    ASSERT_TRUE(controller->outlets.serverTab->isAncestorOf(controller->outlets.quitButton));

    controller->outlets.quitButton->click();

    EXPECT_EQ(fake.alertMessages(), QStringList{QuitQuestion});
    EXPECT_GE(fake.runningTask(QStringLiteral("stop")), 0);
    EXPECT_TRUE(fake.notificationSubtitles().contains(QuittingText));
    EXPECT_EQ(fake.terminateCalls, 1);
}

TEST_F(TrayTest, QuitFromTheWindowThenCancelKeepsItRunning)
{
    fake.trayRuns = false;
    launch();
    fake.advance(10s);
    fake.alertAnswers = {FirstButtonReturn + 1};
    controller->outlets.quitButton->click();
    EXPECT_EQ(fake.alertMessages(), QStringList{QuitQuestion});
    EXPECT_EQ(fake.runningTask(QStringLiteral("stop")), -1);
    EXPECT_EQ(fake.terminateCalls, 0);
}

TEST_F(TrayTest, EveryEntryOfTheStatusMenuHasItsControlOnTheStandInWindowsServerTab)
{
    // The status menu's entries and what stands in for each on the window.
    const QList<QPair<QString, QString>> counterparts{
        {QStringLiteral("startTolvane"), QStringLiteral("startButton")},
        {QStringLiteral("stopTolvane"), QStringLiteral("stopButton")},
        {QStringLiteral("openInBrowserMenu"), QStringLiteral("openBrowserButton")},
        {QStringLiteral("showPreferencesMenu"), QStringLiteral("serverTab")},
        {QStringLiteral("quitMenu"), QStringLiteral("quitButton")}};
    QStringList entries;
    for (const QAction* action : controller->outlets.statusMenu->actions())
        if (!action->isSeparator())
            entries.append(action->objectName());
    QStringList expected;
    for (const auto& pair : counterparts)
        expected.append(pair.first);
    ASSERT_EQ(entries, expected) << "a menu entry without its counterpart on the window";

    fake.trayRuns = false;
    launch();
    fake.advance(10s);
    for (const auto& pair : counterparts) {
        const auto* control = window().findChild<QWidget*>(pair.second);
        ASSERT_NE(control, nullptr) << pair.second.toStdString();
        EXPECT_TRUE(control->isVisible()) << pair.second.toStdString();
    }
}

TEST_F(TrayTest, WhenATrayComesAfterTheStandInTheWindowBehavesAsUsual)
{
    fake.trayRuns = false;
    fake.itemFindsLaterTrays = false;
    launch();
    fake.advance(10s);
    ASSERT_TRUE(window().isVisible());

    fake.trayHostComes();
    EXPECT_TRUE(item().isPlaced());
    EXPECT_FALSE(quitButtonShown());
    EXPECT_TRUE(window().isVisible()) << "the window stays until the user closes it";
    controller->hidePreferences(nullptr);
    controller->reopen();
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(quitButtonShown());
    EXPECT_EQ(fake.notificationSubtitles().count(NoTray), 1);
}

TEST_F(TrayTest, ReopeningWithoutATrayBringsTheWindowBackWithItsQuitButton)
{
    fake.trayRuns = false;
    launch();
    fake.advance(10s);
    controller->hidePreferences(nullptr);
    ASSERT_FALSE(window().isVisible());
    controller->reopen();
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(quitButtonShown());
}

TEST_F(TrayTest, WithATrayTheQuitButtonStaysHidden)
{
    launch();
    controller->showPreferences();
    EXPECT_FALSE(quitButtonShown());
}

} // namespace
} // namespace tolvane::testing
