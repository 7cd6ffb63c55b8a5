// The state machine around the server: the interpretation of every command's end, Start behind the
// port check, Stop, Open in Browser and the poll.
#include "ControllerTest.h"
#include "server/Paths.h"

#include <chrono>

namespace tolvane::testing {
namespace {

using namespace std::chrono_literals;

const QString PortCheck = QStringLiteral("-sTCP:LISTEN");
const QString Status = QStringLiteral("status");
const QString Start = QStringLiteral("start");
const QString Stop = QStringLiteral("stop");
const QString PortAlert =
    QStringLiteral("Port :8008 is occupied. Please close the process that is using it to start the Tolvane.");
const QString RunningNotice = QStringLiteral("Running, you can now click on 'Open in Browser' menu.");

TEST(ExitStatusMapping, StatusesUpTo255AreTheCodeLargerOnesAreWaitStatuses)
{
    const struct {
        int exitStatus;
        std::int32_t code;
    } rows[] = {{0, 0},     {1, 1},     {4, 4},   {6, 6},    {126, 126}, {127, 127},
                {254, 254}, {255, 255}, {256, 1}, {1024, 4}, {1536, 6},  {65280, 255}};
    for (const auto& row : rows)
        EXPECT_EQ(exitStatusToCode(row.exitStatus), row.code) << row.exitStatus;
}

class StatusTrackingTest : public ControllerTest {
protected:
    void SetUp() override
    {
        installExecutable();
        makeStatusItem();
        makeFolder(fake.home + QStringLiteral("/.tolvane"));
    }
    QStringList launchedWords() const
    {
        QStringList words;
        for (const auto& task : fake.tasks)
            words.append(task.commandLine().split(QLatin1Char(' ')).last());
        return words;
    }
    // A steady, stopped server that has been presented once.
    void presentStopped()
    {
        controller->getTolvaneStatus();
        fake.endRunning(Status, 1);
        fake.notifications.clear();
    }
};

TEST_F(StatusTrackingTest, StartLaunchesTheListenerOnlyPortCheckAndDisablesOnlyTheMenuItem)
{
    controller->outlets.startButton->setEnabled(true);
    controller->startFunction();
    ASSERT_EQ(fake.tasks.size(), 1u);
    EXPECT_EQ(fake.tasks[0].commandLine(), QStringLiteral("lsof -nP -iTCP:8008 -sTCP:LISTEN"));
    EXPECT_TRUE(controller->istolvaneStart());
    EXPECT_FALSE(controller->outlets.startTolvane->isEnabled());
    EXPECT_TRUE(controller->outlets.startButton->isEnabled());
    EXPECT_EQ(item().image(), QStringLiteral("loading"));
}

TEST_F(StatusTrackingTest, StartWithThePortFreeEndsPresentedAsRunning)
{
    presentStopped();
    controller->startFunction();
    fake.endRunning(PortCheck, 1);
    EXPECT_EQ(launchedWords().last(), Status);
    fake.endRunning(Status, 1);
    // The pending start is sent; the starting code is recorded, not presented.
    EXPECT_FALSE(controller->istolvaneStart());
    EXPECT_EQ(controller->status(), ServerStatusStarting);
    EXPECT_EQ(controller->lastStatus(), ServerStatusStopped);
    EXPECT_EQ(launchedWords().last(), Start);
    EXPECT_EQ(item().image(), QStringLiteral("loading"));
    fake.endRunning(Start, 0);
    EXPECT_TRUE(fake.logRecords.contains(QStringLiteral("Fetching `tolvane status`...")));
    fake.endRunning(Status, 0);
    EXPECT_EQ(controller->status(), ServerStatusRunning);
    EXPECT_EQ(item().image(), QStringLiteral("stop"));
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{RunningNotice});
    EXPECT_TRUE(fake.alerts.empty());
}

TEST_F(StatusTrackingTest, StartWithThePortTakenAlertsThenPresentsStoppedAndStartsAtTheNextResult)
{
    presentStopped();
    controller->startFunction();
    fake.endRunning(PortCheck, 0,
                    "COMMAND   PID USER   FD   TYPE DEVICE SIZE/OFF NODE NAME\n"
                    "nc      4242 root    3u  IPv4  12345      0t0  TCP 127.0.0.1:8008 (LISTEN)\n");
    EXPECT_TRUE(controller->isPortAlert());
    // The log names the process that holds the port.
    EXPECT_TRUE(fake.logRecords.contains(QStringLiteral("Port 8008 is held by nc (process 4242).")));

    // While the alert is on screen, nothing is set yet: the code held (as after Apply, undetermined)
    // is still there, and the icon still shows the start under way.
    controller->setNewStatus(ServerStatusUndetermined);
    std::int32_t statusDuringAlert = -2;
    QString imageDuringAlert;
    fake.onAlert = [&](const AlertRequest&) {
        statusDuringAlert = controller->status();
        imageDuringAlert = item().image();
    };
    fake.endRunning(Status, 1);
    EXPECT_EQ(fake.alertMessages(), QStringList{PortAlert});
    EXPECT_EQ(statusDuringAlert, ServerStatusUndetermined);
    EXPECT_EQ(imageDuringAlert, QStringLiteral("loading"));
    EXPECT_FALSE(controller->isPortAlert());
    EXPECT_EQ(controller->status(), ServerStatusStopped);
    // After the alert: the stopped notice, and Start is available again.
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{QStringLiteral("Stopped")});
    EXPECT_TRUE(controller->outlets.startTolvane->isEnabled());
    EXPECT_TRUE(controller->istolvaneStart());
    EXPECT_EQ(fake.runningTasks().size(), 0u);

