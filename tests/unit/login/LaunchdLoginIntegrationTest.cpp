// The launchd adapter: its command texts, the shell's reading of them, the property list as an
// independent parser reads it back, and atomic writing.
#include "LoginTestTools.h"
#include "prefs/LoginIntegration.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using testing::FakeTools;
using testing::utf8;

const QString AgentFileName = QStringLiteral("org.veltran.tolvane.user.plist");

// The data locations of the shell checks: the awkward ones, and line breaks and a tab, which a property
// list and the shell both carry.
QStringList launchdDataLocations()
{
    return testing::awkwardDataLocations()
           << QStringLiteral("/tmp/line\nfeed") << QStringLiteral("/tmp/carriage\rreturn")
           << QStringLiteral("/tmp/tab\there");
}

TEST(LaunchdLoginIntegration, AgentFolderAndFileAreUnderTheUsersLaunchAgents)
{
    const auto integration = makeLaunchdLoginIntegration(QStringLiteral("/Users/a"));
    EXPECT_EQ(integration->agentFolders(), QStringList{QStringLiteral("/Users/a/Library/LaunchAgents/")});
    EXPECT_EQ(integration->agentFilePath(), QStringLiteral("/Users/a/Library/LaunchAgents/") + AgentFileName);
}

struct CommandCase {
    const char* dataLocation;
    bool openAtLogin;
    const char* bundlePath;
    const char* setCommand;
    const char* agentCommand;
};

void PrintTo(const CommandCase& c, std::ostream* os)
{
    *os << "{" << ::testing::PrintToString(std::string(c.dataLocation)) << ", open=" << c.openAtLogin << ", "
        << ::testing::PrintToString(std::string(c.bundlePath)) << "}";
}

class LaunchdCommandText : public ::testing::TestWithParam<CommandCase> {};

