#pragma once

#include "games/SteamLibraryFolders.h"
#include "library/GameEntry.h"
#include "profiles/GameCompatibilityProfile.h"

#include <optional>

class SteamShortcuts;

// What Steam holds for the library, as `quillmere steam` shows it: the Steam entry, its library
// folders, and every game Steam has a manifest for.
struct SteamLibraryReport
{
    struct Game
    {
        SteamLibraryFolders::Manifest manifest;
        QString name; // the profile's, else the manifest's; may be empty
        bool hasShortcut = false;
    };

    std::optional<GameEntry> steam;
    bool isListReadable = true;
    QList<SteamLibraryFolders::Folder> folders;
    QList<Game> games;

    static SteamLibraryReport of(
        const SteamShortcuts &library, const QList<GameCompatibilityProfile> &profiles);
    // "installed", "updating", "downloading", "notInstalled".
    static QString stateKey(SteamLibraryFolders::State state);
};
