// The status interpreter's decisions as a table: the state held and how a command ended, in; the
// flags, the code recorded, the presentation, the alert, the notification and the next command, out.
#include "server/StatusInterpreter.h"

#include "Printing.h"

#include <gtest/gtest.h>

namespace tolvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::int32_t None = -1000; // no code recorded
const char* const PortCheckLine = "lsof -nP -iTCP:8008 -sTCP:LISTEN";
const char* const Missing = "The `tolvane` executable does not exist!";
const char* const PortAlert =
    "Port :8008 is occupied. Please close the process that is using it to start the Tolvane.";

enum class Ending { Exited, EndedAtLimit, NotLaunched };

struct Flags {
    bool portAlert;
    bool startPending;
    bool missingShown;
};

struct InterpreterRow {
    const char* name;
    // in
    std::int32_t held;
    Flags before;
    const char* word; // "port check", or the server command word
    Ending ending;
    int exitStatus;
    bool exists;
    // out
    Flags after;
    std::int32_t record;
    bool present;
    const char* alert;        // "" for none
    const char* notification; // "" for none
    const char* next;         // "" for none
    const char* logLine;      // a text one log line contains, "" for no log line
};

void PrintTo(const InterpreterRow& row, std::ostream* os)
{
    *os << row.name;
}

class InterpreterTable : public ::testing::TestWithParam<InterpreterRow> {};

TEST_P(InterpreterTable, DecidesAsTheRowSays)
{
    const InterpreterRow& row = GetParam();
    const InterpreterState state{row.held, row.before.portAlert, row.before.startPending,
                                 row.before.missingShown};
    CommandEnd end;
    const QString word = QString::fromLatin1(row.word);
    end.commandLine = word == QStringLiteral("port check")
                          ? QString::fromLatin1(PortCheckLine)
                          : QStringLiteral("'/opt/tol vane/tolvane.pex' ") + word;
    end.exitStatus = row.exitStatus;
    if (row.ending == Ending::EndedAtLimit)
        end.endedAfter = 60s;
    end.launched = row.ending != Ending::NotLaunched;

    const InterpreterStep step = interpretCommandEnd(state, end, row.exists);

    EXPECT_EQ(step.flags.portAlert, row.after.portAlert);
    EXPECT_EQ(step.flags.startPending, row.after.startPending);
    EXPECT_EQ(step.flags.missingShown, row.after.missingShown);
    EXPECT_EQ(step.record.value_or(None), row.record);
    EXPECT_EQ(step.present, row.present);
    EXPECT_EQ(step.alert.value_or(QString()), QString::fromLatin1(row.alert));
    EXPECT_EQ(step.notification.value_or(QString()), QString::fromLatin1(row.notification));
    EXPECT_EQ(step.next.value_or(QString()), QString::fromLatin1(row.next));
    const std::string lines = step.logLines.join(QStringLiteral(" | ")).toStdString();
    if (*row.logLine) {
        EXPECT_FALSE(step.logLines.filter(QString::fromLatin1(row.logLine)).isEmpty()) << lines;
    } else {
        EXPECT_TRUE(step.logLines.isEmpty()) << lines;
    }
}

constexpr Flags Clear{false, false, false};
constexpr Flags Alert{true, false, false};
constexpr Flags Pending{false, true, false};
constexpr Flags AlertPending{true, true, false};
constexpr Flags Shown{false, false, true};
constexpr Flags PendingShown{false, true, true};