    // The start is not cancelled: the next result, here the poll's, sends it.
    controller->getTolvaneStatus();
    fake.endRunning(Status, 1);
    EXPECT_EQ(launchedWords().last(), Start);
    EXPECT_FALSE(controller->istolvaneStart());
}

TEST_F(StatusTrackingTest, StartWhileRunningSendsStartAnywayAndPresentsRunningAgain)
{
    controller->getTolvaneStatus();
    fake.endRunning(Status, 0);
    fake.notifications.clear();
    controller->startFunction();
    fake.endRunning(PortCheck, 0); // the server itself holds the port
    fake.endRunning(Status, 0);
    EXPECT_TRUE(fake.alerts.empty());
    EXPECT_FALSE(controller->isPortAlert());
    EXPECT_EQ(launchedWords().last(), Start);
    EXPECT_EQ(controller->status(), ServerStatusStarting);
    fake.endRunning(Start, 0);
    fake.endRunning(Status, 0);
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{RunningNotice});
}

TEST_F(StatusTrackingTest, StopNotifiesLaunchesStopAndPresentsStopped)
{
    controller->getTolvaneStatus();
    fake.endRunning(Status, 0);
    fake.notifications.clear();
    controller->stopFunction(false);
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{QStringLiteral("Stopping")});
    EXPECT_EQ(launchedWords().last(), Stop);
    fake.endRunning(Stop, 0);
    fake.endRunning(Status, 1);
    EXPECT_EQ(item().image(), QStringLiteral("favicon"));
    EXPECT_EQ(fake.notificationSubtitles(),
              (QStringList{QStringLiteral("Stopping"), QStringLiteral("Stopped")}));
}

TEST_F(StatusTrackingTest, StopWhileQuittingSaysSo)
{
    controller->stopFunction(true);
    EXPECT_EQ(fake.notificationSubtitles(),
              QStringList{QStringLiteral("Stopping and quitting the application...")});
    EXPECT_EQ(launchedWords(), QStringList{Stop});
}

TEST_F(StatusTrackingTest, AfterTheLoginStepTheNextResultIsPresentedEvenWhenUnchanged)
{
    presentStopped();
    controller->setNewStatus(ServerStatusUndetermined);
    controller->getTolvaneStatus();
    fake.endRunning(Status, 1);
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{QStringLiteral("Stopped")});
}

