// The uninstall tool as the controller and the tool itself both know it: its file name beside the controller
// and how its log lines start.
#pragma once

#include <QString>

namespace tolvane {

inline const QString UninstallToolName = QStringLiteral("Tolvane_Uninstall.tool");
// Every line the tool writes on its standard error is "<ident>: <text>"; the ident is its name in the system
// log too. A refusal's text starts with "refusing " and is one line with its reason.
inline const QString UninstallLogIdent = QStringLiteral("Tolvane_Uninstall");
inline const QString UninstallRefusalStart = QStringLiteral("refusing ");

} // namespace tolvane
