// The freedesktop adapter: its command texts, the shell's reading of them, the autostart entry as the
// validator and GLib read it, the environment.d line as systemd's generator reads it, and atomic writing.
#include "EnvironmentGenerator.h"
#include "LoginTestTools.h"
#include "prefs/LoginIntegration.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tolvane {
namespace {

using testing::FakeTools;
using testing::utf8;

const QString SetTool = QStringLiteral("dbus-update-activation-environment");

QString environmentFile(const QString& configHome)
{
    return configHome + QStringLiteral("/environment.d/org.veltran.tolvane.user.conf");
}

QString autostartFile(const QString& configHome)
{
    return configHome + QStringLiteral("/autostart/org.veltran.tolvane.user.desktop");
}

// The awkward paths, and a tab, the one control character both files carry.
QStringList freedesktopDataLocations()
{
    return testing::awkwardDataLocations() << QStringLiteral("/tmp/tab\there");
}

TEST(FreedesktopLoginIntegration, EntriesAreUnderTheConfigurationFolder)
{
    const auto integration = makeFreedesktopLoginIntegration(QStringLiteral("/home/a/.config"));
    EXPECT_EQ(integration->agentFolders(), (QStringList{QStringLiteral("/home/a/.config/autostart/"),
                                                        QStringLiteral("/home/a/.config/environment.d/")}));
    EXPECT_EQ(integration->agentFilePath(), autostartFile(QStringLiteral("/home/a/.config")));
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

class FreedesktopCommandText : public ::testing::TestWithParam<CommandCase> {};

TEST_P(FreedesktopCommandText, IsTheExactText)
{
    const CommandCase& c = GetParam();
    const auto integration = makeFreedesktopLoginIntegration(QStringLiteral("/home/a/.config"));
    EXPECT_EQ(integration->setCommand(QString::fromUtf8(c.dataLocation)), QString::fromUtf8(c.setCommand));
    const LoginAgent agent{QString::fromUtf8(c.dataLocation), c.openAtLogin, QString::fromUtf8(c.bundlePath),
                           QStringLiteral("0.17")};
    EXPECT_EQ(integration->agentCommand(agent), QString::fromUtf8(c.agentCommand));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FreedesktopCommandText,
    ::testing::Values(
        CommandCase{"/home/a/tolvane data", false, "/usr/bin/tolvane-controller",
                    R"(dbus-update-activation-environment --systemd TOLVANE_HOME="/home/a/tolvane data")",
                    R"(dbus-update-activation-environment --systemd TOLVANE_HOME="/home/a/tolvane data")"},
        CommandCase{
            "/home/a/tolvane data", true, "/usr/bin/tolvane-controller",
            R"(dbus-update-activation-environment --systemd TOLVANE_HOME="/home/a/tolvane data")",
            R"(dbus-update-activation-environment --systemd TOLVANE_HOME="/home/a/tolvane data" ; /usr/bin/tolvane-controller)"},
        CommandCase{
            "/srv/tolvane_data-2.v1", true, "/opt/Tolvane Controller/tolvane-controller",
            R"(dbus-update-activation-environment --systemd TOLVANE_HOME="/srv/tolvane_data-2.v1")",
            R"(dbus-update-activation-environment --systemd TOLVANE_HOME="/srv/tolvane_data-2.v1" ; '/opt/Tolvane Controller/tolvane-controller')"},
        CommandCase{R"(/tmp/a"b$c`d\e'f)", false, "",
                    R"(dbus-update-activation-environment --systemd TOLVANE_HOME="/tmp/a\"b\$c\`d\\e'f")",
                    R"(dbus-update-activation-environment --systemd TOLVANE_HOME="/tmp/a\"b\$c\`d\\e'f")"}));

class FreedesktopSetCommand : public ::testing::TestWithParam<QString> {};

TEST_P(FreedesktopSetCommand, GivesTheToolThePathUnchangedAndRunsNothingElse)
{
    FakeTools tools;
    ASSERT_TRUE(tools.isValid());
    tools.addTool(SetTool);
    const auto integration = makeFreedesktopLoginIntegration(QStringLiteral("/home/a/.config"));

    ASSERT_EQ(tools.runShell(integration->setCommand(GetParam())), 0);

    const std::optional<testing::Invocation> set = tools.invocation(SetTool);
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ(set->arguments,
              utf8({QStringLiteral("--systemd"), QStringLiteral("TOLVANE_HOME=") + GetParam()}));
    EXPECT_EQ(tools.ran(), QStringList{SetTool});
    EXPECT_FALSE(QFileInfo::exists(tools.injectionMarker()));
}

INSTANTIATE_TEST_SUITE_P(AwkwardPaths, FreedesktopSetCommand,
                         ::testing::ValuesIn(freedesktopDataLocations()));

TEST(FreedesktopEntries, AreTheExactTexts)
{
    QTemporaryDir configHome;
    ASSERT_TRUE(configHome.isValid());
    const auto integration = makeFreedesktopLoginIntegration(configHome.path());
    ASSERT_TRUE(
        integration->writeAgent({QStringLiteral("/home/a/tolvane data"), true,
                                 QStringLiteral("/usr/bin/tolvane-controller"), QStringLiteral("0.17")}));

    EXPECT_EQ(testing::readFile(environmentFile(configHome.path())).toStdString(),
              "# Written by the Tolvane controller 0.17\n"
              "TOLVANE_HOME=\"/home/a/tolvane data\"\n");
    EXPECT_EQ(
        testing::readFile(autostartFile(configHome.path())).toStdString(),
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Tolvane\n"
        "Comment=Sets the Tolvane data folder for the session and opens the Tolvane controller\n"
        R"(Exec=sh -c "dbus-update-activation-environment --systemd TOLVANE_HOME=\\"/home/a/tolvane data\\" ; /usr/bin/tolvane-controller")"
        "\n"
        "Icon=tolvane\n"
        "NoDisplay=true\n"
        "X-GNOME-Autostart-enabled=true\n"
        "X-Tolvane-Version=0.17\n");
}

// The escaping of the environment.d value, for machines without systemd's generator to read it back.
struct EnvironmentLineCase {
    const char* dataLocation;
    const char* line;
};

void PrintTo(const EnvironmentLineCase& c, std::ostream* os)
{
    *os << ::testing::PrintToString(std::string(c.dataLocation));
}

class FreedesktopEnvironmentLine : public ::testing::TestWithParam<EnvironmentLineCase> {};

TEST_P(FreedesktopEnvironmentLine, EscapesForTheEnvironmentDReader)
{
    QTemporaryDir configHome;
    ASSERT_TRUE(configHome.isValid());
    const auto integration = makeFreedesktopLoginIntegration(configHome.path());
    ASSERT_TRUE(integration->writeAgent(
        {QString::fromUtf8(GetParam().dataLocation), false, QString(), QStringLiteral("0.17")}));
    const QList<QByteArray> lines = testing::readFile(environmentFile(configHome.path())).split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[1], QByteArray(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(
    Escapes, FreedesktopEnvironmentLine,
    ::testing::Values(
        EnvironmentLineCase{"/home/a/data", R"(TOLVANE_HOME="/home/a/data")"},
        // "$" is doubled for the expansion the reader does after unquoting, then escaped for the quotes.
        EnvironmentLineCase{"/tmp/$HOME", R"(TOLVANE_HOME="/tmp/\$\$HOME")"},
        EnvironmentLineCase{R"(/tmp/a"b`c\d'e)", R"(TOLVANE_HOME="/tmp/a\"b\`c\\d'e")"},
        EnvironmentLineCase{"  blank  ", R"(TOLVANE_HOME="  blank  ")"}));

class FreedesktopEnvironmentEntry : public ::testing::TestWithParam<QString> {};

TEST_P(FreedesktopEnvironmentEntry, ReadsBackThroughSystemdsGeneratorUnchanged)
{
    if (!testing::environmentGeneratorInstalled())
        GTEST_SKIP() << "systemd's environment.d generator is not installed; the escaping is checked by "
                        "FreedesktopEnvironmentLine";
    QTemporaryDir configHome;
    ASSERT_TRUE(configHome.isValid());
    const auto integration = makeFreedesktopLoginIntegration(configHome.path());
    ASSERT_TRUE(integration->writeAgent({GetParam(), false, QString(), QStringLiteral("0.17")}));

    QByteArray output;
    QByteArray errors;
    ASSERT_EQ(testing::runEnvironmentGenerator(configHome.path(), QStringLiteral("/home/expanded"), &output,
                                               &errors),
              0)
        << errors.toStdString();

    const QList<QByteArray> found = testing::printedValues(output, "TOLVANE_HOME");
    ASSERT_EQ(found.size(), 1) << output.toStdString() << errors.toStdString();
    const std::optional<QByteArray> value = testing::generatorValue(found.first());
    ASSERT_TRUE(value.has_value()) << found.first().toStdString();
    EXPECT_EQ(*value, GetParam().toUtf8());
}

INSTANTIATE_TEST_SUITE_P(AwkwardPaths, FreedesktopEnvironmentEntry,
                         ::testing::ValuesIn(freedesktopDataLocations()));

// Where the fake controller lives, below the fakes' folder: blanks, quotes, a command substitution and
// a "%" that a field-code expansion would eat.
const QStringList ControllerLocations = {
    QStringLiteral("/bin/tolvane-controller"),
    QStringLiteral("/apps/Tolvane Controller/tolvane-controller"),
    QStringLiteral("/apps/it's \"$(touch injected)\" `touch injected` \\ %u %%/tolvane controller"),
    QStringLiteral("/apps/Tölväne/tolvane-controller"),
};

struct AutostartCase {
    QString dataLocation;
    bool openAtLogin;
    QString controllerLocation; // below FakeTools::root()
};

void PrintTo(const AutostartCase& c, std::ostream* os)
{
    *os << "{" << ::testing::PrintToString(c.dataLocation.toStdString()) << ", open=" << c.openAtLogin << ", "
        << ::testing::PrintToString(c.controllerLocation.toStdString()) << "}";
}

std::vector<AutostartCase> autostartCases()
{
    std::vector<AutostartCase> cases;
    const QStringList locations = freedesktopDataLocations() << QStringLiteral("/tmp/100% %u %f");
    for (qsizetype i = 0; i < locations.size(); ++i) {
        const QString& controller = ControllerLocations[i % ControllerLocations.size()];
        cases.push_back({locations[i], false, controller});
        cases.push_back({locations[i], true, controller});
    }
    return cases;
}

class FreedesktopAutostartEntry : public ::testing::TestWithParam<AutostartCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(configHome.isValid());
        ASSERT_TRUE(tools.isValid());
        tools.addTool(SetTool);
        controllerPath = tools.root() + GetParam().controllerLocation;
        tools.addToolAt(controllerPath);
        integration = makeFreedesktopLoginIntegration(configHome.path());
        agent = {GetParam().dataLocation, GetParam().openAtLogin, controllerPath, QStringLiteral("0.17")};
        ASSERT_TRUE(integration->writeAgent(agent));
    }