TEST_F(StatusTrackingTest, ASteadyServerGivesNoNotificationAtEveryPoll)
{
    controller->startTolvaneTimer();
    fake.advance(8s);
    fake.endRunning(Status, 0);
    for (int poll = 0; poll < 5; ++poll) {
        fake.advance(8s);
        fake.endRunning(Status, 0);
    }
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{RunningNotice});
    EXPECT_EQ(fake.tasks.size(), 6u);
}

TEST_F(StatusTrackingTest, ThePollRunsEveryEightSecondsFromWhenItIsScheduled)
{
    controller->startTolvaneTimer();
    fake.advance(7999ms);
    EXPECT_TRUE(fake.tasks.empty());
    fake.advance(1ms);
    EXPECT_EQ(launchedWords(), QStringList{Status});
    fake.endRunning(Status, 1);
    fake.advance(8s);
    fake.endRunning(Status, 1);
    fake.advance(8s);
    EXPECT_EQ(fake.tasks.size(), 3u);
    // The poll never changes the icon.
    EXPECT_EQ(item().image(), QStringLiteral("favicon"));
}

TEST_F(StatusTrackingTest, AHungStatusHoldsBackThePollButNotTheOtherCommands)
{
    controller->startTolvaneTimer();
    fake.advance(8s);
    ASSERT_EQ(launchedWords(), QStringList{Status});
    // The first poll's status has not ended yet, well within its time limit: later polls launch nothing.
    fake.advance(40s);
    EXPECT_EQ(fake.runningTasks().size(), 1u);
    // A start, its port check and the status query that follows still run.
    controller->startFunction();
    fake.endRunning(PortCheck, 1);
    EXPECT_EQ(launchedWords(), (QStringList{Status, PortCheck, Status}));
    // Once the hung command ends, the poll goes on.
    fake.endTask(0, 1);
    fake.endRunning(Status, 1);
    fake.endRunning(Start, 0);
    fake.endRunning(Status, 0);
    fake.advance(8s);
    EXPECT_EQ(launchedWords().last(), Status);
    EXPECT_EQ(fake.runningTasks().size(), 1u);
}

TEST_F(StatusTrackingTest, OnlyTheStatusQueryHasATimeLimit)
{
    controller->getTolvaneStatus();
    controller->startFunction();
    controller->runTolvane(Start);
    controller->stopFunction(false);
    ASSERT_EQ(launchedWords(), (QStringList{Status, PortCheck, Start, Stop}));
    EXPECT_EQ(fake.tasks[0].spec.timeLimit, std::optional<std::chrono::milliseconds>(60s));
    for (std::size_t i = 1; i < fake.tasks.size(); ++i)
        EXPECT_FALSE(fake.tasks[i].spec.timeLimit.has_value())
            << launchedWords()[static_cast<qsizetype>(i)].toStdString();
}

TEST_F(StatusTrackingTest, AStatusEndedAtItsLimitIsNoAnswerAndALaterPollShowsTheServerStopped)
{
    controller->getTolvaneStatus();
    fake.endRunning(Status, 0);
    ASSERT_EQ(item().image(), QStringLiteral("stop"));
    fake.notifications.clear();
    controller->startTolvaneTimer();

    // The poll at 8 s launches a status that hangs; the polls at 16 to 64 s wait for it.
    fake.advance(8s);
    fake.advance(59s);
    EXPECT_EQ(launchedWords(), (QStringList{Status, Status}));
    EXPECT_EQ(fake.runningTasks().size(), 1u);
    EXPECT_TRUE(fake.logRecords.filter(QStringLiteral("Ended")).isEmpty());

    // At 68 s it has run for 60 s: the host ends it (143), one record says so, and the end is no answer:
    // the running server stays presented as running.
    fake.advance(1s);
    const QString statusLine = fake.tasks[1].commandLine();
    EXPECT_EQ(fake.logRecords.filter(QStringLiteral("Ended")),
              QStringList{QStringLiteral("Ended `%1` after 60 s: it had not finished.").arg(statusLine)});
    EXPECT_EQ(fake.logRecords.filter(QStringLiteral("gave no answer")).size(), 1);
    EXPECT_EQ(controller->status(), ServerStatusRunning);
    EXPECT_EQ(item().image(), QStringLiteral("stop"));
    EXPECT_EQ(item().toolTip(), QStringLiteral("Tolvane is running."));
    EXPECT_TRUE(controller->outlets.stopTolvane->isEnabled());
    EXPECT_TRUE(controller->outlets.openInBrowserMenu->isEnabled());
    EXPECT_FALSE(controller->outlets.startTolvane->isEnabled());
    EXPECT_TRUE(fake.notifications.empty());

    // The poll goes on; the server died meanwhile, and the next result presents it stopped.
    fake.advance(4s);
    ASSERT_EQ(launchedWords(), (QStringList{Status, Status, Status}));
    fake.endRunning(Status, 1);
    EXPECT_EQ(item().image(), QStringLiteral("favicon"));
    EXPECT_EQ(item().toolTip(), QStringLiteral("Tolvane is stopped."));
    EXPECT_TRUE(controller->outlets.startTolvane->isEnabled());
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{QStringLiteral("Stopped")});
}

