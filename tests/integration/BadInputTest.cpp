// Bad input and faults, end to end with the real host, the real shells and the stand-in server:
// awkward data locations chosen in Preferences, broken server executables, damaged or unwritable
// preference and login-entry files, a full disk, a missing HOME, and a server that dies or loses its
// executable behind the controller's back. In every case the user is told, the controller keeps
// running and nothing stored is lost.
#include "EnvironmentGenerator.h"
#include "FakeTools.h"
#include "Files.h"
#include "Processes.h"
#include "Programs.h"
#include "RecordingHost.h"
#include "Sandbox.h"
#include "app/AppDelegate.h"
#include "common/BuildInfo.h"
#include "prefs/PathControl.h"
#include "prefs/Preferences.h"
#include "server/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tolvane::testing {
namespace {

// Bounded waits: every command pays the user's login profile, which can be slow on a loaded machine.
constexpr int WaitMs = 60000;

const QString EntryName = QStringLiteral("org.veltran.tolvane.user");
const QString SetTool = QStringLiteral("dbus-update-activation-environment");
const QString ControllerTool = QStringLiteral("tolvane-controller");
// What a command substitution in a path creates, in the folder every shell of the test runs in.
const QString InjectionMarker = QStringLiteral("injected");

const QString CannotSaveText =
    QStringLiteral("Sorry but your preferences cannot be saved, please check the Console logs.");
const QString SaveFailedRecord = QStringLiteral("Failed to save .plist file!  Result: 0");
const QString SucceededPrefix = QStringLiteral("Successfully set TOLVANE_HOME env to ");
const QString RunningNotice = QStringLiteral("Running, you can now click on 'Open in Browser' menu.");
const QString StoppedNotice = QStringLiteral("Stopped");
const QString MissingExecutableNotice = QStringLiteral("The `tolvane` executable does not exist!");

constexpr QFile::Permissions NotExecutable =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;

// The server's page, headers and body.
QByteArray fetchPage()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, 8008);
    if (!socket.waitForConnected(5000))
        return QByteArray();
    socket.write("GET / HTTP/1.0\r\nHost: 127.0.0.1:8008\r\n\r\n");
    QByteArray reply;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        reply += socket.readAll();
    return reply + socket.readAll();
}

QByteArray htmlEscaped(const QString& text)
{
    QByteArray escaped;
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// A full disk for this process and what it starts: a write beyond `bytes` fails with EFBIG instead of
// raising SIGXFSZ. Both are put back on destruction.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_active = ::getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_active = m_active && ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = SIG_DFL;
    bool m_active = false;
};

// A fresh user: home, configuration and data folders of its own, the stand-in server as executable,
// fake login tools first on PATH, and the shells running in the test's own folder.
class BadInputTest : public ::testing::Test {
protected:
    BadInputTest() : home(sandbox.home), config(sandbox.config), data(sandbox.data)
    {
        for (const QString& tool : {SetTool, ControllerTool})
            tools.addTool(tool);
        sandbox.apply(QStringLiteral(TOLVANE_SERVER_PATH));
        tools.install(sandbox.variables);

        m_savedFolder = QDir::currentPath();
        QDir::setCurrent(sandbox.folder.path());
        serverHomes << data;
    }

    ~BadInputTest() override
    {
        // A command that hangs would outlive the test: end what this test started.
        const std::vector<pid_t> left = descendantProcesses(::getpid());
        for (const pid_t pid : left)
            ::kill(pid, SIGKILL);
        if (!left.empty())
            waitFor([] { return childProcesses(::getpid()).empty(); });
        controller.reset();
        installed.reset();
        recorder.reset();
        for (const QString& serverHome : serverHomes)
            runServer(QStringLiteral("stop"), serverHome);
        QDir::setCurrent(m_savedFolder);
    }

    void setExecutable(const QString& path) { sandbox.variables.set("TOLVANE_PEX", path); }

