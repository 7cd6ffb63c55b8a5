// The command runner: what is launched for each command, the first output, and launch failures.
#include "server/CommandRunner.h"

#include "ControllerTest.h"
#include "common/ShellText.h"
#include "prefs/Preferences.h"
#include "server/Paths.h"

#include <gmock/gmock.h>

namespace tolvane::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

MATCHER_P(StartsWithText, prefix, "starts with " + ::testing::PrintToString(prefix))
{
    return arg.startsWith(prefix);
}
MATCHER_P(EndsWithText, suffix, "ends with " + ::testing::PrintToString(suffix))
{
    return arg.endsWith(suffix);
}

class CommandRunnerTest : public ControllerTest {
protected:
    void SetUp() override
    {
        installExecutable();
        makeStatusItem();
        dataPath = fake.folder.filePath(QStringLiteral("data"));
        makeFolder(dataPath);
        fake.userDefaults().setValue(CustomTolvaneDataKey, dataPath);
    }
    QString dataPath;
};

TEST(CommandWords, OnlyTheThreeExactWordsAreServerCommands)
{
    for (const char* word : {"start", "stop", "status"})
        EXPECT_TRUE(isTolvaneCommand(QString::fromLatin1(word))) << word;
    for (const char* word : {"Start", "STATUS", "status ", " stop", "", "restart", ":8008", "-sTCP:LISTEN"})
        EXPECT_FALSE(isTolvaneCommand(QString::fromLatin1(word))) << word;
}

