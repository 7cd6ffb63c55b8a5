// The atomic write of a file.
#include "common/AtomicFile.h"

#include <QSaveFile>

namespace tolvane {

bool writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // An incomplete write is discarded with the temporary file when `file` goes out of scope. A short
    // write (a full disk) shows only when the buffer is flushed: commit() alone would put the cut-short
    // file in place and report success.
    if (file.write(bytes) != bytes.size() || !file.flush())
        return false;
    return file.commit();
}

} // namespace tolvane