    // The host reads the environment when it is made, so the controller comes after every setting.
    void makeController(bool withStatusItem = true)
    {
        recorder = std::make_unique<RecordingHost>();
        recorder->bundle = tools.binFolder() + QLatin1Char('/') + ControllerTool;
        installed = std::make_unique<ScopedHost>(*recorder);
        controller = std::make_unique<AppDelegate>();
        // Connected after the controller: the count moves once the controller has handled the end.
        QObject::connect(recorder.get(), &Host::taskDidTerminate, recorder.get(), [this] { ++terminations; });
        controller->loadInterface();
        controller->applicationWillFinishLaunching();
        if (withStatusItem) {
            controller->outlets.statusItem = std::make_unique<StatusItem>();
            controller->outlets.statusItem->setImage(QStringLiteral("favicon"));
        }
    }

    static int runServer(const QString& word, const QString& serverHome)
    {
        return testing::runServer(QStringLiteral(TOLVANE_SERVER_PATH), word, serverHome);
    }

    // Runs the event loop until the condition holds or the time is up. The loop is never put to sleep:
    // a command that writes a lot is read one pipe-full per turn of the loop.
    static bool waitFor(const std::function<bool()>& condition)
    {
        QTimer waker;
        waker.start(20);
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (clock.elapsed() > WaitMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        return true;
    }
    bool presentedRunning()
    {
        return controller->status() == ServerStatusRunning && controller->outlets.statusItem &&
               controller->outlets.statusItem->image() == QStringLiteral("stop");
    }
    bool presentedStopped()
    {
        return controller->status() == ServerStatusStopped && controller->outlets.statusItem &&
               controller->outlets.statusItem->image() == QStringLiteral("favicon") &&
               controller->outlets.statusItem->toolTip() == QStringLiteral("Tolvane is stopped.");
    }

    QString environmentEntry() const
    {
        return config + QStringLiteral("/environment.d/") + EntryName + QStringLiteral(".conf");
    }
    QString autostartEntry() const
    {
        return config + QStringLiteral("/autostart/") + EntryName + QStringLiteral(".desktop");
    }
    QString preferencesFile() const { return config + QStringLiteral("/Tolvane/tolvane.conf"); }

    // The argument vectors the fake tool received, in order.
    QList<QList<QByteArray>> toolRuns(const QString& tool) const
    {
        QList<QList<QByteArray>> runs;
        for (const Invocation& run : tools.invocations(tool))
            runs << run.arguments;
        return runs;
    }
    QList<QByteArray> setToolArguments(const QString& dataLocation) const
    {
        return {QByteArrayLiteral("--systemd"), (QStringLiteral("TOLVANE_HOME=") + dataLocation).toUtf8()};
    }

    // The stored preference as a fresh reader of the file sees it: a copy, so no cache answers.
    QString storedPreference(const QString& key)
    {
        const QString copy = sandbox.filePath(QStringLiteral("readback-%1.conf").arg(++m_readBacks));
        if (!QFile::copy(preferencesFile(), copy))
            return QStringLiteral("(no preferences file)");
        return QSettings(copy, QSettings::IniFormat).value(key).toString();
    }

    // The environment.d entry, as systemd's generator reads it at login, sets exactly `dataLocation`.
    void expectEnvironmentEntryNames(const QString& dataLocation)
    {
        if (!environmentGeneratorInstalled()) {
            // Without the generator: the value in double quotes, with "$" doubled and shell escapes.
            QString escaped = dataLocation;
            escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
            escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
            escaped.replace(QLatin1Char('`'), QLatin1String("\\`"));
            escaped.replace(QLatin1Char('$'), QLatin1String("\\$\\$"));
            EXPECT_TRUE(
                readFile(environmentEntry()).contains(("\nTOLVANE_HOME=\"" + escaped + "\"\n").toUtf8()));
            return;
        }
        QByteArray output;
        QByteArray errors;
        ASSERT_EQ(runEnvironmentGenerator(config, home, &output, &errors), 0) << errors.toStdString();
        const QList<QByteArray> values = printedValues(output, "TOLVANE_HOME");
        ASSERT_EQ(values.size(), 1) << readFile(environmentEntry()).toStdString();
        EXPECT_EQ(generatorValue(values.first()), std::optional<QByteArray>(dataLocation.toUtf8()))
            << values.first().toStdString();
    }

    // The autostart entry, launched as the desktop launches it, gives the tool exactly `dataLocation`
    // and then opens the controller. False when there is no launcher to try it with.
    bool expectAutostartEntryNames(const QString& dataLocation)
    {
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        if (gio.isEmpty())
            return false;
        tools.forget();
        QByteArray output;
        QByteArray errors;
        const bool launched = runProgram(gio, {QStringLiteral("launch"), autostartEntry()}, &output, &errors,
                                         {.workingDirectory = sandbox.folder.path()}) == 0;
        EXPECT_TRUE(launched) << output.toStdString() << errors.toStdString();
        // GLib starts the command and returns: the controller, last in the command, is awaited.
        EXPECT_TRUE(launched && tools.waitForInvocation(ControllerTool))
            << readFile(autostartEntry()).toStdString();
        EXPECT_EQ(toolRuns(SetTool), QList<QList<QByteArray>>{setToolArguments(dataLocation)});
        return true;
    }

    bool injected() const { return QFileInfo::exists(sandbox.filePath(InjectionMarker)); }

    Sandbox sandbox;
    FakeTools tools;
    const QString home;
    const QString config;
    const QString data;
    // Every data folder a server may have been started with; each is stopped at the end.
    QStringList serverHomes;
    int terminations = 0;
    std::unique_ptr<RecordingHost> recorder;
    std::unique_ptr<ScopedHost> installed;
    std::unique_ptr<AppDelegate> controller;

private:
    QString m_savedFolder;
    int m_readBacks = 0;
};

// ---------------------------------------------------------------------------------------------------
// Data locations chosen in Preferences and applied.

struct DataLocationRow {
    const char* name;
    QString relativePath; // below the test's own folder
    // Whether the login entries can hold the path; one they cannot hold is refused, the old entries kept.
    bool entriesCanHold = true;
};

void PrintTo(const DataLocationRow& row, std::ostream* os)
{
    *os << row.name;
}

QString longRelativePath()
{
    // A component holds at most 255 bytes: five of 200 make the path well over 1,000 characters.
    QStringList components;
    for (const char letter : {'a', 'b', 'c', 'd', 'e'})
        components << QString(200, QLatin1Char(letter));
    return QStringLiteral("long/") + components.join(QLatin1Char('/'));
}

// Names a parameterized test after its row.
template <typename Row> struct RowName {
    std::string operator()(const ::testing::TestParamInfo<Row>& row) const { return row.param.name; }
};

class BadInputDataLocation : public BadInputTest, public ::testing::WithParamInterface<DataLocationRow> {};

TEST_P(BadInputDataLocation, IsStoredHandedOnWrittenAndUsedUnchanged)
{
    const DataLocationRow& row = GetParam();
    const QString chosen = sandbox.filePath(QStringLiteral("locations/") + row.relativePath);
    ASSERT_TRUE(QDir().mkpath(chosen));
    ASSERT_TRUE(QFileInfo(chosen).isDir());
    makeController();
    controller->showPreferences();
    // The first run registered the default folder and wrote the entries for it.
    const QByteArray oldEnvironment = readFile(environmentEntry());
    const QByteArray oldAutostart = readFile(autostartEntry());
    ASSERT_FALSE(oldEnvironment.isEmpty());
    ASSERT_FALSE(oldAutostart.isEmpty());
    tools.forget();
    recorder->subtitles.clear();
    recorder->records.clear();

    controller->outlets.customTolvaneData->choose(chosen);
    controller->savePreferences();
    // Apply stops the server; the status that follows is presented.
    ASSERT_TRUE(waitFor([&] { return controller->status() == ServerStatusStopped; }));

    EXPECT_EQ(storedPreference(CustomTolvaneDataKey), chosen);
    EXPECT_FALSE(recorder->subtitles.contains(CannotSaveText));
    EXPECT_EQ(toolRuns(SetTool), QList<QList<QByteArray>>{setToolArguments(chosen)});
    EXPECT_EQ(folderEntries(config + QStringLiteral("/environment.d")),
              QStringList{EntryName + QStringLiteral(".conf")});
    EXPECT_EQ(folderEntries(config + QStringLiteral("/autostart")),
              QStringList{EntryName + QStringLiteral(".desktop")});
    bool autostartLaunched = true;
    if (row.entriesCanHold) {
        EXPECT_TRUE(recorder->subtitles.contains(SucceededPrefix + chosen + QLatin1Char('.')))
            << recorder->subtitles.join(QLatin1Char('|')).toStdString();
        expectEnvironmentEntryNames(chosen);
        autostartLaunched = expectAutostartEntryNames(chosen);
    } else {
        // Refused whole: the old entries stay, the log says why, and no success is claimed.
        EXPECT_EQ(readFile(environmentEntry()), oldEnvironment);
        EXPECT_EQ(readFile(autostartEntry()), oldAutostart);
        EXPECT_TRUE(recorder->records.contains(SaveFailedRecord));
        EXPECT_FALSE(recorder->records.filter(QStringLiteral("(cannot be written: ")).isEmpty());
        EXPECT_TRUE(recorder->subtitles.filter(SucceededPrefix).isEmpty());
    }
    EXPECT_FALSE(injected());

    serverHomes << chosen;
    controller->startFunction();
    ASSERT_TRUE(waitFor([&] { return presentedRunning(); }));
    const QByteArray page = fetchPage();
    EXPECT_TRUE(page.contains("<code>" + htmlEscaped(chosen) + "</code>")) << page.toStdString();
    EXPECT_TRUE(QFileInfo::exists(chosen + QStringLiteral("/tolvane.pid")));
    EXPECT_FALSE(injected());
    EXPECT_TRUE(recorder->alerts.isEmpty());
    if (!autostartLaunched)
        GTEST_SKIP()
            << "Everything but the autostart entry was checked: launching it needs gio (Debian package "
               "libglib2.0-bin)";
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, BadInputDataLocation,
    ::testing::Values(DataLocationRow{"Blanks", QStringLiteral(" tolvane  data ")},
                      DataLocationRow{"SingleQuote", QStringLiteral("it's data")},
                      DataLocationRow{"DoubleQuote", QStringLiteral("say \"data\"")},
                      DataLocationRow{"Dollar", QStringLiteral("$HOME ${PATH} $$ $1 $")},
                      DataLocationRow{"CommandSubstitution", QStringLiteral("$(touch injected)")},
                      DataLocationRow{"Backquote", QStringLiteral("`touch injected`")},
                      DataLocationRow{"Backslash",
                                      QStringLiteral("back\\slash\\n \\\\ \\$(touch injected) end\\")},
                      DataLocationRow{"PercentHashQuestionMark", QStringLiteral("100% %u %f #top ?q=1")},
                      DataLocationRow{"NonAscii", QStringLiteral("Tölväne データ ünïcødé")},
                      DataLocationRow{"ThousandCharacters", longRelativePath()},
                      DataLocationRow{"LineFeed", QStringLiteral("line\nfeed"), false}),
    RowName<DataLocationRow>{});

// ---------------------------------------------------------------------------------------------------
// TOLVANE_PEX naming something that is not a working server program. The user clicks Start.

struct ExecutableRow {
    const char* name;
    QByteArray script; // empty: a folder
    QFile::Permissions permissions;
    std::int32_t code;
    QString image;
    std::optional<QString> toolTip; // none: the tooltip keeps what it showed
    QString output;                 // in the log view and the system log
};

void PrintTo(const ExecutableRow& row, std::ostream* os)
{
    *os << row.name;
}

class BadInputExecutable : public BadInputTest, public ::testing::WithParamInterface<ExecutableRow> {};

TEST_P(BadInputExecutable, IsReportedAndTheControllerKeepsRunning)
{
    const ExecutableRow& row = GetParam();
    const QString executable = sandbox.filePath(QStringLiteral("pex/tolvane.pex"));
    if (row.script.isEmpty()) {
        ASSERT_TRUE(QDir().mkpath(executable));
    } else {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(executable).path()));
        ASSERT_TRUE(writeFile(executable, row.script, row.permissions));
    }
    setExecutable(executable);
    makeController();
    const QString toolTipBefore = controller->outlets.statusItem->toolTip();
    const long residentBefore = residentKiB();

    controller->startFunction();
    // The port check, the status before the start, the start, and the status after it.
    ASSERT_TRUE(waitFor([&] { return terminations >= 4 && controller->status() == row.code; }))
        << "status " << controller->status() << " after " << terminations << " commands";
    EXPECT_EQ(controller->outlets.statusItem->image(), row.image);
    EXPECT_EQ(controller->outlets.statusItem->toolTip(), row.toolTip.value_or(toolTipBefore));
    EXPECT_TRUE(controller->outlets.taskLogs->toPlainText().contains(row.output))
        << controller->outlets.taskLogs->toPlainText().left(2000).toStdString();
    EXPECT_FALSE(recorder->records.filter(row.output).isEmpty());
    EXPECT_FALSE(recorder->subtitles.contains(RunningNotice));
    EXPECT_TRUE(recorder->alerts.isEmpty());
    EXPECT_EQ(recorder->terminateCalls, 0);

    // The next status is read the same way.
    const int before = terminations;
    controller->getTolvaneStatus();
    ASSERT_TRUE(waitFor([&] { return terminations == before + 1; }));
    EXPECT_EQ(controller->status(), row.code);
    // Only the first piece of output is kept, whatever the program writes.
    EXPECT_LT(residentKiB() - residentBefore, 50 * 1024) << "kB before: " << residentBefore;
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, BadInputExecutable,
    ::testing::Values(
        ExecutableRow{"AFolder",
                      QByteArray(),
                      {},
                      126,
                      QStringLiteral("favicon"),
                      std::nullopt,
                      QStringLiteral("Is a directory")},
        ExecutableRow{"NotExecutable", "#!/bin/sh\necho never\nexit 0\n", NotExecutable, 126,
                      QStringLiteral("favicon"), std::nullopt, QStringLiteral("Permission denied")},
        ExecutableRow{"Crashes", "#!/bin/sh\necho \"about to crash\"\nkill -SEGV $$\n", ScriptPermissions,
                      128 + SIGSEGV, QStringLiteral("favicon"), std::nullopt,
                      QStringLiteral("about to crash")},
        ExecutableRow{"InvalidUtf8", "#!/bin/sh\nprintf 'bad \\377\\376 bytes \\300\\200 end\\n'\nexit 1\n",
                      ScriptPermissions, ServerStatusStopped, QStringLiteral("favicon"),
                      QStringLiteral("Tolvane is stopped."), QStringLiteral("bad \uFFFD")},
        ExecutableRow{
            "HundredMegabytes",
            "#!/bin/sh\necho \"first line\"\nhead -c 104857600 /dev/zero | tr '\\000' x\necho\nexit 6\n",
            ScriptPermissions, ServerStatusFailedToStart, QStringLiteral("exclaim"),
            QStringLiteral("Tolvane failed to start."), QStringLiteral("first line")}),
    RowName<ExecutableRow>{});

