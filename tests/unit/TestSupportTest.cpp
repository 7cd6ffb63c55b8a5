// The test-support library's own promises: the scoped environment puts back what it changed, a program
// that runs past its bound fails the test instead of being read, and fake tools record every run.
#include "EnvironmentGenerator.h"
#include "FakeTools.h"
#include "Files.h"
#include "Printing.h"
#include "Processes.h"
#include "Programs.h"
#include "Sandbox.h"
#include "ScopedEnvironment.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <optional>

namespace tolvane::testing {
namespace {

using ::testing::IsEmpty;

const char* const Variable = "TOLVANE_TEST_SUPPORT_VARIABLE";

std::optional<QByteArray> current()
{
    return qEnvironmentVariableIsSet(Variable) ? std::optional<QByteArray>(qgetenv(Variable)) : std::nullopt;
}

// Puts the variable in the state before the case, through an outer scoped environment that is
// itself put back when the case ends.
void putBefore(ScopedEnvironment& outer, const std::optional<QByteArray>& value)
{
    if (value)
        outer.set(Variable, QString::fromUtf8(*value));
    else
        outer.unset(Variable);
}

struct EnvironmentRow {
    const char* name;
    std::optional<QByteArray> before;
    void (*change)(ScopedEnvironment&);
    std::optional<QByteArray> during;
};

void PrintTo(const EnvironmentRow& row, std::ostream* os)
{
    *os << row.name;
}

class ScopedEnvironmentTest : public ::testing::TestWithParam<EnvironmentRow> {};

TEST_P(ScopedEnvironmentTest, ChangesForItsLifetimeAndPutsBackWhatWasThere)
{
    const EnvironmentRow& row = GetParam();
    ScopedEnvironment outer;
    putBefore(outer, row.before);
    {
        ScopedEnvironment environment;
        row.change(environment);
        EXPECT_EQ(current(), row.during);
    }
    EXPECT_EQ(current(), row.before);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ScopedEnvironmentTest,
    ::testing::Values(EnvironmentRow{"SetWhereSet", QByteArray("old"),
                                     [](ScopedEnvironment& e) { e.set(Variable, "new"); }, QByteArray("new")},
                      EnvironmentRow{"SetWhereUnset", std::nullopt,
                                     [](ScopedEnvironment& e) { e.set(Variable, "new"); }, QByteArray("new")},
                      EnvironmentRow{"SetWhereEmpty", QByteArray(""),
                                     [](ScopedEnvironment& e) { e.set(Variable, "new"); }, QByteArray("new")},
                      EnvironmentRow{"UnsetWhereSet", QByteArray("old"),
                                     [](ScopedEnvironment& e) { e.unset(Variable); }, std::nullopt},
                      EnvironmentRow{"SetTwice", QByteArray("old"),
                                     [](ScopedEnvironment& e) {
                                         e.set(Variable, "first");
                                         e.set(Variable, "second");
                                     },
                                     QByteArray("second")},
                      EnvironmentRow{"SetThenUnset", QByteArray("old"),
                                     [](ScopedEnvironment& e) {
                                         e.set(Variable, "first");
                                         e.unset(Variable);
                                     },
                                     std::nullopt},
                      EnvironmentRow{"UnsetThenSet", std::nullopt,
                                     [](ScopedEnvironment& e) {
                                         e.unset(Variable);
                                         e.set(Variable, "later");
                                     },
                                     QByteArray("later")},
                      EnvironmentRow{"NonAsciiPath", std::nullopt,
                                     [](ScopedEnvironment& e) {
                                         e.set(Variable, QStringLiteral("/tmp/Tölväne データ"));
                                     },
                                     QStringLiteral("/tmp/Tölväne データ").toUtf8()}),
    [](const ::testing::TestParamInfo<EnvironmentRow>& row) { return std::string(row.param.name); });

// A test body that sets the variable and then fails an assertion, which returns from it at once.
void setThenFailAnAssertion()
{
    ScopedEnvironment environment{{Variable, QStringLiteral("during")}};
    ASSERT_TRUE(false) << "left early";
}

TEST(ScopedEnvironmentEarlyReturn, AFailedAssertionStillPutsTheVariableBack)
{
    const ScopedEnvironment outer{{Variable, QStringLiteral("before")}};
    EXPECT_FATAL_FAILURE(setThenFailAnAssertion(), "left early");
    EXPECT_EQ(current(), std::optional<QByteArray>("before"));
}

TEST(SandboxTest, AppliesItsFoldersUntilItGoes)
{
    const QByteArray home = qgetenv("HOME");
    QString sandboxHome;
    {
        Sandbox sandbox;
        ASSERT_TRUE(sandbox.isValid());
        sandboxHome = sandbox.home;
        sandbox.apply(QStringLiteral("/opt/tolvane.pex"));
        EXPECT_EQ(qEnvironmentVariable("HOME"), sandbox.home);
        EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), sandbox.runtime);
        EXPECT_EQ(qEnvironmentVariable("TOLVANE_PEX"), QStringLiteral("/opt/tolvane.pex"));
        EXPECT_EQ(sandbox.environment(QStringLiteral("/x")).value(QStringLiteral("TOLVANE_HOME")),
                  sandbox.data);
        EXPECT_TRUE(QFileInfo(sandbox.data).isDir());
        // Qt takes a runtime folder only when its owner alone may use it.
        EXPECT_EQ(QFileInfo(sandbox.runtime).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    }
    EXPECT_EQ(qgetenv("HOME"), home);
    EXPECT_FALSE(QFileInfo::exists(sandboxHome));
}

// ---------------------------------------------------------------------------------------------------
// Programs run to their end.

TEST(RunProgramTest, AnswersTheExitStatusAndBothOutputs)
{
    QByteArray output;
    QByteArray errors;
    EXPECT_EQ(runProgram(QStringLiteral("/bin/sh"),
                         {QStringLiteral("-c"), QStringLiteral("printf out; printf err >&2; exit 3")},
                         &output, &errors),
              3);
    EXPECT_EQ(output, QByteArray("out"));
    EXPECT_EQ(errors, QByteArray("err"));
}

TEST(RunProgramTest, AProgramEndedByASignalAnswersMinusOne)
{
    EXPECT_EQ(runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("kill -KILL $$")}),
              -1);
}

