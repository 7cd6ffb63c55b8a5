// The help popovers of the Preferences window and the help buttons' tooltips.
#include "ControllerTest.h"
#include "common/BuildInfo.h"
#include "prefs/Popover.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>

namespace tolvane::testing {
namespace {

// The help texts as the user reads them, written out here on their own: a change to the controller's
// texts must show up as a difference.
const QString DataHelpTooltip = QStringLiteral(
    "This will set the TOLVANE_HOME environment variable to the selected Tolvane data location. \n \n"
    "Click the 'Apply' button to save your changes and click the 'Start Tolvane' button to use your new data "
    "location. \n \n"
    "NOTE: To use your existing Tolvane data, manually copy it to the selected Tolvane data location.");
const QString DataHelpPopover = QStringLiteral(
    "This will set the TOLVANE_HOME environment variable to the selected Tolvane data location. \n \n"
    "Click the 'Apply' button to save your changes and click the 'Start Tolvane' button to use your new data "
    "location. \n \n"
    "NOTE: To use your existing Tolvane data, manually copy it to the selected Tolvane data location.\n \n"
    "For more information, please refer to the README document.");
const QString UninstallHelpText = QStringLiteral(
    "This will uninstall the Tolvane application. \n \n"
    "Check the `Delete Tolvane data folder` option if you want to delete your Tolvane data. \n \n"
    "NOTE: This will require admin privileges.");

class HelpPopoverTest : public ControllerTest {
protected:
    void SetUp() override
    {
        makeFolder(fake.home + QStringLiteral("/.tolvane"));
        fake.userDefaults().setValue(QStringLiteral("version"), ControllerVersion);
        controller->showPreferences(nullptr);
    }
    QAbstractButton& dataHelp() { return *controller->outlets.tolvaneDataHelp; }
    QAbstractButton& uninstallHelp() { return *controller->outlets.tolvaneUninstallHelp; }
    Popover& popover() { return *controller->outlets.popover; }
    QString message() const { return controller->outlets.popoverMsg->text(); }
};

TEST_F(HelpPopoverTest, DataHelpShowsTheLongTextAtTheRightOfItsButton)
{
    dataHelp().click();

    EXPECT_TRUE(popover().isVisible());
    EXPECT_EQ(popover().preferredEdge(), RectEdge::MaxX);
    EXPECT_EQ(popover().positioningView(), &dataHelp());
    EXPECT_EQ(message(), DataHelpPopover);
}

TEST_F(HelpPopoverTest, UninstallHelpShowsTheUninstallTextAtTheRightOfItsButton)
{
    uninstallHelp().click();

    EXPECT_TRUE(popover().isVisible());
    EXPECT_EQ(popover().preferredEdge(), RectEdge::MaxX);
    EXPECT_EQ(popover().positioningView(), &uninstallHelp());
    EXPECT_EQ(message(), UninstallHelpText);
}

TEST_F(HelpPopoverTest, TheOnePopoverIsReusedAndFollowsTheTextInHeightOnly)
{
    const QPointer<Popover> first = controller->outlets.popover;
    dataHelp().click();
    const QSize dataSize = popover().contentSize();
    const QString dataText = message();

    uninstallHelp().click();
    const QSize uninstallSize = popover().contentSize();

    EXPECT_EQ(controller->outlets.popover.data(), first.data());
    EXPECT_EQ(controller->outlets.window->findChildren<Popover*>().size(), 1);
    EXPECT_NE(message(), dataText);
    EXPECT_EQ(popover().positioningView(), &uninstallHelp());
    EXPECT_EQ(uninstallSize.width(), dataSize.width());
    EXPECT_GT(dataSize.height(), uninstallSize.height());
    // The popup itself takes the content size.
    EXPECT_EQ(popover().size(), uninstallSize);

    // Back to the longer text: it grows again to the same height as before.
    dataHelp().click();
    EXPECT_EQ(popover().contentSize(), dataSize);
    EXPECT_EQ(popover().positioningView(), &dataHelp());
}

// Where the popover opens on the screen, as the user sees it: beside its button, on the side with
// room, its middle level with the button's when the screen allows, and inside the screen.
struct PlacementRow {
    const char* name;
    bool uninstall;     // which help button: the data folder's or the uninstall's
    bool atRightEdge;   // the window's right side against the screen's right edge, else its left side at 0
    bool nearTheBottom; // the window's bottom against the screen's bottom, else in the screen's middle
    bool expectRight;   // the popover opens at the button's right, else at its left
};

void PrintTo(const PlacementRow& row, std::ostream* os)
{
    *os << row.name;
}

class HelpPopoverPlacementTest : public HelpPopoverTest,
                                 public ::testing::WithParamInterface<PlacementRow> {};

// The rectangle in screen coordinates.
QRect onScreen(const QWidget& widget)
{
    return QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size());
}

TEST_P(HelpPopoverPlacementTest, OpensBesideItsButtonOnTheSideWithRoomAndInsideTheScreen)
{
    const PlacementRow& row = GetParam();
    QWidget& window = *controller->outlets.window;
    QAbstractButton& button = row.uninstall ? uninstallHelp() : dataHelp();
    // The page that holds the button is the one on show, as when the user clicks it.
    auto* tabs = window.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    for (int page = 0; page < tabs->count(); ++page) {
        if (tabs->widget(page)->isAncestorOf(&button))
            tabs->setCurrentIndex(page);
    }
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    // Narrow enough that a popover fits at the right of the button when the window is at the left.
    window.resize(window.minimumSizeHint().width(), window.height());
    const QRect frame = window.frameGeometry();
    window.move(row.atRightEdge ? room.right() + 1 - frame.width() : room.left(),
                row.nearTheBottom ? room.bottom() + 1 - frame.height()
                                  : room.center().y() - frame.height() / 2);
    ASSERT_TRUE(room.contains(window.frameGeometry())) << "the window does not fit on the test screen";

    button.click();

    const QRect anchor = onScreen(button);
    const QRect placed = popover().geometry();
    ASSERT_TRUE(popover().isVisible());
    EXPECT_EQ(placed.size(), popover().contentSize());
    if (row.expectRight) {
        EXPECT_EQ(placed.left(), anchor.right() + 1) << "not at the right of the button";
    } else {
        EXPECT_EQ(placed.right(), anchor.left() - 1) << "not at the left of the button";
    }
    EXPECT_TRUE(room.contains(placed)) << "partly off the screen";
    // Level with the button: centred on it where the screen has room, else moved up just enough to fit.
    if (row.nearTheBottom && placed.bottom() == room.bottom()) {
        EXPECT_LE(placed.center().y(), anchor.center().y());
    } else {
        EXPECT_NEAR(placed.center().y(), anchor.center().y(), 1);
    }
    EXPECT_LE(placed.top(), anchor.top());
    EXPECT_GE(placed.bottom(), anchor.bottom());
    // The button lies in the window, so the popover touches or overlaps the window.
    EXPECT_TRUE(window.frameGeometry().adjusted(-1, -1, 1, 1).intersects(placed));
    EXPECT_EQ(popover().positioningView(), &button);
}

INSTANTIATE_TEST_SUITE_P(
    Places, HelpPopoverPlacementTest,
    ::testing::Values(PlacementRow{"DataHelpWithRoomAtTheRight", false, false, false, true},
                      PlacementRow{"DataHelpAgainstTheScreensRightEdge", false, true, false, false},
                      PlacementRow{"DataHelpNearTheScreensBottom", false, false, true, true},
                      PlacementRow{"UninstallHelpWithRoomAtTheRight", true, false, false, true},
                      PlacementRow{"UninstallHelpInTheBottomRightCorner", true, true, true, false}),
    [](const ::testing::TestParamInfo<PlacementRow>& row) { return std::string(row.param.name); });

TEST_F(HelpPopoverTest, LaunchSetsTheShortTextsAsTooltips)
{
    installExecutable();
    controller->applicationDidFinishLaunching();

    // The data help's tooltip lacks the README sentence of its popover.
    EXPECT_EQ(dataHelp().toolTip(), DataHelpTooltip);
    EXPECT_EQ(uninstallHelp().toolTip(), UninstallHelpText);
}

} // namespace
} // namespace tolvane::testing