    QTemporaryDir configHome;
    FakeTools tools;
    QString controllerPath;
    std::unique_ptr<LoginIntegration> integration;
    LoginAgent agent;
};

TEST_P(FreedesktopAutostartEntry, PassesTheValidator)
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed (Debian package desktop-file-utils)";
    QByteArray output;
    QByteArray errors;
    EXPECT_EQ(testing::runProgram(validator, {integration->agentFilePath()}, &output, &errors), 0)
        << output.toStdString() << errors.toStdString();
    EXPECT_EQ(output + errors, QByteArray()) << "the validator has remarks";
}

TEST_P(FreedesktopAutostartEntry, LaunchedByGLibRunsTheToolsWithThePathsUnchanged)
{
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        GTEST_SKIP() << "gio is not installed (Debian package libglib2.0-bin): no desktop entry launcher";
    QByteArray errors;
    ASSERT_EQ(testing::runProgram(gio, {QStringLiteral("launch"), integration->agentFilePath()}, nullptr,
                                  &errors,
                                  {.environment = tools.environment(), .workingDirectory = tools.root()}),
              0)
        << errors.toStdString();

    // GLib starts the command and returns: the last tool of the command is awaited.
    const QString controllerLog = QFileInfo(controllerPath).fileName();
    ASSERT_TRUE(tools.waitForInvocation(GetParam().openAtLogin ? controllerLog : SetTool));
    const std::optional<testing::Invocation> set = tools.invocation(SetTool);
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ(set->arguments,
              utf8({QStringLiteral("--systemd"), QStringLiteral("TOLVANE_HOME=") + GetParam().dataLocation}));
    if (GetParam().openAtLogin) {
        const std::optional<testing::Invocation> controller = tools.invocation(controllerLog);
        ASSERT_TRUE(controller.has_value());
        EXPECT_EQ(controller->invokedAs, controllerPath.toUtf8());
        EXPECT_TRUE(controller->arguments.isEmpty());
        EXPECT_EQ(tools.ran(), (QStringList{SetTool, controllerLog}));
    } else {
        EXPECT_EQ(tools.ran(), QStringList{SetTool});
    }
    EXPECT_FALSE(QFileInfo::exists(tools.injectionMarker()));
}

