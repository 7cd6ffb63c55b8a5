// The atomic write of a file, and of several files as one.
#include "common/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace tolvane {

namespace {

namespace fs = std::filesystem;

fs::path nativePath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

// A file waiting beside its target, and what it takes to undo putting it in place.
struct Staged {
    std::unique_ptr<QTemporaryFile> file;
    fs::path target;
    std::optional<fs::path> backup; // the old file, kept under another name; none when there was none
    bool committed = false;
};

std::unique_ptr<QTemporaryFile> stagedFile(const FileContents& contents)
{
    const QFileInfo target(contents.path);
    auto file = std::make_unique<QTemporaryFile>(target.absolutePath() + QStringLiteral("/.") +
                                                 target.fileName() + QStringLiteral(".XXXXXX"));
    if (!file->open())
        return nullptr;
    // The new file keeps the old one's permissions; a new one is readable by all, as a plain write
    // makes it.
    const QFileDevice::Permissions permissions = target.exists()
                                                     ? QFile::permissions(contents.path)
                                                     : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                           QFileDevice::ReadGroup | QFileDevice::ReadOther;
    // A short write (a full disk) shows only at the flush; the data is on disk before the rename.
    if (file->write(contents.bytes) != contents.bytes.size() || !file->flush() ||
        ::fsync(file->handle()) != 0 || !file->setPermissions(permissions))
        return nullptr;
    return file;
}

// Keeps the old file under a name of its own beside the staged one: a second link to it where the file
// system allows, else a copy.
bool keepOldFile(Staged& staged)
{
    std::error_code error;
    const fs::file_type old = fs::symlink_status(staged.target, error).type();
    if (old == fs::file_type::not_found)
        return true;
    if (old == fs::file_type::none) // the status could not be read
        return false;
    const fs::path backup = nativePath(staged.file->fileName() + QStringLiteral(".old"));
    if (fs::symlink_status(backup, error).type() != fs::file_type::not_found)
        return false;
    fs::create_hard_link(staged.target, backup, error);
    if (error) {
        error.clear();
        fs::copy_file(staged.target, backup, error);
        if (error) {
            fs::remove(backup, error);
            return false;
        }
    }
    staged.backup = backup;
    return true;
}

void undo(std::vector<Staged>& files)
{
    std::error_code error;
    for (Staged& staged : files) {
        if (staged.committed) {
            if (staged.backup)
                fs::rename(*staged.backup, staged.target, error);
            else
                fs::remove(staged.target, error);
            staged.backup.reset();
        }
        if (staged.backup)
            fs::remove(*staged.backup, error);
    }
}

} // namespace

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

bool writeFilesAtomically(const std::vector<FileContents>& files)
{
    // First every new text is written in full; until then nothing is in place. The temporary files go
    // with `staged` on every return that does not put them in place.
    std::vector<Staged> staged;
    staged.reserve(files.size());
    for (const FileContents& contents : files) {
        std::unique_ptr<QTemporaryFile> file = stagedFile(contents);
        if (!file)
            return false;
        staged.push_back(Staged{std::move(file), nativePath(contents.path), std::nullopt, false});
    }
    for (Staged& file : staged) {
        if (!keepOldFile(file)) {
            undo(staged);
            return false;
        }
    }
    for (Staged& file : staged) {
        std::error_code error;
        fs::rename(nativePath(file.file->fileName()), file.target, error);
        if (error) {
            undo(staged);
            return false;
        }
        file.committed = true;
        file.file->setAutoRemove(false);
    }
    std::error_code error;
    for (Staged& file : staged) {
        if (file.backup)
            fs::remove(*file.backup, error);
    }
    return true;
}

} // namespace tolvane
