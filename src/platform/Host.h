// The host platform as the controller sees it: the few services that a test cannot use for real or must
// observe. Everything else (files, preferences, widgets) the controller uses directly.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QProcessEnvironment>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>

namespace tolvane {

// One command to launch: the program, its arguments and, when set, the whole environment it gets.
// Without an environment the command inherits the controller's own. With a time limit, a command that
// is still running when the limit has passed is ended together with every process it started: asked
// to terminate first, then killed if anything of it still runs a few seconds later.
struct TaskSpec {
    QString launchPath;
    QStringList arguments;
    std::optional<QProcessEnvironment> environment;
    std::optional<std::chrono::milliseconds> timeLimit;
};

// What the host reports when a launched command has ended. The arguments are the ones it was launched
// with, so the last one is the command line the shell was given. `endedAfter` is set when the host
// ended the command at its time limit: how long it had run by then.
struct TaskTermination {
    QStringList arguments;
    int terminationStatus = 0;
    std::optional<std::chrono::milliseconds> endedAfter;
};

// Called once per launched command with the first piece of its combined output, or with an empty piece
// when the command ended without writing anything. Later output is read and discarded by the host.
using OutputHandler = std::function<void(const QByteArray& firstOutput)>;

enum class AlertStyle { Warning = 0, Informational = 1, Critical = 2 };

// A modal alert: the message, its style, and its buttons in order. With no button, the host shows a
// single "OK" button. The answer of the first button is FirstButtonReturn, of the second one more.
struct AlertRequest {
    QString messageText;
    AlertStyle style = AlertStyle::Warning;
    QStringList buttons;
};
inline constexpr int FirstButtonReturn = 1000;

struct UserNotification {
    QString title;
    QString subtitle;
    std::optional<QString> informativeText;
    QString soundName;
};

class Host : public QObject {
    Q_OBJECT
public:
    using TimerCallback = std::function<void()>;

    ~Host() override;

    // Processes. `launchTask` starts the command without waiting; it answers false, with a reason,
    // when the command could not be started, in which case no termination follows. Otherwise
    // exactly one `taskDidTerminate` follows, on the main thread, after the output handler ran.
    virtual bool launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure) = 0;
    // Runs a command text through the standard shell and waits for it; answers its exit status. What the
    // command writes on its standard error reaches the controller's own standard error and, when asked
    // for, `errors` as well.
    virtual int runSystem(const QString& command, QByteArray* errors = nullptr) = 0;

    // User interaction.
    virtual int runModalAlert(const AlertRequest& request) = 0;
    virtual void deliverNotification(const UserNotification& notification) = 0;
    virtual bool openUrl(const QUrl& url) = 0;

    // One record in the system log. The text is written as it is, never used as a format.
    virtual void log(const QString& record) = 0;

    // Timers on the main run loop. The controller keeps no handle: a timer lives as long as the host.
    virtual void scheduleTimer(std::chrono::milliseconds interval, bool repeats, TimerCallback callback) = 0;

    // Ends the application: the will-terminate step runs, then the process ends. Returns to the caller,
    // which must do nothing more.
    virtual void terminate() = 0;

    // The process environment the controller was started with, the user's home folder (no trailing
    // separator) and the path of the installed application.
    virtual QProcessEnvironment environment() const = 0;
    virtual QString homeDirectory() const = 0;
    virtual QString bundlePath() const = 0;

    // The local date and time now.
    virtual QDateTime currentDateTime() const = 0;

    // Makes the controller the active application before it shows a window, so that the window comes up
    // in front with the keyboard focus (a menu-bar application is usually not the active one).
    virtual void activateApplication() = 0;

    // True when the installed application runs from a random copy that the system made of a quarantined
    // download opened where it lies (macOS App Translocation): nothing beside it can be found from there
    // and no path of it lasts.
    virtual bool bundleIsTranslocated() const = 0;

    // Where a notification goes when the notification service does not answer (the status item).
    virtual void setNotificationFallback(QSystemTrayIcon* trayIcon) { (void)trayIcon; }

    // The desktop's tray: whether one shows status items now, and whether a status item made while none
    // runs shows up by itself once one comes. Where it does not, the item waits for `trayHostAppeared`.
    virtual bool trayAvailable() const = 0;
    virtual bool statusItemFindsLaterTrays() const = 0;
    // The tray host's watcher lists the status item (true where items do not register).
    virtual bool statusItemRegistered() const = 0;

    // The per-user preferences store, and the write of its pending changes: true when this write
    // succeeded, whatever earlier writes met.
    virtual QSettings& userDefaults() = 0;
    virtual bool synchronizeUserDefaults() = 0;

signals:
    // Posted for every launched command that ends, whoever launched it.
    void taskDidTerminate(const tolvane::TaskTermination& termination);
    // A tray host appeared, or registered again after a restart.
    void trayHostAppeared();
};

// The host of this process. Installed once at start-up by the entry point; tests install a fake for
// their own duration through ScopedHost.
Host& host();

class ScopedHost {
public:
    explicit ScopedHost(Host& installed);
    ~ScopedHost();
    ScopedHost(const ScopedHost&) = delete;
    ScopedHost& operator=(const ScopedHost&) = delete;

private:
    Host* m_previous;
};

} // namespace tolvane

Q_DECLARE_METATYPE(tolvane::TaskTermination)