TEST(RunProgramTest, AProgramPastItsBoundIsKilledAndFailsTheTest)
{
    QTemporaryDir folder;
    const QString pidFile = folder.filePath(QStringLiteral("pid"));
    int status = 0;
    EXPECT_NONFATAL_FAILURE(
        status =
            runProgram(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"), QStringLiteral("echo $$ > '%1'; exec sleep 60").arg(pidFile)},
                       nullptr, nullptr, {.timeoutMs = 500}),
        "did not end within 500 ms and was killed");
    EXPECT_EQ(status, -1);
    const std::vector<pid_t> pids = pidsIn(pidFile);
    ASSERT_EQ(pids.size(), 1u);
    EXPECT_TRUE(livingProcesses(pids).empty()) << "the program is still running";
}

// ---------------------------------------------------------------------------------------------------
// Fake tools.

TEST(FakeToolsTest, RecordEveryRunInOrderWithTheNameItWasRunBy)
{
    FakeTools tools;
    ASSERT_TRUE(tools.isValid());
    tools.addTool(QStringLiteral("alpha"));
    tools.addTool(QStringLiteral("beta"));
    ASSERT_EQ(tools.runShell(QStringLiteral("alpha 'one two' ''; alpha three; beta")), 0);

    const std::vector<Invocation> runs = tools.invocations(QStringLiteral("alpha"));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].invokedAs, (tools.binFolder() + QStringLiteral("/alpha")).toUtf8());
    EXPECT_EQ(runs[0].arguments, (QList<QByteArray>{"one two", ""}));
    EXPECT_EQ(runs[1].arguments, QList<QByteArray>{"three"});
    ASSERT_TRUE(tools.invocation(QStringLiteral("alpha")).has_value());
    EXPECT_EQ(tools.invocation(QStringLiteral("alpha"))->arguments, QList<QByteArray>{"three"});
    EXPECT_EQ(tools.ran(), (QStringList{QStringLiteral("alpha"), QStringLiteral("beta")}));

    tools.forget();
    EXPECT_THAT(tools.ran(), IsEmpty());
    EXPECT_FALSE(tools.invocation(QStringLiteral("alpha")).has_value());
}

