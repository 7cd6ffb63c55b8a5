#include "LoginTestTools.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <unistd.h>

namespace tolvane::logintest {

namespace {

constexpr int ProcessTimeoutMs = 20000;

const QByteArray FakeScript = QByteArrayLiteral(
    "#!/bin/sh\n"
    "name=$(basename \"$0\")\n"
    "{ printf '%s\\0' \"$0\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } "
    "> \"$FAKE_TOOL_LOG/$name.tmp\" && mv \"$FAKE_TOOL_LOG/$name.tmp\" \"$FAKE_TOOL_LOG/$name.args\"\n");

} // namespace

FakeTools::FakeTools()
{
    QDir(root()).mkpath(QStringLiteral("bin"));
    QDir(root()).mkpath(QStringLiteral("log"));
}

void FakeTools::addTool(const QString& name)
{
    addToolAt(root() + QStringLiteral("/bin/") + name);
}

void FakeTools::addToolAt(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(FakeScript);
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                            QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    }
}

QProcessEnvironment FakeTools::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       root() + QStringLiteral("/bin:") +
                           environment.value(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin")));
    environment.insert(QStringLiteral("FAKE_TOOL_LOG"), root() + QStringLiteral("/log"));
    environment.remove(QStringLiteral("TOLVANE_HOME"));
    return environment;
}

int FakeTools::runShell(const QString& command) const
{
    return runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}, nullptr, nullptr,
                      environment(), root());
}

std::optional<Invocation> FakeTools::invocation(const QString& name) const
{
    QFile file(root() + QStringLiteral("/log/") + name + QStringLiteral(".args"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray record = file.readAll();
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

QStringList FakeTools::ran() const
{
    QStringList names;
    for (const QString& entry : folderEntries(root() + QStringLiteral("/log"))) {
        if (entry.endsWith(QLatin1String(".args")))
            names << entry.chopped(5);
    }
    return names;
}

bool FakeTools::waitForInvocation(const QString& name) const
{
    const QString path = root() + QStringLiteral("/log/") + name + QStringLiteral(".args");
    QDeadlineTimer deadline(ProcessTimeoutMs);
    while (!QFileInfo::exists(path)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

QString FakeTools::injectionMarker() const
{
    return root() + QStringLiteral("/injected");
}

QStringList awkwardDataLocations()
{
    return {
        QStringLiteral("/Users/a/tolvane data"),
        QStringLiteral("/tmp/say \"hello\""),
        QStringLiteral("/tmp/$HOME/${PATH}/$1$@$$"),
        QStringLiteral("/tmp/$(touch injected)"),
        QStringLiteral("/tmp/`touch injected`"),
        QStringLiteral("/tmp/back\\slash\\"),
        QStringLiteral("/tmp/it's o'clock"),
        QStringLiteral("/tmp/Tölväne データ"),
        QStringLiteral("/tmp/a;b&c|d<e>f*?[x]~!#%{}"),
        QStringLiteral("  leading and trailing blanks  "),
        QStringLiteral("/tmp/'$(touch injected)'\"`touch injected`\"\\"),
    };
}

int runProgram(const QString& program, const QStringList& arguments, QByteArray* output, QByteArray* errors,
               const std::optional<QProcessEnvironment>& environment, const QString& workingDirectory)
{
    QProcess process;
    if (environment)
        process.setProcessEnvironment(*environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForStarted(ProcessTimeoutMs))
        return -1;
    process.closeWriteChannel();
    if (!process.waitForFinished(ProcessTimeoutMs)) {
        process.kill();
        process.waitForFinished(ProcessTimeoutMs);
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    if (errors)
        *errors = process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

QStringList folderEntries(const QString& path)
{
    QStringList entries =
        QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    entries.sort();
    return entries;
}

LockedFolder::LockedFolder(const QString& path) : m_path(path)
{
    // Root writes into read-only folders, so for root only the immutable attribute shuts a folder.
    if (runProgram(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0) {
        m_mode = Mode::Immutable;
        return;
    }
    if (geteuid() != 0 && QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner))
        m_mode = Mode::ReadOnly;
}

LockedFolder::~LockedFolder()
{
    if (m_mode == Mode::Immutable)
        runProgram(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
    else if (m_mode == Mode::ReadOnly)
        QFile::setPermissions(m_path,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace tolvane::logintest
