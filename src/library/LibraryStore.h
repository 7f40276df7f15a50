#pragma once

#include "library/GameEntry.h"
#include "platform/Expected.h"
#include "platform/FileStamp.h"

#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <optional>

class QLockFile;

// One change this process makes to the library, applied by id to the list as it is on disk.
struct LibraryChange
{
    enum class Kind { add, update, remove };
    Kind kind = Kind::add;
    GameEntry entry; // for `remove`, only its id counts

    bool operator==(const LibraryChange &) const = default;
};

// Applies changes by id to a list; updates of entries that are gone go to `refused`, if given.
void applyChanges(QList<GameEntry> &entries, const QList<LibraryChange> &changes,
    QList<GameEntry> *refused = nullptr);

// "library.json" shared by every Quillmere process of the user. A change takes an advisory
// lock beside the file, reads the file again if another process replaced it since this one
// last saw it, applies this process's changes by id, writes it atomically and lets go. The
// lock is held only for that, never while a program runs or the user thinks.
class LibraryStore
{
public:
    explicit LibraryStore(QString dataFolder);

    QString path() const;
    QString lockPath() const;

    struct ReadFailure
    {
        QString reason;
        // The copy set aside, or the file itself when it couldn't be copied; empty when there
        // is no saved file to point at (a pipe, a device, a link to nothing: the reason says).
        QString keptAt;
    };
    // The file as it is now; a missing file is an empty library. An unreadable one is copied
    // aside once (the same bytes are not copied twice) and is never written over until then.
    // Only a regular file is read, and only up to maximumFileSize: anything else, or anything
    // larger, can't be copied aside and is never written over while it is there.
    Expected<QList<GameEntry>, ReadFailure> read();
    // Whether the file on disk is not the one this process last read or wrote.
    bool hasChangedOnDisk() const;

    struct Applied
    {
        QList<GameEntry> entries; // the list now on disk
        QList<GameEntry> refusedUpdates; // edits of entries another process removed
        // A file another process left unreadable, set aside before this save replaced it.
        std::optional<ReadFailure> replacedUnreadable;
    };
    // The error is one sentence (or the system's reason) saying why nothing was written.
    Expected<Applied, QString> apply(const QList<LibraryChange> &changes);

    // Whether apply() could write now, with the sentence it would fail with otherwise; writes
    // nothing but its lock. Asked before work that is useless unless its result can be saved.
    Expected<void, QString> canWrite();

    // Ends every wait for another process's lock by `deadline`, the one under way included:
    // quitting waits for no other process. The one call another thread may make meanwhile.
    void stopWaitingAt(std::chrono::steady_clock::time_point deadline);

    // Long enough that several busy writers on a slow disk take turns; a lock is held for one
    // read-change-write only.
    static constexpr int lockTimeoutMs = 15000;
    // Far above any real library (120,000 entries take about 50 MB), low enough to read whole.
    static constexpr qint64 maximumFileSize = qint64(256) << 20;

private:
    // Takes the lock and checks that the file may be replaced, for apply() and canWrite().
    Expected<void, QString> beginWrite(QLockFile &lock);
    Expected<void, QString> takeLock(QLockFile &lock);
    QString setAsideUnreadableFile(const QByteArray &bytes);

    QString m_dataFolder;
    FileStamp m_stamp; // of the file this process last read or wrote
    QList<GameEntry> m_entries; // and its list
    // Set when an unreadable file could not be copied aside: it is then never written over
    // while it is still there.
    bool m_protectUnreadableFile = false;
    // Found unreadable while saving and set aside; told by the save that writes over it.
    std::optional<ReadFailure> m_unreported;
    std::atomic<std::chrono::steady_clock::rep> m_stopWaitingAt
        = std::chrono::steady_clock::time_point::max().time_since_epoch().count();
};
