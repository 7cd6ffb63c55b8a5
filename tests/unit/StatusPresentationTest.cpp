// What the user sees for each status code: the six controls, the icon, the tooltip, the notification
// and the data-location control.
#include "ControllerTest.h"
#include "prefs/PathControl.h"

namespace tolvane::testing {
namespace {

const char* const Unchanged = "(unchanged)";

struct PresentationRow {
    const char* name;
    std::int32_t code;
    bool executable;
    bool startEnabled;
    bool othersEnabled;
    const char* image;
    const char* toolTip;      // Unchanged: what the previous presentation set
    const char* notification; // "" for none (with isLoaded YES)
    const char* dataToolTip;  // Unchanged, or the tooltip of the data-location control
    bool dataEnabled;         // only read when dataToolTip is not Unchanged
};

void PrintTo(const PresentationRow& row, std::ostream* os)
{
    *os << row.name;
}

const char* const Select = "Select Tolvane data path.";
const char* const StillRunning = "Tolvane is still running. Stop Tolvane to select data path.";

class PresentationTest : public ControllerTest, public ::testing::WithParamInterface<PresentationRow> {
protected:
    void SetUp() override
    {
        const PresentationRow& row = GetParam();
        makeStatusItem();
        if (row.executable)
            installExecutable();
        // Every control starts as the row must not leave it, so that a row that never sets a control, or
        // only ever disables it, fails. What the default rows keep is an earlier presentation's.
        const Outlets& o = controller->outlets;
        o.startTolvane->setEnabled(!row.startEnabled);
        o.startButton->setEnabled(!row.startEnabled);
        for (QAction* action : {o.stopTolvane.data(), o.openInBrowserMenu.data()})
            action->setEnabled(!row.othersEnabled);
        for (QAbstractButton* button : {o.stopButton.data(), o.openBrowserButton.data()})
            button->setEnabled(!row.othersEnabled);
        item().setToolTip(QStringLiteral("earlier tooltip"));
        if (row.dataToolTip == Unchanged) {
            o.customTolvaneData->setToolTip(QStringLiteral("earlier data tooltip"));
            o.customTolvaneData->setEnabled(false);
        } else {
            o.customTolvaneData->setToolTip(QString::fromLatin1(row.dataEnabled ? StillRunning : Select));
            o.customTolvaneData->setEnabled(!row.dataEnabled);
        }
        controller->setIsLoaded(true);
    }
};

TEST_P(PresentationTest, SetsWhatItsRowSays)
{
    const PresentationRow& row = GetParam();
    controller->showStatus(row.code);
    const Outlets& o = controller->outlets;

    EXPECT_EQ(o.startTolvane->isEnabled(), row.startEnabled);
    EXPECT_EQ(o.startButton->isEnabled(), row.startEnabled);
    for (bool enabled : {o.stopTolvane->isEnabled(), o.stopButton->isEnabled(),
                         o.openInBrowserMenu->isEnabled(), o.openBrowserButton->isEnabled()})
        EXPECT_EQ(enabled, row.othersEnabled);

    EXPECT_EQ(item().image(), QString::fromLatin1(row.image));
    EXPECT_EQ(item().toolTip(), row.toolTip == Unchanged ? QStringLiteral("earlier tooltip")
                                                         : QString::fromLatin1(row.toolTip));

    const QStringList expectedNotifications =
        *row.notification ? QStringList{QString::fromLatin1(row.notification)} : QStringList{};
    EXPECT_EQ(fake.notificationSubtitles(), expectedNotifications);

    if (row.dataToolTip == Unchanged) {
        EXPECT_EQ(o.customTolvaneData->toolTip(), QStringLiteral("earlier data tooltip"));
        EXPECT_FALSE(o.customTolvaneData->isEnabled());
    } else {
        EXPECT_EQ(o.customTolvaneData->toolTip(), QString::fromLatin1(row.dataToolTip));
        EXPECT_EQ(o.customTolvaneData->isEnabled(), row.dataEnabled);
    }
    EXPECT_TRUE(controller->isLoaded());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, PresentationTest,
    ::testing::Values(
        PresentationRow{"Running", 0, true, false, true, "stop", "Tolvane is running.",
                        "Running, you can now click on 'Open in Browser' menu.", StillRunning, false},
        PresentationRow{"Stopped", 1, true, true, false, "favicon", "Tolvane is stopped.", "Stopped", Select,
                        true},
        PresentationRow{"StoppedWithoutExecutable", 1, false, false, false, "favicon", "Tolvane is stopped.",
                        "Stopped", Select, true},
        PresentationRow{"Starting", 4, true, false, false, "loading", "Tolvane is starting...", "",
                        StillRunning, false},
        PresentationRow{"FailedToStart", 6, true, true, false, "exclaim", "Tolvane failed to start.", "",
                        StillRunning, false},
        PresentationRow{"FailedWithoutExecutable", 6, false, false, false, "exclaim",
                        "Tolvane failed to start.", "", StillRunning, false},
        PresentationRow{"Undetermined", 101, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"UndeterminedWithoutExecutable", 101, false, false, false, "exclaim", Unchanged, "",
                        Unchanged, true},
        PresentationRow{"Two", 2, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"Three", 3, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"Five", 5, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"Seven", 7, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"CannotExecute", 126, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"ShellFailure", 255, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"Negative", -1, false, false, false, "exclaim", Unchanged, "", Unchanged, true}),
    [](const ::testing::TestParamInfo<PresentationRow>& row) { return std::string(row.param.name); });

using FirstPresentationTest = ControllerTest;

TEST_F(FirstPresentationTest, StoppedIsNotNotifiedOnTheFirstPresentationOnly)
{
    makeStatusItem();
    ASSERT_FALSE(controller->isLoaded());
    controller->showStatus(ServerStatusStopped);
    EXPECT_TRUE(fake.notifications.empty());
    controller->showStatus(ServerStatusStopped);
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{QStringLiteral("Stopped")});
}

TEST_F(FirstPresentationTest, AnyEarlierPresentationMakesTheNextStoppedNotify)
{
    makeStatusItem();
    controller->showStatus(ServerStatusUndetermined);
    controller->showStatus(ServerStatusStopped);
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{QStringLiteral("Stopped")});
}

TEST_F(FirstPresentationTest, RunningIsNotifiedEveryTimeItIsPresented)
{
    makeStatusItem();
    controller->showStatus(ServerStatusRunning);
    controller->showStatus(ServerStatusRunning);
    EXPECT_EQ(fake.notificationSubtitles().size(), 2);
}

TEST_F(FirstPresentationTest, DataLocationToggleIsOnOnlyForExactlyYes)
{
    controller->toggleTolvaneDataPath(true);
    EXPECT_TRUE(controller->outlets.customTolvaneData->isEnabled());
    EXPECT_EQ(controller->outlets.customTolvaneData->toolTip(), QString::fromLatin1(Select));
    controller->toggleTolvaneDataPath(false);
    EXPECT_FALSE(controller->outlets.customTolvaneData->isEnabled());
    EXPECT_EQ(controller->outlets.customTolvaneData->toolTip(), QString::fromLatin1(StillRunning));
}

} // namespace
} // namespace tolvane::testing
