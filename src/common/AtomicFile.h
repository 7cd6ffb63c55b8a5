// Writing a file so that it is either the complete new one or the old one, never a part; and writing
// several files as one: all new or all old.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace tolvane {

// Writes the bytes to a temporary file beside `path`, flushes them and only then puts the file in
// place. False, with the old file untouched, when any step fails (a full disk among them).
bool writeFileAtomically(const QString& path, const QByteArray& bytes);

struct FileContents {
    QString path;
    QByteArray bytes;
};

// Writes every file to a temporary file beside it first, then puts them in place one after the other.
// When any write or any step of putting them in place fails, the files already replaced get their old
// contents back (the old file itself, or no file where there was none), so that every file is as it
// was, and the result is false.
bool writeFilesAtomically(const std::vector<FileContents>& files);

} // namespace tolvane
