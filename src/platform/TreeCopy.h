#pragma once

#include "platform/Expected.h"

#include <QString>
#include <QStringList>

// Copies a folder tree as a Wine prefix needs it: folders, regular files (sharing the source's
// blocks where the file system can, else copied) and links kept as links, never followed, so a
// link to the home folder or to a device is copied as the link it is. Anything else (a pipe,
// a device, a socket) stops the copy.
namespace TreeCopy {

struct Totals
{
    qint64 entries = 0; // folders, files and links below the top folder
    qint64 bytes = 0; // of the regular files

    bool operator==(const Totals &) const = default;
};

struct Failure
{
    QString message; // one sentence, for the logs
    bool inSource = false; // the source could not be read as a tree of ours
};

// Copies `source` into `destination`, which must not exist yet; `skipped` names items directly
// inside `source` to leave out. What a failed copy made stays for the caller to remove: it
// copies into a temporary folder of its own.
Expected<Totals, Failure> copy(
    const QString &source, const QString &destination, const QStringList &skipped = {});

// Renames the folder `from` to `to`, replacing an empty folder there but never anything else,
// nor following a link at `to`.
Expected<void, QString> renameFolder(const QString &from, const QString &to);

} // namespace TreeCopy