TEST(FakeToolsTest, AreFoundThroughThisProcesssPathOnceInstalled)
{
    FakeTools tools;
    tools.addTool(QStringLiteral("gamma"));
    ScopedEnvironment variables;
    tools.install(variables);
    EXPECT_EQ(runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("gamma x")}), 0);
    ASSERT_TRUE(tools.invocation(QStringLiteral("gamma")).has_value());
    EXPECT_EQ(tools.invocation(QStringLiteral("gamma"))->arguments, QList<QByteArray>{"x"});
}

TEST(FakeToolsTest, StandInForEverySessionToolFromTheStart)
{
    FakeTools tools;
    for (const QString& tool : FakeTools::sessionTools()) {
        SCOPED_TRACE(tool.toStdString());
        // Arguments that would change the session if the real program got them.
        EXPECT_EQ(tools.runShell(tool + QStringLiteral(" setenv TOLVANE_HOME /nowhere")), 0);
        const std::optional<Invocation> run = tools.invocation(tool);
        ASSERT_TRUE(run.has_value()) << "the real program ran";
        EXPECT_EQ(run->invokedAs, (tools.binFolder() + QLatin1Char('/') + tool).toUtf8());
    }
}

// ---------------------------------------------------------------------------------------------------
// Files.

TEST(LockedFolderTest, RefusesNewFilesWhileItLivesAndNotAfter)
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("new"));
    {
        const LockedFolder locked(folder.path());
        if (!locked.isLocked())
            GTEST_SKIP()
                << "cannot make a folder refuse new files here: chattr +i failed and the user is root";
        EXPECT_FALSE(writeFile(file, "x"));
        EXPECT_THAT(folderEntries(folder.path()), IsEmpty()) << "the lock's probe was left behind";
    }
    EXPECT_TRUE(writeFile(file, "x"));
}

TEST(WriteScriptTest, WritesAProgramTheShellRuns)
{
    QTemporaryDir folder;
    const QString script = folder.filePath(QStringLiteral("deep/er/script"));
    ASSERT_TRUE(writeScript(script, "#!/bin/sh\necho ran \"$1\"\n"));
    QByteArray output;
    EXPECT_EQ(runProgram(script, {QStringLiteral("it")}, &output), 0);
    EXPECT_EQ(output, QByteArray("ran it\n"));
}

// ---------------------------------------------------------------------------------------------------
// The environment.d generator's output.

struct PrintedRow {
    const char* name;
    QByteArray printed;
    std::optional<QByteArray> value;
};

void PrintTo(const PrintedRow& row, std::ostream* os)
{
    *os << row.name;
}

class GeneratorValueTest : public ::testing::TestWithParam<PrintedRow> {};

TEST_P(GeneratorValueTest, UndoesTheQuoting)
{
    EXPECT_EQ(generatorValue(GetParam().printed), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Printed, GeneratorValueTest,
    ::testing::Values(PrintedRow{"Bare", "/home/a/data", QByteArray("/home/a/data")},
                      PrintedRow{"Quoted", "\"/home/a/my data\"", QByteArray("/home/a/my data")},
                      PrintedRow{"Escapes", R"("a\tb\nc\rd\\e\"f\$g\`h\'i")",
                                 QByteArray("a\tb\nc\rd\\e\"f$g`h'i")},
                      PrintedRow{"Hexadecimal", R"("\x41\xc3\xb6")", QByteArray("A\xc3\xb6")},
                      PrintedRow{"UnknownEscape", R"("a\qb")", std::nullopt},
                      PrintedRow{"TrailingBackslash", "\"a\\\"", std::nullopt},
                      PrintedRow{"ShortHexadecimal", R"("\x4")", std::nullopt},
                      PrintedRow{"Unclosed", "\"open", std::nullopt}),
    [](const ::testing::TestParamInfo<PrintedRow>& row) { return std::string(row.param.name); });

TEST(PrintedValuesTest, AreTheValuesOfThatVariableOnly)
{
    EXPECT_EQ(printedValues("PATH=/bin\nTOLVANE_HOME=\"/a b\"\nTOLVANE_HOMEX=no\nTOLVANE_HOME=/c\n",
                            "TOLVANE_HOME"),
              (QList<QByteArray>{"\"/a b\"", "/c"}));
}

} // namespace
} // namespace tolvane::testing
