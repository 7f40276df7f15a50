#include "LibraryList.h"

#include "library/LibraryLog.h"
#include "platform/Background.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <cstdio>
#include <future>

using namespace Qt::StringLiterals;

namespace {

// Quitting waits two seconds at most for the last save: for another process's lock, then for
// the write.
constexpr std::chrono::milliseconds lastLockWait {1500};
constexpr std::chrono::milliseconds lastWriteWait {500};

QString entryNames(const QList<LibraryChange> &changes)
{
    QStringList names;
    for (const LibraryChange &change : changes) {
        const QString name = u"“"_s + change.entry.name + u"”"_s;
        if (!names.contains(name))
            names.append(name);
    }
    return names.join(u", "_s);
}

QString removedElsewhere(const GameEntry &entry)
{
    return u"“"_s + entry.name
        + u"” was removed from the library by another Quillmere window or command, so its "
          "changes weren't saved."_s;
}

// The library file could not be read back with such an entry in it.
QString cutShort(const GameEntry &entry)
{
    if (entry.argumentWithNul() < 0 && !entry.variableWithNul())
        return {};
    return u"“"_s + entry.name
        + u"” has an argument or environment value with a NUL character, which no program can "
          "receive, so it wasn't saved."_s;
}

QString readFailureMessage(const LibraryStore::ReadFailure &failure)
{
    if (failure.keptAt.isEmpty())
        return u"Quillmere couldn't read its library:\n"_s + failure.reason;
    return u"Quillmere couldn't read its library. The saved file is still available at:\n"_s
        + failure.keptAt + u"\n\n"_s + failure.reason;
}

} // namespace

LibraryList::LibraryList(QString dataFolder, bool saveInBackground, QObject *parent)
    : QAbstractListModel(parent)
    , m_dataFolder(std::move(dataFolder))
    , m_saveInBackground(saveInBackground)
    , m_store(std::make_shared<LibraryStore>(m_dataFolder))
{
    load();
}

LibraryList::~LibraryList()
{
    if (m_saveInBackground && !m_pending.isEmpty())
        flushBeforeExit();
}

// Changes still unsaved are written before the list goes, after a background save still running
// (applying the same changes again by id cannot undo it); what couldn't be saved in time is said
// on standard error, as there is no window left to say it.
void LibraryList::flushBeforeExit()
{
    const auto deadline = std::chrono::steady_clock::now() + lastLockWait;
    m_store->stopWaitingAt(deadline);
    using Outcome = Expected<LibraryStore::Applied, QString>;
    auto outcome = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> finished = outcome->get_future();
    std::function<void()> save
        = [store = m_store, inUse = m_storeInUse, changes = m_pending, outcome] {
              const std::lock_guard lock(*inUse);
              outcome->set_value(store->apply(changes));
          };
    if (!Background::Pool::start(save))
        save();
    QString unsaved;
    if (finished.wait_until(deadline + lastWriteWait) != std::future_status::ready) {
        unsaved = u"Quillmere quit before its changes to %1 were saved in its library, so they "
                  "may be lost."_s.arg(entryNames(m_pending));
    } else if (const Outcome saved = finished.get(); !saved) {
        unsaved = u"Quillmere couldn't save its changes to %1 before quitting:\n"_s.arg(
                      entryNames(m_pending))
            + saved.error();
    }
    if (!unsaved.isEmpty())
        std::fputs((unsaved + u'\n').toUtf8().constData(), stderr);
}

int LibraryList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant LibraryList::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const GameEntry &entry = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return entry.name;
    case entryRole:
        return QVariant::fromValue(entry);
    case idRole:
        return entry.id;
    default:
        return {};
    }
}

QHash<int, QByteArray> LibraryList::roleNames() const
{
    return {{Qt::DisplayRole, "name"}, {entryRole, "entry"}, {idRole, "id"}};
}

QString LibraryList::libraryPath() const
{
    return QDir(m_dataFolder).filePath(u"library.json"_s);
}

const GameEntry *LibraryList::entry(const QUuid &id) const
{
    for (const GameEntry &candidate : m_entries) {
        if (candidate.id == id)
            return &candidate;
    }
    return nullptr;
}

