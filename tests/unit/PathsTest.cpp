// Where the server executable and the data location are, from real folders and a fake environment.
#include "server/Paths.h"

#include "ControllerTest.h"
#include "prefs/Preferences.h"

#include <QFile>
#include <gmock/gmock.h>

namespace tolvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using PathsTest = ControllerTest;

TEST_F(PathsTest, ExistenceFollowsLinksAndNeverHoldsForAnAbsentPath)
{
    const QString file = fake.folder.filePath(QStringLiteral("file"));
    makeFile(file);
    const QString dangling = fake.folder.filePath(QStringLiteral("dangling"));
    ASSERT_TRUE(QFile::link(fake.folder.filePath(QStringLiteral("nowhere")), dangling));
    const QString toFile = fake.folder.filePath(QStringLiteral("to-file"));
    ASSERT_TRUE(QFile::link(file, toFile));

    EXPECT_TRUE(pathExists(file));
    EXPECT_TRUE(pathExists(fake.folder.path()));
    EXPECT_TRUE(pathExists(toFile));
    EXPECT_FALSE(pathExists(dangling));
    EXPECT_FALSE(pathExists(std::nullopt));
    EXPECT_FALSE(pathExists(QString()));
    EXPECT_FALSE(pathExists(QStringLiteral("")));
}

TEST_F(PathsTest, ExecutableOverrideCountsOnlyWhenItExists)
{
    EXPECT_EQ(getTolvaneExecutable(), DefaultTolvaneExecutable);

    fake.env.insert(QStringLiteral("TOLVANE_PEX"), fake.folder.filePath(QStringLiteral("missing.pex")));
    EXPECT_EQ(getTolvaneExecutable(), DefaultTolvaneExecutable);
    EXPECT_FALSE(checkTolvaneExecutable());

    // A folder counts too: existence does not tell files from folders.
    fake.env.insert(QStringLiteral("TOLVANE_PEX"), fake.folder.path() + QStringLiteral("//"));
    EXPECT_EQ(getTolvaneExecutable(), fake.folder.path() + QStringLiteral("//"));
    EXPECT_TRUE(checkTolvaneExecutable());
    EXPECT_TRUE(tolvaneExists());

    // The variable's name is exact.
    fake.env.remove(QStringLiteral("TOLVANE_PEX"));
    fake.env.insert(QStringLiteral("tolvane_pex"), fake.folder.path());
    EXPECT_EQ(getTolvaneExecutable(), DefaultTolvaneExecutable);
}

// The lines the failing setup check writes to the system log, which the launch alert sends the user
// to, each compared whole: a swapped argument or a wrong path still contains the words a search finds.
struct SetupLogRow {
    const char* name;
    std::optional<const char*> pex; // TOLVANE_PEX, relative to the test folder; nullopt for unset
    bool mentionsTheVariable;       // the line names the path the variable gave, as well as the default
};

void PrintTo(const SetupLogRow& row, std::ostream* os)
{
    *os << row.name;
}

class SetupLogTest : public ControllerTest, public ::testing::WithParamInterface<SetupLogRow> {};

