#pragma once

#include "library/GameEntry.h"
#include "library/Outcome.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

// The disk space each Wine prefix takes, measured on a worker and kept until a session in it
// ends; and the deletion of a prefix Quillmere made itself for a direct run.
class PrefixStorage : public QObject
{
    Q_OBJECT

public:
    explicit PrefixStorage(QString dataFolder, QObject *parent = nullptr);

    // None until measured.
    std::optional<qint64> bytes(const QString &prefix) const;
    // Starts a measurement unless one is known or under way.
    void measure(const QString &prefix);
    // Its programs may have changed it.
    void forget(const QString &prefix);

    // The blocks its files take, links not followed; a few hundred milliseconds for a big prefix.
    static qint64 measureNow(const QString &prefix);
    // Only a direct run's prefix in Quillmere's own Prefixes folder, a real folder, that no other
    // entry uses: nothing else is ever offered for deletion.
    static bool isDeletable(
        const QString &dataFolder, const GameEntry &entry, const QList<GameEntry> &entries);
    // Moves the prefix aside at once, then, on a worker, deletes it. `moved` hears on this
    // thread whether it could be moved (then the entry may go); deletion carries on after.
    void remove(const QString &prefix, std::function<void(const Outcome &)> moved);

    static QString byteText(qint64 bytes); // "712 MB"

Q_SIGNALS:
    void changed();

private:
    QString m_dataFolder;
    QHash<QString, qint64> m_bytes;
    QSet<QString> m_measuring;
};
