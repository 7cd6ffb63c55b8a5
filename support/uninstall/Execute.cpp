// The run: the plan's actions in order, each step finished before a held signal is looked at.
#include "FileIdentity.h"
#include "Log.h"
#include "Platform.h"
#include "Runner.h"
#include "Signals.h"
#include "Uninstall.h"
#include "server/DataLocation.h"
#include "uninstall/UninstallTool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <sys/stat.h>

namespace tolvane::uninstall {

namespace {

using Kind = Action::Kind;

// How long a server command, and the whole administrator step with its prompt, may take.
constexpr std::chrono::seconds ServerCommandLimit{30};
constexpr std::chrono::minutes AdministratorLimit{10};
// A stop that returns before the server has exited gets this many looks, a second apart.
constexpr int StatusLooks = 5;
const QStringList RemoveCommand = {QStringLiteral("/bin/rm"), QStringLiteral("-rf"), QStringLiteral("--")};

QString described(const Action& action)
{
    return kindName(action.kind) + QLatin1Char(' ') + action.subject;
}

// Removes the entry with the user's own rights; a link goes as a link. Answers why it failed, or empty.
QString removeEntry(const QString& path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    bool removed = false;
    if (S_ISDIR(info.st_mode))
        removed = QDir(path).removeRecursively();
    else
        removed = QFile::remove(path);
    if (removed && !entryExists(path))
        return {};
    return entryExists(path) ? QStringLiteral("it is still there") : QString();
}

class Run {
public:
    Run(const Plan& plan, const Facts& facts, const QProcessEnvironment& environment, Log& log)
        : m_plan(plan), m_facts(facts), m_environment(environment), m_log(log)
    {
    }

    int run();

private:
    bool stopServer(const QString& executable);
    bool removeWithAdministratorRights(const QStringList& paths);
    bool removePackage(const QString& package);
    RunResult runAsAdministrator(const QStringList& command);
    void interrupted(int signal, std::size_t next);