void LibraryList::load()
{
    if (!QDir().mkpath(m_dataFolder)) {
        // Without the folder there is no saved file to point at.
        m_loadProblem = readFailureMessage(
            {u"Quillmere couldn't create the folder “"_s + m_dataFolder + u"”."_s, {}});
        return;
    }
    auto read = m_store->read();
    if (!read) {
        m_loadProblem = readFailureMessage(read.error());
        return;
    }
    m_entries = std::move(*read);
}

// The window shows one message at a time; the log keeps them all.
void LibraryList::report(const QString &message)
{
    qCInfo(libraryLog).noquote() << message;
    Q_EMIT problem(message);
}

void LibraryList::commit(const QList<LibraryChange> &changes)
{
    save(changes, [this](const Expected<void, QString> &saved) {
        if (!saved)
            report(u"Quillmere couldn't save its library:\n"_s + saved.error());
    });
}

void LibraryList::save(const QList<LibraryChange> &changes, SaveDone done)
{
    // Changes that could not be saved stay queued and go with the next attempt, so the file
    // catches up with what the window shows once saving works again.
    m_pending += changes;
    m_waitingForSave.append(std::move(done));
    if (m_saveInBackground) {
        startBackgroundSave();
        return;
    }
    const QList<SaveDone> waiting = std::exchange(m_waitingForSave, {});
    std::unique_lock storeInUse(*m_storeInUse);
    auto applied = m_store->apply(m_pending);
    storeInUse.unlock();
    saved(applied, m_pending.size(), waiting);
}

void LibraryList::startBackgroundSave()
{
    // One save at a time, in order; what arrives meanwhile goes with the next one.
    if (m_isSaving || m_waitingForSave.isEmpty())
        return;
    m_isSaving = true;
    const QList<LibraryChange> changes = m_pending;
    Background::run(
        this,
        [store = m_store, inUse = m_storeInUse, changes] {
            const std::lock_guard lock(*inUse);
            return store->apply(changes);
        },
        [this, count = changes.size(), waiting = std::exchange(m_waitingForSave, {})](
            const Expected<LibraryStore::Applied, QString> &applied) {
            m_isSaving = false;
            saved(applied, count, waiting);
            startBackgroundSave();
            if (std::exchange(m_reloadAfterSave, false))
                reloadIfChanged();
        });
}

void LibraryList::saved(const Expected<LibraryStore::Applied, QString> &applied,
    qsizetype changeCount, const QList<SaveDone> &done)
{
    if (applied) {
        m_pending.remove(0, std::min(changeCount, m_pending.size()));
        adopt(applied->entries);
        for (const GameEntry &entry : std::as_const(applied->refusedUpdates))
            report(removedElsewhere(entry));
        if (const auto &replaced = applied->replacedUnreadable) {
            report(u"Another program left the library file unreadable, so Quillmere "
                   "saved over it; that file is still available at:\n"_s
                + replaced->keptAt + u"\n\n"_s + replaced->reason);
        }
    }
    const Expected<void, QString> outcome
        = applied ? Expected<void, QString> {} : unexpected(applied.error());
    for (const SaveDone &callback : done)
        callback(outcome);
}

void LibraryList::adopt(const QList<GameEntry> &onDisk)
{
    // What is on disk, with this process's unsaved changes still on top.
    QList<GameEntry> wanted = onDisk;
    applyChanges(wanted, m_pending);
    if (wanted == m_entries)
        return;
    QSet<QUuid> wantedIDs;
    for (const GameEntry &entry : std::as_const(wanted))
        wantedIDs.insert(entry.id);
    for (qsizetype row = m_entries.size() - 1; row >= 0; --row) {
        if (wantedIDs.contains(m_entries.at(row).id))
            continue;
        beginRemoveRows({}, int(row), int(row));
        m_entries.removeAt(row);
        endRemoveRows();
    }
    // The entries that stay keep their order unless the file was edited by hand; then the rows
    // are laid out again.
    qsizetype kept = 0;
    for (const GameEntry &entry : std::as_const(wanted)) {
        if (kept < m_entries.size() && m_entries.at(kept).id == entry.id)
            ++kept;
    }
    if (kept != m_entries.size()) {
        beginResetModel();
        m_entries = wanted;
        endResetModel();
        Q_EMIT entriesChanged();
        return;
    }
    for (qsizetype row = 0; row < wanted.size(); ++row) {
        const GameEntry &entry = wanted.at(row);
        if (row < m_entries.size() && m_entries.at(row).id == entry.id) {
            if (m_entries.at(row) != entry) {
                m_entries[row] = entry;
                Q_EMIT dataChanged(index(int(row)), index(int(row)));
            }
            continue;
        }
        beginInsertRows({}, int(row), int(row));
        m_entries.insert(row, entry);
        endInsertRows();
    }
    Q_EMIT entriesChanged();
}

