// Alerts, questions and notifications, with their system-log records.
#include "app/Messages.h"

#include "FakeHost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tolvane::testing {
namespace {

using ::testing::IsEmpty;

class MessagesTest : public ::testing::Test {
protected:
    FakeHost fake;
    ScopedHost installed{fake};
};

TEST_F(MessagesTest, AlertIsAWarningWithTheDefaultOkButtonOnly)
{
    alert(QStringLiteral("Port :8008 is occupied."));
    ASSERT_EQ(fake.alerts.size(), 1u);
    EXPECT_EQ(fake.alerts[0].messageText, QStringLiteral("Port :8008 is occupied."));
    EXPECT_EQ(fake.alerts[0].style, AlertStyle::Warning);
    EXPECT_THAT(fake.alerts[0].buttons, IsEmpty());
}

TEST_F(MessagesTest, ConfirmOffersOkThenCancelAndAnswersYesOnlyForOk)
{
    const struct {
        int answer;
        bool expected;
    } rows[] = {{FirstButtonReturn, true},
                {FirstButtonReturn + 1, false},
                {FirstButtonReturn + 2, false},
                {0, false}};
    for (const auto& row : rows) {
        fake.alertAnswers = {row.answer};
        EXPECT_EQ(confirm(QStringLiteral("Sure?")), row.expected) << row.answer;
    }
    ASSERT_FALSE(fake.alerts.empty());
    EXPECT_EQ(fake.alerts.back().buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Cancel")}));
    EXPECT_EQ(fake.alerts.back().messageText, QStringLiteral("Sure?"));
}

TEST_F(MessagesTest, NotificationCarriesTitleSoundAndBothTexts)
{
    showNotification(QStringLiteral("Stopped"), QString());
    ASSERT_EQ(fake.notifications.size(), 1u);
    const UserNotification& n = fake.notifications[0];
    EXPECT_EQ(n.title, QStringLiteral("Tolvane"));
    EXPECT_EQ(n.subtitle, QStringLiteral("Stopped"));
    ASSERT_TRUE(n.informativeText.has_value());
    EXPECT_EQ(*n.informativeText, QString());
    EXPECT_EQ(n.soundName, QStringLiteral("Basso.aiff"));
}

TEST_F(MessagesTest, SubtitleAndInformativeTextAreSeparateLogRecords)
{
    showNotification(QStringLiteral("Stopped"), QString());
    EXPECT_EQ(fake.logRecords, (QStringList{QStringLiteral("Stopped"), QString()}));

    fake.logRecords.clear();
    showNotification(QStringLiteral("Stopped"), std::nullopt);
    EXPECT_EQ(fake.logRecords, QStringList{QStringLiteral("Stopped")});
}

TEST_F(MessagesTest, TextsAreLoggedVerbatimNeverAsAFormat)
{
    const QString subtitle = QStringLiteral("Setting TOLVANE_HOME environment variable to %1...")
                                 .arg(QStringLiteral("/data/100%s%d%n"));
    showNotification(subtitle, QStringLiteral("%@ %s"));
    EXPECT_EQ(fake.logRecords,
              (QStringList{QStringLiteral("Setting TOLVANE_HOME environment variable to /data/100%s%d%n..."),
                           QStringLiteral("%@ %s")}));
}

} // namespace
} // namespace tolvane::testing