TEST_F(BadInputTest, AHangingStatusDoesNotPileUpAcrossPolls)
{
    const QString executable = sandbox.filePath(QStringLiteral("hang.pex"));
    ASSERT_TRUE(writeScript(executable, "#!/bin/sh\nsleep 1000\n"));
    setExecutable(executable);
    makeController();
    controller->startTolvaneTimer();
    const QList<QTimer*> timers = recorder->real.findChildren<QTimer*>();
    ASSERT_EQ(timers.size(), 1);
    EXPECT_EQ(timers.first()->interval(), 8000);
    // The poll's own timer, fired faster: each firing is one poll period.
    int periods = 0;
    QObject::connect(timers.first(), &QTimer::timeout, timers.first(), [&periods] { ++periods; });
    timers.first()->start(200);
    ASSERT_TRUE(waitFor([&] { return periods >= 10; }));
    // One status command runs, the first poll's; the later polls launched nothing.
    EXPECT_EQ(childProcesses(::getpid()).size(), 1u);
    EXPECT_EQ(recorder->launchedCommandLines.size(), 1);
    EXPECT_EQ(controller->status(), ServerStatusUndetermined);
    EXPECT_EQ(controller->outlets.statusItem->image(), QStringLiteral("favicon"));
    EXPECT_TRUE(recorder->subtitles.isEmpty());
}