INSTANTIATE_TEST_SUITE_P(
    Ends, InterpreterTable,
    ::testing::Values(
        // The port check.
        InterpreterRow{"PortInUseSetsTheAlert", 1, Pending, "port check", Ending::Exited, 0, true,
                       AlertPending, None, false, "", "", "status", ""},
        InterpreterRow{"PortFreeLeavesAnEarlierAlert", 1, AlertPending, "port check", Ending::Exited, 1, true,
                       AlertPending, None, false, "", "", "status", ""},
        InterpreterRow{"PortCheckEndedAtItsLimitSaysNothingOfThePort", 1, Pending, "port check",
                       Ending::EndedAtLimit, 143, true, Pending, None, false, "", "", "status",
                       "Ended `lsof"},
        // Status answers.
        InterpreterRow{"PortAlertOnANonZeroStatus", 101, AlertPending, "status", Ending::Exited, 1, true,
                       Pending, 1, true, PortAlert, "", "", ""},
        InterpreterRow{"ZeroClearsTheAlertAndSendsThePendingStart", 1, AlertPending, "status", Ending::Exited,
                       0, true, Clear, 4, false, "", "", "start", ""},
        InterpreterRow{"PendingStartIgnoresTheExitStatus", 0, Pending, "status", Ending::Exited, 1, true,
                       Clear, 4, false, "", "", "start", ""},
        InterpreterRow{"ChangedCodeIsPresented", 1, Clear, "status", Ending::Exited, 0, true, Clear, 0, true,
                       "", "", "", ""},
        InterpreterRow{"UnchangedCodeIsRecordedNotPresented", 1, Clear, "status", Ending::Exited, 1, true,
                       Clear, 1, false, "", "", "", ""},
        InterpreterRow{"WaitStatusIsShifted", 0, Clear, "status", Ending::Exited, 256, true, Clear, 1, true,
                       "", "", "", ""},
        // Start and stop ends only lead to a status query.
        InterpreterRow{"StartEndQueriesStatus", 4, AlertPending, "start", Ending::Exited, 1, true,
                       AlertPending, None, false, "", "", "status", "Fetching `tolvane status`..."},
        InterpreterRow{"StopEndQueriesStatus", 0, Clear, "stop", Ending::Exited, 0, true, Clear, None, false,
                       "", "", "status", "Fetching `tolvane status`..."},
        // A status ended at its limit is no answer.
        InterpreterRow{"EndedStatusKeepsTheCodeAndThePresentation", 0, Clear, "status", Ending::EndedAtLimit,
                       143, true, Clear, None, false, "", "", "",
                       "Ended `'/opt/tol vane/tolvane.pex' status` after 60 s"},
        InterpreterRow{"EndedStatusSaysItGaveNoAnswer", 0, Clear, "status", Ending::EndedAtLimit, 143, true,
                       Clear, None, false, "", "", "", "gave no answer"},
        InterpreterRow{"EndedStatusLetsThePendingStartGoOn", 1, Pending, "status", Ending::EndedAtLimit, 143,
                       true, Clear, 4, false, "", "", "start", "Ended"},
        InterpreterRow{"EndedStatusWaitsForAnAnswerAfterThePortCheckFoundThePortInUse", 1, AlertPending,
                       "status", Ending::EndedAtLimit, 143, true, AlertPending, None, false, "", "", "",
                       "Ended"},
        // The server executable missing: at a poll, at a start, at the end of a command.
        InterpreterRow{"PollFindsTheExecutableMissing", 0, Clear, "status", Ending::NotLaunched, 0, false,
                       Shown, 101, true, "", Missing, "", ""},
        InterpreterRow{"ALaterPollChangesNothing", 101, Shown, "status", Ending::NotLaunched, 0, false, Shown,
                       None, false, "", "", "", ""},
        InterpreterRow{"AStartFindsItMissingAndIsOver", 101, AlertPending, "status", Ending::NotLaunched, 0,
                       false, Shown, 101, true, "", Missing, "", ""},
        InterpreterRow{"AStartWhileItIsShownSaysSoAgain", 101, PendingShown, "status", Ending::NotLaunched, 0,
                       false, Shown, 101, true, "", Missing, "", ""},
        InterpreterRow{"AfterTheLoginStepTheMissingStateIsStillShown", 101, Clear, "status",
                       Ending::NotLaunched, 0, false, Shown, 101, true, "", Missing, "", ""},
        InterpreterRow{"VanishedWhileAStatusRan", 0, Clear, "status", Ending::Exited, 0, false, Shown, 101,
                       true, "", Missing, "", ""},
        InterpreterRow{"VanishedWhileAStopRan", 0, Clear, "stop", Ending::Exited, 0, false, Shown, 101, true,
                       "", Missing, "", ""},
        InterpreterRow{"AnEndedStatusFindsItMissing", 0, Clear, "status", Ending::EndedAtLimit, 143, false,
                       Shown, 101, true, "", Missing, "", "Ended"},
        // The executable back: the next answer is presented, whatever it is.
        InterpreterRow{"BackTheNextAnswerIsPresented", 101, Shown, "status", Ending::Exited, 1, true, Clear,
                       1, true, "", "", "", ""},
        InterpreterRow{"BackEvenAnAnswerEqualToTheCodeHeld", 101, Shown, "status", Ending::Exited, 101, true,
                       Clear, 101, true, "", "", "", ""}),
    [](const ::testing::TestParamInfo<InterpreterRow>& row) { return std::string(row.param.name); });

} // namespace
} // namespace tolvane::testing