TEST_F(StatusTrackingTest, AStatusEndedAtItsLimitLetsAPendingStartGoOn)
{
    presentStopped();
    controller->startFunction();
    fake.endRunning(PortCheck, 1);
    ASSERT_EQ(launchedWords().last(), Status);
    fake.advance(60s);
    EXPECT_EQ(launchedWords().last(), Start);
    EXPECT_EQ(controller->status(), ServerStatusStarting);
    EXPECT_FALSE(controller->istolvaneStart());
    fake.endRunning(Start, 0);
    fake.endRunning(Status, 0);
    EXPECT_EQ(item().image(), QStringLiteral("stop"));
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{RunningNotice});
}

TEST_F(StatusTrackingTest, StartAndStopEndsWhileAStatusHangsAreInterpretedAndTheHungStatusChangesNothing)
{
    controller->getTolvaneStatus();
    fake.endRunning(Status, 0);
    fake.notifications.clear();
    controller->startTolvaneTimer();
    fake.advance(8s); // this poll's status hangs
    const int hung = fake.runningTask(Status);
    ASSERT_GE(hung, 0);

    // Stop: its end and its status query are interpreted while the poll's status still hangs.
    fake.advance(10s);
    controller->stopFunction(false);
    fake.endRunning(Stop, 0);
    ASSERT_EQ(fake.runningTasks().size(), 2u);
    fake.endTask(fake.runningTasks().back(), 1);
    EXPECT_EQ(controller->status(), ServerStatusStopped);
    EXPECT_EQ(item().image(), QStringLiteral("favicon"));

    // Start: the whole sequence runs while the status still hangs.
    controller->startFunction();
    fake.endRunning(PortCheck, 1);
    fake.endTask(fake.runningTasks().back(), 1);
    EXPECT_EQ(launchedWords().last(), Start);
    fake.endRunning(Start, 0);
    fake.endTask(fake.runningTasks().back(), 0);
    EXPECT_EQ(controller->status(), ServerStatusRunning);
    EXPECT_EQ(item().image(), QStringLiteral("stop"));
    EXPECT_EQ(fake.notificationSubtitles(),
              (QStringList{QStringLiteral("Stopping"), QStringLiteral("Stopped"), RunningNotice}));
    ASSERT_EQ(fake.runningTasks(), std::vector<std::size_t>{std::size_t(hung)});

    // The hung status reaches its limit: it is no answer, and what the later answers said stays.
    const std::size_t launched = fake.tasks.size();
    fake.advance(50s);
    EXPECT_FALSE(fake.logRecords.filter(QStringLiteral("Ended")).isEmpty());
    EXPECT_EQ(controller->status(), ServerStatusRunning);
    EXPECT_EQ(item().image(), QStringLiteral("stop"));
    EXPECT_TRUE(controller->outlets.stopTolvane->isEnabled());
    EXPECT_FALSE(controller->outlets.startTolvane->isEnabled());
    EXPECT_EQ(fake.notificationSubtitles().size(), 3);
    // The poll goes on once it has ended.
    fake.advance(8s);
    EXPECT_GT(fake.tasks.size(), launched);
}

