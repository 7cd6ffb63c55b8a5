// The real host: commands through QProcess with a pipe of our own, Qt's dialogs and timers, syslog.
#include "platform/QtHost.h"

#include "common/BuildInfo.h"
#include "platform/Activation.h"
#include "platform/BundlePath.h"
#include "platform/NotificationSink.h"
#include "platform/OutputDrainer.h"
#include "platform/Pipe.h"
#include "platform/RunningTask.h"
#include "platform/SystemLog.h"
#include "platform/Translocation.h"
#include "platform/TrayWatcher.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tolvane {

namespace {
using namespace std::chrono_literals;
// How long a command ended at its time limit gets between the request to terminate and the kill.
constexpr auto EndGracePeriod = 5s;
} // namespace

QtHost::QtHost()
    : m_environment(QProcessEnvironment::systemEnvironment()), m_notifications(makeNotificationSink()),
      m_userDefaults([this] { return openUserDefaults(m_environment, homeDirectory()); })
{
    qRegisterMetaType<TaskTermination>();
    m_tray = makeTrayWatcher();
    connect(m_tray.get(), &TrayWatcher::hostAppeared, this, &Host::trayHostAppeared);
}

QtHost::~QtHost()
{
    releaseRunningTasks();
}

bool QtHost::launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure)
{
    // Commands are launched on the main thread only, so nothing forks between the pipe's creation and
    // the close-on-exec flags.
    int fds[2];
    if (!makePipe(fds, PipeReads::Blocking)) {
        if (failure)
            *failure =
                QStringLiteral("cannot create a pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    auto task = std::make_unique<RunningTask>(fds[0], std::move(handler));
    QProcess* process = task->process;
    process->setProgram(spec.launchPath);
    process->setArguments(spec.arguments);
    if (spec.environment)
        process->setProcessEnvironment(*spec.environment);
    process->setInputChannelMode(QProcess::ForwardedInputChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    const int writeFd = fds[1];
    process->setChildProcessModifier([writeFd] {
        // A process group of its own, so that the command can be ended with everything it started.
        ::setpgid(0, 0);
        // Both streams into the one pipe; dup2 clears close-on-exec on the copies only.
        ::dup2(writeFd, STDOUT_FILENO);
        ::dup2(writeFd, STDERR_FILENO);
    });
    RunningTask* raw = task.get();
    // The pipe may stay open after the command has ended (a program it started holds it); the task
    // keeps draining it and is dropped once both are over.
    raw->onFinished = [this, raw] { dropTask(raw); };
    QObject::connect(
        process, &QProcess::finished, raw, [this, raw](int exitCode, QProcess::ExitStatus exitStatus) {
            raw->readOutput();
            raw->deliverEmptyOutputIfNone();
            TaskTermination termination;
            termination.arguments = raw->process->arguments();
            // A command killed by a signal reports it as the shell does, 128 plus the signal number.
            termination.terminationStatus = exitStatus == QProcess::CrashExit ? 128 + exitCode : exitCode;
            termination.endedAfter = raw->endedAfter;
            postTermination(termination);
            raw->markExited();
        });

    process->start();
    const bool started = process->waitForStarted(-1);
    ::close(writeFd);
    if (!started) {
        if (failure)
            *failure = process->errorString();
        return false;
    }
    raw->runningFor.start();
    if (spec.timeLimit) {
        auto* limit = new QTimer(raw);
        limit->setSingleShot(true);
        limit->setTimerType(Qt::PreciseTimer); // a coarse timer may fire early
        limit->setInterval(*spec.timeLimit);
        connect(limit, &QTimer::timeout, raw, [this, raw] { endAtTimeLimit(raw); });
        limit->start();
    }
    m_tasks.push_back(std::move(task));
    return true;
}

void QtHost::endAtTimeLimit(RunningTask* task)
{
    const qint64 pid = task->process ? task->process->processId() : 0;
    if (task->exited || pid <= 0)
        return;
    task->endedAfter = std::chrono::milliseconds(task->runningFor.elapsed());
    const pid_t group = static_cast<pid_t>(pid);
    ::kill(-group, SIGTERM);
    // Whatever of it still runs after the grace period is killed. The timer is the host's, since the
    // task itself is dropped as soon as its command has ended and its pipe has closed.
    QTimer::singleShot(EndGracePeriod, this, [group] { ::kill(-group, SIGKILL); });
}

void QtHost::postTermination(const TaskTermination& termination)
{
    // A modal alert blocks the controller's normal work until it is answered: the end of a command
    // that comes meanwhile is delivered afterwards, in order.
    if (m_modalDepth > 0) {
        m_deferred.push_back(Deferred{0, [this, termination] { emit taskDidTerminate(termination); }});
        return;
    }
    emit taskDidTerminate(termination);
}

void QtHost::modalEnded()
{
    if (--m_modalDepth > 0)
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            // In the order they came; any of them may open another alert, which holds the rest back.
            while (m_modalDepth == 0 && !m_deferred.empty()) {
                const Deferred next = std::move(m_deferred.front());
                m_deferred.pop_front();
                next.work();
            }
        },
        Qt::QueuedConnection);
}

void QtHost::dropTask(RunningTask* task)
{
    const auto found =
        std::find_if(m_tasks.begin(), m_tasks.end(),
                     [task](const std::unique_ptr<RunningTask>& t) { return t.get() == task; });
    if (found == m_tasks.end())
        return;
    std::unique_ptr<RunningTask> ended = std::move(*found);
    m_tasks.erase(found);
    ended.release()->deleteLater();
}

void QtHost::releaseRunningTasks()
{
    std::vector<int> openPipes;
    for (auto& task : m_tasks) {
        if (task->process->state() != QProcess::NotRunning) {
            // QProcess kills its command when it is destroyed; the command must finish on its own, so
            // its QProcess is kept, never destroyed, until this process ends.
            static auto* released = new std::vector<QProcess*>;
            task->process->disconnect();
            released->push_back(std::exchange(task->process, nullptr));
        } else {
            delete std::exchange(task->process, nullptr);
        }
        if (task->readFd() >= 0)
            openPipes.push_back(task->releaseReadFd());
    }
    m_tasks.clear();
    if (openPipes.empty())
        return;

    drainUntilClosed(openPipes);
    for (int fd : openPipes)
        ::close(fd);
}

int QtHost::runSystem(const QString& command, QByteArray* errors)
{
    const QByteArray text = command.toLocal8Bit();
    int fds[2];
    if (!makePipe(fds, PipeReads::NonBlocking))
        return std::system(text.constData());
    // The shell's standard error is our pipe; everything read from it is passed on to our own.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    char shell[] = "sh";
    char option[] = "-c";
    char* arguments[] = {shell, option, const_cast<char*>(text.constData()), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, "/bin/sh", &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        return 127 << 8; // as the shell answers for a command it cannot run
    }
    int status = 0;
    bool exited = false;
    bool endOfOutput = false;
    char buffer[4096];
    // Until the command has exited and its output has ended; once it has exited, what it left behind may
    // keep the pipe open, so only what is already there is read.
    while (!(exited && endOfOutput)) {
        pollfd readable{fds[0], POLLIN, 0};
        const int ready = endOfOutput ? 0 : ::poll(&readable, 1, exited ? 0 : 100);
        if (ready > 0) {
            const ssize_t count = ::read(fds[0], buffer, sizeof buffer);
            if (count > 0) {
                for (ssize_t written = 0; written < count;) {
                    const ssize_t more =
                        ::write(STDERR_FILENO, buffer + written, static_cast<size_t>(count - written));
                    if (more <= 0 && errno != EINTR)
                        break;
                    written += std::max<ssize_t>(more, 0);
                }
                if (errors)
                    errors->append(buffer, count);
                continue;
            }
            if (count == 0 || (errno != EINTR && errno != EAGAIN))
                endOfOutput = true;
        } else if (exited) {
            break;
        }
        if (!exited) {
            const pid_t waited = ::waitpid(pid, &status, endOfOutput ? 0 : WNOHANG);
            if (waited < 0 && errno != EINTR)
                status = -1; // its end cannot be known: never taken for success
            if (waited == pid || (waited < 0 && errno != EINTR))
                exited = true;
        }
    }
    ::close(fds[0]);
    return status;
}

int QtHost::runModalAlert(const AlertRequest& request)
{
    QMessageBox box;
    box.setObjectName(QStringLiteral("tolvaneAlert"));
    box.setWindowTitle(ApplicationName);
    box.setTextFormat(Qt::PlainText);
    box.setText(request.messageText);
    box.setIcon(request.style == AlertStyle::Informational ? QMessageBox::Information
                : request.style == AlertStyle::Critical    ? QMessageBox::Critical
                                                           : QMessageBox::Warning);
    const QStringList titles =
        request.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : request.buttons;
    QList<QPushButton*> buttons;
    for (const QString& title : titles) {
        const bool cancel = title == QLatin1String("Cancel");
        buttons.append(box.addButton(title, cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
        if (cancel)
            box.setEscapeButton(buttons.last());
    }
    box.setDefaultButton(buttons.first());
    if (buttons.size() == 1)
        box.setEscapeButton(buttons.first());
    // The controller has no window of its own in front: the alert must not open behind others, and it
    // takes the keyboard focus only once the application is the active one.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    activateApplication();
    ++m_modalDepth;
    box.exec();
    modalEnded();
    const auto clicked = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    const qsizetype index = clicked == buttons.end() ? buttons.size() - 1 : clicked - buttons.begin();
    return FirstButtonReturn + static_cast<int>(index);
}

void QtHost::deliverNotification(const UserNotification& notification)
{
    m_notifications->deliver(notification, m_notificationFallback.data());
}

bool QtHost::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

void QtHost::log(const QString& record)
{
    writeSystemLog(record);
}

void QtHost::scheduleTimer(std::chrono::milliseconds interval, bool repeats, TimerCallback callback)
{
    auto* timer = new QTimer(this);
    // Not early: a coarse timer may fire 5% before its time (half a second of a 10-second wait).
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(interval);
    timer->setSingleShot(!repeats);
    const int id = ++m_timerCount;
    connect(timer, &QTimer::timeout, this, [this, id, timer, repeats, callback = std::move(callback)] {
        if (!repeats)
            timer->deleteLater();
        // While a modal alert is up a timer does not fire; one that fell due fires once afterwards.
        if (m_modalDepth > 0) {
            if (std::none_of(m_deferred.begin(), m_deferred.end(),
                             [id](const Deferred& d) { return d.timerId == id; }))
                m_deferred.push_back(Deferred{id, callback});
            return;
        }
        callback();
    });
    timer->start();
}

void QtHost::terminate()
{
    QCoreApplication::quit();
}

QProcessEnvironment QtHost::environment() const
{
    return m_environment;
}

QString QtHost::homeDirectory() const
{
    QString home = m_environment.value(QStringLiteral("HOME"));
    if (home.isEmpty()) {
        // Without HOME, the user's entry in the password database tells.
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            home = QString::fromLocal8Bit(entry->pw_dir);
    }
    if (home.isEmpty())
        return QStringLiteral("/");
    home = QDir::cleanPath(home);
    return home;
}

QString QtHost::bundlePath() const
{
    return applicationBundlePath();
}

void QtHost::activateApplication()
{
    tolvane::activateApplication();
}

bool QtHost::bundleIsTranslocated() const
{
    return isTranslocated(bundlePath());
}

QDateTime QtHost::currentDateTime() const
{
    return QDateTime::currentDateTime();
}

void QtHost::setNotificationFallback(QSystemTrayIcon* trayIcon)
{
    m_notificationFallback = trayIcon;
}

bool QtHost::trayAvailable() const
{
    return m_tray->available();
}

bool QtHost::statusItemFindsLaterTrays() const
{
    return m_tray->itemFindsLaterTrays();
}

bool QtHost::statusItemRegistered() const
{
    return m_tray->itemRegistered();
}

QSettings& QtHost::userDefaults()
{
    return m_userDefaults.settings();
}

bool QtHost::synchronizeUserDefaults()
{
    return m_userDefaults.synchronize();
}

} // namespace tolvane
