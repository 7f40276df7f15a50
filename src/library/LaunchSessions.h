#pragma once

#include "library/GameEntry.h"
#include "library/Outcome.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <memory>

class DesktopServices;

// The library's Wine sessions: launching an entry with a fresh log, following its launcher until
// it exits, and stopping its prefix. An entry runs while its launcher does or while its prefix
// has a live wineserver, whoever started it (an earlier window, a terminal, Steam); entries that
// share a prefix share its session. Launched programs are deliberately left running when this
// goes: the threads that wait for them hold it only weakly.
class LaunchSessions : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QSet<QUuid> runningIDs READ runningIDs NOTIFY runningIDsChanged)

public:
    // `desktop` may be null where there is no desktop (the command line).
    LaunchSessions(QString dataFolder, std::shared_ptr<DesktopServices> desktop,
        std::chrono::milliseconds stopTimeLimit, QObject *parent = nullptr);

    const QSet<QUuid> &runningIDs() const { return m_runningIDs; }
    bool isRunning(const QUuid &id) const { return m_runningIDs.contains(id); }
    // Whether the entry's own launcher runs, as opposed to only its prefix.
    bool isLaunching(const QUuid &id) const { return m_launcherIDs.contains(id); }

    // The entries' prefixes to follow, looked at every `interval` on a worker and after each
    // launcher exit and stop; with no interval, not at all (only launchers count).
    void watchPrefixes(const QHash<QUuid, QString> &prefixes, std::chrono::milliseconds interval);
    void checkPrefixes();
    // The entries whose prefix has a live wineserver now; a few system calls per prefix.
    static QSet<QUuid> withLivePrefix(const QHash<QUuid, QString> &prefixes);
    // Where the entry's latest launch writes its output.
    QString logPath(const GameEntry &entry) const;

    // Quiet when the entry already runs.
    Outcome launch(const GameEntry &entry);
    // Runs `wineserver -k` for the entry's prefix away from the GUI thread; `stopFinished` tells.
    void stop(const GameEntry &entry);
    Outcome openLog(const GameEntry &entry);

    static QString noLaunchLogMessage();

Q_SIGNALS:
    void runningIDsChanged();
    void launched(const QUuid &id);
    // A look at the prefixes has ended; `runningIDs` is up to date.
    void prefixesChecked();
    // The Wine launcher of a launch has exited with `status`; `outcome` says it to the user.
    void launcherExited(const QUuid &id, int status, const Outcome &outcome);
    void stopFinished(const QUuid &id, const Outcome &outcome);

private:
    void launcherFinished(const QUuid &id, int status);
    void updateRunning();

    QString m_dataFolder;
    std::shared_ptr<DesktopServices> m_desktop;
    std::chrono::milliseconds m_stopTimeLimit;
    QSet<QUuid> m_launcherIDs;
    QSet<QUuid> m_livePrefixIDs;
    QSet<QUuid> m_runningIDs; // both of the above
    QHash<QUuid, QString> m_prefixes;
    QTimer m_watch;
    bool m_isChecking = false;
    bool m_checkAgain = false;
};
