// What the login integration tests share beyond the test-support library: the awkward paths the
// adapters must carry, and texts as the bytes a fake tool records.
#pragma once

#include "FakeTools.h"
#include "Files.h"
#include "Printing.h"
#include "Programs.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace tolvane::testing {

// Paths that the shell would change if it saw them unquoted: blanks, quotes, expansions, backslashes,
// non-ASCII letters, and command substitutions that, if the shell ever ran them, would create the
// injection marker in the folder the shell runs in.
QStringList awkwardDataLocations();

// Each text in UTF-8, as a fake tool records it.
QList<QByteArray> utf8(const QStringList& texts);

} // namespace tolvane::testing
