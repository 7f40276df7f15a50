#pragma once

#include "profiles/GameCompatibilityProfile.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class LibraryModel;

// While the window is open, a game that Steam finishes installing becomes a shortcut without the
// user coming back to the window: the Steam entry's library folders and their lists are watched,
// and a change runs the pending-install refresh once things have settled. The watch is inotify's
// (no file is held open, so a drive can still be unmounted) and does nothing while nothing
// changes.
class SteamLibraryWatcher : public QObject
{
    Q_OBJECT

public:
    SteamLibraryWatcher(LibraryModel &library,
        std::function<QList<GameCompatibilityProfile>()> profiles, QObject *parent = nullptr);

    QStringList watchedPaths() const;

    // Steam writes a manifest several times as an install ends; one refresh follows them all.
    static constexpr std::chrono::milliseconds settleTime {1000};

private:
    // Watches the folders of the Steam entry as they are now.
    void follow();
    void changed();
    void refresh();

    LibraryModel &m_library;
    std::function<QList<GameCompatibilityProfile>()> m_profiles;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
};
