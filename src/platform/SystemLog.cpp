// Records go to syslog under the ident "Tolvane" and to standard error, as the platform's own logger
// does. The record is passed as an argument, never as the format.
#include "platform/SystemLog.h"

#include <QDateTime>
#include <cstdio>
#include <mutex>
#include <syslog.h>
#include <unistd.h>

namespace tolvane {

void writeSystemLog(const QString& record)
{
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("Tolvane", LOG_PID, LOG_USER); });
    const QByteArray text = record.toUtf8();
    syslog(LOG_NOTICE, "%s", text.constData());
    const QByteArray stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
    std::fprintf(stderr, "%s Tolvane[%d] %s\n", stamp.constData(), static_cast<int>(getpid()),
                 text.constData());
    std::fflush(stderr);
}

} // namespace tolvane
