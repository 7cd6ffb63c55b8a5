// The help popovers of the Preferences window and the help buttons' tooltips.
#include "ControllerFixture.h"
#include "prefs/Popover.h"

namespace tolvane::testing {
namespace {

const QString ReadmeSentence = QStringLiteral("\n \nFor more information, please refer to the README document.");

class HelpPopoverTest : public ControllerTest {
protected:
    void SetUp() override
    {
        makeFolder(fake.home + QStringLiteral("/.tolvane"));
        fake.userDefaults().setValue(QStringLiteral("version"), QStringLiteral("0.17"));
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
    EXPECT_TRUE(message().endsWith(QStringLiteral("For more information, please refer to the README document.")));
    EXPECT_TRUE(message().startsWith(QStringLiteral("This will set the TOLVANE_HOME environment variable")));
}

TEST_F(HelpPopoverTest, UninstallHelpShowsTheUninstallTextAtTheRightOfItsButton)
{
    uninstallHelp().click();

    EXPECT_TRUE(popover().isVisible());
    EXPECT_EQ(popover().preferredEdge(), RectEdge::MaxX);
    EXPECT_EQ(popover().positioningView(), &uninstallHelp());
    EXPECT_TRUE(message().startsWith(QStringLiteral("This will uninstall the Tolvane application.")));
    EXPECT_TRUE(message().endsWith(QStringLiteral("NOTE: This will require admin privileges.")));
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
    dataHelp().click();
    const QString longText = message();
    uninstallHelp().click();
    const QString uninstallText = message();

    installExecutable();
    controller->applicationDidFinishLaunching();

    // The data help's tooltip is its popover text without the README sentence.
    const QString tooltip = dataHelp().toolTip();
    EXPECT_FALSE(tooltip.isEmpty());
    EXPECT_FALSE(tooltip.contains(QStringLiteral("README")));
    EXPECT_EQ(tooltip + ReadmeSentence, longText);
    EXPECT_EQ(uninstallHelp().toolTip(), uninstallText);
}

} // namespace
} // namespace tolvane::testing