// ---------------------------------------------------------------------------------------------------
// Damaged, unwritable and full files.

TEST_F(BadInputTest, ACorruptPreferencesFileStillLetsTheControllerLaunch)
{
    static const char head[] = "[General\n\xff\xfe=\x01\x02\n\0\0[=]\n=\n\\\\\\\n[[[\n";
    QByteArray garbage(head, sizeof head - 1);
    std::uint32_t state = 12345;
    for (int i = 0; i < 4096; ++i) {
        state = state * 1103515245u + 12345u;
        garbage += char(state >> 24);
    }
    ASSERT_TRUE(QDir().mkpath(QFileInfo(preferencesFile()).path()));
    ASSERT_TRUE(writeFile(preferencesFile(), garbage, NotExecutable));
    makeController(false);
    controller->applicationDidFinishLaunching();
    EXPECT_EQ(recorder->terminateCalls, 0);
    EXPECT_TRUE(recorder->alerts.isEmpty());
    // Starting at launch is the first-run choice: the server comes up.
    ASSERT_TRUE(waitFor([&] { return presentedRunning(); }));
    // The store was rewritten with the first-run values, readable again.
    EXPECT_EQ(storedPreference(QStringLiteral("version")), ControllerVersion);
    EXPECT_EQ(storedPreference(CustomTolvaneDataKey), data);
}

