#pragma once

#include "library/GameEntry.h"
#include "library/Outcome.h"

#include <QObject>
#include <QSet>
#include <QUuid>

#include <chrono>
#include <memory>

class DesktopServices;

// The Wine sessions started from the library: launching an entry with a fresh log, following
// its launcher until it exits, and stopping its prefix. Launched programs are deliberately left
// running when this goes: the threads that wait for them hold it only weakly.
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
    // The Wine launcher of a launch has exited with `status`; `outcome` says it to the user.
    void launcherExited(const QUuid &id, int status, const Outcome &outcome);
    void stopFinished(const QUuid &id, const Outcome &outcome);

private:
    void launcherFinished(const QUuid &id, int status);

    QString m_dataFolder;
    std::shared_ptr<DesktopServices> m_desktop;
    std::chrono::milliseconds m_stopTimeLimit;
    QSet<QUuid> m_runningIDs;
};
