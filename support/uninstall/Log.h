// The tool's log: every line to standard error as "Tolvane_Uninstall: <text>" and to the system log under
// the ident "Tolvane_Uninstall".
#pragma once

#include <QString>

namespace tolvane::uninstall {

class Log {
public:
    virtual ~Log() = default;
    virtual void line(const QString& text);
};

} // namespace tolvane::uninstall
