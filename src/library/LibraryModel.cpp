#include "LibraryModel.h"

#include "library/LibraryFile.h"
#include "platform/AppData.h"
#include "platform/Background.h"
#include "platform/DesktopServices.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
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

} // namespace

LibraryContext LibraryContext::system(std::shared_ptr<DesktopServices> desktop)
{
    return {AppData::defaultFolder(), std::make_shared<UserDefaults>(), std::move(desktop), {}};
}

LibraryModel::LibraryModel(LibraryContext context, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
    , m_store(std::make_shared<LibraryStore>(m_context.dataFolder))
{
    load();
    if (!m_context.readOnly)
        removeUninstalledSteamGameShortcuts();
}

// Launched programs are deliberately left running: the watcher threads hold only weak
// references to this model, so their late reports are dropped. Changes still unsaved are
// written before the model goes, after a background save still running (applying the same
// changes again by id cannot undo it); what couldn't be saved in time is said on standard
// error, as there is no window left to say it.
LibraryModel::~LibraryModel()
{
    if (!m_context.saveInBackground || m_pending.isEmpty())
        return;
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

QString LibraryModel::libraryURL() const
{
    return QDir(m_context.dataFolder).filePath(u"library.json"_s);
}

QString LibraryModel::logURL(const GameEntry &entry) const
{
    return QDir(m_context.dataFolder).filePath(u"Logs/"_s + entry.idString() + u".log"_s);
}

QString LibraryModel::noLaunchLogMessage()
{
    return u"There isn't a launch log for this game yet. Launch it once, then try again."_s;
}

const GameEntry *LibraryModel::entry(const QUuid &id) const
{
    for (const GameEntry &candidate : m_entries) {
        if (candidate.id == id)
            return &candidate;
    }
    return nullptr;
}

void LibraryModel::setSelectedID(const QUuid &id)
{
    if (m_selectedID == id)
        return;
    m_selectedID = id;
    Q_EMIT selectedIDChanged();
}

void LibraryModel::setPreparingExecutable(const QString &name)
{
    if (m_preparingExecutable == name)
        return;
    m_preparingExecutable = name;
    Q_EMIT preparingExecutableChanged();
}

void LibraryModel::setNotice(const QString &notice)
{
    m_notice = notice;
    Q_EMIT noticeChanged();
}

void LibraryModel::setErrorMessage(const QString &message)
{
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void LibraryModel::load()
{
    if (!QDir().mkpath(m_context.dataFolder)) {
        // Without the folder there is no saved file to point at.
        m_errorMessage = readFailureMessage(
            {u"Quillmere couldn't create the folder “"_s + m_context.dataFolder + u"”."_s, {}});
        return;
    }
    auto read = m_store->read();
    if (!read) {
        m_errorMessage = readFailureMessage(read.error());
        return;
    }
    m_entries = std::move(*read);
    if (!m_entries.isEmpty())
        m_selectedID = m_entries.first().id;
}

QString LibraryModel::readFailureMessage(const LibraryStore::ReadFailure &failure)
{
    if (failure.keptAt.isEmpty())
        return u"Quillmere couldn't read its library:\n"_s + failure.reason;
    return u"Quillmere couldn't read its library. The saved file is still available at:\n"_s
        + failure.keptAt + u"\n\n"_s + failure.reason;
}

void LibraryModel::commit(const QList<LibraryChange> &changes)
{
    save(changes, [this](const Expected<void, QString> &saved) {
        if (!saved)
            setErrorMessage(u"Quillmere couldn't save its library:\n"_s + saved.error());
    });
}

void LibraryModel::save(const QList<LibraryChange> &changes, SaveDone done)
{
    // Changes that could not be saved stay queued and go with the next attempt, so the file
    // catches up with what the window shows once saving works again.
    m_pending += changes;
    m_waitingForSave.append(std::move(done));
    if (m_context.saveInBackground) {
        startBackgroundSave();
        return;
    }
    const QList<SaveDone> waiting = std::exchange(m_waitingForSave, {});
    std::unique_lock storeInUse(*m_storeInUse);
    auto applied = m_store->apply(m_pending);
    storeInUse.unlock();
    saved(applied, m_pending.size(), waiting);
}

void LibraryModel::startBackgroundSave()
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

void LibraryModel::saved(const Expected<LibraryStore::Applied, QString> &applied,
    qsizetype changeCount, const QList<SaveDone> &done)
{
    if (applied) {
        m_pending.remove(0, std::min(changeCount, m_pending.size()));
        adopt(applied->entries);
        for (const GameEntry &entry : std::as_const(applied->refusedUpdates))
            setErrorMessage(removedElsewhere(entry));
        if (const auto &replaced = applied->replacedUnreadable) {
            setErrorMessage(u"Another program left the library file unreadable, so Quillmere "
                            "saved over it; that file is still available at:\n"_s
                + replaced->keptAt + u"\n\n"_s + replaced->reason);
        }
    }
    const Expected<void, QString> outcome
        = applied ? Expected<void, QString> {} : unexpected(applied.error());
    for (const SaveDone &callback : done)
        callback(outcome);
}

void LibraryModel::adopt(const QList<GameEntry> &onDisk)
{
    // What is on disk, with this process's unsaved changes still on top.
    QList<GameEntry> entries = onDisk;
    applyChanges(entries, m_pending);
    if (entries == m_entries)
        return;
    m_entries = entries;
    Q_EMIT entriesChanged();
    if (!m_selectedID.isNull() && !entry(m_selectedID))
        setSelectedID(m_entries.isEmpty() ? QUuid() : m_entries.first().id);
}

void LibraryModel::followFileChanges()
{
    if (m_watcher)
        return;
    m_watcher = new QFileSystemWatcher(this);
    // The file is replaced by a rename, so its folder is watched as well as the file itself.
    m_watcher->addPath(m_context.dataFolder);
    if (QFileInfo::exists(libraryURL()))
        m_watcher->addPath(libraryURL());
    auto *settle = new QTimer(this);
    settle->setSingleShot(true);
    settle->setInterval(100); // a burst of notifications is one change
    connect(settle, &QTimer::timeout, this, &LibraryModel::reloadIfChanged);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, settle, qOverload<>(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::fileChanged, settle, qOverload<>(&QTimer::start));
}

void LibraryModel::reloadIfChanged()
{
    if (m_watcher && QFileInfo::exists(libraryURL()) && !m_watcher->files().contains(libraryURL()))
        m_watcher->addPath(libraryURL());
    // While the writer has the store, its save takes in whatever changed; look again after it.
    if (m_isSaving) {
        m_reloadAfterSave = true;
        return;
    }
    // A worker may be checking that the library can be saved: never wait for it here.
    std::unique_lock storeInUse(*m_storeInUse, std::try_to_lock);
    if (!storeInUse.owns_lock()) {
        QTimer::singleShot(100, this, &LibraryModel::reloadIfChanged);
        return;
    }
    if (!m_store->hasChangedOnDisk())
        return;
    auto read = m_store->read();
    if (!read) {
        setErrorMessage(readFailureMessage(read.error()));
        return;
    }
    adopt(*read);
}

void LibraryModel::add(const GameEntry &entry)
{
    if (const QString refused = cutShort(entry); !refused.isEmpty()) {
        setErrorMessage(refused);
        return;
    }
    m_entries.append(entry);
    Q_EMIT entriesChanged();
    setSelectedID(entry.id);
    commit({{LibraryChange::Kind::add, entry}});
}

void LibraryModel::update(const GameEntry &entry)
{
    if (const QString refused = cutShort(entry); !refused.isEmpty()) {
        setErrorMessage(refused);
        return;
    }
    for (GameEntry &existing : m_entries) {
        if (existing.id == entry.id) {
            existing = entry;
            Q_EMIT entriesChanged();
            commit({{LibraryChange::Kind::update, entry}});
            return;
        }
    }
    // Gone from the list since the edit began: the file changed under the window.
    setErrorMessage(removedElsewhere(entry));
}

void LibraryModel::remove(const GameEntry &entry)
{
    if (m_runningIDs.contains(entry.id)) {
        setErrorMessage(u"Stop this Wine session before removing its library entry."_s);
        return;
    }
    m_entries.removeIf([&](const GameEntry &candidate) { return candidate.id == entry.id; });
    Q_EMIT entriesChanged();
    if (m_selectedID == entry.id)
        setSelectedID(m_entries.isEmpty() ? QUuid() : m_entries.first().id);
    commit({{LibraryChange::Kind::remove, entry}});
}

void LibraryModel::launch(const GameEntry &entry)
{
    if (m_runningIDs.contains(entry.id))
        return;
    QPointer<LibraryModel> self(this);
    const QUuid id = entry.id;
    auto started = WineRuntime::start(entry, logURL(entry), [self, id](int status) {
        Background::postToMainThread(
            self, [self, id, status] { self->processFinished(id, status); });
    });
    if (!started) {
        setErrorMessage(started.error().description());
        return;
    }
    m_processes.insert(id, *started);
    m_runningIDs.insert(id);
    Q_EMIT runningIDsChanged();
    setNotice(u"Started "_s + entry.name + u'.');
}

void LibraryModel::processFinished(const QUuid &id, int status)
{
    m_processes.remove(id);
    if (m_runningIDs.remove(id))
        Q_EMIT runningIDsChanged();
    if (status != 0) {
        setNotice(u"The Wine launcher exited with code "_s + QString::number(status)
            + u". The game may still be running; use Stop Wine to check the prefix."_s);
    } else {
        setNotice(u"Wine closed normally."_s);
    }
    Q_EMIT launcherExited(id, status);
}

void LibraryModel::stop(const GameEntry &entry)
{
    Background::run(
        this, [entry, limit = m_context.stopTimeLimit] { return WineRuntime::stop(entry, limit); },
        [this, id = entry.id, name = entry.name](Result<int> result) {
            if (!result) {
                setErrorMessage(result.error().description());
            } else if (*result != 0) {
                setErrorMessage(u"Wine's wineserver returned exit code "_s
                    + QString::number(*result) + u". Check the session log for details."_s);
            } else {
                setNotice(u"Sent a stop request to Wine for "_s + name + u"'s prefix."_s);
            }
            Q_EMIT stopFinished(id);
        });
}

void LibraryModel::openLog(const GameEntry &entry)
{
    const QString log = logURL(entry);
    if (!QFileInfo::exists(log)) {
        setErrorMessage(noLaunchLogMessage());
        return;
    }
    if (m_context.desktop && !m_context.desktop->openFile(log))
        setErrorMessage(DesktopServices::cannotOpen(log));
}