TEST_F(StatusTrackingTest, AStartThatTakesMinutesIsNeitherEndedNorHoldsThePollBack)
{
    presentStopped();
    controller->startTolvaneTimer();
    controller->startFunction();
    fake.endRunning(PortCheck, 1);
    fake.endRunning(Status, 1);
    ASSERT_EQ(launchedWords().last(), Start);
    const int polls = 20;
    for (int poll = 0; poll < polls; ++poll) {
        fake.advance(8s);
        fake.endRunning(Status, 1);
    }
    EXPECT_GE(fake.runningTask(Start), 0) << "a start still running after " << polls * 8 << " s was ended";
    EXPECT_EQ(launchedWords().count(Status), 2 + polls);
}

const QString MissingNotice = QStringLiteral("The `tolvane` executable does not exist!");

TEST_F(StatusTrackingTest, VanishedWhileCommandsRanPresentsTheMissingStateAndNotifiesOnce)
{
    controller->getTolvaneStatus();
    fake.endRunning(Status, 0);
    fake.notifications.clear();
    controller->getTolvaneStatus();
    controller->getTolvaneStatus();
    ASSERT_TRUE(QFile::remove(executablePath()));
    fake.endRunning(Status, 0);
    fake.endRunning(Status, 0);
    EXPECT_EQ(controller->status(), ServerStatusUndetermined);
    EXPECT_EQ(item().image(), QStringLiteral("exclaim"));
    EXPECT_EQ(item().toolTip(), MissingNotice);
    EXPECT_TRUE(controller->outlets.startTolvane->isEnabled());
    EXPECT_TRUE(controller->outlets.startButton->isEnabled());
    EXPECT_FALSE(controller->outlets.stopTolvane->isEnabled());
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{MissingNotice});
}

TEST_F(StatusTrackingTest, APollFindsTheExecutableMissingAndAPollAfterItsReturnPresentsTheServer)
{
    controller->startTolvaneTimer();
    fake.advance(8s);
    fake.endRunning(Status, 0);
    ASSERT_EQ(item().image(), QStringLiteral("stop"));
    fake.notifications.clear();

    // The executable goes while nothing runs: the next poll launches nothing, and says so once.
    ASSERT_TRUE(QFile::rename(executablePath(), executablePath() + QStringLiteral(".away")));
    const std::size_t launched = fake.tasks.size();
    fake.advance(8s);
    EXPECT_EQ(fake.tasks.size(), launched);
    EXPECT_EQ(controller->status(), ServerStatusUndetermined);
    EXPECT_EQ(item().image(), QStringLiteral("exclaim"));
    EXPECT_EQ(item().toolTip(), MissingNotice);
    EXPECT_TRUE(controller->outlets.startTolvane->isEnabled());
    EXPECT_FALSE(controller->outlets.stopTolvane->isEnabled());
    EXPECT_FALSE(controller->outlets.openBrowserButton->isEnabled());
    fake.advance(24s);
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{MissingNotice});

    // Back: the next poll asks the server, and its answer is presented.
    ASSERT_TRUE(QFile::rename(executablePath() + QStringLiteral(".away"), executablePath()));
    fake.advance(8s);
    ASSERT_EQ(launchedWords().last(), Status);
    fake.endRunning(Status, 0);
    EXPECT_EQ(item().image(), QStringLiteral("stop"));
    EXPECT_EQ(item().toolTip(), QStringLiteral("Tolvane is running."));
    EXPECT_TRUE(controller->outlets.stopTolvane->isEnabled());
    EXPECT_EQ(fake.notificationSubtitles(), (QStringList{MissingNotice, RunningNotice}));
}

