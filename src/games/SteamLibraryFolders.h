#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Steam's library folders as the Windows Steam client in a Wine prefix lists them: its own
// "steamapps" first, then every folder its "libraryfolders.vdf" names, mapped through the
// prefix's drives. A player's big games often live on another drive.
class SteamLibraryFolders
{
public:
    struct Folder
    {
        QString windowsPath; // as Steam names it
        QString steamApps; // its "steamapps" on this machine; empty: the path can't be mapped
        bool isReadable = false; // a folder that could be searched

        bool operator==(const Folder &) const = default;
    };

    // What can be said of a game's manifest across every folder.
    enum class Presence {
        found, // some folder holds a manifest of the app
        gone, // every folder was searched, and none does
        unknown, // a folder, a list or a manifest couldn't be read: it may be there
    };

    // What a manifest says of its game; `installed` means every rule of a finished install holds.
    enum class State { installed, updating, downloading, notInstalled };

    struct Manifest
    {
        QString appID;
        QString name; // as the manifest names the game; may be empty
        State state = State::notInstalled;
        QString steamApps; // the folder it was found in
    };

    // Nothing is opened that isn't a regular file; every list and folder is read again.
    static SteamLibraryFolders read(const QString &prefixPath);

    const QList<Folder> &folders() const { return m_folders; }
    // Every "libraryfolders.vdf" that is there could be read whole.
    bool isListReadable() const { return m_isListReadable; }
    // The lists themselves, for a watch.
    QStringList listFiles() const;

    // The first manifest, in the folders' order, that can be read and names the app.
    std::optional<Manifest> manifest(const QString &appID) const;
    bool isInstalled(const QString &appID) const;
    Presence presence(const QString &appID) const;
    // Every manifest of every readable folder, in the folders' order and then by app ID.
    QList<Manifest> manifests() const;

    // "D:\Games" as Steam writes it, on this machine: drive C is the prefix's "drive_c", every
    // other letter its link in "dosdevices". Empty for a path that isn't a drive path.
    static QString hostPath(const QString &prefixPath, const QString &windowsPath);
    // A manifest or a list: a small regular UTF-8 text file, else none.
    static std::optional<QString> readText(const QString &path);
    static State stateOf(const QString &manifest, const QString &appID, const QString &steamApps);
    static QString steamRoot(const QString &prefixPath);

private:
    std::optional<Manifest> manifestIn(const Folder &folder, const QString &appID) const;

    QString m_root;
    QList<Folder> m_folders;
    bool m_isListReadable = true;
};