TEST_P(FreedesktopAutostartEntry, IsDescribedWithTheEnvironmentEntry)
{
    const QString description = integration->describe(agent);
    EXPECT_TRUE(description.contains(QString::fromUtf8(testing::readFile(integration->agentFilePath()))));
    EXPECT_TRUE(
        description.contains(QString::fromUtf8(testing::readFile(environmentFile(configHome.path())))));
    EXPECT_TRUE(description.contains(integration->agentFilePath()));
    EXPECT_TRUE(description.contains(environmentFile(configHome.path())));
    // Both files, and nothing else, in each folder.
    EXPECT_EQ(testing::folderEntries(configHome.path() + QStringLiteral("/autostart")),
              QStringList{QStringLiteral("org.veltran.tolvane.user.desktop")});
    EXPECT_EQ(testing::folderEntries(configHome.path() + QStringLiteral("/environment.d")),
              QStringList{QStringLiteral("org.veltran.tolvane.user.conf")});
}

INSTANTIATE_TEST_SUITE_P(AwkwardPaths, FreedesktopAutostartEntry, ::testing::ValuesIn(autostartCases()));

// Old entries in place, for the writes that must fail and leave them alone.
class FreedesktopRewrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(configHome.isValid());
        integration = makeFreedesktopLoginIntegration(configHome.path());
        ASSERT_TRUE(
            integration->writeAgent({QStringLiteral("/home/a/old data"), true,
                                     QStringLiteral("/usr/bin/tolvane-controller"), QStringLiteral("0.16")}));
        oldEnvironment = testing::readFile(environmentFile(configHome.path()));
        oldAutostart = testing::readFile(autostartFile(configHome.path()));
        ASSERT_FALSE(oldEnvironment.isEmpty());
        ASSERT_FALSE(oldAutostart.isEmpty());
    }

    void expectOldAutostartIntact()
    {
        EXPECT_EQ(testing::readFile(autostartFile(configHome.path())), oldAutostart);
        EXPECT_EQ(testing::folderEntries(configHome.path() + QStringLiteral("/autostart")),
                  QStringList{QStringLiteral("org.veltran.tolvane.user.desktop")});
    }

    void expectOldEnvironmentIntact()
    {
        EXPECT_EQ(testing::readFile(environmentFile(configHome.path())), oldEnvironment);
        EXPECT_EQ(testing::folderEntries(configHome.path() + QStringLiteral("/environment.d")),
                  QStringList{QStringLiteral("org.veltran.tolvane.user.conf")});
    }

    QTemporaryDir configHome;
    std::unique_ptr<LoginIntegration> integration;
    QByteArray oldEnvironment;
    QByteArray oldAutostart;
};

