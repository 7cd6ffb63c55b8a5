// The help popovers of the Preferences window and the help buttons' tooltips.
#include "ControllerTest.h"
#include "common/BuildInfo.h"
#include "prefs/Popover.h"

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
