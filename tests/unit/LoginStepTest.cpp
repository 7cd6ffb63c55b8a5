// The login step of Apply and of the first run: TOLVANE_HOME set for the session, then the login entry.
#include "ControllerTest.h"
#include "FakeTools.h"
#include "Files.h"
#include "LoginRows.h"
#include "Programs.h"
#include "app/Messages.h"

namespace tolvane::testing {
namespace {

const QString DataFolderNotFound = QStringLiteral("Tolvane data folder is not found. Click the `Start "
                                                  "Tolvane` button to auto-create the Tolvane data folder.");
const QString SetFailed = QStringLiteral("Failed to set TOLVANE_HOME env.");
const QString WritingPrefix =
    QStringLiteral("Writing the .plist for the TOLVANE_HOME environment variable... ");
const QString SaveFailed = QStringLiteral("Failed to save .plist file!  Result: 0");

QString settingNotice(const QString& location)
{
    return QStringLiteral("Setting TOLVANE_HOME environment variable to %1...").arg(location);
}

class LoginStepTest : public ControllerTest {
protected:
    void SetUp() override
    {
        // A held code different from the one before, so that both can be told apart afterwards.
        controller->setNewStatus(ServerStatusStopped);
        controller->setNewStatus(ServerStatusRunning);
    }

    QString location() const { return fake.home + QStringLiteral("/.tolvane"); }
    // The login entry as this platform's adapter writes it.
    const LoginRows rows = loginRows(fake.home);

    // Whatever the outcome, the next status result is presented as a change.
    void expectStatusRecorded() const
    {
        EXPECT_EQ(controller->status(), ServerStatusUndetermined);
        EXPECT_EQ(controller->lastStatus(), ServerStatusRunning);
    }
};

TEST_F(LoginStepTest, SetsTheVariableWritesTheEntriesAndSaysSo)
{
    makeFolder(location());
    for (const QString& folder : rows.folders)
        ASSERT_FALSE(QFileInfo::exists(folder));

    EXPECT_TRUE(controller->setEnvVarsAndPlist());

    expectStatusRecorded();
    for (const QString& folder : rows.folders)
        EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();
    ASSERT_EQ(fake.systemCommands.size(), 1);
    EXPECT_TRUE(fake.systemCommands[0].startsWith(rows.setTool + QLatin1Char(' ')));
    EXPECT_TRUE(fake.systemCommands[0].contains(location()));
    EXPECT_EQ(fake.notificationSubtitles(),
              (QStringList{settingNotice(location()),
                           QStringLiteral("Successfully set TOLVANE_HOME env to %1.").arg(location())}));
    // The log holds each notification, the entry as written, and where it went, in that order. Every
    // notification also logs its empty informative text as a record of its own; those are left out.
    QStringList records = fake.logRecords;
    records.removeAll(QString());
    ASSERT_EQ(records.size(), 4) << records.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(records[0], settingNotice(location()));
    EXPECT_TRUE(records[1].startsWith(WritingPrefix));
    EXPECT_EQ(records[2], QStringLiteral("Saved .plist file to %1").arg(rows.entryFiles.first()));
    for (const QString& entry : rows.entryFiles)
        EXPECT_TRUE(QFileInfo::exists(entry)) << entry.toStdString();
    const QString variableEntry = readText(rows.variableFile);
    for (const QString& text : rows.variableTexts(location()))
        EXPECT_TRUE(variableEntry.contains(text))
            << text.toStdString() << " in " << variableEntry.toStdString();
}

TEST_F(LoginStepTest, AnEntryFolderThatCannotBeMadeStopsTheStepSilently)
{
    makeFolder(location());
    // A file where the first entry folder's parent would go.
    const QString folder = rows.folders.first();
    makeFile(QFileInfo(folder.chopped(1)).path());

    EXPECT_FALSE(controller->setEnvVarsAndPlist());

    expectStatusRecorded();
    EXPECT_EQ(fake.logRecords, QStringList{QStringLiteral("Failed to create %1 directory").arg(folder)});
    EXPECT_TRUE(fake.notifications.empty());
    EXPECT_TRUE(fake.systemCommands.isEmpty());
}

TEST_F(LoginStepTest, ATranslocatedCopyTellsTheUserToMoveTolvaneAndWritesNothing)
{
    makeFolder(location());
    fake.userDefaults().setValue(QStringLiteral("autoLoadOnLogin"), true);
    fake.translocated = true;

    EXPECT_FALSE(controller->setEnvVarsAndPlist());

    expectStatusRecorded();
    EXPECT_EQ(fake.alertMessages(), QStringList{TranslocatedText});
    EXPECT_TRUE(fake.systemCommands.isEmpty());
    EXPECT_TRUE(fake.notifications.empty());
    for (const QString& folder : rows.folders)
        EXPECT_FALSE(QFileInfo::exists(folder)) << folder.toStdString();
    for (const QString& entry : rows.entryFiles)
        EXPECT_FALSE(QFileInfo::exists(entry)) << entry.toStdString();
}

TEST_F(LoginStepTest, WithoutADataLocationNothingIsSet)
{
    EXPECT_FALSE(controller->setEnvVarsAndPlist());

    expectStatusRecorded();
    EXPECT_EQ(fake.notificationSubtitles(),
              (QStringList{settingNotice(QStringLiteral("(null)")), DataFolderNotFound}));
    EXPECT_TRUE(fake.systemCommands.isEmpty());
    for (const QString& entry : rows.entryFiles)
        EXPECT_FALSE(QFileInfo::exists(entry)) << entry.toStdString();
}

class SetCommandFailureTest : public LoginStepTest, public ::testing::WithParamInterface<int> {};

TEST_P(SetCommandFailureTest, LeavesTheEntriesAsTheyWere)
{
    makeFolder(location());
    for (const QString& folder : rows.folders)
        makeFolder(folder);
    for (const QString& entry : rows.entryFiles) {
        QFile file(entry);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old entry\n");
    }
    const int answer = GetParam();
    fake.systemAnswer = [answer](const QString&) { return answer; };

    EXPECT_FALSE(controller->setEnvVarsAndPlist());

    expectStatusRecorded();
    EXPECT_EQ(fake.notificationSubtitles(), (QStringList{settingNotice(location()), SetFailed}));
    for (const QString& entry : rows.entryFiles)
        EXPECT_EQ(readText(entry), QStringLiteral("old entry\n")) << entry.toStdString();
    EXPECT_TRUE(fake.logRecords.filter(WritingPrefix).isEmpty());
}

// An exit status, a raw wait status, and the shell not run at all.
INSTANTIATE_TEST_SUITE_P(Answers, SetCommandFailureTest, ::testing::Values(1, 256, -1));

enum class WriteFailure { EntryPathIsAFolder, LocationHoldsALineFeed };

void PrintTo(WriteFailure cause, std::ostream* os)
{
    *os << (cause == WriteFailure::EntryPathIsAFolder ? "EntryPathIsAFolder" : "LocationHoldsALineFeed");
}

class WriteFailureTest : public LoginStepTest, public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(WriteFailureTest, IsLoggedWithoutTheSuccessNotice)
{
    QString used = location();
    if (GetParam() == WriteFailure::EntryPathIsAFolder) {
        makeFolder(rows.entryFiles.first());
    } else {
        if (!rows.lineFeedRefused)
            GTEST_SKIP() << "this platform's login entry holds a line feed in a value";
        // Neither entry file can hold a line break in a value.
        used = fake.home + QStringLiteral("/two\nlines");
        fake.env.insert(QStringLiteral("TOLVANE_HOME"), used);
    }
    makeFolder(used);

