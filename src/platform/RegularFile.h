#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

// What a path names, told apart without opening it: opening a named pipe waits for a writer,
// and a device can be endless, so files that are meant to hold data are read only when they
// are regular files.
struct FileKind
{
    enum class Kind {
        missing,
        regular,
        folder,
        namedPipe,
        device,
        socket,
        other,
        danglingLink, // a link to nothing
        loopingLink, // links that never reach a file
        link, // the path itself is a link, which itself() doesn't follow
        unknown, // the path couldn't be examined; see systemError
    };
    Kind kind = Kind::missing;
    bool isLink = false; // the path itself is a symbolic link (followed for the kind)
    QString linkTarget; // where that link points
    qint64 size = -1; // of a regular file
    QString systemError; // why the path couldn't be examined, or the regular file read

    bool exists() const { return kind != Kind::missing; }

    // Never opens the path: lstat, then stat for a link.
    static FileKind of(const QString &path);
    // The path itself, a link not followed: for files that are never meant to be links.
    static FileKind itself(const QString &path);

    // One sentence on why the path can't be used as a regular file, naming it by its `role`
    // in lower case ("the library file"): "The library file “…” is a folder, not a regular
    // file." Not for a regular file or a missing one.
    QString refusal(const QString &role, const QString &path) const;
};

namespace RegularFile {

struct Failure
{
    FileKind kind; // a regular file when it was too large or couldn't be read (systemError)
    bool tooLarge = false;
};

// The whole content of a regular file of at most `limit` bytes. Anything else is refused before
// it is opened, a file larger than the limit before a byte is read, and a file that grows while
// it is read stops at the limit.
Expected<QByteArray, Failure> read(const QString &path, qint64 limit);

// Where a file written aside and renamed over `path` lands: the path, or the end of the links
// it leads through, since a link made on purpose (into a synced folder, say) must keep
// working. Refused, with what is there as FileKind::of tells it, unless that is a regular
// file or nothing.
Expected<QString, FileKind> replacementTarget(const QString &path);

// Asked right before renaming over a replacementTarget(): whether what is there now, a link
// not followed, is still a regular file or nothing. Otherwise, what took its place.
Expected<void, FileKind> checkReplaceable(const QString &path);

enum class WriteMode { truncate, append };
// Opens a regular file for writing, made when missing (for a log, say). A link at the path is
// not followed and a pipe or a device is never waited on: anything but a regular file is
// refused before a byte is written, and the file is truncated only once it is known to be one.
Expected<std::unique_ptr<QFile>, FileKind> openForWriting(const QString &path, WriteMode mode);

} // namespace RegularFile
