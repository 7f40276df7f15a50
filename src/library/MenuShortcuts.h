#pragma once

#include "library/GameEntry.h"
#include "platform/Expected.h"
#include "platform/WindowsIcon.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Library entries in the desktop's applications menu (freedesktop desktop entries): one
// "quillmere-ID.desktop" per entry in the data home's "applications" folder, its icon in the
// data home's hicolor theme, and a command that launches the entry through the open window, or
// on its own when there is none. Only files of that name that say they are ours are touched.
class MenuShortcuts
{
public:
    // `dataHome`: the XDG data folder (empty: shortcuts are off); `program`: this executable.
    MenuShortcuts(QString dataHome, QString program);
    // The user's, for this executable.
    static MenuShortcuts forUser();

    bool isEnabled() const { return !m_dataHome.isEmpty(); }
    // Why there are none here (macOS).
    static QString unavailable();
    QString desktopFilePath(const QUuid &id) const;
    bool has(const QUuid &id) const;
    // Writes (or rewrites) the entry's shortcut; without an icon it shows the application's.
    Expected<void, QString> add(
        const GameEntry &entry, const std::optional<WindowsIcon::ThemeImage> &icon) const;
    Expected<void, QString> remove(const GameEntry &entry) const;
    // After the library changed: a renamed entry's shortcut gets the new name, and one whose
    // entry is gone is removed. Returns how many files it changed.
    int follow(const QList<GameEntry> &entries) const;

    // The desktop entry's text for `entry`.
    QString desktopEntry(const GameEntry &entry, const QString &iconName) const;

private:
    QString iconPath(const QUuid &id, int side) const;
    void removeIcons(const QUuid &id) const;
    Expected<void, QString> write(const QString &path, const QByteArray &bytes) const;

    QString m_dataHome;
    QString m_program;
};
