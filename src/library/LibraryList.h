#pragma once

#include "library/GameEntry.h"
#include "library/LibraryStore.h"
#include "library/Outcome.h"
#include "platform/Expected.h"

#include <QAbstractListModel>
#include <QSet>

#include <functional>
#include <memory>
#include <mutex>

class QFileSystemWatcher;

// The user's programs as an item model over the library file, one row per entry in the file's
// order. Every change is written at once (see LibraryStore); what other processes write is taken
// in row by row. Lives on the GUI thread.
class LibraryList : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role { entryRole = Qt::UserRole + 1, idRole };

    // `saveInBackground`: saves run in turn on a worker thread, since one can wait seconds for
    // another process's lock (the window). Otherwise a change is on disk when its call returns.
    LibraryList(QString dataFolder, bool saveInBackground, QObject *parent = nullptr);
    ~LibraryList() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<GameEntry> &entries() const { return m_entries; }
    const GameEntry *entry(const QUuid &id) const;
    // Why the file couldn't be read at start; empty: it was, and the list holds it.
    const QString &loadProblem() const { return m_loadProblem; }
    QString libraryPath() const;

    // A refusal comes back at once; a failed save arrives later in `problem`.
    Outcome add(const GameEntry &entry);
    Outcome update(const GameEntry &entry);
    void remove(const QSet<QUuid> &ids);

    using SaveDone = std::function<void(const Expected<void, QString> &)>;
    // Adds the entry and tells `done` once it is on disk, or why it isn't; an entry that can't be
    // saved is then dropped rather than tried again with the next change.
    void addOnceSaved(const GameEntry &entry, SaveDone done);
    // For a worker thread: whether the library could be saved now, or the sentence why not. May
    // wait for another process's lock.
    std::function<Expected<void, QString>()> writableCheck() const;

    // Shows changes other processes make to the file within a moment (the window).
    void followFileChanges();

Q_SIGNALS:
    // After any change of the rows, from this process or another.
    void entriesChanged();
    // Something that went wrong after the call that caused it returned, in one sentence.
    void problem(const QString &message);

private:
    void load();
    void commit(const QList<LibraryChange> &changes);
    void save(const QList<LibraryChange> &changes, SaveDone done);
    void startBackgroundSave();
    void saved(const Expected<LibraryStore::Applied, QString> &applied, qsizetype changeCount,
        const QList<SaveDone> &done);
    // Shows `entries` with the fewest row signals: removals, insertions, then changes.
    void adopt(const QList<GameEntry> &onDisk);
    void reloadIfChanged();
    void flushBeforeExit();
    void report(const QString &message);

    QString m_dataFolder;
    bool m_saveInBackground = false;
    QList<GameEntry> m_entries;
    QString m_loadProblem;
    // The store is used by one thread at a time: the writer while a save runs, else this one.
    std::shared_ptr<LibraryStore> m_store;
    std::shared_ptr<std::mutex> m_storeInUse = std::make_shared<std::mutex>();
    QList<LibraryChange> m_pending; // changes not saved yet, in order
    QList<SaveDone> m_waitingForSave; // callers whose changes the next save carries
    bool m_isSaving = false; // a background save is running
    bool m_reloadAfterSave = false;
    QFileSystemWatcher *m_watcher = nullptr;
};
