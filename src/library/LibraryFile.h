#pragma once

#include "library/GameEntry.h"
#include "platform/Expected.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The library file's JSON form: an array of entries, compact, keys in field order, "/" escaped
// as "\/", ids upper-case, addedAt as seconds since 2001 at full double precision.
namespace LibraryFile {

// The file keeps the keys another version added after the nine documented ones; what the
// command line prints for scripts has the documented keys only.
enum class Keys { documented, withUnknown };

QByteArray encode(const QList<GameEntry> &entries, Keys keys = Keys::documented);
// One entry as encode() writes it inside the list, for output that streams entry by entry.
QByteArray encodeEntry(const GameEntry &entry, Keys keys = Keys::documented);

// Strict: every element needs all nine keys in their forms and a valid UUID; other keys go to
// the entry's unknownKeys as they are. The error is one sentence saying what is wrong and where.
Expected<QList<GameEntry>, QString> decode(const QByteArray &json);

// The two readers behind decode(), public so that a fuzzer can hold them to the same answers:
// a quick one for the form this program writes, which answers nothing for anything else
// (unknown keys and every error included), and the general one over Qt's JSON document.
std::optional<QList<GameEntry>> decodeQuickly(const QByteArray &json);
Expected<QList<GameEntry>, QString> decodeGenerally(const QByteArray &json);

// Writes the file whole through a temporary file and a rename, through links to wherever they
// lead, over nothing but a regular file. The error is one sentence, or the system's reason.
Expected<void, QString> write(const QString &path, const QByteArray &bytes);

} // namespace LibraryFile
