// Process probes for the tests (Linux: the state comes from /proc).
#include "ProcessProbe.h"

#include <QFile>

#include <cerrno>
#include <csignal>

namespace tolvane::testing {

bool processRunning(pid_t pid)
{
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno == ESRCH))
        return false;
    // "pid (name) S ...": the state follows the last closing parenthesis.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

std::vector<pid_t> pidsInFile(const QString& path)
{
    std::vector<pid_t> pids;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return pids;
    for (const QByteArray& line : file.readAll().split('\n')) {
        bool ok = false;
        const int pid = line.trimmed().toInt(&ok);
        if (ok && pid > 0)
            pids.push_back(static_cast<pid_t>(pid));
    }
    return pids;
}

} // namespace tolvane::testing
