#include "PlayTimes.h"

#include "library/LibraryLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 sizeLimit = 8 << 20;
constexpr qint64 startGraceSeconds = 15;

QString timeText(const std::optional<QDateTime> &time)
{
    return time ? time->toUTC().toString(Qt::ISODateWithMs) : QString();
}

std::optional<QDateTime> timeFrom(const QJsonValue &value)
{
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? std::optional(time) : std::nullopt;
}

QByteArray encode(const PlayRecords &records)
{
    QJsonObject entries;
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        QJsonObject record {{u"seconds"_s, it->seconds}};
        for (const auto &[key, time] : {std::pair {u"lastPlayedAt"_s, it->lastPlayedAt},
                 {u"since"_s, it->since}, {u"seen"_s, it->seen}}) {
            if (time)
                record.insert(key, timeText(time));
        }
        entries.insert(it.key().toString(QUuid::WithoutBraces), record);
    }
    return QJsonDocument(QJsonObject {{u"entries"_s, entries}}).toJson(QJsonDocument::Indented);
}

std::optional<PlayRecords> decode(const QByteArray &bytes)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    PlayRecords records;
    const QJsonObject entries = document.object().value(u"entries"_s).toObject();
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        const QUuid id = QUuid::fromString(it.key());
        const QJsonObject value = it.value().toObject();
        if (id.isNull())
            continue;
        PlayRecord record;
        record.seconds = std::max<qint64>(0, value.value(u"seconds"_s).toInteger());
        record.lastPlayedAt = timeFrom(value.value(u"lastPlayedAt"_s));
        record.since = timeFrom(value.value(u"since"_s));
        record.seen = timeFrom(value.value(u"seen"_s));
        if (!record.since || !record.seen)
            record.since = record.seen = std::nullopt;
        records.insert(id, record);
    }
    return records;
}

PlayRecords readLocked(const QString &file)
{
    QFile in(file);
    if (!in.exists())
        return {};
    if (!in.open(QIODevice::ReadOnly) || in.size() > sizeLimit) {
        qCWarning(libraryLog) << "play times can't be read:" << file;
        return {};
    }
    if (const auto records = decode(in.read(sizeLimit)))
        return *records;
    // Damaged: keep it for whoever wants to look, and count afresh.
    const QString aside = file + u".damaged"_s;
    QFile::remove(aside);
    QFile::rename(file, aside);
    qCWarning(libraryLog) << "damaged play times set aside as" << aside;
    return {};
}

} // namespace

QString PlayTimes::path(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(u"playtime.json"_s);
}

std::optional<PlayRecords> PlayTimes::read(const QString &dataFolder)
{
    // Looking leaves nothing behind where there is nothing yet, not even a lock.
    if (!QFileInfo::exists(path(dataFolder)))
        return PlayRecords();
    QLockFile lock(path(dataFolder) + u".lock"_s);
    if (!lock.tryLock(2000))
        return std::nullopt;
    return readLocked(path(dataFolder));
}

std::optional<PlayRecords> PlayTimes::update(
    const QString &dataFolder, const std::function<void(PlayRecords &)> &change)
{
    const QString file = path(dataFolder);
    if (!QFileInfo::exists(dataFolder)) {
        // Looking makes no folder.
        PlayRecords fresh;
        change(fresh);
        if (fresh.isEmpty())
            return fresh;
        QDir().mkpath(dataFolder);
    }
    QLockFile lock(file + u".lock"_s);
    if (!lock.tryLock(5000)) {
        qCWarning(libraryLog) << "play times are locked by another process:" << file;
        return std::nullopt;
    }
    PlayRecords records = readLocked(file);
    const PlayRecords before = records;
    change(records);
    if (records == before)
        return records;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(encode(records)) < 0 || !out.commit()) {
        qCWarning(libraryLog) << "play times can't be written:" << file << out.errorString();
        return std::nullopt;
    }
    return records;
}

void PlayTimes::begin(PlayRecords &records, const QUuid &id, const QDateTime &now)
{
    PlayRecord &record = records[id];
    if (record.since)
        return; // already under way: a second launch adds no time of its own
    record.since = now;
    record.seen = now;
    record.lastPlayedAt = now;
}

void PlayTimes::follow(PlayRecords &records, const QSet<QUuid> &running, const QDateTime &now)
{
    for (auto it = records.begin(); it != records.end(); ++it) {
        if (!it->since)
            continue;
        // A launcher may take a moment to start its prefix's programs.
        const bool starting = it->seen == it->since && it->since->secsTo(now) < startGraceSeconds;
        if (running.contains(it.key())) {
            it->seen = std::max(*it->seen, now);
            it->lastPlayedAt = it->seen;
            continue;
        }
        if (starting)
            continue;
        it->seconds += std::max<qint64>(0, it->since->secsTo(*it->seen));
        it->lastPlayedAt = it->seen;
        it->since = it->seen = std::nullopt;
    }
}
