// The log view: time-stamped pieces of command output, appended from whichever thread reads them.
#include "app/LogView.h"

#include "app/AppDelegate.h"

#include <QCoreApplication>
#include <QScrollBar>
#include <QTextCursor>

namespace tolvane {

QString logTimeStamp(const QDateTime& when)
{
    // The hour is that of the 12-hour clock (01 to 12) and no AM/PM marker follows. Qt's "hh" gives
    // the 24-hour clock unless an AM/PM field is present, so the hour is written by hand.
    const int hour = when.time().hour() % 12 == 0 ? 12 : when.time().hour() % 12;
    return when.toString(QStringLiteral("yyyy-MM-dd ")) +
           QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0')) + when.toString(QStringLiteral(":mm:ss"));
}

QString logEntry(const QDateTime& when, const QString& text)
{
    return QStringLiteral("\n") + logTimeStamp(when) + QLatin1Char(' ') + text;
}

void AppDelegate::displayLogs(const QString& text)
{
    auto append = [this, text] {
        if (!outlets.taskLogs)
            return;
        // Appending at the end gives the same content as replacing the whole text with the old text
        // and the entry, without copying a log that grows for as long as the controller runs.
        QTextCursor end(outlets.taskLogs->document());
        end.movePosition(QTextCursor::End);
        end.insertText(logEntry(host().currentDateTime(), text));
        outlets.taskLogs->moveCursor(QTextCursor::End);
        outlets.taskLogs->ensureCursorVisible();
        QScrollBar* scrollBar = outlets.taskLogs->verticalScrollBar();
        scrollBar->setValue(scrollBar->maximum());
    };
    // Output may be read on another thread, which then waits for the view to be updated; on the main
    // thread the update runs at once (a synchronous hand-over to itself would never return).
    m_mainThreadWork.runAndWait(append);
}

void AppDelegate::clearLogs(QObject*)
{
    if (outlets.taskLogs)
        outlets.taskLogs->setPlainText(QString());
}

} // namespace tolvane
