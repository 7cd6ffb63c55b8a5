// The uninstall tool's standard error through the real host: mirrored to the controller's own, handed back,
// and a refusal's reason shown in the log view. A script stands in for the tool.
#include "Files.h"
#include "RecordingHost.h"
#include "app/AppDelegate.h"
#include "platform/QtHost.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvane::testing {
namespace {

// Our own standard error goes to a file while it lives.
class CapturedStandardError {
public:
    explicit CapturedStandardError(const QString& path)
    {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const int file = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, STDERR_FILENO);
        ::close(file);
    }
    ~CapturedStandardError()
    {
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }

private:
    int m_saved = -1;
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(UninstallRealHost, TheCommandsStandardErrorIsHandedBackAndStillMirrored)
{
    QTemporaryDir folder;
    const QString mirror = folder.filePath(QStringLiteral("stderr"));
    QtHost host;
    QByteArray errors;
    int status = 0;
    {
        CapturedStandardError captured(mirror);
        status = host.runSystem(QStringLiteral("echo out; echo one >&2; echo two >&2; exit 3"), &errors);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    EXPECT_EQ(errors, QByteArray("one\ntwo\n"));
    EXPECT_EQ(readFile(mirror), QByteArray("one\ntwo\n"));
}

// A command that leaves a process behind holding its standard error does not keep the controller waiting.
TEST(UninstallRealHost, AProcessLeftBehindWithThePipeDoesNotHoldTheWait)
{
    QtHost host;
    QByteArray errors;
    const int status = host.runSystem(QStringLiteral("sleep 5 & echo done >&2; exit 0"), &errors);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(errors, QByteArray("done\n"));
}

TEST(UninstallRealHost, ARefusalOfTheToolReachesTheLogView)
{
    QTemporaryDir folder;
    RecordingHost recorder;
    recorder.bundle = folder.filePath(QStringLiteral("Tolvane.app"));
    ASSERT_TRUE(writeScript(
        folder.filePath(QStringLiteral("Tolvane_Uninstall.tool")),
        "#!/bin/sh\n"
        "echo 'Tolvane_Uninstall: uninstalling Tolvane' >&2\n"
        "echo \"Tolvane_Uninstall: refusing the data folder $HOME: it is the home folder; nothing "
        "removed\" >&2\n"
        "exit 1\n"));
    ScopedHost installed(recorder);
    AppDelegate controller;
    controller.loadInterface();

    controller.tolvaneUninstall(nullptr);

    EXPECT_EQ(
        recorder.alertMessages(),
        (QStringList{QStringLiteral("Are you sure that you want to uninstall the Tolvane application?"),
                     QStringLiteral("The Tolvane uninstall did not succeed. You can see the logs at the "
                                    "Console application.")}));
    const QString logs = controller.outlets.taskLogs->toPlainText();
    EXPECT_TRUE(
        logs.endsWith(QStringLiteral(" Tolvane_Uninstall: refusing the data folder %1: it is the home "
                                     "folder; nothing removed")
                          .arg(qEnvironmentVariable("HOME"))))
        << logs.toStdString();
    EXPECT_FALSE(logs.contains(QStringLiteral("uninstalling Tolvane"))) << logs.toStdString();
}

} // namespace
} // namespace tolvane::testing
