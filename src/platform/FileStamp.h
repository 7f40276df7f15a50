#pragma once

#include <QString>

// Which version of a file is on disk: a file replaced by a rename, or rewritten, gets a new
// stamp. Cheap enough to check on every change notification.
struct FileStamp
{
    qint64 device = -1;
    qint64 inode = -1;
    qint64 size = -1;
    qint64 modifiedNs = -1;
    // A program can put the modification time back after an edit (cp -p, touch -r); nothing
    // but the system sets the change time.
    qint64 changedNs = -1;

    bool exists() const { return inode >= 0; }
    bool operator==(const FileStamp &) const = default;

    // The stamp of the file a path names now (following links); "missing" when there is none.
    static FileStamp of(const QString &path);
};
