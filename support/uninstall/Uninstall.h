// The uninstall as a whole: the facts gathered from the environment and the file system, and the run of
// a plan.
#pragma once

#include "Plan.h"

#include <QProcessEnvironment>
#include <QString>

namespace tolvane::uninstall {

class Log;

// What the build knows about the installed layout (support/uninstall/CMakeLists.txt defines it).
struct Layout {
    // The controller's file beside the tool, the server executable from the product folder, the way
    // from the product folder to the install prefix and the product's files outside its folder.
    QString controllerFile;
    QString serverInProduct;
    QString prefixFromProduct;
    QStringList outsideFiles;
};
Layout buildLayout();

// The facts of this machine and user for the tool at toolPath.
Facts gatherFacts(const QProcessEnvironment& environment, const QString& toolPath, bool removeData, Log& log);

// Runs the plan, step by step; answers the exit status. A termination signal that arrived during a step
// ends the run after that step.
int execute(const Plan& plan, const Facts& facts, const QProcessEnvironment& environment, Log& log);

// The whole tool: arguments (without the program name) to exit status.
int runTool(const QStringList& arguments, const QProcessEnvironment& environment, const QString& toolPath,
            Log& log);

} // namespace tolvane::uninstall
