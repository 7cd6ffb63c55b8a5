// Text for the shell: quoting and escaping that make it see a text unchanged, and the command word of
// a command line.
#pragma once

#include <QString>

namespace tolvane {

// The text unchanged when the shell reads it as one plain word; else quoted so that the shell sees it
// unchanged, whatever it holds.
QString shellQuoted(const QString& text);

// A backslash before each character that keeps its meaning between double quotes (`"`, `$`, a
// backquote, a backslash), so that the shell, and a desktop entry's Exec parser, which follows the
// same rules, read the text between the quotes unchanged.
QString escapedForDoubleQuotes(const QString& text);

// The last blank-separated word of a command line: the server's command word ("start", "stop",
// "status") however many blanks the executable's path holds, or ":8008" style arguments otherwise.
QString commandWord(const QString& commandLine);

} // namespace tolvane
