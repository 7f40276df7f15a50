#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QString>

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

} // namespace RegularFile
