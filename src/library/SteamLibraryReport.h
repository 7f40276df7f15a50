#pragma once

#include "library/GameEntry.h"
#include "library/SteamLibraryFolders.h"
#include "profiles/GameCompatibilityProfile.h"

#include <optional>

class LibraryModel;

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
        const LibraryModel &library, const QList<GameCompatibilityProfile> &profiles);
    // "installed", "updating", "downloading", "notInstalled".
    static QString stateKey(SteamLibraryFolders::State state);
};
