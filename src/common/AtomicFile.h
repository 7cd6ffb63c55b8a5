// Writing a file so that it is either the complete new one or the old one, never a part.
#pragma once

#include <QByteArray>
#include <QString>

namespace tolvane {

// Writes the bytes to a temporary file beside `path`, flushes them and only then puts the file in
// place. False, with the old file untouched, when any step fails (a full disk among them).
bool writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace tolvane
