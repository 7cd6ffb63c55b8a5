// A scripted host for tests: it records every call, answers dialogs from a script, lets a test end
// each launched command with a chosen exit status and output, and advances timers by hand.
#pragma once

#include "Printing.h"
#include "platform/Host.h"
#include "platform/UserDefaults.h"

#include <QSettings>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <vector>

namespace tolvane::testing {

class FakeHost final : public Host {
    Q_OBJECT
public:
    struct Task {
        TaskSpec spec;
        OutputHandler handler;
        bool ended = false;
        std::chrono::milliseconds launchedAt{0};
        // The command line given to the shell.
        QString commandLine() const { return spec.arguments.isEmpty() ? QString() : spec.arguments.last(); }
    };
    struct Timer {
        std::chrono::milliseconds interval;
        bool repeats;
        TimerCallback callback;
        std::chrono::milliseconds due;
        bool alive = true;
    };

    FakeHost();
    ~FakeHost() override;

    // --- Host
    bool launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure) override;
    int runSystem(const QString& command, QByteArray* errors) override;
    int runModalAlert(const AlertRequest& request) override;
    void deliverNotification(const UserNotification& notification) override;
    bool openUrl(const QUrl& url) override;
    void log(const QString& record) override;
    void scheduleTimer(std::chrono::milliseconds interval, bool repeats, TimerCallback callback) override;
    void terminate() override;
    QProcessEnvironment environment() const override { return env; }
    QString homeDirectory() const override { return home; }
    QString bundlePath() const override { return bundle; }
    void activateApplication() override
    {
        ++activations;
        if (onActivate)
            onActivate();
    }
    bool bundleIsTranslocated() const override { return translocated; }
    QDateTime currentDateTime() const override { return now; }
    QSettings& userDefaults() override { return store->settings(); }
    bool synchronizeUserDefaults() override { return store->synchronize(); }
    bool trayAvailable() const override { return trayRuns; }
    bool statusItemFindsLaterTrays() const override { return itemFindsLaterTrays; }
    bool statusItemRegistered() const override { return itemRegistered; }

    // --- scripting
    // Ends the task with the exit status: its output handler runs first, with the output, then the
    // termination is posted to the event loop, which this runs (see runEventLoop). Throws when the task
    // has already ended.
    void endTask(std::size_t index, int exitStatus, const QByteArray& output = {},
                 std::optional<std::chrono::milliseconds> endedAfter = std::nullopt);
    // The index of the oldest task still running whose command line ends with the word; -1 if none.
    int runningTask(const QString& lastWord) const;
    // Ends the oldest running task with that last word; fails the test when there is none.
    void endRunning(const QString& lastWord, int exitStatus, const QByteArray& output = {});
    std::vector<std::size_t> runningTasks() const;
    // Moves the fake clock on, firing every timer that falls due and ending every command whose time
    // limit passes, in order. A command ended at its limit reports 143 (terminated by SIGTERM), as a
    // shell ended that way does.
    void advance(std::chrono::milliseconds by);
    std::size_t liveTimers() const;

    // A tray host comes (or comes again): the tray runs from now on and the controller hears of it.
    void trayHostComes();

    // Delivers the ends posted so far, in order, unless the loop is already at work (the controller is
    // handling an end, or an alert is up): then they follow once that work is done.
    void runEventLoop();

    // The subtitles of the notifications delivered so far, in order.
    QStringList notificationSubtitles() const;
    QStringList alertMessages() const;

    // --- recorded calls and scripted answers
    std::vector<Task> tasks;
    bool refuseLaunches = false;
    // Runs as each accepted task is recorded, so that a test can look at the state at that moment.
    std::function<void(const TaskSpec&)> onLaunch;
    QStringList systemCommands;
    std::function<int(const QString&)> systemAnswer; // default: 0
    // What the command writes on its standard error; default: nothing.
    std::function<QByteArray(const QString&)> systemErrors;
    std::vector<AlertRequest> alerts;
    std::deque<int> alertAnswers;                     // default: the first button
    std::function<void(const AlertRequest&)> onAlert; // runs while the alert is "on screen"
    std::vector<UserNotification> notifications;
    QStringList logRecords;
    std::vector<QUrl> openedUrls;
    bool openUrlSucceeds = true;
    std::vector<Timer> timers;
    std::chrono::milliseconds clock{0};
    int terminateCalls = 0;
    int activations = 0;
    std::function<void()> onActivate; // runs at each activation, to look at the state at that moment
    bool translocated = false;
    // The desktop's tray: by default one runs and an item made before it would find it.
    bool trayRuns = true;
    bool itemFindsLaterTrays = true;
    // Whether the tray host lists the status item.
    bool itemRegistered = true;

    QProcessEnvironment env;
    QString home;
    QString bundle;
    QDateTime now;
    QTemporaryDir folder;
    // The preferences store: an INI file in the fake's folder until a test points it elsewhere.
    void useStoreAt(const QString& path);
    std::unique_ptr<UserDefaults> store;

private:
    int m_postedEnds = 0;
    int m_loopDepth = 0;
    int m_modalDepth = 0;
};

} // namespace tolvane::testing
