// A desktop without a notification service: the controller's notifications go to the tray icon's own
// message, which Qt draws as a balloon beside the icon on an XEmbed tray, and the user reads them there.
// run-fallback-test.sh makes that desktop: a session bus on which nothing answers for notifications
// and nothing can be activated, a virtual display and a tray. The real host, its real notification
// sink and the real tray icon are used; the test reads the balloon the user would see.
#include "Printing.h"
#include "app/Messages.h"
#include "platform/QtHost.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>

namespace tolvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const QString NotificationService = QStringLiteral("org.freedesktop.Notifications");

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// The texts of every balloon on screen, one list a balloon (its icon's empty label left out).
std::vector<QStringList> balloonsOnScreen()
{
    std::vector<QStringList> balloons;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || qstrcmp(window->metaObject()->className(), "QBalloonTip") != 0)
            continue;
        QStringList texts;
        for (const QLabel* label : window->findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                texts.append(label->text());
        }
        balloons.push_back(texts);
    }
    return balloons;
}

class NotificationFallbackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs a virtual display with a tray; run it through run-fallback-test.sh";
        QDBusConnection bus = QDBusConnection::sessionBus();
        ASSERT_TRUE(bus.isConnected()) << "no session bus";
        ASSERT_FALSE(bus.interface()->isServiceRegistered(NotificationService).value())
            << "a notification service is on the bus; this test needs a desktop without one";
        ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); })) << "no tray came";

        QPixmap mark(22, 22);
        mark.fill(Qt::darkGreen);
        icon.setIcon(QIcon(mark));
        icon.show();
        ASSERT_TRUE(waitFor([this] { return icon.geometry().isValid() && !icon.geometry().isEmpty(); }))
            << "the tray did not take the icon";
        host.setNotificationFallback(&icon);
    }

    QtHost host;
    ScopedHost installed{host};
    QSystemTrayIcon icon;
};

TEST_F(NotificationFallbackTest, WithoutAServiceTheTrayIconShowsEachNotification)
{
    struct Row {
        const char* name;
        QString subtitle;
        std::optional<QString> informativeText;
        QString body; // what the balloon shows under the title
    };
    const Row rows[] = {
        {"SubtitleOnly", QStringLiteral("Stopped"), std::nullopt, QStringLiteral("Stopped")},
        {"WithInformativeText", QStringLiteral("Running, you can now click on 'Open in Browser' menu."),
         QStringLiteral("Data folder: /home/user/.tolvane"),
         QStringLiteral(
             "Running, you can now click on 'Open in Browser' menu.\nData folder: /home/user/.tolvane")},
        {"EmptyInformativeText", QStringLiteral("Stopping"), QString(), QStringLiteral("Stopping")},
    };
    ASSERT_THAT(balloonsOnScreen(), IsEmpty());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        showNotification(row.subtitle, row.informativeText);
        // A later notification replaces the balloon of the one before: one balloon, the latest text.
        EXPECT_TRUE(waitFor([&] {
            const std::vector<QStringList> balloons = balloonsOnScreen();
            return balloons.size() == 1 && balloons.front().contains(row.body);
        })) << "no balloon with the notification's text came";
        EXPECT_THAT(balloonsOnScreen(), ElementsAre(ElementsAre(NotificationTitle, row.body)));
    }
}

} // namespace
} // namespace tolvane::testing