TEST_F(BadInputTest, AnUnwritablePreferencesFolderIsReportedAndTheLoginStepStillRuns)
{
    const QString chosen = sandbox.filePath(QStringLiteral("chosen data"));
    ASSERT_TRUE(QDir().mkpath(chosen));
    makeController();
    controller->showPreferences();
    const QByteArray oldPreferences = readFile(preferencesFile());
    ASSERT_FALSE(oldPreferences.isEmpty());
    const LockedFolder locked(QFileInfo(preferencesFile()).path());
    if (!locked.isLocked())
        GTEST_SKIP() << "chattr +i does not make " << config.toStdString()
                     << "/Tolvane refuse new files here";
    tools.forget();

    controller->outlets.customTolvaneData->choose(chosen);
    controller->savePreferences();
    EXPECT_TRUE(recorder->subtitles.contains(CannotSaveText));
    EXPECT_EQ(readFile(preferencesFile()), oldPreferences);
    EXPECT_EQ(folderEntries(QFileInfo(preferencesFile()).path()),
              QStringList{QStringLiteral("tolvane.conf")});
    // The login step ran with the choice all the same.
    EXPECT_EQ(toolRuns(SetTool), QList<QList<QByteArray>>{setToolArguments(chosen)});
    EXPECT_TRUE(recorder->subtitles.contains(SucceededPrefix + chosen + QLatin1Char('.')));
    expectEnvironmentEntryNames(chosen);
    ASSERT_TRUE(waitFor([&] { return controller->status() == ServerStatusStopped; }));
}

