// The main of every test program: a widget application on the offscreen platform, then the tests.
#include <QApplication>

#include <gtest/gtest.h>

namespace {

QtMessageHandler g_defaultHandler = nullptr;

// The offscreen platform warns about every window feature it lacks; the tests do not need to hear it.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    g_defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char* argv[])
{
    g_defaultHandler = qInstallMessageHandler(quietHandler);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
