// Processes seen from outside.
#include "Processes.h"

#include "Files.h"

#include <QDir>
#include <QList>
#include <algorithm>
#include <cerrno>
#include <iterator>
#include <signal.h>
#include <unistd.h>

namespace tolvane::testing {

std::vector<pid_t> pidsIn(const QString& path)
{
    std::vector<pid_t> pids;
    for (const QByteArray& line : readFile(path).split('\n')) {
        if (!line.trimmed().isEmpty())
            pids.push_back(static_cast<pid_t>(line.trimmed().toInt()));
    }
    return pids;
}

bool processRunning(pid_t pid)
{
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno == ESRCH))
        return false;
    // "pid (name) S ...": the state follows the last closing parenthesis.
    const QByteArray line = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    if (line.isEmpty())
        return false; // gone since
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

std::vector<pid_t> livingProcesses(const std::vector<pid_t>& pids)
{
    std::vector<pid_t> living;
    std::copy_if(pids.begin(), pids.end(), std::back_inserter(living), processRunning);
    return living;
}

std::optional<long> procStatusField(pid_t pid, const char* field)
{
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : readFile(QStringLiteral("/proc/%1/status").arg(pid)).split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
    }
    return std::nullopt;
}

long residentKiB()
{
    return procStatusField(::getpid(), "VmRSS").value_or(-1);
}

std::vector<pid_t> childProcesses(pid_t parent, bool withZombies)
{
    std::vector<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses, so read after the last ')'.
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(entry));
        const qsizetype nameEnd = stat.lastIndexOf(')');
        if (nameEnd < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
        if (fields.size() >= 2 && (withZombies || fields[0] != "Z") && fields[1].toInt() == parent)
            found.push_back(pid);
    }
    return found;
}

std::vector<pid_t> descendantProcesses(pid_t ancestor)
{
    std::vector<pid_t> found = childProcesses(ancestor);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const std::vector<pid_t> children = childProcesses(found[i]);
        found.insert(found.end(), children.begin(), children.end());
    }
    return found;
}

} // namespace tolvane::testing