TEST_F(BadInputTest, AnAutostartFolderThatCannotBeCreatedIsLogged)
{
    const QString blocking = config + QStringLiteral("/autostart");
    ASSERT_TRUE(writeFile(blocking, "not a folder\n", NotExecutable));
    const QString chosen = sandbox.filePath(QStringLiteral("chosen data"));
    ASSERT_TRUE(QDir().mkpath(chosen));
    makeController();
    controller->showPreferences();
    controller->outlets.customTolvaneData->choose(chosen);
    controller->savePreferences();

    const QString failed = QStringLiteral("Failed to create %1/ directory").arg(blocking);
    EXPECT_EQ(recorder->records.count(failed), 2) << recorder->records.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(readFile(blocking), QByteArray("not a folder\n"));
    EXPECT_TRUE(recorder->subtitles.filter(SucceededPrefix).isEmpty());
    EXPECT_EQ(storedPreference(CustomTolvaneDataKey), chosen);
    // The controller goes on: Apply's stop and the status after it are handled.
    ASSERT_TRUE(waitFor([&] { return presentedStopped(); }));
}

struct FullDiskRow {
    const char* name;
    // The limit leaves room for the new preferences file and the new environment entry, not for the
    // autostart entry; else it leaves room for nothing.
    bool allButTheAutostartEntryFit;
};

