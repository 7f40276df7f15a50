#pragma once

#include "setup/DetectedWineRuntime.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class UserDefaults;

// A fixed place where a wine binary may be, with the name people know it by (empty: derived
// from the folders, as for any other find).
struct RuntimeCandidate
{
    QString winePath;
    QString name;
};

// Where discovery looks. The defaults are the real places; tests build their own trees.
struct DiscoveryPlaces
{
    QList<RuntimeCandidate> binaries; // single wine binaries, tried first
    QStringList bundleFolders; // folders of ".app" bundles and "engine-" folders
    QString gamesFolder; // a game library whose games hold "engine-" folders

    // The macOS places, plus the usual system places on Linux. `dataFolder` is the
    // application data folder, whose "Runtimes" holds the Wine that setup installs.
    static DiscoveryPlaces standard(const QString &dataFolder);
};

// Finds Wine installations. Only reads the file system and never fails: a folder that can't
// be listed contributes nothing.
namespace RuntimeDiscovery {

QList<DetectedWineRuntime> findRuntimes(const DiscoveryPlaces &places);

// Candidate wine paths for the ".app" and "engine-" items of one folder, in listing order.
QStringList wineBinaries(const QString &folder);
// Candidate wine paths of the "engine-" folders inside each game of a game library.
QStringList existingLibraryWineBinaries(const QString &gamesFolder);
// The innermost ".app" folder that contains `path`.
std::optional<QString> containingAppBundle(const QString &path);

// Quillmere's runtimes first, then by name (case-insensitive, locale-aware); stable.
void sortRuntimes(QList<DetectedWineRuntime> &runtimes);

// The runtimes the user has approved in Finder, by wine path.
inline constexpr char approvedRuntimePathsKey[] = "Quillmere.approvedRuntimePaths";
QStringList approvedRuntimePaths(const UserDefaults &defaults);
void approveRuntime(UserDefaults &defaults, const QString &winePath);

} // namespace RuntimeDiscovery