TEST(ShellQuoting, OrdinaryPathsStayPlainOthersAreQuotedSoTheShellSeesThemUnchanged)
{
    const struct {
        const char* text;
        const char* quoted;
    } rows[] = {
        {"/Applications/Tolvane/support/tolvane/tolvane.pex",
         "/Applications/Tolvane/support/tolvane/tolvane.pex"},
        {"/opt/my server/tolvane.pex", "'/opt/my server/tolvane.pex'"},
        {"/opt/it's/x", "'/opt/it'\\''s/x'"},
        {"/opt/$HOME/`id`/x", "'/opt/$HOME/`id`/x'"},
        {"", "''"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(shellQuoted(QString::fromUtf8(row.text)), QString::fromUtf8(row.quoted)) << row.text;
}

TEST_F(CommandRunnerTest, ServerCommandRunsTheExecutableThroughALoginShellWithTheDataLocation)
{
    fake.env.insert(QStringLiteral("TOLVANE_HOME"), QStringLiteral("/inherited"));
    controller->runTask(QStringLiteral("status"));
    ASSERT_EQ(fake.tasks.size(), 1u);
    const TaskSpec& spec = fake.tasks[0].spec;
    EXPECT_EQ(spec.launchPath, QStringLiteral("/bin/bash"));
    EXPECT_EQ(spec.arguments, (QStringList{QStringLiteral("-l"), QStringLiteral("-c"),
                                           executablePath() + QStringLiteral(" status")}));
    ASSERT_TRUE(spec.environment.has_value());
    EXPECT_EQ(spec.environment->value(QStringLiteral("TOLVANE_HOME")), dataPath);
    EXPECT_EQ(spec.environment->value(QStringLiteral("HOME")), fake.home);
}

TEST_F(CommandRunnerTest, OtherCommandLinesRunUnchangedWithTheInheritedEnvironment)
{
    fake.env.insert(QStringLiteral("TOLVANE_HOME"), QStringLiteral("/inherited"));
    for (const char* line : {"lsof -nP -iTCP:8008 -sTCP:LISTEN", "Status", "status "}) {
        fake.tasks.clear();
        controller->runTask(QString::fromLatin1(line));
        ASSERT_EQ(fake.tasks.size(), 1u);
        EXPECT_EQ(fake.tasks[0].spec.arguments,
                  (QStringList{QStringLiteral("-l"), QStringLiteral("-c"), QString::fromLatin1(line)}));
        EXPECT_FALSE(fake.tasks[0].spec.environment.has_value()) << line;
    }
}

TEST_F(CommandRunnerTest, ExecutablePathIsQuotedAndTheCommandWordStaysLast)
{
    const QString awkward = fake.folder.filePath(QStringLiteral("my server's $dir/tolvane.pex"));
    makeFile(awkward);
    fake.env.insert(QStringLiteral("TOLVANE_PEX"), awkward);
    controller->runTask(QStringLiteral("start"));
    ASSERT_EQ(fake.tasks.size(), 1u);
    const QString line = fake.tasks[0].commandLine();
    EXPECT_EQ(line, shellQuoted(awkward) + QStringLiteral(" start"));
    EXPECT_EQ(line.split(QLatin1Char(' ')).last(), QStringLiteral("start"));
}

TEST_F(CommandRunnerTest, WithoutADataLocationServerCommandsStillRunWithTheInheritedEnvironment)
{
    fake.userDefaults().remove(CustomTolvaneDataKey);
    fake.env.insert(QStringLiteral("TOLVANE_HOME"), fake.folder.filePath(QStringLiteral("not-there")));
    controller->runTolvane(QStringLiteral("start"));
    ASSERT_EQ(fake.tasks.size(), 1u);
    // No TOLVANE_HOME of the controller's: the command sees what the controller inherited.
    EXPECT_FALSE(fake.tasks[0].spec.environment.has_value());
    EXPECT_EQ(controller->status(), ServerStatusUndetermined);
    EXPECT_THAT(fake.logRecords, Not(Contains(StartsWithText(QStringLiteral("Error running")))));
}

TEST_F(CommandRunnerTest, OnlyTheStatusPollLeavesTheIconAlone)
{
    const struct {
        const char* command;
        const char* image;
    } rows[] = {{"status", "favicon"},
                {"start", "loading"},
                {"stop", "loading"},
                {"lsof -nP -iTCP:8008 -sTCP:LISTEN", "loading"}};
    for (const auto& row : rows) {
        item().setImage(QStringLiteral("favicon"));
        controller->runTask(QString::fromLatin1(row.command));
        EXPECT_EQ(item().image(), QString::fromLatin1(row.image)) << row.command;
    }
}

TEST_F(CommandRunnerTest, FirstOutputIsLoggedAndShownOnlyWhileTheCodeHasJustChanged)
{
    controller->setNewStatus(ServerStatusStarting); // 101 -> 4: changed
    controller->runTask(QStringLiteral("start"));
    fake.tasks[0].handler(QByteArray("Tolvane is starting\n"));
    EXPECT_EQ(fake.logRecords, QStringList{QStringLiteral("Tolvane is starting\n")});
    EXPECT_TRUE(
        controller->outlets.taskLogs->toPlainText().endsWith(QStringLiteral(" Tolvane is starting\n")));

    controller->setNewStatus(ServerStatusStarting); // 4 -> 4: steady
    fake.logRecords.clear();
    const QString before = controller->outlets.taskLogs->toPlainText();
    controller->runTask(QStringLiteral("status"));
    fake.tasks[1].handler(QByteArray("Tolvane is starting\n"));
    EXPECT_THAT(fake.logRecords, IsEmpty());
    EXPECT_EQ(controller->outlets.taskLogs->toPlainText(), before);
}

TEST_F(CommandRunnerTest, EmptyOrUndecodableOutputStillMakesOneEntry)
{
    controller->setNewStatus(ServerStatusRunning);
    controller->runTask(QStringLiteral("status"));
    fake.tasks[0].handler(QByteArray());
    EXPECT_EQ(fake.logRecords, QStringList{QString()});
    EXPECT_EQ(controller->outlets.taskLogs->toPlainText(), QStringLiteral("\n2026-12-09 03:04:05 "));

    controller->runTask(QStringLiteral("status"));
    fake.tasks[1].handler(QByteArray("bad \xff\xfe bytes"));
    EXPECT_THAT(fake.logRecords, ElementsAre(QString(), AllOf(StartsWithText(QStringLiteral("bad ")),
                                                              EndsWithText(QStringLiteral(" bytes")))));
}

TEST_F(CommandRunnerTest, MissingExecutableLaunchesNothingAndPresentsTheMissingState)
{
    fake.env.remove(QStringLiteral("TOLVANE_PEX"));
    controller->setNewStatus(ServerStatusRunning);
    EXPECT_EQ(controller->runTolvane(QStringLiteral("status")), ServerStatusUndetermined);
    EXPECT_TRUE(fake.tasks.empty());
    EXPECT_THAT(fake.logRecords, Not(Contains(StartsWithText(QStringLiteral("Error running")))));
    EXPECT_THAT(fake.notificationSubtitles(),
                ElementsAre(QStringLiteral("The `tolvane` executable does not exist!")));
}

TEST_F(CommandRunnerTest, RefusedLaunchRecordsUndeterminedLogsAndRestoresTheIcon)
{
    fake.refuseLaunches = true;
    controller->setNewStatus(ServerStatusRunning);
    item().setImage(QStringLiteral("stop"));
    EXPECT_EQ(controller->runTolvane(QStringLiteral("stop")), ServerStatusUndetermined);
    EXPECT_EQ(controller->lastStatus(), ServerStatusRunning);
    EXPECT_EQ(fake.logRecords,
              QStringList{QStringLiteral("Error running `tolvane` launch refused by the test")});
    EXPECT_EQ(item().image(), QStringLiteral("stop"));
}

TEST_F(CommandRunnerTest, ReturnsTheCodeHeldWhenTheCommandHasMerelyBeenLaunched)
{
    controller->setNewStatus(ServerStatusStopped);
    EXPECT_EQ(controller->runTolvane(QStringLiteral("status")), ServerStatusStopped);
    EXPECT_EQ(fake.tasks.size(), 1u);
}

} // namespace
} // namespace tolvane::testing