void PrintTo(const FullDiskRow& row, std::ostream* os)
{
    *os << row.name;
}

class BadInputFullDisk : public BadInputTest, public ::testing::WithParamInterface<FullDiskRow> {};

TEST_P(BadInputFullDisk, KeepsTheOldEntriesWholeAndLeavesNoTemporaryFiles)
{
    const QString chosen = sandbox.filePath(QStringLiteral("chosen data"));
    ASSERT_TRUE(QDir().mkpath(chosen));
    makeController();
    controller->showPreferences();
    const QByteArray oldEnvironment = readFile(environmentEntry());
    const QByteArray oldAutostart = readFile(autostartEntry());
    const QByteArray oldPreferences = readFile(preferencesFile());
    ASSERT_FALSE(oldEnvironment.isEmpty());
    const bool othersFit = GetParam().allButTheAutostartEntryFit;
    // The new files differ from the old ones only by the path. The preferences file is the longer of
    // the other two; the autostart entry is several times longer still.
    const qsizetype longer = chosen.toUtf8().size() - data.toUtf8().size();
    ASSERT_GT(oldPreferences.size(), oldEnvironment.size());
    const rlim_t limit = othersFit ? rlim_t(oldPreferences.size() + longer + 16) : 16;
    ASSERT_LT(limit, rlim_t(oldAutostart.size()));
    recorder->subtitles.clear();
    recorder->records.clear();
    controller->outlets.customTolvaneData->choose(chosen);
    {
        const FileSizeLimit full(limit);
        ASSERT_TRUE(full.active());
        controller->savePreferences();
    }

    // The two login entries are one setting: the environment.d entry, which would fit, stays the old one
    // with the autostart entry, which does not.
    EXPECT_EQ(readFile(autostartEntry()), oldAutostart);
    EXPECT_EQ(readFile(environmentEntry()), oldEnvironment);
    EXPECT_EQ(folderEntries(config + QStringLiteral("/environment.d")),
              QStringList{EntryName + QStringLiteral(".conf")});
    EXPECT_EQ(folderEntries(config + QStringLiteral("/autostart")),
              QStringList{EntryName + QStringLiteral(".desktop")});
    EXPECT_TRUE(recorder->records.contains(SaveFailedRecord));
    EXPECT_TRUE(recorder->subtitles.filter(SucceededPrefix).isEmpty());
    // The preferences file is replaced whole or not at all, and the user hears when it was not.
    const bool saved = storedPreference(CustomTolvaneDataKey) == chosen;
    EXPECT_EQ(saved, othersFit);
    EXPECT_TRUE(saved || readFile(preferencesFile()) == oldPreferences);
    EXPECT_EQ(recorder->subtitles.contains(CannotSaveText), !saved);
    EXPECT_EQ(folderEntries(QFileInfo(preferencesFile()).path()),
              QStringList{QStringLiteral("tolvane.conf")});
    ASSERT_TRUE(waitFor([&] { return controller->status() == ServerStatusStopped; }));
}

