// The login step of Apply and of the first run: TOLVANE_HOME set for the session, then the login entry.
#include "ControllerTest.h"
#include "Files.h"
#include "Programs.h"

namespace tolvane::testing {
namespace {

const QString DataFolderNotFound = QStringLiteral("Tolvane data folder is not found. Click the `Start "
                                                  "Tolvane` button to auto-create the Tolvane data folder.");
const QString SetFailed = QStringLiteral("Failed to set TOLVANE_HOME env.");
const QString WritingPrefix =
    QStringLiteral("Writing the .plist for the TOLVANE_HOME environment variable... ");
const QString SaveFailed = QStringLiteral("Failed to save .plist file!  Result: 0");
const QString OpensController = QStringLiteral(" and opens the Tolvane controller");

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
    QString configHome() const { return fake.home + QStringLiteral("/.config"); }
    QString autostartEntry() const
    {
        return configHome() + QStringLiteral("/autostart/org.veltran.tolvane.user.desktop");
    }
    QString environmentEntry() const
    {
        return configHome() + QStringLiteral("/environment.d/org.veltran.tolvane.user.conf");
    }

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
    ASSERT_FALSE(QFileInfo::exists(configHome()));

    EXPECT_TRUE(controller->setEnvVarsAndPlist());

    expectStatusRecorded();
    EXPECT_TRUE(QFileInfo(configHome() + QStringLiteral("/autostart")).isDir());
    EXPECT_TRUE(QFileInfo(configHome() + QStringLiteral("/environment.d")).isDir());
    ASSERT_EQ(fake.systemCommands.size(), 1);
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
    EXPECT_TRUE(records[1].contains(autostartEntry()));
    EXPECT_TRUE(records[1].contains(environmentEntry()));
    EXPECT_EQ(records[2], QStringLiteral("Saved .plist file to %1").arg(autostartEntry()));
    EXPECT_TRUE(readText(environmentEntry()).contains(QStringLiteral("TOLVANE_HOME=\"%1\"").arg(location())));
    EXPECT_TRUE(QFileInfo::exists(autostartEntry()));
}

TEST_F(LoginStepTest, AnEntryFolderThatCannotBeMadeStopsTheStepSilently)
{
    makeFolder(location());
    const QString blocker = fake.folder.filePath(QStringLiteral("a-file"));
    makeFile(blocker);
    fake.env.insert(QStringLiteral("XDG_CONFIG_HOME"), blocker + QStringLiteral("/config"));

    EXPECT_FALSE(controller->setEnvVarsAndPlist());

    expectStatusRecorded();
    EXPECT_EQ(fake.logRecords,
              QStringList{QStringLiteral("Failed to create %1/config/autostart/ directory").arg(blocker)});
    EXPECT_TRUE(fake.notifications.empty());
    EXPECT_TRUE(fake.systemCommands.isEmpty());
}

TEST_F(LoginStepTest, WithoutADataLocationNothingIsSet)
{
    EXPECT_FALSE(controller->setEnvVarsAndPlist());

    expectStatusRecorded();
    EXPECT_EQ(fake.notificationSubtitles(),
              (QStringList{settingNotice(QStringLiteral("(null)")), DataFolderNotFound}));
    EXPECT_TRUE(fake.systemCommands.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(autostartEntry()));
    EXPECT_FALSE(QFileInfo::exists(environmentEntry()));
}

class SetCommandFailureTest : public LoginStepTest, public ::testing::WithParamInterface<int> {};

TEST_P(SetCommandFailureTest, LeavesTheEntriesAsTheyWere)
{
    makeFolder(location());
    makeFolder(configHome() + QStringLiteral("/autostart"));
    makeFolder(configHome() + QStringLiteral("/environment.d"));
    for (const QString& entry : {autostartEntry(), environmentEntry()}) {
        QFile file(entry);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old entry\n");
    }
    const int answer = GetParam();
    fake.systemAnswer = [answer](const QString&) { return answer; };

    EXPECT_FALSE(controller->setEnvVarsAndPlist());

    expectStatusRecorded();
    EXPECT_EQ(fake.notificationSubtitles(), (QStringList{settingNotice(location()), SetFailed}));
    EXPECT_EQ(readText(autostartEntry()), QStringLiteral("old entry\n"));
    EXPECT_EQ(readText(environmentEntry()), QStringLiteral("old entry\n"));
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
        makeFolder(autostartEntry());
    } else {
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

    // The standard shell runs the command against a stand-in for the tool that prints its arguments.
    const QString bin = fake.folder.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(writeScript(bin + QStringLiteral("/dbus-update-activation-environment"),
                            "#!/bin/sh\nprintf '%s\\n' \"$@\"\n"));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), bin + QStringLiteral(":/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/nowhere"));
    QByteArray output;
    QByteArray errors;
    EXPECT_EQ(runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), fake.systemCommands[0]}, &output,
                         &errors, {.environment = environment, .workingDirectory = fake.folder.path()}),
              0)
        << errors.toStdString();
    EXPECT_EQ(QString::fromUtf8(output), QStringLiteral("--systemd\nTOLVANE_HOME=%1\n").arg(awkward));
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

    const QString entry = readText(autostartEntry());
    ASSERT_FALSE(entry.isEmpty());
    EXPECT_EQ(entry.contains(OpensController), GetParam().opens) << entry.toStdString();
    EXPECT_EQ(entry.contains(fake.bundle), GetParam().opens) << entry.toStdString();
    // The variable is set at every login either way.
    EXPECT_TRUE(entry.contains(QStringLiteral("TOLVANE_HOME=")));
}

INSTANTIATE_TEST_SUITE_P(Stores, OpenAtLoginTest,
                         ::testing::Values(OpenAtLogin{"True", true, true},
                                           OpenAtLogin{"False", false, false},
                                           OpenAtLogin{"Absent", QVariant(), false}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace tolvane::testing