TEST_F(FreedesktopRewrite, ReplacesBothEntries)
{
    ASSERT_TRUE(
        integration->writeAgent({QStringLiteral("/home/a/new data"), false,
                                 QStringLiteral("/usr/bin/tolvane-controller"), QStringLiteral("0.17")}));
    EXPECT_TRUE(testing::readFile(environmentFile(configHome.path())).contains("/home/a/new data"));
    const QByteArray autostart = testing::readFile(autostartFile(configHome.path()));
    EXPECT_TRUE(autostart.contains("/home/a/new data"));
    EXPECT_FALSE(autostart.contains("tolvane-controller"));
}

struct UnwritableCase {
    const char* name;
    QString dataLocation;
    bool openAtLogin;
    QString bundlePath;
};

void PrintTo(const UnwritableCase& row, std::ostream* os)
{
    *os << row.name;
}

class FreedesktopUnwritableText : public FreedesktopRewrite,
                                  public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(FreedesktopUnwritableText, IsRefusedAndTouchesNeitherEntry)
{
    const UnwritableCase& c = GetParam();
    EXPECT_FALSE(
        integration->writeAgent({c.dataLocation, c.openAtLogin, c.bundlePath, QStringLiteral("0.17")}));
    expectOldEnvironmentIntact();
    expectOldAutostartIntact();
}

