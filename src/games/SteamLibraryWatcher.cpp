#include "SteamLibraryWatcher.h"

#include "games/SteamLibraryFolders.h"
#include "games/SteamShortcuts.h"
#include "library/LibraryModel.h"
#include "platform/RegularFile.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// Where to watch for a folder that may not be there yet: the folder itself, else the nearest
// one above it, so that its creation, or the mounting of the drive it is on, is seen. A drive
// link to nowhere is followed to where its folder would appear.
QString nearestFolder(QString path)
{
    for (int step = 0; step < 64 && !path.isEmpty(); ++step) {
        const FileKind kind = FileKind::of(path);
        if (kind.kind == FileKind::Kind::folder)
            return path;
        if (kind.kind == FileKind::Kind::danglingLink) {
            path = QDir::cleanPath(QFileInfo(path).absoluteDir().absoluteFilePath(kind.linkTarget));
            continue;
        }
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            break;
        path = parent;
    }
    return {};
}

} // namespace

SteamLibraryWatcher::SteamLibraryWatcher(LibraryModel &library,
    std::function<QList<GameCompatibilityProfile>()> profiles, QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_profiles(std::move(profiles))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleTime);
    connect(&m_settle, &QTimer::timeout, this, &SteamLibraryWatcher::refresh);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &SteamLibraryWatcher::changed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &SteamLibraryWatcher::changed);
    // The Steam entry may come, go or move to another prefix.
    connect(&library, &LibraryModel::entriesChanged, this, &SteamLibraryWatcher::follow);
    follow();
}

QStringList SteamLibraryWatcher::watchedPaths() const
{
    return m_watcher.directories() + m_watcher.files();
}

void SteamLibraryWatcher::follow()
{
    QStringList wanted;
    if (const auto steam = SteamShortcuts(m_library).steamEntry()) {
        const auto folders = SteamLibraryFolders::read(steam->prefixPath);
        for (const QString &list : folders.listFiles()) {
            // Replaced by a rename, the list shows in its folder; rewritten, only in itself.
            wanted << nearestFolder(QFileInfo(list).path());
            if (FileKind::of(list).kind == FileKind::Kind::regular)
                wanted << list;
        }
        for (const SteamLibraryFolders::Folder &folder : folders.folders()) {
            if (folder.steamApps.isEmpty())
                continue;
            wanted << nearestFolder(folder.steamApps);
            if (!folder.isReadable)
                continue;
            const QStringList manifests
                = QDir(folder.steamApps).entryList({u"appmanifest_*.acf"_s}, QDir::Files);
            for (const QString &name : manifests)
                wanted << folder.steamApps + u'/' + name;
        }
    }
    wanted.removeAll(QString());
    wanted.removeDuplicates();
    QStringList gone;
    for (const QString &path : watchedPaths()) {
        if (!wanted.removeOne(path))
            gone << path;
    }
    if (!gone.isEmpty())
        m_watcher.removePaths(gone);
    if (!wanted.isEmpty())
        m_watcher.addPaths(wanted);
}

void SteamLibraryWatcher::changed()
{
    // Not restarted by later changes: a long download still gets its look every second.
    if (!m_settle.isActive())
        m_settle.start();
}

void SteamLibraryWatcher::refresh()
{
    follow();
    QList<GameCompatibilityProfile> withAppID;
    for (const GameCompatibilityProfile &profile : m_profiles()) {
        if (profile.appID)
            withAppID << profile;
    }
    m_library.present(SteamShortcuts(m_library).refreshPendingSteamGameInstalls(withAppID));
}
