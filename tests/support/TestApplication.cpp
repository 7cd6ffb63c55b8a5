// The set-up of test and benchmark programs.
#include "TestApplication.h"

#include <QString>
#include <QtGlobal>

namespace tolvane::testing {

namespace {

QtMessageHandler g_defaultHandler = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")) ||
        message.contains(QLatin1String("systemTrayWindowChanged")))
        return;
    g_defaultHandler(type, context, message);
}

} // namespace

void defaultToOffscreenPlatform()
{
    // For the whole program, so not a scoped setting.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void silenceOffscreenPlatformWarnings()
{
    g_defaultHandler = qInstallMessageHandler(quietHandler);
}

} // namespace tolvane::testing
