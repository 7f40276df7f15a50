#pragma once

#include <QJsonObject>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

// One Windows program of the library: what to run, in which prefix, with which Wine.
struct GameEntry
{
    QUuid id = QUuid::createUuid();
    QString name;
    QString executablePath;
    QString prefixPath;
    QString winePath;
    QString wineServerPath;
    QStringList arguments;
    QMap<QString, QString> environment;
    // Seconds since 2001-01-01 00:00:00 UTC, kept as the double the library file holds so a
    // value written by another program survives a load and a save bit for bit.
    double addedAt = currentTimestamp();
    // Keys of the library file this version doesn't know (a newer version's), kept so that a
    // save doesn't drop them. They count for equality: a change another process made to them
    // is a change.
    QJsonObject unknownKeys;

    static double currentTimestamp();

    // A variable name of `_`, ASCII letters and digits, not starting with a digit.
    static bool validEnvironmentKey(const QString &key);

    // One KEY=VALUE per line, keys in ascending order.
    QString environmentEditorText() const;
    // Parses the editor's text; comments, lines without "=" and invalid names are skipped,
    // and the last line for a name wins.
    void setEnvironmentEditorText(const QString &text);

    // A program receives its arguments and environment as C strings, which a NUL would cut
    // short: the first argument that holds one (its index), else -1.
    qsizetype argumentWithNul() const;
    // The first variable whose name or value holds one.
    std::optional<QString> variableWithNul() const;

    // A Steam game's shortcut: it runs steam.exe, whose icon is not the game's.
    bool launchesSteamGame() const
    {
        return arguments.size() == 2 && arguments.first() == QStringLiteral("-applaunch");
    }

    // The canonical upper-case 8-4-4-4-12 form used in the library file and log names.
    QString idString() const;

    bool operator==(const GameEntry &) const = default;
};

Q_DECLARE_METATYPE(GameEntry)

// The canonical upper-case form of any UUID.
QString uuidText(const QUuid &id);

// Whether the text is a UUID in the 8-4-4-4-12 form, in either letter case (no braces).
bool isUuidText(QStringView text);
