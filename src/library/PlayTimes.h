#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

// How long each entry has been played and when last, kept in "playtime.json" beside the
// library (whose keys other programs read) and shared by every Quillmere process.
//
// A session starts when Quillmere launches the entry and lasts while the entry is running: its
// launcher runs or its prefix has Windows programs. Its start and the last time it was seen
// running are written as it goes (at least every half minute), so a session that outlives its
// window, or a window that crashed, is counted up to the last time a Quillmere window or command
// saw it running.
struct PlayRecord
{
    qint64 seconds = 0;
    std::optional<QDateTime> lastPlayedAt;
    // The session under way: its start and the last time it was seen running.
    std::optional<QDateTime> since;
    std::optional<QDateTime> seen;

    bool operator==(const PlayRecord &) const = default;
};

using PlayRecords = QHash<QUuid, PlayRecord>;

namespace PlayTimes {

QString path(const QString &dataFolder);

// Empty for a missing file; a damaged one is set aside as "playtime.json.damaged" once, so
// the counting starts again rather than failing for ever. None while another process holds it.
std::optional<PlayRecords> read(const QString &dataFolder);

// Applies `change` to what the file holds now, under a lock other processes respect, and
// writes it back in one rename. The records as written, or none when the lock or the write
// failed (nothing is changed then). Blocks for the lock: call it on a worker.
std::optional<PlayRecords> update(
    const QString &dataFolder, const std::function<void(PlayRecords &)> &change);

// The rules, on records in memory.
void begin(PlayRecords &records, const QUuid &id, const QDateTime &now);
// Sessions of `running` entries are seen at `now`; the others end at their last sighting, except
// one never seen running yet that began moments ago.
void follow(PlayRecords &records, const QSet<QUuid> &running, const QDateTime &now);

} // namespace PlayTimes