    const Plan& m_plan;
    const Facts& m_facts;
    const QProcessEnvironment& m_environment;
    Log& m_log;
    QStringList m_done;
};

void Run::interrupted(int signal, std::size_t next)
{
    QStringList notDone;
    for (std::size_t i = next; i < m_plan.actions.size(); ++i)
        notDone.append(described(m_plan.actions[i]));
    m_log.line(QStringLiteral("stopped by %1; done: %2; not done: %3")
                   .arg(QString::fromLatin1(signalName(signal)),
                        m_done.isEmpty() ? QStringLiteral("nothing") : m_done.join(QStringLiteral(", ")),
                        notDone.isEmpty() ? QStringLiteral("nothing") : notDone.join(QStringLiteral(", "))));
}

bool Run::stopServer(const QString& executable)
{
    RunOptions options;
    options.limit = ServerCommandLimit;
    QProcessEnvironment environment = m_environment;
    if (m_facts.dataFolder) {
        const QString folder = resolved(*m_facts.dataFolder);
        environment.insert(ServerHomeVariable, folder.isEmpty() ? *m_facts.dataFolder : folder);
    }
    options.environment = environment;
    m_log.line(QStringLiteral("stopping the server with %1").arg(executable));
    const RunResult stop = runBounded(executable, {QStringLiteral("stop")}, options);
    if (!stop.said().isEmpty())
        m_log.line(QStringLiteral("the server's stop command said: %1").arg(stop.said()));
    if (stop.ended)
        m_log.line(QStringLiteral("the server's stop command did not end within %1 seconds and was ended")
                       .arg(ServerCommandLimit.count()));
    else if (stop.exitCode != 0)
        m_log.line(QStringLiteral("the server's stop command failed (exit status %1)").arg(stop.exitCode));
    for (int look = 0; look < StatusLooks; ++look) {
        if (look > 0)
            QThread::sleep(1);
        const RunResult status = runBounded(executable, {QStringLiteral("status")}, options);
        if (status.ended) {
            m_log.line(
                QStringLiteral("the server's status command did not end within %1 seconds and was ended")
                    .arg(ServerCommandLimit.count()));
            // A status that does not answer cannot tell that the server has stopped.
            return false;
        }
        // Exit status 0 means the server still runs.
        if (status.started && status.exitCode != 0)
            return true;
    }
    return false;
}

RunResult Run::runAsAdministrator(const QStringList& command)
{
    RunOptions options;
    options.limit = AdministratorLimit;
    if (m_facts.privileged)
        return runBounded(command.first(), command.mid(1), options);
    QString missing;
    const std::optional<Command> admin = administratorCommand(command, m_environment, &missing);
    if (!admin) {
        RunResult none;
        none.failure = missing;
        return none;
    }
    options.ownSession = !admin->asksOnTerminal;
    return runBounded(admin->program, admin->arguments, options);
}

bool Run::removeWithAdministratorRights(const QStringList& paths)
{
    m_log.line(QStringLiteral("asking for administrator rights to remove: %1")
                   .arg(paths.join(QStringLiteral(", "))));
    const RunResult result = runAsAdministrator(RemoveCommand + paths);
    if (!result.failure.isEmpty())
        m_log.line(result.failure);
    if (!result.said().isEmpty())
        m_log.line(QStringLiteral("the administrator command said: %1").arg(result.said()));
    bool complete = true;
    for (const QString& path : paths) {
        if (entryExists(path)) {
            complete = false;
            m_log.line(QStringLiteral("could not remove %1 with administrator rights").arg(path));
        } else {
            m_log.line(QStringLiteral("removed %1 with administrator rights").arg(path));
        }
    }
    if (!complete)
        m_log.line(
            QStringLiteral("the removal with administrator rights failed or was cancelled (exit status %1); "
                           "nothing of the user's was touched, and the uninstall can run again")
                .arg(result.exitCode));
    return complete;
}

bool Run::removePackage(const QString& package)
{
    m_log.line(QStringLiteral("removing the Debian package %1").arg(package));
    const RunResult result = runAsAdministrator(packageRemovalCommand(package));
    if (!result.failure.isEmpty())
        m_log.line(result.failure);
    if (!result.said().isEmpty())
        m_log.line(QStringLiteral("the package removal said: %1").arg(result.said()));
    if (entryExists(m_facts.tool)) {
        m_log.line(
            QStringLiteral("could not remove the package %1 (exit status %2); nothing of the user's was "
                           "touched, and the uninstall can run again")
                .arg(package)
                .arg(result.exitCode));
        return false;
    }
    m_log.line(QStringLiteral("removed the package %1").arg(package));
    return true;
}

int Run::run()
{
    bool failed = false;
    const auto& actions = m_plan.actions;
    std::size_t i = 0;
    while (i < actions.size()) {
        if (const auto signal = arrivedTerminationSignal()) {
            interrupted(*signal, i);
            return 1;
        }
        const Action& action = actions[i];
        std::size_t next = i + 1;
        switch (action.kind) {
        case Kind::Refuse:
            m_log.line(refusalLine(action));
            return 1;
        case Kind::StopServer:
            if (!stopServer(action.subject)) {
                m_log.line(refusalLine(
                    {Kind::Refuse, QStringLiteral("-"), QStringLiteral("the uninstall"),
                     QStringLiteral("the Tolvane server is still running; stop it and try again")}));
                return 1;
            }
            break;
        case Kind::AdminRemove: {
            // One prompt for all of them.
            QStringList paths;
            for (next = i; next < actions.size() && actions[next].kind == Kind::AdminRemove; ++next)
                paths.append(actions[next].subject);
            if (!removeWithAdministratorRights(paths))
                return 1;
            break;
        }
        case Kind::RemovePackage:
            if (!removePackage(action.subject))
                return 1;
            break;
        case Kind::UserRemove:
            if (const QString why = removeEntry(action.subject); !why.isEmpty()) {
                m_log.line(QStringLiteral("could not remove %1: %2; the uninstall did not finish")
                               .arg(action.subject, why));
                return 1;
            }
            m_log.line(QStringLiteral("removed %1").arg(action.subject));
            break;
        case Kind::RemoveSetting:
            beforeRemovingSetting(action.subject, m_log);
            if (const QString why = removeEntry(action.subject); !why.isEmpty()) {
                m_log.line(QStringLiteral("could not remove %1: %2").arg(action.subject, why));
                failed = true;
            } else {
                m_log.line(QStringLiteral("removed %1").arg(action.subject));
            }
            break;
        case Kind::UnsetEnvironment:
            unsetSessionVariable(action.subject, m_log);
            break;
        case Kind::Trash: {
            struct stat info;
            const bool isData = !(::lstat(QFile::encodeName(action.subject).constData(), &info) == 0 &&
                                  S_ISLNK(info.st_mode));
            if (const QString why = prepareTrash(m_environment, m_facts.home, action.subject);
                !why.isEmpty()) {
                m_log.line(QStringLiteral("could not move %1 to the Trash: %2; it stays where it is")
                               .arg(action.subject, why));
                return 1;
            }
            QString where;
            if (!QFile::moveToTrash(action.subject, &where)) {
                m_log.line(QStringLiteral("could not move %1 to the Trash; it stays where it is")
                               .arg(action.subject));
                return 1;
            }
            if (!QDir::isAbsolutePath(where)) {
                m_log.line(QStringLiteral("the Trash could not be found: %1 was moved to %2 instead")
                               .arg(action.subject, QFileInfo(where).absoluteFilePath()));
                return 1;
            }
            m_log.line(
                isData
                    ? QStringLiteral("moved the data folder %1 to the Trash: %2").arg(action.subject, where)
                    : QStringLiteral("moved the link %1, which led to the data folder, to the Trash: %2")
                          .arg(action.subject, where));
            break;
        }
        case Kind::Keep:
            m_log.line(QStringLiteral("keeping the data folder %1").arg(action.subject));
            break;
        }
        for (std::size_t done = i; done < next; ++done)
            m_done.append(described(actions[done]));
        i = next;
    }
    if (const auto signal = arrivedTerminationSignal()) {
        interrupted(*signal, actions.size());
        return 1;
    }
    if (failed) {
        m_log.line(
            QStringLiteral("the uninstall did not finish: some things could not be removed (see above)"));
        return 1;
    }
    m_log.line(QStringLiteral("uninstall done"));
    return 0;
}

} // namespace

int execute(const Plan& plan, const Facts& facts, const QProcessEnvironment& environment, Log& log)
{
    return Run(plan, facts, environment, log).run();
}

namespace {

int usage(Log& log, const QString& problem)
{
    log.line(problem);
    log.line(
        QStringLiteral("usage: %1 [--plan] yes yes|no (confirm; also move the data folder to the Trash or "
                       "keep it); nothing removed")
            .arg(UninstallToolName));
    return 2;
}

} // namespace

int runTool(const QStringList& arguments, const QProcessEnvironment& environment, const QString& toolPath,
            Log& log)
{
    QStringList answers = arguments;
    const bool planOnly = !answers.isEmpty() && answers.first() == QLatin1String("--plan");
    if (planOnly)
        answers.removeFirst();
    if (answers.size() != 2)
        return usage(log, QStringLiteral("expected 2 arguments, got %1").arg(answers.size()));
    if (answers[1] != QLatin1String("yes") && answers[1] != QLatin1String("no"))
        return usage(log,
                     QStringLiteral("the second argument must be yes or no, not \"%1\"").arg(answers[1]));
    if (answers[0] == QLatin1String("no")) {
        log.line(QStringLiteral("the uninstall was not confirmed; nothing removed"));
        return 1;
    }
    if (answers[0] != QLatin1String("yes"))
        return usage(log, QStringLiteral("the first argument must be yes, not \"%1\"").arg(answers[0]));
    const bool removeData = answers[1] == QLatin1String("yes");

    const Facts facts = gatherFacts(environment, toolPath, removeData, log);
    log.line(QStringLiteral("uninstalling Tolvane (product folder %1; move the data folder to the Trash: %2)")
                 .arg(facts.productFolder, answers[1]));
    if (facts.dataFolder)
        log.line(QStringLiteral("data folder: %1").arg(*facts.dataFolder));
    else
        log.line(QStringLiteral("no data folder found"));
    const Plan plan = makePlan(facts);
    if (planOnly) {
        std::fputs(planText(plan).toUtf8().constData(), stdout);
        std::fflush(stdout);
    }
    // Every refusal is told, each on its line; then nothing is done.
    for (const Action& refusal : plan.of(Action::Kind::Refuse))
        log.line(refusalLine(refusal));
    if (planOnly || plan.refused())
        return plan.refused() ? 1 : 0;
    return execute(plan, facts, environment, log);
}

} // namespace tolvane::uninstall
