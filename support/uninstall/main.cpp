// Tolvane_Uninstall.tool: removes the Tolvane controller, its settings and login entries and, when asked,
// moves the server's data folder to the user's Trash. The controller runs it from the product folder.
//
// Usage: Tolvane_Uninstall.tool [--plan] yes yes|no
//   first answer   "yes" confirms the uninstall
//   second answer  "yes" also moves the data folder to the Trash, "no" keeps it untouched
//   --plan         prints what the run would do, one action a line, and changes nothing
//
// Exit status: 0 when everything asked for was done; 1 when something was refused or failed, the
// uninstall was not confirmed, a signal stopped it or the server kept running; 2 on a usage error.
#include "Log.h"
#include "Signals.h"
#include "Uninstall.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

namespace {

// Qt's own warnings (a Trash it cannot find, a runtime folder) become log lines like every other.
void logQtMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    static tolvane::uninstall::Log log;
    log.line(QStringLiteral("Qt: %1").arg(message));
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread exists, so that every thread holds them too.
    tolvane::uninstall::holdTerminationSignals();
    qInstallMessageHandler(logQtMessage);
    QCoreApplication application(argc, argv);
    tolvane::uninstall::Log log;
    return tolvane::uninstall::runTool(QCoreApplication::arguments().mid(1),
                                       QProcessEnvironment::systemEnvironment(),
                                       QCoreApplication::applicationFilePath(), log);
}
