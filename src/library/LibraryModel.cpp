#include "LibraryModel.h"

#include "library/DirectLaunch.h"
#include "library/LaunchSessions.h"
#include "library/LibraryList.h"
#include "library/PlayTracker.h"
#include "library/PrefixStorage.h"
#include "platform/AppData.h"
#include "platform/Background.h"
#include "platform/UserDefaults.h"

#include <QDir>

using namespace Qt::StringLiterals;

LibraryContext LibraryContext::system(std::shared_ptr<DesktopServices> desktop)
{
    LibraryContext context {
        AppData::defaultFolder(), std::make_shared<UserDefaults>(), std::move(desktop)};
    context.shortcuts = MenuShortcuts::forUser();
    return context;
}

LibraryModel::LibraryModel(LibraryContext context, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
    , m_list(new LibraryList(m_context.dataFolder, m_context.saveInBackground, this))
    , m_sessions(new LaunchSessions(
          m_context.dataFolder, m_context.desktop, m_context.stopTimeLimit, this))
    , m_play(new PlayTracker(m_context.dataFolder, *m_sessions, this))
    , m_storage(new PrefixStorage(m_context.dataFolder, this))
    , m_direct(new DirectLaunch(m_context.dataFolder, *m_list, *m_sessions, this))
{
    m_errorMessage = m_list->loadProblem();
    if (!entries().isEmpty())
        m_selectedID = entries().first().id;
    connect(m_list, &LibraryList::entriesChanged, this, [this] {
        Q_EMIT entriesChanged();
        keepSelection();
        watchPrefixes();
        followShortcuts();
    });
    connect(m_list, &LibraryList::problem, this, &LibraryModel::setErrorMessage);
    connect(m_sessions, &LaunchSessions::runningIDsChanged, this, [this] {
        // A session that ended may have changed its prefix's size.
        for (const QUuid &id : m_wasRunning - runningIDs()) {
            if (const GameEntry *ended = entry(id))
                m_storage->forget(ended->prefixPath);
        }
        m_wasRunning = runningIDs();
        Q_EMIT runningIDsChanged();
    });
    connect(m_storage, &PrefixStorage::changed, this, &LibraryModel::prefixSizesChanged);
    connect(m_play, &PlayTracker::recordsChanged, this, &LibraryModel::playRecordsChanged);
    connect(m_sessions, &LaunchSessions::launcherExited, this,
        [this](const QUuid &id, int status, const Outcome &outcome) {
            present(outcome);
            Q_EMIT launcherExited(id, status);
        });
    connect(m_sessions, &LaunchSessions::stopFinished, this,
        [this](const QUuid &id, const Outcome &outcome) {
            present(outcome);
            Q_EMIT stopFinished(id);
        });
    connect(m_direct, &DirectLaunch::preparingExecutableChanged, this,
        &LibraryModel::preparingExecutableChanged);
    connect(
        m_direct, &DirectLaunch::finished, this, [this](const QUuid &id, const Outcome &outcome) {
            if (!id.isNull())
                setSelectedID(id);
            present(outcome);
        });
    watchPrefixes();
}

PlayRecord LibraryModel::playRecord(const QUuid &id) const
{
    return m_play->records().value(id);
}

std::optional<qint64> LibraryModel::prefixBytes(const GameEntry &entry) const
{
    return m_storage->bytes(entry.prefixPath);
}

void LibraryModel::measurePrefix(const GameEntry &entry)
{
    m_storage->measure(entry.prefixPath);
}

bool LibraryModel::canDeletePrefix(const GameEntry &entry) const
{
    return PrefixStorage::isDeletable(m_context.dataFolder, entry, entries());
}

void LibraryModel::removeWithPrefix(const GameEntry &entry)
{
    if (isRunning(entry.id)) {
        present(Outcome::error(u"Stop this Wine session before removing its library entry."_s));
        return;
    }
    if (!canDeletePrefix(entry)) {
        present(Outcome::error(u"Quillmere deletes only a prefix it made for a program run "
                               "directly and that no other entry uses."_s));
        return;
    }
    m_storage->remove(entry.prefixPath, [this, id = entry.id](const Outcome &moved) {
        if (moved.failed())
            present(moved);
        else
            m_list->remove({id});
    });
}

void LibraryModel::watchPrefixes()
{
    m_sessions->watchPrefixes(prefixes(), m_context.prefixWatchInterval);
}

// In turn, with the newest list: an older look that finished last could bring back the
// shortcut of an entry removed meanwhile. An unreadable library is not an empty one.
void LibraryModel::followShortcuts()
{
    if (!m_context.shortcuts.isEnabled() || !m_list->loadProblem().isEmpty())
        return;
    if (m_followingShortcuts) {
        m_shortcutsStale = true;
        return;
    }
    m_followingShortcuts = true;
    Background::run(
        this,
        [shortcuts = m_context.shortcuts, entries = entries()] {
            return shortcuts.follow(entries);
        },
        [this](int) {
            m_followingShortcuts = false;
            if (std::exchange(m_shortcutsStale, false))
                followShortcuts();
        });
}

QHash<QUuid, QString> LibraryModel::prefixes() const
{
    QHash<QUuid, QString> byID;
    for (const GameEntry &entry : entries())
        byID.insert(entry.id, entry.prefixPath);
    return byID;
}

// The list writes what is still unsaved as it goes; the sessions leave their programs running.
LibraryModel::~LibraryModel() = default;

const QList<GameEntry> &LibraryModel::entries() const
{
    return m_list->entries();
}

const GameEntry *LibraryModel::entry(const QUuid &id) const
{
    return m_list->entry(id);
}

const QSet<QUuid> &LibraryModel::runningIDs() const
{
    return m_sessions->runningIDs();
}

QString LibraryModel::preparingExecutable() const
{
    return m_direct->preparingExecutable();
}

QString LibraryModel::libraryPath() const
{
    return m_list->libraryPath();
}

QString LibraryModel::logPath(const GameEntry &entry) const
{
    return m_sessions->logPath(entry);
}

QString LibraryModel::noLaunchLogMessage()
{
    return LaunchSessions::noLaunchLogMessage();
}

void LibraryModel::followFileChanges()
{
    m_list->followFileChanges();
}

void LibraryModel::setSelectedID(const QUuid &id)
{
    if (m_selectedID == id)
        return;
    m_selectedID = id;
    Q_EMIT selectedIDChanged();
}

void LibraryModel::keepSelection()
{
    if (!m_selectedID.isNull() && !entry(m_selectedID))
        setSelectedID(entries().isEmpty() ? QUuid() : entries().first().id);
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

bool LibraryModel::present(const Outcome &outcome)
{
    switch (outcome.kind) {
    case Outcome::Kind::quiet:
        break;
    case Outcome::Kind::notice:
        setNotice(outcome.message);
        break;
    case Outcome::Kind::error:
        setErrorMessage(outcome.message);
        break;
    }
    return !outcome.failed();
}

Outcome LibraryModel::add(const GameEntry &entry)
{
    Outcome outcome = m_list->add(entry);
    if (present(outcome))
        setSelectedID(entry.id);
    return outcome;
}

Outcome LibraryModel::update(const GameEntry &entry)
{
    Outcome outcome = m_list->update(entry);
    present(outcome);
    return outcome;
}

bool LibraryModel::isLaunchable(const QUuid &id) const
{
    if (m_sessions->isLaunching(id))
        return false;
    if (!isRunning(id))
        return true;
    const GameEntry *mine = entry(id);
    const QString prefix = QDir::cleanPath(mine ? mine->prefixPath : QString());
    return mine && std::any_of(entries().cbegin(), entries().cend(), [&](const GameEntry &other) {
        return other.id != id && QDir::cleanPath(other.prefixPath) == prefix;
    });
}

Outcome LibraryModel::remove(const GameEntry &entry)
{
    if (isRunning(entry.id)) {
        Outcome refused
            = Outcome::error(u"Stop this Wine session before removing its library entry."_s);
        present(refused);
        return refused;
    }
    m_list->remove({entry.id});
    return {};
}

void LibraryModel::removeAll(const QSet<QUuid> &ids)
{
    m_list->remove(ids);
}

Outcome LibraryModel::launch(const GameEntry &entry)
{
    Outcome outcome = m_sessions->launch(entry);
    present(outcome);
    return outcome;
}

void LibraryModel::stop(const GameEntry &entry)
{
    m_sessions->stop(entry);
}

Outcome LibraryModel::openLog(const GameEntry &entry)
{
    Outcome outcome = m_sessions->openLog(entry);
    present(outcome);
    return outcome;
}

Outcome LibraryModel::launchExecutable(const QString &path, const WineBinaries &wine)
{
    return m_direct->launchExecutable(path, wine);
}