void LibraryList::followFileChanges()
{
    if (m_watcher)
        return;
    m_watcher = new QFileSystemWatcher(this);
    // The file is replaced by a rename, so its folder is watched as well as the file itself.
    m_watcher->addPath(m_dataFolder);
    if (QFileInfo::exists(libraryPath()))
        m_watcher->addPath(libraryPath());
    auto *settle = new QTimer(this);
    settle->setSingleShot(true);
    settle->setInterval(100); // a burst of notifications is one change
    connect(settle, &QTimer::timeout, this, &LibraryList::reloadIfChanged);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, settle, qOverload<>(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::fileChanged, settle, qOverload<>(&QTimer::start));
}

void LibraryList::reloadIfChanged()
{
    if (m_watcher && QFileInfo::exists(libraryPath())
        && !m_watcher->files().contains(libraryPath()))
        m_watcher->addPath(libraryPath());
    // While the writer has the store, its save takes in whatever changed; look again after it.
    if (m_isSaving) {
        m_reloadAfterSave = true;
        return;
    }
    // A worker may be checking that the library can be saved: never wait for it here.
    std::unique_lock storeInUse(*m_storeInUse, std::try_to_lock);
    if (!storeInUse.owns_lock()) {
        QTimer::singleShot(100, this, &LibraryList::reloadIfChanged);
        return;
    }
    if (!m_store->hasChangedOnDisk())
        return;
    auto read = m_store->read();
    if (!read) {
        report(readFailureMessage(read.error()));
        return;
    }
    adopt(*read);
}

Outcome LibraryList::add(const GameEntry &entry)
{
    if (const QString refused = cutShort(entry); !refused.isEmpty())
        return Outcome::error(refused);
    const int row = int(m_entries.size());
    beginInsertRows({}, row, row);
    m_entries.append(entry);
    endInsertRows();
    Q_EMIT entriesChanged();
    commit({{LibraryChange::Kind::add, entry}});
    return {};
}

Outcome LibraryList::update(const GameEntry &entry)
{
    if (const QString refused = cutShort(entry); !refused.isEmpty())
        return Outcome::error(refused);
    for (qsizetype row = 0; row < m_entries.size(); ++row) {
        if (m_entries.at(row).id == entry.id) {
            m_entries[row] = entry;
            Q_EMIT dataChanged(index(int(row)), index(int(row)));
            Q_EMIT entriesChanged();
            commit({{LibraryChange::Kind::update, entry}});
            return {};
        }
    }
    // Gone from the list since the edit began: the file changed under the window.
    return Outcome::error(removedElsewhere(entry));
}

void LibraryList::remove(const QSet<QUuid> &ids)
{
    QList<LibraryChange> removals;
    for (qsizetype row = m_entries.size() - 1; row >= 0; --row) {
        if (!ids.contains(m_entries.at(row).id))
            continue;
        removals.prepend({LibraryChange::Kind::remove, m_entries.at(row)});
        beginRemoveRows({}, int(row), int(row));
        m_entries.removeAt(row);
        endRemoveRows();
    }
    if (removals.isEmpty())
        return;
    Q_EMIT entriesChanged();
    commit(removals);
}

void LibraryList::addOnceSaved(const GameEntry &entry, SaveDone done)
{
    save({{LibraryChange::Kind::add, entry}},
        [this, id = entry.id, done = std::move(done)](const Expected<void, QString> &saved) {
            // Not retried later like other changes: the caller undoes what the entry needed.
            if (!saved)
                m_pending.removeIf(
                    [&](const LibraryChange &change) { return change.entry.id == id; });
            done(saved);
        });
}

std::function<Expected<void, QString>()> LibraryList::writableCheck() const
{
    return [store = m_store, inUse = m_storeInUse] {
        const std::lock_guard storeInUse(*inUse);
        return store->canWrite();
    };
}
