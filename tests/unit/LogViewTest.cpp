// The log view: time stamps of the 12-hour clock, one entry per piece of output, clearing.
#include "app/LogView.h"

#include "ControllerTest.h"
#include "platform/HandOver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScrollBar>
#include <atomic>
#include <thread>

namespace tolvane::testing {
namespace {

struct StampRow {
    QTime time;
    const char* stamp;
};

void PrintTo(const StampRow& row, std::ostream* os)
{
    *os << row.time.toString(QStringLiteral("HH:mm:ss")).toStdString();
}

class LogTimeStampTest : public ::testing::TestWithParam<StampRow> {};

TEST_P(LogTimeStampTest, UsesTheTwelveHourClockWithoutMarker)
{
    EXPECT_EQ(logTimeStamp(QDateTime(QDate(2026, 3, 7), GetParam().time)),
              QString::fromLatin1(GetParam().stamp));
}

INSTANTIATE_TEST_SUITE_P(Hours, LogTimeStampTest,
                         ::testing::Values(StampRow{QTime(15, 4, 5), "2026-03-07 03:04:05"},
                                           StampRow{QTime(0, 30, 0), "2026-03-07 12:30:00"},
                                           StampRow{QTime(12, 0, 59), "2026-03-07 12:00:59"},
                                           StampRow{QTime(9, 59, 1), "2026-03-07 09:59:01"},
                                           StampRow{QTime(23, 59, 59), "2026-03-07 11:59:59"}));

using LogViewTest = ControllerTest;

TEST_F(LogViewTest, EveryEntryBeginsWithALineFeedAndTheStamp)
{
    fake.now = QDateTime(QDate(2026, 12, 9), QTime(15, 4, 5));
    controller->displayLogs(QStringLiteral("Tolvane is running."));
    fake.now = QDateTime(QDate(2026, 12, 10), QTime(0, 30, 0));
    controller->displayLogs(QStringLiteral("Tolvane is stopped."));
    EXPECT_EQ(
        controller->outlets.taskLogs->toPlainText(),
        QStringLiteral("\n2026-12-09 03:04:05 Tolvane is running.\n2026-12-10 12:30:00 Tolvane is stopped."));
}

TEST_F(LogViewTest, OutputEndingInALineFeedLeavesAnEmptyLineAndIsTakenWhole)
{
    controller->displayLogs(QStringLiteral("line one\nline two\n"));
    controller->displayLogs(QString());
    EXPECT_EQ(controller->outlets.taskLogs->toPlainText(),
              QStringLiteral("\n2026-12-09 03:04:05 line one\nline two\n\n2026-12-09 03:04:05 "));
}

TEST_F(LogViewTest, ClearingEmptiesTheViewAndTheNextEntryStartsWithAnEmptyLine)
{
    controller->displayLogs(QStringLiteral("old"));
    controller->clearLogs(nullptr);
    EXPECT_EQ(controller->outlets.taskLogs->toPlainText(), QString());
    controller->displayLogs(QStringLiteral("new"));
    EXPECT_TRUE(controller->outlets.taskLogs->toPlainText().startsWith(QStringLiteral("\n2026-12-09")));
}

// Nobody can undo in a read-only log; an undo history would grow with every entry and keep its
// memory after Clear Logs.
TEST_F(LogViewTest, KeepsNoUndoHistory)
{
    for (int i = 0; i < 50; ++i)
        controller->displayLogs(QStringLiteral("entry %1").arg(i));
    EXPECT_EQ(controller->outlets.taskLogs->document()->availableUndoSteps(), 0);
    controller->clearLogs(nullptr);
    controller->displayLogs(QStringLiteral("after clearing"));
    EXPECT_EQ(controller->outlets.taskLogs->document()->availableUndoSteps(), 0);
}

TEST_F(LogViewTest, EachEntryScrollsToTheEnd)
{
    QPlainTextEdit* view = controller->outlets.taskLogs;
    view->resize(300, 80);
    controller->outlets.window->show();
    for (int i = 0; i < 200; ++i)
        controller->displayLogs(QStringLiteral("entry %1").arg(i));
    view->verticalScrollBar()->setValue(0);
    controller->displayLogs(QStringLiteral("last"));
    EXPECT_GT(view->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
}

TEST_F(LogViewTest, AnEntryFromAnotherThreadIsAppendedBeforeThatThreadGoesOn)
{
    // What the view holds when the reader's call returns, read back on the main thread by the reader's
    // next hand-over.
    QString seenAfterReturn;
    HandOver readBack;
    std::atomic<bool> finished{false};
    std::thread reader([&] {
        controller->displayLogs(QStringLiteral("from the reader"));
        readBack.runAndWait([&] { seenAfterReturn = controller->outlets.taskLogs->toPlainText(); });
        finished = true;
    });
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    reader.join();
    EXPECT_TRUE(seenAfterReturn.endsWith(QStringLiteral(" from the reader")))
        << seenAfterReturn.toStdString();
}

} // namespace
} // namespace tolvane::testing
