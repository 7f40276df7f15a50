#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>

struct GameEntry;

// The library's programs' own icons. Each is read from its executable on a worker, once per
// version of the file: the image is kept as a PNG in the cache folder, named by the file's
// version and the size, and in memory while the window runs.
class ProgramIcons : public QObject
{
    Q_OBJECT

public:
    explicit ProgramIcons(QString folder, QObject *parent = nullptr);
    // Under the user's cache folder.
    static ProgramIcons &shared();

    // A Steam game's shortcut runs steam.exe, whose icon is not the game's.
    static bool showsProgramIcon(const GameEntry &entry);

    // The icon at `pixels` device pixels a side, when it is known. Otherwise null, and it is
    // looked for: iconChanged tells when it is found.
    QImage icon(const QString &executablePath, int pixels);
    // Looks again at the icons known for a file, in case it was replaced.
    void refresh(const QString &executablePath);

    const QString &folder() const { return m_folder; }

Q_SIGNALS:
    void iconChanged(const QString &executablePath);

private:
    using Key = QPair<QString, int>;
    struct Known
    {
        QString version;
        QImage image;
    };
    void look(const Key &key);

    QString m_folder;
    QHash<Key, Known> m_known;
    QSet<Key> m_looking;
};