TEST_P(LaunchdCommandText, IsTheExactText)
{
    const CommandCase& c = GetParam();
    const auto integration = makeLaunchdLoginIntegration(QStringLiteral("/Users/a"));
    EXPECT_EQ(integration->setCommand(QString::fromUtf8(c.dataLocation)), QString::fromUtf8(c.setCommand));
    LoginAgent agent;
    agent.dataLocation = QString::fromUtf8(c.dataLocation);
    agent.openAtLogin = c.openAtLogin;
    agent.bundlePath = QString::fromUtf8(c.bundlePath);
    agent.version = QStringLiteral("0.17");
    EXPECT_EQ(integration->agentCommand(agent), QString::fromUtf8(c.agentCommand));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LaunchdCommandText,
    ::testing::Values(
        CommandCase{"/Users/a/tolvane data", false, "/Applications/Tolvane.app",
                    R"(launchctl setenv TOLVANE_HOME "/Users/a/tolvane data")",
                    R"(launchctl setenv TOLVANE_HOME "/Users/a/tolvane data")"},
        CommandCase{
            "/Users/a/tolvane data", true, "/Applications/Tolvane.app",
            R"(launchctl setenv TOLVANE_HOME "/Users/a/tolvane data")",
            R"(launchctl setenv TOLVANE_HOME "/Users/a/tolvane data" ; open /Applications/Tolvane.app)"},
        CommandCase{
            "/Volumes/Data-2/tolvane_data.v1", true, "/Applications/Tolvane Controller.app",
            R"(launchctl setenv TOLVANE_HOME "/Volumes/Data-2/tolvane_data.v1")",
            R"(launchctl setenv TOLVANE_HOME "/Volumes/Data-2/tolvane_data.v1" ; open '/Applications/Tolvane Controller.app')"},
        // Escaping: a backslash before each character that double quotes leave special.
        CommandCase{R"(/tmp/a"b$c`d\e'f)", false, "",
                    R"(launchctl setenv TOLVANE_HOME "/tmp/a\"b\$c\`d\\e'f")",
                    R"(launchctl setenv TOLVANE_HOME "/tmp/a\"b\$c\`d\\e'f")"}));

class LaunchdSetCommand : public ::testing::TestWithParam<QString> {};

TEST_P(LaunchdSetCommand, GivesLaunchctlThePathUnchangedAndRunsNothingElse)
{
    FakeTools tools;
    ASSERT_TRUE(tools.isValid());
    tools.addTool(QStringLiteral("launchctl"));
    const auto integration = makeLaunchdLoginIntegration(QStringLiteral("/Users/a"));

    ASSERT_EQ(tools.runShell(integration->setCommand(GetParam())), 0);

    const std::optional<testing::Invocation> launchctl = tools.invocation(QStringLiteral("launchctl"));
    ASSERT_TRUE(launchctl.has_value());
    EXPECT_EQ(launchctl->arguments,
              utf8({QStringLiteral("setenv"), QStringLiteral("TOLVANE_HOME"), GetParam()}));
    EXPECT_EQ(tools.ran(), QStringList{QStringLiteral("launchctl")});
    EXPECT_FALSE(QFileInfo::exists(tools.injectionMarker()));
}

INSTANTIATE_TEST_SUITE_P(AwkwardPaths, LaunchdSetCommand, ::testing::ValuesIn(launchdDataLocations()));

// The agent file as Python's plistlib reads it, as JSON.
std::optional<QJsonObject> parsedPropertyList(const QString& path, QString* problem)
{
    QByteArray output;
    QByteArray errors;
    const int status = testing::runProgram(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import plistlib,sys,json; print(json.dumps(plistlib.load(open(sys.argv[1],'rb'))))"),
         path},
        &output, &errors);
    if (status != 0) {
        *problem = QString::fromUtf8(errors);
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(output);
    if (!document.isObject()) {
        *problem = QStringLiteral("not a dictionary: ") + QString::fromUtf8(output);
        return std::nullopt;
    }
    return document.object();
}

struct AgentCase {
    QString dataLocation;
    bool openAtLogin;
    QString bundlePath;
    QString version;
};

void PrintTo(const AgentCase& c, std::ostream* os)
{
    *os << "{" << ::testing::PrintToString(c.dataLocation.toStdString()) << ", open=" << c.openAtLogin << ", "
        << ::testing::PrintToString(c.bundlePath.toStdString()) << ", "
        << ::testing::PrintToString(c.version.toStdString()) << "}";
}

std::vector<AgentCase> agentCases()
{
    const QStringList bundles = {
        QStringLiteral("/Applications/Tolvane.app"),
        QStringLiteral("/Applications/Tolvane Controller.app"),
        QStringLiteral("/Users/a/it's \"$(touch injected)\" `touch injected`/Tolvane.app"),
        QStringLiteral("/Applications/Tölväne & <Co>.app"),
    };
    std::vector<AgentCase> cases;
    const QStringList locations = launchdDataLocations();
    for (qsizetype i = 0; i < locations.size(); ++i) {
        cases.push_back({locations[i], false, bundles[i % bundles.size()], QStringLiteral("0.17")});
        cases.push_back({locations[i], true, bundles[i % bundles.size()], QStringLiteral("0.17")});
    }
    cases.push_back(
        {QStringLiteral("/Users/a/tolvane data"), true, bundles[0], QStringLiteral("0.17 <beta> & \"x\"")});
    return cases;
}

class LaunchdAgentFile : public ::testing::TestWithParam<AgentCase> {};

TEST_P(LaunchdAgentFile, ReadsBackToTheFourKeysAndItsCommandRunsTheToolsWithThePathsUnchanged)
{
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
        GTEST_SKIP() << "python3 is not installed: no independent property list parser to read the file back";
    const AgentCase& c = GetParam();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const auto integration = makeLaunchdLoginIntegration(home.path());
    LoginAgent agent{c.dataLocation, c.openAtLogin, c.bundlePath, c.version};

    ASSERT_TRUE(integration->writeAgent(agent));

    QString problem;
    const std::optional<QJsonObject> plist = parsedPropertyList(integration->agentFilePath(), &problem);
    ASSERT_TRUE(plist.has_value()) << problem.toStdString();
    EXPECT_EQ(plist->keys(), (QStringList{QStringLiteral("Label"), QStringLiteral("ProgramArguments"),
                                          QStringLiteral("RunAtLoad"), QStringLiteral("version")}));
    EXPECT_EQ(plist->value(QStringLiteral("Label")),
              QJsonValue(QStringLiteral("org.veltran.tolvane.user.plist")));
    EXPECT_EQ(plist->value(QStringLiteral("RunAtLoad")), QJsonValue(true));
    EXPECT_EQ(plist->value(QStringLiteral("version")), QJsonValue(c.version));
    const QJsonArray arguments = plist->value(QStringLiteral("ProgramArguments")).toArray();
    ASSERT_EQ(arguments.size(), 3);
    EXPECT_EQ(arguments[0], QJsonValue(QStringLiteral("sh")));
    EXPECT_EQ(arguments[1], QJsonValue(QStringLiteral("-c")));
    ASSERT_TRUE(arguments[2].isString());
    EXPECT_EQ(arguments[2].toString(), integration->agentCommand(agent));

    FakeTools tools;
    ASSERT_TRUE(tools.isValid());
    tools.addTool(QStringLiteral("launchctl"));
    tools.addTool(QStringLiteral("open"));
    ASSERT_EQ(tools.runShell(arguments[2].toString()), 0);

    const std::optional<testing::Invocation> launchctl = tools.invocation(QStringLiteral("launchctl"));
    ASSERT_TRUE(launchctl.has_value());
    EXPECT_EQ(launchctl->arguments,
              utf8({QStringLiteral("setenv"), QStringLiteral("TOLVANE_HOME"), c.dataLocation}));
    if (c.openAtLogin) {
        const std::optional<testing::Invocation> open = tools.invocation(QStringLiteral("open"));
        ASSERT_TRUE(open.has_value());
        EXPECT_EQ(open->arguments, utf8({c.bundlePath}));
        EXPECT_EQ(tools.ran(), (QStringList{QStringLiteral("launchctl"), QStringLiteral("open")}));
    } else {
        EXPECT_EQ(tools.ran(), QStringList{QStringLiteral("launchctl")});
    }
    EXPECT_FALSE(QFileInfo::exists(tools.injectionMarker()));
    // The write leaves the agent file alone in its folder: no temporary file behind.
    EXPECT_EQ(testing::folderEntries(integration->agentFolders().first()), QStringList{AgentFileName});
}

INSTANTIATE_TEST_SUITE_P(AwkwardPaths, LaunchdAgentFile, ::testing::ValuesIn(agentCases()));

// A fixture with an agent file already in place, for the writes that must fail and leave it alone.
class LaunchdAgentRewrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        integration = makeLaunchdLoginIntegration(m_home.path());
        ASSERT_TRUE(integration->writeAgent(oldAgent));
        oldFile = testing::readFile(integration->agentFilePath());
        ASSERT_FALSE(oldFile.isEmpty());
    }

    void expectOldFileIntact()
    {
        EXPECT_EQ(testing::readFile(integration->agentFilePath()), oldFile);
        EXPECT_EQ(testing::folderEntries(integration->agentFolders().first()), QStringList{AgentFileName});
    }

    QTemporaryDir m_home;
    std::unique_ptr<LoginIntegration> integration;
    const LoginAgent oldAgent{QStringLiteral("/Users/a/old data"), true,
                              QStringLiteral("/Applications/Tolvane.app"), QStringLiteral("0.16")};
    const LoginAgent newAgent{QStringLiteral("/Users/a/new data"), false,
                              QStringLiteral("/Applications/Tolvane.app"), QStringLiteral("0.17")};
    QByteArray oldFile;
};

TEST_F(LaunchdAgentRewrite, ReplacesTheOldFile)
{
    ASSERT_TRUE(integration->writeAgent(newAgent));
    const QByteArray written = testing::readFile(integration->agentFilePath());
    EXPECT_TRUE(written.contains("/Users/a/new data"));
    EXPECT_FALSE(written.contains("/Users/a/old data"));
}

TEST_F(LaunchdAgentRewrite, AnUnwritableFolderLeavesTheOldFileIntact)
{
    testing::LockedFolder locked(integration->agentFolders().first());
    if (!locked.isLocked())
        GTEST_SKIP()
            << "cannot make the agents folder unwritable here: chattr +i failed and the user is root";
    EXPECT_FALSE(integration->writeAgent(newAgent));
    expectOldFileIntact();
}

TEST(LaunchdAgentWrite, AnAgentPathThatIsAFolderFailsAndLeavesNoPartialFile)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const auto integration = makeLaunchdLoginIntegration(home.path());
    ASSERT_TRUE(QDir().mkpath(integration->agentFilePath()));

    EXPECT_FALSE(
        integration->writeAgent({QStringLiteral("/Users/a/data"), false,
                                 QStringLiteral("/Applications/Tolvane.app"), QStringLiteral("0.17")}));

    EXPECT_TRUE(QFileInfo(integration->agentFilePath()).isDir());
    EXPECT_EQ(testing::folderEntries(integration->agentFolders().first()), QStringList{AgentFileName});
}

// Texts that XML 1.0 cannot hold: the write is refused rather than producing a file no parser reads.
struct UnwritableCase {
    const char* name;
    QString dataLocation;
    QString bundlePath;
    QString version;
};

void PrintTo(const UnwritableCase& row, std::ostream* os)
{
    *os << row.name;
}

class LaunchdUnwritableText : public LaunchdAgentRewrite,
                              public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(LaunchdUnwritableText, IsRefusedAndLeavesTheOldFileIntact)
{
    const UnwritableCase& c = GetParam();
    EXPECT_FALSE(integration->writeAgent({c.dataLocation, true, c.bundlePath, c.version}));
    expectOldFileIntact();
}

INSTANTIATE_TEST_SUITE_P(
    ControlCharacters, LaunchdUnwritableText,
    ::testing::Values(UnwritableCase{"StartOfHeading",
                                     QStringLiteral("/tmp/a\x01"
                                                    "b"),
                                     QStringLiteral("/Applications/T.app"), QStringLiteral("0.17")},
                      UnwritableCase{"Escape", QStringLiteral("/tmp/\x1b[31mred"),
                                     QStringLiteral("/Applications/T.app"), QStringLiteral("0.17")},
                      UnwritableCase{"InBundlePath", QStringLiteral("/tmp/a"),
                                     QStringLiteral("/Applications/T\x7f\x08.app\x1f"),
                                     QStringLiteral("0.17")},
                      UnwritableCase{"InVersion", QStringLiteral("/tmp/a"),
                                     QStringLiteral("/Applications/T.app"), QStringLiteral("0.17\x07")},
                      UnwritableCase{"UnpairedSurrogate", QStringLiteral("/tmp/a") + QChar(0xD800),
                                     QStringLiteral("/Applications/T.app"), QStringLiteral("0.17")},
                      UnwritableCase{"NonCharacter", QStringLiteral("/tmp/a") + QChar(0xFFFE),
                                     QStringLiteral("/Applications/T.app"), QStringLiteral("0.17")}),
    [](const ::testing::TestParamInfo<UnwritableCase>& param) { return std::string(param.param.name); });

TEST(LaunchdDescription, PrintsTheDictionaryTheFileHolds)
{
    const auto integration = makeLaunchdLoginIntegration(QStringLiteral("/Users/a"));
    const LoginAgent agent{QStringLiteral("/Users/a/tolvane data"), true,
                           QStringLiteral("/Applications/Tolvane.app"), QStringLiteral("0.17")};
    EXPECT_EQ(integration->describe(agent).toStdString(),
              "{\n"
              "    Label = \"org.veltran.tolvane.user.plist\";\n"
              "    ProgramArguments = (\n"
              "        sh,\n"
              "        \"-c\",\n"
              "        \"launchctl setenv TOLVANE_HOME \\\"/Users/a/tolvane data\\\" ; open "
              "/Applications/Tolvane.app\"\n"
              "    );\n"
              "    RunAtLoad = 1;\n"
              "    version = \"0.17\";\n"
              "}");
}

} // namespace
} // namespace tolvane
