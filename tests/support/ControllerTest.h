// A controller on a fake host, built from the real interface files, past its will-finish step.
#pragma once

#include "FakeHost.h"
#include "app/AppDelegate.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>

namespace tolvane::testing {

class ControllerTest : public ::testing::Test {
protected:
    ControllerTest();
    ~ControllerTest() override;

    // A file at the path (folders made as needed), or a folder.
    static void makeFile(const QString& path);
    static void makeFolder(const QString& path);

    // Points TOLVANE_PEX at an existing file, so that the server executable exists.
    void installExecutable();
    // The status item as the launch makes it.
    void makeStatusItem();

    QString executablePath() const { return fake.folder.filePath(QStringLiteral("support/tolvane.pex")); }
    StatusItem& item() { return *controller->outlets.statusItem; }

    FakeHost fake;
    ScopedHost installed{fake};
    std::unique_ptr<AppDelegate> controller;
};

} // namespace tolvane::testing
