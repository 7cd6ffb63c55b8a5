// The uninstall action: the uninstall tool beside the application, asked for, run, then the quit.
#include "ControllerTest.h"
#include "Files.h"
#include "Programs.h"
#include "app/Messages.h"

namespace tolvane::testing {
namespace {

const QString Question = QStringLiteral("Are you sure that you want to uninstall the Tolvane application?");
const QString Failed =
    QStringLiteral("The Tolvane uninstall did not succeed. You can see the logs at the Console application.");

class UninstallTest : public ControllerTest {
protected:
    // The tool beside the application.
    QString toolPath() const
    {
        return QFileInfo(fake.bundle).path() + QStringLiteral("/Tolvane_Uninstall.tool");
    }
    void installTool() { makeFile(toolPath()); }
    QCheckBox& deleteData() { return *controller->outlets.deleteTolvaneData; }
};

TEST_F(UninstallTest, AMissingToolIsReportedWithoutAskingAnything)
{
    controller->tolvaneUninstall(nullptr);

    EXPECT_EQ(
        fake.alertMessages(),
        QStringList{QStringLiteral("The Tolvane uninstall script is not found at '%1'. You need to reinstall "
                                   "the Tolvane application.")
                        .arg(toolPath())});
    EXPECT_TRUE(fake.alerts[0].buttons.isEmpty());
    EXPECT_TRUE(fake.systemCommands.isEmpty());
    EXPECT_EQ(fake.terminateCalls, 0);
}

TEST_F(UninstallTest, ATranslocatedCopyTellsTheUserToMoveTolvaneAndRunsNothing)
{
    installTool(); // even a tool beside the copy is not the installed one
    fake.translocated = true;

    controller->tolvaneUninstall(nullptr);

    EXPECT_EQ(fake.alertMessages(), QStringList{TranslocatedText});
    EXPECT_TRUE(fake.alerts[0].buttons.isEmpty());
    EXPECT_TRUE(fake.systemCommands.isEmpty());
    EXPECT_EQ(fake.terminateCalls, 0);
}

TEST_F(UninstallTest, CancelRunsNothing)
{
    installTool();
    fake.alertAnswers = {FirstButtonReturn + 1};

    controller->tolvaneUninstall(nullptr);

    ASSERT_EQ(fake.alerts.size(), 1u);
    EXPECT_EQ(fake.alerts[0].messageText, Question);
    EXPECT_EQ(fake.alerts[0].buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Cancel")}));
    EXPECT_TRUE(fake.systemCommands.isEmpty());
    EXPECT_EQ(controller->quitReason(), QuitReasonNone);
    EXPECT_EQ(fake.terminateCalls, 0);
}

struct DeleteChoice {
    const char* name;
    Qt::CheckState box;
    const char* answers;
};

void PrintTo(const DeleteChoice& row, std::ostream* os)
{
    *os << row.name;
}

class UninstallAnswersTest : public UninstallTest, public ::testing::WithParamInterface<DeleteChoice> {};

TEST_P(UninstallAnswersTest, TheToolIsToldWhetherToDeleteTheData)
{
    installTool();
    deleteData().setCheckState(GetParam().box);

    controller->tolvaneUninstall(nullptr);

    EXPECT_EQ(fake.alertMessages(), QStringList{Question});
    EXPECT_EQ(fake.systemCommands,
              QStringList{toolPath() + QLatin1Char(' ') + QLatin1String(GetParam().answers)});
}

// Only a box that is plainly on deletes the data.
INSTANTIATE_TEST_SUITE_P(Boxes, UninstallAnswersTest,
                         ::testing::Values(DeleteChoice{"Checked", Qt::Checked, "yes yes"},
                                           DeleteChoice{"Unchecked", Qt::Unchecked, "yes no"},
                                           DeleteChoice{"Mixed", Qt::PartiallyChecked, "yes no"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(UninstallTest, AnInstallationFolderWithABlankIsQuoted)
{
    fake.bundle = fake.folder.filePath(QStringLiteral("My Apps/Tolvane.app"));
    installTool();

    controller->tolvaneUninstall(nullptr);

    EXPECT_EQ(
        fake.systemCommands,
        QStringList{QStringLiteral("'%1/My Apps/Tolvane_Uninstall.tool' yes no").arg(fake.folder.path())});
}

TEST_F(UninstallTest, TheShellRunsTheToolWhateverItsFolderHolds)
{
    fake.bundle = fake.folder.filePath(QStringLiteral("it's $HOME `x` \"q\"/Tolvane.app"));
    const QString answersFile = fake.folder.filePath(QStringLiteral("answers"));
    installTool();
    ASSERT_TRUE(writeScript(
        toolPath(), QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\n").arg(answersFile).toUtf8()));
    deleteData().setCheckState(Qt::Checked);

    controller->tolvaneUninstall(nullptr);
    ASSERT_EQ(fake.systemCommands.size(), 1);

    QByteArray errors;
    EXPECT_EQ(runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), fake.systemCommands[0]}, nullptr,
                         &errors),
              0)
        << errors.toStdString();
    QFile answers(answersFile);
    ASSERT_TRUE(answers.open(QIODevice::ReadOnly)) << "the tool did not run";
    EXPECT_EQ(answers.readAll(), QByteArray("yes\nyes\n"));
}

class UninstallResultTest : public UninstallTest, public ::testing::WithParamInterface<int> {};

TEST_P(UninstallResultTest, AFailureIsReportedAndTheApplicationStays)
{
    installTool();
    const int status = GetParam();
    fake.systemAnswer = [status](const QString&) { return status; };

    controller->tolvaneUninstall(nullptr);

    EXPECT_EQ(fake.alertMessages(), (QStringList{Question, Failed}));
    EXPECT_EQ(controller->quitReason(), QuitReasonNone);
    EXPECT_EQ(fake.terminateCalls, 0);
}

// An exit status, a raw wait status, and the shell not run at all.
INSTANTIATE_TEST_SUITE_P(Statuses, UninstallResultTest, ::testing::Values(1, 256, -1));

// The tool's refusal, with its reason, reaches the log view; the alert stays as it is, and the tool's
// other lines stay in the system log.
TEST_F(UninstallTest, ARefusalsReasonIsShownInTheLogView)
{
    installTool();
    fake.systemAnswer = [](const QString&) { return 1 << 8; };
    fake.systemErrors = [](const QString&) {
        return QByteArray(
            "Tolvane_Uninstall: data folder: /home/a/.tolvane\n"
            "Tolvane_Uninstall: refusing the data folder /home/a: it is the home folder /home/a or "
            "holds it; nothing removed\n"
            "Tolvane_Uninstall: refusing the marker line /etc/passwd: it is neither inside the product "
            "folder nor one of its files; nothing removed\n"
            "refusing without the tool's name\n");
    };

    controller->tolvaneUninstall(nullptr);

    EXPECT_EQ(fake.alertMessages(), (QStringList{Question, Failed}));
    const QString logs = controller->outlets.taskLogs->toPlainText();
    QStringList texts;
    for (const QString& entry : logs.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        texts.append(entry.section(QLatin1Char(' '), 2));
    EXPECT_EQ(texts, (QStringList{
                         QStringLiteral("Tolvane_Uninstall: refusing the data folder /home/a: it is the home "
                                        "folder /home/a or holds it; nothing removed"),
                         QStringLiteral("Tolvane_Uninstall: refusing the marker line /etc/passwd: it is "
                                        "neither inside the product folder nor one of its files; nothing "
                                        "removed")}))
        << logs.toStdString();
}

TEST_F(UninstallTest, SuccessQuitsForTheUninstall)
{
    installTool();

    controller->tolvaneUninstall(nullptr);

    EXPECT_EQ(fake.alertMessages(), QStringList{Question});
    EXPECT_EQ(fake.systemCommands.size(), 1);
    EXPECT_EQ(controller->quitReason(), QuitReasonUninstall);
    EXPECT_EQ(fake.terminateCalls, 1);
}

} // namespace
} // namespace tolvane::testing
