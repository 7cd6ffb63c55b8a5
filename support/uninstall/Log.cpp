// Standard error and syslog; the text is passed as an argument, never as a format.
#include "Log.h"

#include "uninstall/UninstallTool.h"

#include <cstdio>
#include <syslog.h>

namespace tolvane::uninstall {

void Log::line(const QString& text)
{
    // syslog keeps the ident's address: it lives as long as the program.
    static const QByteArray ident = UninstallLogIdent.toUtf8();
    static const bool opened = [] {
        openlog(ident.constData(), LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    // One line each: a line break inside a path must not start a line of its own.
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    const QByteArray bytes = flat.toUtf8();
    syslog(LOG_NOTICE, "%s", bytes.constData());
    std::fprintf(stderr, "%s: %s\n", ident.constData(), bytes.constData());
    std::fflush(stderr);
}

} // namespace tolvane::uninstall