TEST_P(SetupLogTest, TheFailingCheckNamesWhereItLookedAndTheVariableThatChangesIt)
{
    const SetupLogRow& row = GetParam();
    QString pex;
    if (row.pex) {
        pex = **row.pex ? fake.folder.filePath(QString::fromUtf8(*row.pex)) : QString();
        fake.env.insert(QStringLiteral("TOLVANE_PEX"), pex);
    }
    const QString missing = QStringLiteral("\n* The Tolvane executable cannot be found.");
    const QString lookedFor =
        row.mentionsTheVariable
            ? QStringLiteral("The Tolvane executable was looked for at '%1', which TOLVANE_PEX names, and at "
                             "'%2'.")
                  .arg(pex, DefaultTolvaneExecutable)
            : QStringLiteral(
                  "The Tolvane executable was looked for at '%1'; set TOLVANE_PEX to use another one.")
                  .arg(DefaultTolvaneExecutable);

    // The flag changes nothing, the lines included.
    for (const bool flag : {true, false}) {
        SCOPED_TRACE(flag ? "checkSetup(true)" : "checkSetup(false)");
        fake.logRecords.clear();
        EXPECT_FALSE(controller->checkSetup(flag));
        EXPECT_THAT(fake.logRecords, ElementsAre(missing, lookedFor));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SetupLogTest,
    ::testing::Values(SetupLogRow{"VariableUnset", std::nullopt, false},
                      SetupLogRow{"VariableEmpty", "", false},
                      SetupLogRow{"VariableNamesNothing", "missing.pex", true},
                      // A path with what looks like a placeholder in it is written as it is.
                      SetupLogRow{"VariableWithAPercentSign", "100%2 sure/%1.pex", true}),
    [](const ::testing::TestParamInfo<SetupLogRow>& row) { return std::string(row.param.name); });

TEST_F(PathsTest, SetupIsCompleteExactlyWhenTheExecutableExistsWhateverTheFlag)
{
    EXPECT_FALSE(controller->checkSetup(true));
    EXPECT_FALSE(controller->checkSetup(false));

    installExecutable();
    fake.logRecords.clear();
    EXPECT_TRUE(controller->checkSetup(true));
    EXPECT_TRUE(controller->checkSetup(false));
    EXPECT_THAT(fake.logRecords, IsEmpty()) << "a complete setup writes nothing";
}

struct DataPathRow {
    const char* name;
    const char* preference;  // relative to the test folder; "" for none; a leading "~" is kept as is
    const char* environment; // TOLVANE_HOME, relative; "" for unset
    bool homeCandidate;      // ~/.tolvane exists
    bool homeCandidateIsFile;
    const char* expected; // relative; "" for absent
};

void PrintTo(const DataPathRow& row, std::ostream* os)
{
    *os << row.name;
}

class DataPathTest : public ControllerTest, public ::testing::WithParamInterface<DataPathRow> {};

TEST_P(DataPathTest, TakesTheFirstCandidateThatExists)
{
    const DataPathRow& row = GetParam();
    const QString root = fake.folder.path();
    makeFolder(root + QStringLiteral("/chosen"));
    makeFolder(root + QStringLiteral("/environment"));
    if (row.homeCandidate) {
        if (row.homeCandidateIsFile)
            makeFile(fake.home + QStringLiteral("/.tolvane"));
        else
            makeFolder(fake.home + QStringLiteral("/.tolvane"));
    }
    auto absolute = [&](const char* relative) {
        const QString text = QString::fromUtf8(relative);
        return text.startsWith(QLatin1Char('~')) ? text : root + text;
    };
    if (*row.preference)
        fake.userDefaults().setValue(CustomTolvaneDataKey, absolute(row.preference));
    if (*row.environment)
        fake.env.insert(QStringLiteral("TOLVANE_HOME"), absolute(row.environment));

    const std::optional<QString> found = getTolvaneDataPath();
    if (!*row.expected) {
        EXPECT_FALSE(found.has_value()) << found.value_or(QString()).toStdString();
        return;
    }
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, absolute(row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, DataPathTest,
    ::testing::Values(
        DataPathRow{"PreferenceWinsOverEnvironment", "/chosen", "/environment", true, false, "/chosen"},
        DataPathRow{"DeletedPreferenceFallsBackToEnvironment", "/deleted", "/environment", true, false,
                    "/environment"},
        DataPathRow{"ThenToTheHomeFolderCandidate", "/deleted", "/missing", true, false, "/home/.tolvane"},
        DataPathRow{"NoneExists", "/deleted", "/missing", false, false, ""},
        DataPathRow{"NothingConfigured", "", "", false, false, ""},
        DataPathRow{"PreferenceIsStandardized", "//chosen/./", "", false, false, "/chosen"},
        DataPathRow{"EnvironmentIsReturnedUnchanged", "", "//environment/", false, false, "//environment/"},
        DataPathRow{"TildePreferenceDoesNotCount", "~/.tolvane", "", false, false, ""},
        DataPathRow{"TildePreferenceFallsThroughToHome", "~/.tolvane", "", true, false, "/home/.tolvane"},
        DataPathRow{"AFileAtTheHomeCandidateCounts", "", "", true, true, "/home/.tolvane"}),
    [](const ::testing::TestParamInfo<DataPathRow>& row) { return std::string(row.param.name); });

TEST_F(PathsTest, StandardizingExpandsATildeAndResolvesComponents)
{
    EXPECT_EQ(standardizePath(QStringLiteral("~/a//b/./c/../d/")), fake.home + QStringLiteral("/a/b/d"));
    EXPECT_EQ(standardizePath(QStringLiteral("~")), fake.home);
    EXPECT_EQ(standardizePath(QStringLiteral("~other/x")), QStringLiteral("~other/x"));
}

TEST_F(PathsTest, AnswersFollowChangesOnDiskAtOnce)
{
    const QString chosen = fake.folder.filePath(QStringLiteral("chosen"));
    fake.userDefaults().setValue(CustomTolvaneDataKey, chosen);
    EXPECT_FALSE(getTolvaneDataPath().has_value());
    makeFolder(chosen);
    EXPECT_EQ(getTolvaneDataPath(), chosen);
    ASSERT_TRUE(QDir(chosen).removeRecursively());
    EXPECT_FALSE(getTolvaneDataPath().has_value());
}

} // namespace
} // namespace tolvane::testing
