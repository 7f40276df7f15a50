#include "PlayTracker.h"

#include "library/LaunchSessions.h"
#include "platform/Background.h"

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 heartbeatSeconds = 30;
} // namespace

PlayTracker::PlayTracker(QString dataFolder, LaunchSessions &sessions, QObject *parent)
    : QObject(parent)
    , m_dataFolder(std::move(dataFolder))
    , m_sessions(sessions)
{
    connect(&sessions, &LaunchSessions::launched, this, [this](const QUuid &id) {
        m_running.insert(id);
        write([id, now = QDateTime::currentDateTimeUtc()](
                  PlayRecords &records) { PlayTimes::begin(records, id, now); });
    });
    connect(&sessions, &LaunchSessions::prefixesChecked, this, &PlayTracker::prefixesChecked);
    Background::run(
        this, [folder = m_dataFolder] { return PlayTimes::read(folder); },
        [this](const std::optional<PlayRecords> &read) {
            // A write that came back first knows better.
            if (read && m_records.isEmpty() && *read != m_records) {
                m_records = *read;
                Q_EMIT recordsChanged();
            }
        });
}

void PlayTracker::prefixesChecked()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QSet<QUuid> running = m_sessions.runningIDs();
    // A session begun but not yet seen running could be taken for one that never started.
    const bool unconfirmed = std::any_of(running.cbegin(), running.cend(), [this](const QUuid &id) {
        const auto record = m_records.constFind(id);
        return record != m_records.cend() && record->since && record->seen == record->since;
    });
    // The first look, and the heartbeat, write even when nothing changed.
    const bool due
        = !m_checkedAt.isValid() || unconfirmed || m_writtenAt.secsTo(now) >= heartbeatSeconds;
    if (running != m_running || due) {
        // What stopped running was last seen at the previous look, not now.
        write([before = m_running, at = m_checkedAt.isValid() ? m_checkedAt : now, running, now](
                  PlayRecords &records) {
            PlayTimes::follow(records, before | running, at);
            PlayTimes::follow(records, running, now);
        });
    }
    m_running = running;
    m_checkedAt = now;
}

void PlayTracker::recordNow(const QSet<QUuid> &ranUntilNow, const QSet<QUuid> &running)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (const auto written = PlayTimes::update(m_dataFolder, [&](PlayRecords &records) {
            PlayTimes::follow(records, ranUntilNow | running, now);
            PlayTimes::follow(records, running, now);
        })) {
        m_records = *written;
        Q_EMIT recordsChanged();
    }
}

void PlayTracker::write(std::function<void(PlayRecords &)> change)
{
    m_pending.append(std::move(change));
    if (!m_isWriting)
        writeNext();
}

void PlayTracker::writeNext()
{
    m_isWriting = true;
    m_writtenAt = QDateTime::currentDateTimeUtc();
    Background::run(
        this,
        [folder = m_dataFolder, changes = std::exchange(m_pending, {})] {
            return PlayTimes::update(folder, [&](PlayRecords &records) {
                for (const auto &change : changes)
                    change(records);
            });
        },
        [this](const std::optional<PlayRecords> &written) {
            m_isWriting = false;
            if (written && *written != m_records) {
                m_records = *written;
                Q_EMIT recordsChanged();
            }
            if (!m_pending.isEmpty())
                writeNext();
        });
}
