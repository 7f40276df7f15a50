#pragma once

#include "library/PlayTimes.h"

#include <QDateTime>
#include <QObject>
#include <QSet>

#include <functional>

class LaunchSessions;

// Keeps "playtime.json" in step with the sessions: a launch starts a session, each look at the
// prefixes confirms or ends the sessions under way. Writes run on a worker, one at a time, when
// the running set changes and at most every half minute while it does not.
class PlayTracker : public QObject
{
    Q_OBJECT

public:
    PlayTracker(QString dataFolder, LaunchSessions &sessions, QObject *parent = nullptr);

    // As last read or written; the session under way counts up to its last sighting.
    const PlayRecords &records() const { return m_records; }
    // `ranUntilNow` were running until now; `running` still are. Blocks for the file: for the
    // command line, which has no worker to wait for.
    void recordNow(const QSet<QUuid> &ranUntilNow, const QSet<QUuid> &running);

Q_SIGNALS:
    void recordsChanged();

private:
    void prefixesChecked();
    void write(std::function<void(PlayRecords &)> change);
    void writeNext();

    QString m_dataFolder;
    LaunchSessions &m_sessions;
    PlayRecords m_records;
    QSet<QUuid> m_running;
    QDateTime m_checkedAt;
    QDateTime m_writtenAt;
    QList<std::function<void(PlayRecords &)>> m_pending;
    bool m_isWriting = false;
};
