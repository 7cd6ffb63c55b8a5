// What the user sees for each status code: the six controls, the icon, the tooltip, the notification
// and the data-location control.
#include "ControllerTest.h"
#include "prefs/PathControl.h"
#include "server/PresentationRows.h"

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
const char* const MissingText = "The `tolvane` executable does not exist!";
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
        PresentationRow{"StoppedWithoutExecutable", 1, false, true, false, "favicon", "Tolvane is stopped.",
                        "Stopped", Select, true},
        PresentationRow{"Starting", 4, true, false, false, "loading", "Tolvane is starting...", "",
                        StillRunning, false},
        PresentationRow{"FailedToStart", 6, true, true, false, "exclaim", "Tolvane failed to start.", "",
                        StillRunning, false},
        PresentationRow{"FailedWithoutExecutable", 6, false, true, false, "exclaim",
                        "Tolvane failed to start.", "", StillRunning, false},
        PresentationRow{"Undetermined", 101, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"UndeterminedWithoutExecutable", 101, false, true, false, "exclaim", MissingText, "",
                        Unchanged, true},
        PresentationRow{"Two", 2, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"Three", 3, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"Five", 5, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"Seven", 7, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"CannotExecute", 126, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"ShellFailure", 255, true, true, false, "favicon", Unchanged, "", Unchanged, true},
        PresentationRow{"NegativeWithoutExecutable", -1, false, true, false, "exclaim", MissingText, "",
                        Unchanged, true},
        PresentationRow{"Negative", -1, true, true, false, "favicon", Unchanged, "", Unchanged, true}),
    [](const ::testing::TestParamInfo<PresentationRow>& row) { return std::string(row.param.name); });

// The rows as data, without a widget: code, executable and whether a presentation came before, in; the
// six controls, the image, the tooltip, the notification and the data-location control, out.
struct RowCase {
    const char* name;
    std::int32_t code;
    bool exists;
    bool loaded;
    bool start;  // the Start menu item and button
    bool others; // Stop and Open, menu items and buttons
    StatusImage image;
    const char* toolTip;      // Unchanged, or the text
    bool toolTipFirst;        // the tooltip is set before the image
    const char* notification; // "" for none
    int dataLocation;         // -1 unchanged, 0 disabled, 1 enabled
};

void PrintTo(const RowCase& row, std::ostream* os)
{
    *os << row.name;
}

class PresentationTable : public ::testing::TestWithParam<RowCase> {};

TEST_P(PresentationTable, IsTheRowOfTheCode)
{
    const RowCase& c = GetParam();
    const Presentation row = presentationFor(c.code, c.exists, c.loaded);
    EXPECT_EQ(row.startTolvane, c.start);
    EXPECT_EQ(row.startButton, c.start);
    EXPECT_EQ(row.stopTolvane, c.others);
    EXPECT_EQ(row.stopButton, c.others);
    EXPECT_EQ(row.openInBrowserMenu, c.others);
    EXPECT_EQ(row.openBrowserButton, c.others);
    EXPECT_EQ(row.image, c.image);
    EXPECT_EQ(row.toolTip.value_or(QString::fromLatin1(Unchanged)), QString::fromLatin1(c.toolTip));
    if (row.toolTip) {
        EXPECT_EQ(row.toolTipBeforeImage, c.toolTipFirst);
    }
    EXPECT_EQ(row.notification.value_or(QString()), QString::fromLatin1(c.notification));
    EXPECT_EQ(row.dataLocationEnabled ? int(*row.dataLocationEnabled) : -1, c.dataLocation);
}

const char* const RunningText = "Running, you can now click on 'Open in Browser' menu.";

INSTANTIATE_TEST_SUITE_P(
    Codes, PresentationTable,
    ::testing::Values(
        RowCase{"Running", 0, true, true, false, true, StatusImage::Stop, "Tolvane is running.", false,
                RunningText, 0},
        RowCase{"RunningFirst", 0, true, false, false, true, StatusImage::Stop, "Tolvane is running.", false,
                RunningText, 0},
        RowCase{"Stopped", 1, true, true, true, false, StatusImage::Favicon, "Tolvane is stopped.", false,
                "Stopped", 1},
        RowCase{"StoppedFirstIsNotNotified", 1, true, false, true, false, StatusImage::Favicon,
                "Tolvane is stopped.", false, "", 1},
        RowCase{"Starting", 4, true, true, false, false, StatusImage::Loading, "Tolvane is starting...", true,
                "", 0},
        RowCase{"FailedToStart", 6, true, true, true, false, StatusImage::Exclaim, "Tolvane failed to start.",
                false, "", 0},
        RowCase{"Undetermined", 101, true, true, true, false, StatusImage::Favicon, Unchanged, false, "", -1},
        RowCase{"ExecutableMissing", 101, false, true, true, false, StatusImage::Exclaim, MissingText, false,
                "", -1},
        RowCase{"EndedByTheShell", 143, true, true, true, false, StatusImage::Favicon, Unchanged, false, "",
                -1},
        RowCase{"Two", 2, true, true, true, false, StatusImage::Favicon, Unchanged, false, "", -1},
        RowCase{"Negative", -1, true, true, true, false, StatusImage::Favicon, Unchanged, false, "", -1}),
    [](const ::testing::TestParamInfo<RowCase>& row) { return std::string(row.param.name); });

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
