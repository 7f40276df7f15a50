#include "LaunchSessions.h"

#include "library/WineRuntime.h"
#include "platform/Background.h"
#include "platform/DesktopServices.h"
#include "platform/WineServerState.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

using namespace Qt::StringLiterals;

LaunchSessions::LaunchSessions(QString dataFolder, std::shared_ptr<DesktopServices> desktop,
    std::chrono::milliseconds stopTimeLimit, QObject *parent)
    : QObject(parent)
    , m_dataFolder(std::move(dataFolder))
    , m_desktop(std::move(desktop))
    , m_stopTimeLimit(stopTimeLimit)
{
    connect(&m_watch, &QTimer::timeout, this, &LaunchSessions::checkPrefixes);
}

QString LaunchSessions::logPath(const GameEntry &entry) const
{
    return QDir(m_dataFolder).filePath(u"Logs/"_s + entry.idString() + u".log"_s);
}

QString LaunchSessions::noLaunchLogMessage()
{
    return u"There isn't a launch log for this game yet. Launch it once, then try again."_s;
}

Outcome LaunchSessions::launch(const GameEntry &entry)
{
    if (m_launcherIDs.contains(entry.id))
        return {};
    QPointer<LaunchSessions> self(this);
    const QUuid id = entry.id;
    auto started = WineRuntime::start(entry, logPath(entry), [self, id](int status) {
        Background::postToMainThread(
            self, [self, id, status] { self->launcherFinished(id, status); });
    });
    if (!started)
        return Outcome::error(started.error().description());
    m_launcherIDs.insert(id);
    updateRunning();
    Q_EMIT launched(id);
    return Outcome::notice(u"Started "_s + entry.name + u'.');
}

void LaunchSessions::launcherFinished(const QUuid &id, int status)
{
    m_launcherIDs.remove(id);
    updateRunning();
    checkPrefixes();
    Q_EMIT launcherExited(id, status,
        status != 0
            ? Outcome::notice(u"The Wine launcher exited with code "_s + QString::number(status)
                + u". The game may still be running; use Stop Wine to check the prefix."_s)
            : Outcome::notice(u"Wine closed normally."_s));
}

void LaunchSessions::stop(const GameEntry &entry)
{
    Background::run(
        this, [entry, limit = m_stopTimeLimit] { return WineRuntime::stop(entry, limit); },
        [this, id = entry.id, name = entry.name](Result<int> result) {
            Outcome outcome;
            if (!result) {
                outcome = Outcome::error(result.error().description());
            } else if (*result != 0) {
                outcome = Outcome::error(u"Wine's wineserver returned exit code "_s
                    + QString::number(*result) + u". Check the session log for details."_s);
            } else {
                outcome = Outcome::notice(
                    u"Sent a stop request to Wine for "_s + name + u"'s prefix."_s);
            }
            checkPrefixes();
            Q_EMIT stopFinished(id, outcome);
        });
}

void LaunchSessions::updateRunning()
{
    const QSet<QUuid> running = m_launcherIDs | m_livePrefixIDs;
    if (running == m_runningIDs)
        return;
    m_runningIDs = running;
    Q_EMIT runningIDsChanged();
}

void LaunchSessions::watchPrefixes(
    const QHash<QUuid, QString> &prefixes, std::chrono::milliseconds interval)
{
    m_prefixes = prefixes;
    if (interval.count() <= 0) {
        // Without a watch a sighting would stick: only launchers count then.
        m_watch.stop();
        m_livePrefixIDs.clear();
        updateRunning();
        return;
    }
    m_watch.start(interval);
    checkPrefixes();
}

QSet<QUuid> LaunchSessions::withLivePrefix(const QHash<QUuid, QString> &prefixes)
{
    // Each folder once: the Steam client and its games share one.
    QHash<QString, bool> live;
    QSet<QUuid> ids;
    for (auto it = prefixes.cbegin(); it != prefixes.cend(); ++it) {
        auto known = live.constFind(it.value());
        if (known == live.cend())
            known = live.insert(it.value(), WineServerState::isRunning(it.value()));
        if (*known)
            ids.insert(it.key());
    }
    return ids;
}

void LaunchSessions::checkPrefixes()
{
    if (!m_watch.isActive())
        return;
    // One look at a time; a request during one is served by one more right after it.
    if (m_isChecking) {
        m_checkAgain = true;
        return;
    }
    m_isChecking = true;
    Background::run(
        this, [prefixes = m_prefixes] { return withLivePrefix(prefixes); },
        [this](const QSet<QUuid> &live) {
            m_isChecking = false;
            m_livePrefixIDs = live;
            updateRunning();
            Q_EMIT prefixesChecked();
            if (std::exchange(m_checkAgain, false))
                checkPrefixes();
        });
}

Outcome LaunchSessions::openLog(const GameEntry &entry)
{
    const QString log = logPath(entry);
    if (!QFileInfo::exists(log))
        return Outcome::error(noLaunchLogMessage());
    if (m_desktop && !m_desktop->openFile(log))
        return Outcome::error(DesktopServices::cannotOpen(log));
    return {};
}
