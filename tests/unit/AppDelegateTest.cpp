// The controller's initial state, the status codes it records, and the splash window.
#include "ControllerTest.h"
#include "common/BuildInfo.h"

#include <QCoreApplication>

namespace tolvane::testing {
namespace {

using AppDelegateTest = ControllerTest;

TEST(AppDelegateCreation, StartsUndeterminedWithNoQuitReasonBeforeTheWillFinishStep)
{
    FakeHost fake;
    ScopedHost installed(fake);
    AppDelegate controller;
    EXPECT_EQ(controller.status(), ServerStatusUndetermined);
    EXPECT_EQ(controller.lastStatus(), ServerStatusUndetermined);
    EXPECT_EQ(controller.quitReason(), QuitReasonNone);
    EXPECT_FALSE(controller.isPortAlert());
    EXPECT_FALSE(controller.istolvaneStart());
}

TEST(AppDelegateCreation, HearsTheEndOfEveryCommandLaunchedThroughTheHost)
{
    FakeHost fake;
    ScopedHost installed(fake);
    // An executable that exists, so that the status query that follows the port check runs.
    fake.env.insert(QStringLiteral("TOLVANE_PEX"), QCoreApplication::applicationFilePath());
    AppDelegate controller;
    controller.applicationWillFinishLaunching();
    TaskSpec spec;
    spec.launchPath = QStringLiteral("/bin/bash");
    spec.arguments = {QStringLiteral("-l"), QStringLiteral("-c"),
                      QStringLiteral("lsof -nP -iTCP:8008 -sTCP:LISTEN")};
    ASSERT_TRUE(fake.launchTask(spec, {}, nullptr));
    fake.endTask(0, 0);
    // The end of a port check that found the port in use is interpreted by the controller.
    EXPECT_TRUE(controller.isPortAlert());
}

TEST_F(AppDelegateTest, WillFinishSetsTheInitialValues)
{
    controller->setIsLoaded(true);
    controller->setAutoStartOnLoad(false);
    controller->setNewStatus(0);
    controller->setQuitReason(QuitReasonUninstall);
    controller->applicationWillFinishLaunching();
    EXPECT_EQ(controller->version(), ControllerVersion);
    EXPECT_FALSE(controller->isLoaded());
    EXPECT_TRUE(controller->autoStartOnLoad());
    EXPECT_EQ(controller->status(), ServerStatusUndetermined);
    EXPECT_EQ(controller->lastStatus(), ServerStatusUndetermined);
    EXPECT_EQ(controller->quitReason(), QuitReasonNone);
}

struct StatusSequence {
    std::vector<std::int32_t> codes;
    std::int32_t status;
    std::int32_t lastStatus;
};

void PrintTo(const StatusSequence& row, std::ostream* os)
{
    *os << "codes " << ::testing::PrintToString(row.codes);
}

class SetNewStatusTest : public ControllerTest, public ::testing::WithParamInterface<StatusSequence> {};

TEST_P(SetNewStatusTest, KeepsTheCodeAndTheOneBefore)
{
    for (std::int32_t code : GetParam().codes)
        controller->setNewStatus(code);
    EXPECT_EQ(controller->status(), GetParam().status);
    EXPECT_EQ(controller->lastStatus(), GetParam().lastStatus);
}

INSTANTIATE_TEST_SUITE_P(Sequences, SetNewStatusTest,
                         ::testing::Values(StatusSequence{{4, 0}, 0, 4}, StatusSequence{{1, 1}, 1, 1},
                                           StatusSequence{{0}, 0, 101}, StatusSequence{{0, 1, 254}, 254, 1},
                                           StatusSequence{{-1, 101}, 101, -1}));

TEST_F(AppDelegateTest, SetNewStatusPresentsNothing)
{
    makeStatusItem();
    controller->setNewStatus(ServerStatusRunning);
    EXPECT_EQ(item().image(), QStringLiteral("favicon"));
    EXPECT_TRUE(fake.notifications.empty());
    EXPECT_FALSE(controller->isLoaded());
}

TEST_F(AppDelegateTest, ClosingTheSplashTwiceLeavesItHidden)
{
    ASSERT_TRUE(controller->outlets.splash->isVisible());
    controller->closeSplash();
    EXPECT_FALSE(controller->outlets.splash->isVisible());
    controller->closeSplash(nullptr);
    EXPECT_FALSE(controller->outlets.splash->isVisible());
}

} // namespace
} // namespace tolvane::testing
