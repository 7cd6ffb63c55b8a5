// Opening the application again while it runs: a second launch hands a reopen request to the running
// controller over a per-user local socket and exits, so that only one controller ever runs.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace tolvane {

class ReopenChannel : public QObject {
    Q_OBJECT
public:
    // The socket and its lock live in `folder`: the user's runtime folder by default.
    explicit ReopenChannel(const QString& folder = defaultFolder());
    ~ReopenChannel() override;

    // True when another controller of this user runs and has taken the request; this one should exit.
    bool handOverToRunningInstance();

    // Becomes the running instance: each later launch calls `onReopen`. False when the socket cannot
    // be made (the controller then runs without the hand-over).
    bool listen(std::function<void()> onReopen);

    QString socketPath() const { return m_socketPath; }

    static QString defaultFolder();

private:
    QString m_socketPath;
    QLockFile m_lock;
    QLocalServer m_server;
    std::function<void()> m_onReopen;
};

} // namespace tolvane
