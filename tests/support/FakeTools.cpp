// The fake command-line tools.
#include "FakeTools.h"

#include "Files.h"
#include "Programs.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>

namespace tolvane::testing {

namespace {

// Runs are numbered from 0 in the order they start; the record is written aside and renamed into place.
// A fake succeeds whatever becomes of its record (a test may fill the disk under it); a test that needs
// the record reads it and fails when it is not there.
const QByteArray FakeScript = QByteArrayLiteral(
    "#!/bin/sh\n"
    "log=\"$FAKE_TOOL_LOG/$(basename \"$0\")\"\n"
    "n=0\n"
    "while [ -e \"$log.$n.args\" ]; do n=$((n+1)); done\n"
    "{ printf '%s\\0' \"$0\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } > \"$log.$n.$$\" "
    "&& mv \"$log.$n.$$\" \"$log.$n.args\"\n"
    "exit 0\n");

const QString RecordSuffix = QStringLiteral(".args");

std::optional<Invocation> parseRecord(QByteArray record)
{
    // Every field, the last one too, ends with a NUL.
    if (!record.endsWith('\0'))
        return std::nullopt;
    record.chop(1);
    QList<QByteArray> fields = record.split('\0');
    Invocation invocation;
    invocation.invokedAs = fields.takeFirst();
    invocation.arguments = fields;
    return invocation;
}

} // namespace

const QStringList& FakeTools::sessionTools()
{
    static const QStringList tools{QStringLiteral("launchctl"),
                                   QStringLiteral("defaults"),
                                   QStringLiteral("osascript"),
                                   QStringLiteral("open"),
                                   QStringLiteral("dbus-update-activation-environment"),
                                   QStringLiteral("systemctl")};
    return tools;
}

FakeTools::FakeTools()
{
    QDir().mkpath(binFolder());
    QDir().mkpath(logFolder());
    for (const QString& tool : sessionTools())
        addTool(tool);
}

QString FakeTools::binFolder() const
{
    return root() + QStringLiteral("/bin");
}

QString FakeTools::logFolder() const
{
    return root() + QStringLiteral("/log");
}

QString FakeTools::recordPath(const QString& name, int run) const
{
    return QStringLiteral("%1/%2.%3").arg(logFolder(), name).arg(run) + RecordSuffix;
}

void FakeTools::addTool(const QString& name)
{
    addToolAt(binFolder() + QLatin1Char('/') + name);
}

void FakeTools::addToolAt(const QString& path)
{
    writeFile(path, FakeScript,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                  QFileDevice::ReadGroup | QFileDevice::ExeGroup);
}

QProcessEnvironment FakeTools::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       binFolder() + QLatin1Char(':') +
                           environment.value(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin")));
    environment.insert(QString::fromLatin1(LogVariable), logFolder());
    environment.remove(QStringLiteral("TOLVANE_HOME"));
    return environment;
}

void FakeTools::install(ScopedEnvironment& variables) const
{
    variables.set("PATH", binFolder() + QLatin1Char(':') +
                              qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin")));
    variables.set(LogVariable, logFolder());
}

int FakeTools::runShell(const QString& command) const
{
    return runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}, nullptr, nullptr,
                      {.environment = environment(), .workingDirectory = root()});
}

std::vector<Invocation> FakeTools::invocations(const QString& name) const
{
    std::vector<Invocation> runs;
    for (int run = 0; QFileInfo::exists(recordPath(name, run)); ++run) {
        // A record that does not parse is kept as a run with no name, so that a test sees it.
        runs.push_back(parseRecord(readFile(recordPath(name, run))).value_or(Invocation{}));
    }
    return runs;
}

std::optional<Invocation> FakeTools::invocation(const QString& name) const
{
    std::vector<Invocation> runs = invocations(name);
    if (runs.empty())
        return std::nullopt;
    return runs.back();
}

QStringList FakeTools::ran() const
{
    QSet<QString> names;
    for (const QString& entry : folderEntries(logFolder())) {
        if (entry.endsWith(RecordSuffix))
            names.insert(entry.chopped(RecordSuffix.size()).section(QLatin1Char('.'), 0, -2));
    }
    QStringList sorted(names.begin(), names.end());
    sorted.sort();
    return sorted;
}

bool FakeTools::waitForInvocation(const QString& name) const
{
    QDeadlineTimer deadline(ProgramTimeoutMs);
    while (!QFileInfo::exists(recordPath(name, 0))) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

void FakeTools::forget() const
{
    for (const QString& entry : folderEntries(logFolder()))
        QFile::remove(logFolder() + QLatin1Char('/') + entry);
}

QString FakeTools::injectionMarker() const
{
    return root() + QStringLiteral("/injected");
}

} // namespace tolvane::testing
