// The format of the log view's entries.
#pragma once

#include <QDateTime>
#include <QString>

namespace tolvane {

// "yyyy-MM-dd hh:mm:ss" with the hour of the 12-hour clock and no AM/PM marker.
QString logTimeStamp(const QDateTime& when);

// One entry as it is appended: a line feed, the stamp, one blank and the text, taken whole.
QString logEntry(const QDateTime& when, const QString& text);

} // namespace tolvane