TEST_F(StatusTrackingTest, AStartThatFindsTheExecutableMissingSaysSoAndLeavesStartAvailable)
{
    presentStopped();
    controller->startTolvaneTimer();
    ASSERT_TRUE(QFile::rename(executablePath(), executablePath() + QStringLiteral(".away")));
    controller->startFunction();
    EXPECT_FALSE(controller->outlets.startTolvane->isEnabled());
    fake.endRunning(PortCheck, 1);
    EXPECT_EQ(item().image(), QStringLiteral("exclaim"));
    EXPECT_TRUE(controller->outlets.startTolvane->isEnabled());
    EXPECT_FALSE(controller->istolvaneStart());
    EXPECT_EQ(fake.notificationSubtitles(), QStringList{MissingNotice});

    // Each start the user tries says it again; the polls between them do not.
    fake.advance(16s);
    controller->startFunction();
    fake.endRunning(PortCheck, 1);
    EXPECT_EQ(fake.notificationSubtitles(), (QStringList{MissingNotice, MissingNotice}));
    EXPECT_TRUE(controller->outlets.startTolvane->isEnabled());
    EXPECT_EQ(launchedWords(), (QStringList{Status, PortCheck, PortCheck}));

    // With the executable back, the poll presents the stopped server and sends no start by itself.
    ASSERT_TRUE(QFile::rename(executablePath() + QStringLiteral(".away"), executablePath()));
    fake.advance(8s);
    fake.endRunning(Status, 1);
    EXPECT_EQ(item().image(), QStringLiteral("favicon"));
    EXPECT_EQ(item().toolTip(), QStringLiteral("Tolvane is stopped."));
    EXPECT_EQ(launchedWords().last(), Status);
    EXPECT_TRUE(fake.runningTasks().empty());
}

struct BranchRow {
    const char* name;
    const char* word; // the last word of the ended command line
    int exitStatus;
    bool portAlertBefore;
    bool startBefore;
    std::int32_t heldBefore;
    bool portAlertAfter;
    bool startAfter;
    std::int32_t statusAfter;
    bool presented;   // the icon changed from its marker
    const char* next; // the word of the command launched next, "" for none
};

void PrintTo(const BranchRow& row, std::ostream* os)
{
    *os << row.name;
}

class CheckRunTaskBranchTest : public StatusTrackingTest, public ::testing::WithParamInterface<BranchRow> {};

TEST_P(CheckRunTaskBranchTest, FollowsTheFlagTable)
{
    const BranchRow& row = GetParam();
    controller->setIsLoaded(true);
    controller->setIsPortAlert(row.portAlertBefore);
    controller->setIstolvaneStart(row.startBefore);
    controller->setNewStatus(row.heldBefore);
    item().setImage(QStringLiteral("marker"));
    item().setToolTip(QStringLiteral("marker"));
    // A state of the six controls that no presentation leaves: Start and Stop both available.
    const Outlets& o = controller->outlets;
    const std::vector<QObject*> controls = {o.startTolvane, o.startButton,       o.stopTolvane,
                                            o.stopButton,   o.openInBrowserMenu, o.openBrowserButton};
    const auto setEnabled = [](QObject* control, bool on) { control->setProperty("enabled", on); };
    for (QObject* control : controls)
        setEnabled(control, true);
    const QString line = QString::fromLatin1(row.word) == PortCheck
                             ? QStringLiteral("lsof -nP -iTCP:8008 -sTCP:LISTEN")
                             : executablePath() + QLatin1Char(' ') + QString::fromLatin1(row.word);
    const std::int32_t result = controller->checkRunTask(
        TaskTermination{{QStringLiteral("-l"), QStringLiteral("-c"), line}, row.exitStatus, std::nullopt});

    EXPECT_EQ(controller->isPortAlert(), row.portAlertAfter);
    EXPECT_EQ(controller->istolvaneStart(), row.startAfter);
    EXPECT_EQ(controller->status(), row.statusAfter);
    EXPECT_EQ(result, row.statusAfter);
    // The only command launched by the interpretation is the follow-up; a start launched sets
    // "loading", which is no presentation. Without a presentation nothing else changes either.
    const QString next = QString::fromLatin1(row.next);
    const bool imageChanged = item().image() != QStringLiteral("marker") && next != Start;
    EXPECT_EQ(imageChanged || item().toolTip() != QStringLiteral("marker"), row.presented)
        << item().image().toStdString() << " " << item().toolTip().toStdString();
    if (!row.presented) {
        for (QObject* control : controls)
            EXPECT_TRUE(control->property("enabled").toBool()) << control->objectName().toStdString();
        EXPECT_TRUE(fake.notifications.empty());
    }
    if (next.isEmpty())
        EXPECT_TRUE(fake.tasks.empty());
    else
        EXPECT_EQ(launchedWords(), QStringList{next});
}