INSTANTIATE_TEST_SUITE_P(BadInput, BadInputFullDisk,
                         ::testing::Values(FullDiskRow{"NothingFits", false},
                                           FullDiskRow{"AllButTheAutostartEntryFit", true}),
                         RowName<FullDiskRow>{});

// ---------------------------------------------------------------------------------------------------
// The environment and the server changing under the controller.

TEST_F(BadInputTest, WithoutHomeThePasswordDatabasesHomeIsUsed)
{
    sandbox.variables.unset("HOME");
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    const QString passwordHome = QDir::cleanPath(QString::fromLocal8Bit(entry->pw_dir));
    makeController(false);
    EXPECT_EQ(host().homeDirectory(), passwordHome);
    EXPECT_EQ(standardizePath(QStringLiteral("~/tolvane")), passwordHome + QStringLiteral("/tolvane"));
    EXPECT_EQ(getTolvaneDataPath(), std::optional<QString>(data));

    controller->applicationDidFinishLaunching();
    EXPECT_EQ(recorder->terminateCalls, 0);
    ASSERT_TRUE(waitFor([&] { return presentedRunning(); }));
    // The first run's login entries are in the configured folder and name the data folder.
    expectEnvironmentEntryNames(data);
    EXPECT_EQ(runServer(QStringLiteral("status"), data), 0);
}

TEST_F(BadInputTest, AServerKilledBehindTheControllersBackIsPresentedAsStoppedAtTheNextPoll)
{
    ASSERT_EQ(runServer(QStringLiteral("start"), data), 0);
    makeController();
    controller->getTolvaneStatus();
    ASSERT_TRUE(waitFor([&] { return presentedRunning(); }));
    recorder->subtitles.clear();

    const pid_t server = readFile(data + QStringLiteral("/tolvane.pid")).trimmed().toInt();
    ASSERT_GT(server, 0);
    ASSERT_EQ(::kill(server, SIGKILL), 0);
    ASSERT_TRUE(waitFor([&] { return runServer(QStringLiteral("status"), data) == ServerStatusStopped; }));
    controller->startTolvaneTimer();
    ASSERT_TRUE(waitFor([&] { return presentedStopped(); }));
    EXPECT_EQ(recorder->subtitles, QStringList{StoppedNotice});
    EXPECT_TRUE(controller->outlets.startTolvane->isEnabled());
}

TEST_F(BadInputTest, AnExecutableRemovedWhileRunningIsReported)
{
    const QString executable = sandbox.filePath(QStringLiteral("copy/tolvane.pex"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(executable).path()));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TOLVANE_SERVER_PATH), executable));
    setExecutable(executable);
    ASSERT_EQ(runServer(QStringLiteral("start"), data), 0);
    makeController();
    controller->getTolvaneStatus();
    ASSERT_TRUE(waitFor([&] { return presentedRunning(); }));
    recorder->subtitles.clear();

    controller->getTolvaneStatus();
    ASSERT_TRUE(QFile::remove(executable));
    ASSERT_TRUE(waitFor([&] { return recorder->subtitles.contains(MissingExecutableNotice); }));
    EXPECT_EQ(controller->outlets.statusItem->image(), QStringLiteral("exclaim"));
    EXPECT_EQ(controller->status(), ServerStatusUndetermined);
    EXPECT_EQ(recorder->subtitles, QStringList{MissingExecutableNotice});
    // Without an executable nothing more is launched, and nothing breaks.
    const qsizetype launched = recorder->launchedCommandLines.size();
    controller->getTolvaneStatus();
    const int ended = terminations;
    controller->startFunction();
    ASSERT_TRUE(waitFor([&] { return terminations == ended + 1; }));
    EXPECT_EQ(recorder->launchedCommandLines.size(), launched + 1); // the port check only
    EXPECT_EQ(recorder->terminateCalls, 0);
}

} // namespace
} // namespace tolvane::testing
