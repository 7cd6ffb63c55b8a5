// The controller fixture.
#include "ControllerTest.h"

#include <QFileInfo>

namespace tolvane::testing {

ControllerTest::ControllerTest()
{
    QDir().mkpath(fake.home);
    fake.env.insert(QStringLiteral("HOME"), fake.home);
    controller = std::make_unique<AppDelegate>();
    controller->loadInterface();
    controller->applicationWillFinishLaunching();
}

ControllerTest::~ControllerTest()
{
    controller.reset();
}

void ControllerTest::makeFile(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

void ControllerTest::makeFolder(const QString& path)
{
    ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString();
}

void ControllerTest::installExecutable()
{
    makeFile(executablePath());
    fake.env.insert(QStringLiteral("TOLVANE_PEX"), executablePath());
}

void ControllerTest::makeStatusItem()
{
    controller->outlets.statusItem = std::make_unique<StatusItem>();
    controller->outlets.statusItem->setImage(QStringLiteral("favicon"));
}

} // namespace tolvane::testing