INSTANTIATE_TEST_SUITE_P(
    Branches, CheckRunTaskBranchTest,
    ::testing::Values(
        BranchRow{"PortCheckInUseSetsTheAlertFlag", "-sTCP:LISTEN", 0, false, true, 1, true, true, 1, false,
                  "status"},
        BranchRow{"PortCheckFreeLeavesTheFlag", "-sTCP:LISTEN", 1, true, true, 1, true, true, 1, false,
                  "status"},
        BranchRow{"PortAlertOnANonZeroStatus", "status", 1, true, true, 1, false, true, 1, true, ""},
        BranchRow{"PortAlertWithServerFailed", "status", 6, true, false, 0, false, false, 1, true, ""},
        BranchRow{"ZeroStatusClearsTheAlertAndSendsThePendingStart", "status", 0, true, true, 1, false, false,
                  4, false, "start"},
        BranchRow{"PendingStartIgnoresTheExitStatus", "status", 1, false, true, 0, false, false, 4, false,
                  "start"},
        BranchRow{"ChangedCodeIsPresented", "status", 0, false, false, 1, false, false, 0, true, ""},
        BranchRow{"UnchangedCodeIsNot", "status", 1, false, false, 1, false, false, 1, false, ""},
        BranchRow{"ShellFailureIsACodeOfItsOwn", "status", 255, false, false, 0, false, false, 255, true, ""},
        BranchRow{"WaitStatusIsShifted", "status", 256, false, false, 0, false, false, 1, true, ""},
        BranchRow{"StartEndLeadsToAStatusQuery", "start", 1, true, true, 4, true, true, 4, false, "status"},
        BranchRow{"StopEndLeadsToAStatusQuery", "stop", 0, false, false, 0, false, false, 0, false,
                  "status"}),
    [](const ::testing::TestParamInfo<BranchRow>& row) { return std::string(row.param.name); });

TEST_F(StatusTrackingTest, APollResultBeforeThePortCheckEndsConsumesTheStart)
{
    controller->startFunction();
    controller->getTolvaneStatus();
    fake.endRunning(Status, 1);
    EXPECT_EQ(launchedWords().last(), Start);
    fake.endRunning(PortCheck, 0);
    fake.endRunning(Status, 4);
    // The port check's alert flag meets a result with no start pending: the alert shows.
    EXPECT_EQ(fake.alertMessages(), QStringList{PortAlert});
}

TEST_F(StatusTrackingTest, OpenHandsTheAddressToTheBrowserAndNotifiesAFailure)
{
    controller->openFunction();
    ASSERT_EQ(fake.openedUrls.size(), 1u);
    EXPECT_EQ(fake.openedUrls[0], QUrl(QStringLiteral("http://127.0.0.1:8008/")));
    EXPECT_TRUE(fake.notifications.empty());

    fake.openUrlSucceeds = false;
    controller->openFunction();
    EXPECT_EQ(fake.notificationSubtitles(),
              QStringList{QStringLiteral(" Failed to open url: http://127.0.0.1:8008/")});
}

TEST_F(StatusTrackingTest, APortCheckThatCannotLaunchRecordsNoStartAndRestoresTheIcon)
{
    fake.refuseLaunches = true;
    controller->startFunction();
    EXPECT_FALSE(controller->istolvaneStart());
    EXPECT_TRUE(controller->outlets.startTolvane->isEnabled());
    EXPECT_EQ(item().image(), QStringLiteral("favicon"));
    EXPECT_EQ(fake.logRecords.filter(QStringLiteral("port check")).size(), 1);
}

} // namespace
} // namespace tolvane::testing
