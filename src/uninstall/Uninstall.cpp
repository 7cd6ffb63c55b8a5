// The uninstall action: runs the uninstall tool installed beside the application, then quits.
#include "app/AppDelegate.h"
#include "app/Messages.h"
#include "common/ShellText.h"
#include "prefs/Checkbox.h"
#include "server/Paths.h"
#include "uninstall/UninstallTool.h"

#include <QDir>
#include <QFileInfo>

namespace tolvane {

namespace {

const QString ToolMissingFormat = QStringLiteral(
    "The Tolvane uninstall script is not found at '%1'. You need to reinstall the Tolvane application.");
const QString UninstallQuestion =
    QStringLiteral("Are you sure that you want to uninstall the Tolvane application?");
const QString UninstallFailedText =
    QStringLiteral("The Tolvane uninstall did not succeed. You can see the logs at the Console application.");

// The tool's refusal lines, each with its reason: the user sees why in the log view without the system log.
QStringList refusalLines(const QByteArray& errors)
{
    const QString start = UninstallLogIdent + QStringLiteral(": ") + UninstallRefusalStart;
    QStringList lines;
    for (const QString& line : QString::fromUtf8(errors).split(QLatin1Char('\n'))) {
        if (line.startsWith(start))
            lines.append(line);
    }
    return lines;
}

} // namespace

void AppDelegate::tolvaneUninstall(QObject*)
{
    // A translocated copy has nothing beside it: the tool is where the user put the product.
    if (host().bundleIsTranslocated()) {
        alert(TranslocatedText);
        return;
    }
    const QString folder = QFileInfo(host().bundlePath()).path();
    const QString toolPath = standardizePath(folder + QLatin1Char('/') + UninstallToolName);
    if (!pathExists(toolPath)) {
        alert(ToolMissingFormat.arg(toolPath));
        return;
    }
    if (!confirm(UninstallQuestion))
        return;

    const bool deleteData = outlets.deleteTolvaneData && checkboxState(*outlets.deleteTolvaneData) == StateOn;
    const QString answers = deleteData ? QStringLiteral("yes yes") : QStringLiteral("yes no");
    // The tool path is quoted, so that an installation folder with a blank works.
    const QString command = QStringLiteral("%1 %2").arg(shellQuoted(toolPath), answers);
    QByteArray errors;
    if (host().runSystem(command, &errors) != 0) {
        for (const QString& line : refusalLines(errors))
            displayLogs(line);
        alert(UninstallFailedText);
        return;
    }
    setQuitReason(QuitReasonUninstall);
    host().terminate();
}

} // namespace tolvane
