// The controller: the one object that owns the state of the application and receives every event,
// from the platform's launch and termination calls to the end of every command it launched.
// Its member functions are defined in the folder of the behaviour they belong to.
#pragma once

#include "app/StatusItem.h"
#include "platform/HandOver.h"
#include "platform/Host.h"
#include "server/StatusCodes.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTabWidget>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>

namespace tolvane {

class PathControl;
class Popover;
struct InterpreterState;
struct InterpreterStep;

// Why the application terminates.
inline constexpr std::int32_t QuitReasonNone = 0;
inline constexpr std::int32_t QuitReasonUninstall = 4;

// The references to the interface elements, in their declared order. The controller owns the two
// windows, the status menu and the status items; it holds every other element weakly (null once the
// element is gone), except the log view, which it references without owning it and without clearing.
struct Outlets {
    std::unique_ptr<QWidget> splash;
    std::unique_ptr<QWidget> window;
    QPointer<QAction> startTolvane;
    QPointer<QAction> stopTolvane;
    QPointer<QAction> openInBrowserMenu;
    QPointer<QLabel> tolvaneVersion;
    QPointer<PathControl> customTolvaneData;
    QPointer<QCheckBox> loadOnLogin;
    QPointer<QCheckBox> startOnLoad;
    QPointer<QAbstractButton> tolvaneDataHelp;
    QPointer<Popover> popover;
    QPointer<QLabel> popoverMsg;
    QPointer<QAbstractButton> startButton;
    QPointer<QAbstractButton> stopButton;
    QPointer<QAbstractButton> openBrowserButton;
    std::unique_ptr<QMenu> statusMenu;
    std::unique_ptr<StatusItem> statusItem;
    std::unique_ptr<StatusItem> startItem;
    std::unique_ptr<StatusItem> stopItem;
    std::unique_ptr<StatusItem> openItem;
    QPlainTextEdit* taskLogs = nullptr;
    QPointer<QAbstractButton> resetAppAction;
    QPointer<QCheckBox> deleteTolvaneData;
    QPointer<QAbstractButton> tolvaneUninstallHelp;
    QPointer<QAbstractButton> savePrefs;
    QPointer<QWidget> aView;
    // Where the Preferences window stands in for the status menu when no tray runs: its tabs, the server
    // tab, and the Quit button there, shown only while no tray runs.
    QPointer<QTabWidget> tabs;
    QPointer<QWidget> serverTab;
    QPointer<QAbstractButton> quitButton;
};

class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Creation: registers the controller for the end of every command launched through the host.
    AppDelegate();
    ~AppDelegate() override;

    // Builds the windows, the status menu and the controls from the interface files, fills the outlets
    // by object name and connects every action. Shows the splash window.
    void loadInterface();

    Outlets outlets;

    // --- state
    bool autoStartOnLoad() const { return m_autoStartOnLoad; }
    void setAutoStartOnLoad(bool value) { m_autoStartOnLoad = value; }
    bool isLoaded() const { return m_isLoaded; }
    void setIsLoaded(bool value) { m_isLoaded = value; }
    bool isPortAlert() const { return m_isPortAlert; }
    void setIsPortAlert(bool value) { m_isPortAlert = value; }
    bool istolvaneStart() const { return m_istolvaneStart; }
    void setIstolvaneStart(bool value) { m_istolvaneStart = value; }
    std::int32_t status() const { return m_status.load(); }
    void setStatus(std::int32_t value) { m_status.store(value); }
    std::int32_t lastStatus() const { return m_lastStatus.load(); }
    void setLastStatus(std::int32_t value) { m_lastStatus.store(value); }
    std::int32_t quitReason() const { return m_quitReason; }
    void setQuitReason(std::int32_t value) { m_quitReason = value; }
    const QString& version() const { return m_version; }
    void setVersion(const QString& value) { m_version = value; }

    // --- application shell
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // The application was opened again while it runs: Preferences comes up unless one of the controller's
    // own windows or alerts is on screen.
    void reopen();
    bool hasVisibleWindows() const;
    // The status item goes into the tray, at launch where the tray will show it, else once a tray host
    // appears; each later appearance registers it again, so that the new host shows it.
    void placeStatusItem();
    void trayHostAppeared();
    void checkStatusItemRegistered();
    // Some time after launch: without a tray, the Preferences window comes up on the server tab and stands
    // in for the status menu, and a notification says so.
    void checkTray();
    // The Quit button of the Preferences window is there while no tray runs.
    void showQuitButtonWithoutTray();
    void applicationWillTerminate();
    void setNewStatus(std::int32_t code);
    void closeSplash();
    void displayLogs(const QString& text);

    // --- server control
    bool checkSetup(bool flag);
    // Launches the command; false, with the reason, when it could not be launched.
    bool runTask(const QString& command, QString* failure = nullptr);
    std::int32_t runTolvane(const QString& command);
    void startTolvaneTimer();
    std::int32_t getTolvaneStatus();
    void startFunction();
    void stopFunction(bool quitting);
    void openFunction();
    std::int32_t checkRunTask(const TaskTermination& notification);
    void showStatus(std::int32_t code);
    void toggleTolvaneDataPath(bool flag);

    // --- preferences and login integration
    bool registerDefaultPreferences();
    void loadPreferences();
    void savePreferences();
    void discardPreferences();
    void showPreferences();
    bool setEnvVarsAndPlist();
    void showPopOver(QWidget* anchor, const QString& withMsg);

public slots:
    // --- interface actions; each ignores its sender
    void start(QObject* sender);
    void startButton(QObject* sender);
    void stop(QObject* sender);
    void stopButton(QObject* sender);
    void open(QObject* sender);
    void openButton(QObject* sender);
    void showPreferences(QObject* sender);
    void hidePreferences(QObject* sender);
    void savePreferences(QObject* sender);
    void discardPreferences(QObject* sender);
    void customTolvaneData(QObject* sender);
    void loadOnLogin(QObject* sender);
    void startOnLoad(QObject* sender);
    void tolvaneDataHelp(QObject* sender);
    void uninstallHelp(QObject* sender);
    void tolvaneUninstall(QObject* sender);
    void clearLogs(QObject* sender);
    void closeSplash(QObject* sender);
    void quitApplcation(QObject* sender);
    void quitButton(QObject* sender);

private:
    // The status interpreter's input from the controller's state, and the carrying out of its step.
    InterpreterState interpreterState() const;
    void applyStatusStep(const InterpreterStep& step);
    // A server command was to run but the server executable is missing.
    void serverCommandNotLaunched(const QString& command);

    bool m_autoStartOnLoad = false;
    bool m_isLoaded = false;
    bool m_isPortAlert = false;
    bool m_istolvaneStart = false;
    std::atomic<std::int32_t> m_status{ServerStatusUndetermined};
    std::atomic<std::int32_t> m_lastStatus{ServerStatusUndetermined};
    std::int32_t m_quitReason = QuitReasonNone;
    QString m_version;

    // The termination step has run: the end of a command launched before (the stop sent at Quit)
    // changes nothing any more.
    bool m_terminated = false;
    QString m_portCheckOutput;
    // The missing-executable state is what the user sees; it is presented once, not at every poll.
    bool m_executableMissingShown = false;
    int m_runningStatusCommands = 0;
    // Log entries read on another thread reach the view through this, on the main thread.
    HandOver m_mainThreadWork;
};

} // namespace tolvane
