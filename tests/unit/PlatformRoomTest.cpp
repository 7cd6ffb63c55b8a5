// What the platform's room decides for this build: the left click on the status item, and the path
// hint for a translocated bundle.
#include "ControllerTest.h"
#include "platform/Translocation.h"

#include <QApplication>

namespace tolvane::testing {
namespace {

// The status item placed with the status menu, and a count of the times that menu opened.
class StatusItemClickTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        makeStatusItem();
        item().setMenu(controller->outlets.statusMenu.get());
        item().place();
        menu = item().menu();
        ASSERT_NE(menu, nullptr);
        QObject::connect(menu, &QMenu::aboutToShow, [this] { ++shown; });
    }

    QMenu* menu = nullptr;
    int shown = 0;
};

#ifndef Q_OS_MACOS
// A tray leaves the left click to the application: it opens the status menu, once; other activations
// open nothing of the controller's own (the tray shows the context menu itself).
TEST_F(StatusItemClickTest, ALeftClickOpensTheMenuOnce)
{
    for (const auto reason :
         {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick})
        emit item().trayIcon()->activated(reason);
    EXPECT_EQ(shown, 0);
    EXPECT_FALSE(menu->isVisible());

    emit item().trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}
#else
// The menu bar opens the item's menu by itself: a popup of the controller's own would be a second one.
TEST_F(StatusItemClickTest, ALeftClickLeavesTheMenuToTheMenuBar)
{
    emit item().trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(shown, 0);
}
#endif

struct TranslocationRow {
    const char* name;
    QString path;
    bool translocated;
};

void PrintTo(const TranslocationRow& row, std::ostream* os)
{
    *os << row.name;
}

class TranslocationHint : public ::testing::TestWithParam<TranslocationRow> {};

TEST_P(TranslocationHint, OnlyTheSystemsRandomCopyCounts)
{
    EXPECT_EQ(looksTranslocated(GetParam().path), GetParam().translocated) << GetParam().path.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TranslocationHint,
    ::testing::Values(
        TranslocationRow{"RandomCopy",
                         QStringLiteral("/private/var/folders/xy/abc123/T/AppTranslocation/"
                                        "5A1B2C3D-0000-4E5F-8A9B-0C1D2E3F4A5B/d/Tolvane.app"),
                         true},
        TranslocationRow{"ThroughTheVarLink",
                         QStringLiteral("/var/folders/xy/abc123/T/AppTranslocation/5A1B/d/Tolvane.app"),
                         true},
        TranslocationRow{"Installed", QStringLiteral("/Applications/Tolvane/Tolvane.app"), false},
        TranslocationRow{"Downloads", QStringLiteral("/Users/a/Downloads/Tolvane/Tolvane.app"), false},
        TranslocationRow{"AFolderOfThatNameElsewhere",
                         QStringLiteral("/Users/a/AppTranslocation/x/d/Tolvane.app"), false},
        TranslocationRow{"TheTranslocationFolderItself",
                         QStringLiteral("/private/var/folders/xy/abc/T/AppTranslocation"), false},
        TranslocationRow{"ANameThatOnlyContainsIt",
                         QStringLiteral("/private/var/folders/xy/abc/T/MyAppTranslocationTool/x/Tolvane.app"),
                         false}),
    [](const ::testing::TestParamInfo<TranslocationRow>& row) { return std::string(row.param.name); });

} // namespace
} // namespace tolvane::testing