INSTANTIATE_TEST_SUITE_P(
    LineBreaksAndControlCharacters, FreedesktopUnwritableText,
    ::testing::Values(UnwritableCase{"LineFeed", QStringLiteral("/home/a/line\nfeed"), false, QString()},
                      UnwritableCase{"CarriageReturn", QStringLiteral("/home/a/carriage\rreturn"), false,
                                     QString()},
                      UnwritableCase{"Escape", QStringLiteral("/home/a/\x1b[31mred"), false, QString()},
                      UnwritableCase{"LineFeedInController", QStringLiteral("/home/a/data"), true,
                                     QStringLiteral("/opt/a\nb")}),
    [](const ::testing::TestParamInfo<UnwritableCase>& param) { return std::string(param.param.name); });

TEST_F(FreedesktopRewrite, AnUnwritableAutostartFolderFailsAndLeavesBothOldEntriesIntact)
{
    testing::LockedFolder locked(configHome.path() + QStringLiteral("/autostart"));
    if (!locked.isLocked())
        GTEST_SKIP()
            << "cannot make the autostart folder unwritable here: chattr +i failed and the user is root";
    EXPECT_FALSE(
        integration->writeAgent({QStringLiteral("/home/a/new data"), false,
                                 QStringLiteral("/usr/bin/tolvane-controller"), QStringLiteral("0.17")}));
    // The environment.d entry comes first and could be written: it must not be, or the next login would
    // set TOLVANE_HOME from the old autostart entry while environment.d holds the new location.
    expectOldEnvironmentIntact();
    expectOldAutostartIntact();
}

ino_t inode(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// A file given the immutable attribute for the life of the object; root cannot replace or remove it.
class ImmutableFile {
public:
    explicit ImmutableFile(const QString& path) : m_path(path)
    {
        m_set = testing::runProgram(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
        QFile probe(path);
        m_locked = m_set && !probe.open(QIODevice::Append);
    }
    ~ImmutableFile()
    {
        if (m_set)
            testing::runProgram(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
    }
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;
    bool isLocked() const { return m_locked; }

private:
    QString m_path;
    bool m_set = false;
    bool m_locked = false;
};

TEST_F(FreedesktopRewrite, AnAutostartEntryThatCannotBeReplacedPutsTheReplacedEnvironmentEntryBack)
{
    // Both new texts can be written beside their entries; only putting the second in place fails, after
    // the first is already in place.
    const ino_t before = inode(environmentFile(configHome.path()));
    ImmutableFile locked(autostartFile(configHome.path()));
    if (!locked.isLocked())
        GTEST_SKIP() << "cannot make the autostart entry immutable here: chattr +i failed";
    EXPECT_FALSE(
        integration->writeAgent({QStringLiteral("/home/a/new data"), false,
                                 QStringLiteral("/usr/bin/tolvane-controller"), QStringLiteral("0.17")}));
    expectOldEnvironmentIntact();
    expectOldAutostartIntact();
    // The old entry itself is back, not a copy of it.
    EXPECT_EQ(inode(environmentFile(configHome.path())), before);
}

TEST_F(FreedesktopRewrite, ANewPairWhereThereWasNoneIsRemovedAgainWhenTheSecondFails)
{
    ASSERT_TRUE(QFile::remove(environmentFile(configHome.path())));
    ImmutableFile locked(autostartFile(configHome.path()));
    if (!locked.isLocked())
        GTEST_SKIP() << "cannot make the autostart entry immutable here: chattr +i failed";
    EXPECT_FALSE(
        integration->writeAgent({QStringLiteral("/home/a/new data"), false,
                                 QStringLiteral("/usr/bin/tolvane-controller"), QStringLiteral("0.17")}));
    EXPECT_EQ(testing::folderEntries(configHome.path() + QStringLiteral("/environment.d")), QStringList{});
    expectOldAutostartIntact();
}

TEST_F(FreedesktopRewrite, AnUnwritableEnvironmentFolderFailsBeforeTheAutostartEntry)
{
    testing::LockedFolder locked(configHome.path() + QStringLiteral("/environment.d"));
    if (!locked.isLocked())
        GTEST_SKIP()
            << "cannot make the environment.d folder unwritable here: chattr +i failed and the user is root";
    EXPECT_FALSE(
        integration->writeAgent({QStringLiteral("/home/a/new data"), false,
                                 QStringLiteral("/usr/bin/tolvane-controller"), QStringLiteral("0.17")}));
    expectOldEnvironmentIntact();
    expectOldAutostartIntact();
}

} // namespace
} // namespace tolvane