    EXPECT_FALSE(controller->setEnvVarsAndPlist());

    expectStatusRecorded();
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{settingNotice(used)});
    ASSERT_FALSE(fake.logRecords.isEmpty());
    EXPECT_EQ(fake.logRecords.last(), SaveFailed);
    EXPECT_TRUE(fake.logRecords.filter(QStringLiteral("Saved .plist file")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Causes, WriteFailureTest,
                         ::testing::Values(WriteFailure::EntryPathIsAFolder,
                                           WriteFailure::LocationHoldsALineFeed),
                         [](const auto& row) {
                             return row.param == WriteFailure::EntryPathIsAFolder
                                        ? std::string("EntryPathIsAFolder")
                                        : std::string("LineFeed");
                         });

TEST_F(LoginStepTest, TheSetCommandGivesTheShellTheLocationUnchanged)
{
    const QString awkward =
        fake.home + QStringLiteral("/data \"quoted\" $HOME `id` \\back 'single' !bang %p ; rm -rf x");
    makeFolder(awkward);
    fake.env.insert(QStringLiteral("TOLVANE_HOME"), awkward);
    ASSERT_TRUE(controller->setEnvVarsAndPlist());
    ASSERT_EQ(fake.systemCommands.size(), 1);

    // The standard shell runs the command against recording stand-ins for every session tool, so that
    // it never changes the real session of whoever runs the test.
    FakeTools tools;
    ASSERT_EQ(tools.runShell(fake.systemCommands[0]), 0);
    EXPECT_EQ(tools.ran(), QStringList{rows.setTool});
    const std::optional<Invocation> run = tools.invocation(rows.setTool);
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->arguments, rows.setArguments(awkward));
}

struct OpenAtLogin {
    const char* name;
    QVariant stored; // invalid: absent
    bool opens;
};

void PrintTo(const OpenAtLogin& row, std::ostream* os)
{
    *os << row.name;
}

class OpenAtLoginTest : public LoginStepTest, public ::testing::WithParamInterface<OpenAtLogin> {};

TEST_P(OpenAtLoginTest, TheEntryOpensTheControllerOnlyWhenTheStoreSaysYes)
{
    makeFolder(location());
    if (GetParam().stored.isValid())
        fake.userDefaults().setValue(QStringLiteral("autoLoadOnLogin"), GetParam().stored);

    ASSERT_TRUE(controller->setEnvVarsAndPlist());

    const QString entry = readText(rows.entryFiles.first());
    ASSERT_FALSE(entry.isEmpty());
    EXPECT_EQ(entry.contains(rows.opensController), GetParam().opens) << entry.toStdString();
    EXPECT_EQ(entry.contains(fake.bundle), GetParam().opens) << entry.toStdString();
    // The variable is set at every login either way.
    const QString variableEntry = readText(rows.variableFile);
    for (const QString& text : rows.variableTexts(location()))
        EXPECT_TRUE(variableEntry.contains(text)) << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Stores, OpenAtLoginTest,
                         ::testing::Values(OpenAtLogin{"True", true, true},
                                           OpenAtLogin{"False", false, false},
                                           OpenAtLogin{"Absent", QVariant(), false}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace tolvane::testing
