#pragma once

#include "library/GameEntry.h"
#include "library/Outcome.h"
#include "profiles/GameCompatibilityProfile.h"

#include <QSet>
#include <QStringList>

#include <functional>
#include <optional>

class LibraryModel;

// The library's Steam game shortcuts: open a game's page in the Windows Steam client, wait for
// its install, and add a library entry that starts it through Steam. Holds nothing of its own:
// the entries are the library's, the pending installs are in the user's defaults, so any number
// of these may look at one library.
class SteamShortcuts
{
public:
    explicit SteamShortcuts(LibraryModel &library)
        : m_library(library)
    {
    }

    const QList<GameEntry> &entries() const;
    std::optional<GameEntry> steamEntry() const;
    std::optional<GameEntry> steamGameEntry(const GameCompatibilityProfile &profile) const;
    bool isSteamGameInstalled(const GameCompatibilityProfile &profile) const;
    bool isSteamGamePendingInstall(const GameCompatibilityProfile &profile) const;
    QStringList pendingSteamGameIDs() const; // sorted
    static constexpr char pendingSteamGamesKey[] = "Quillmere.pendingSteamGameInstalls";

    Outcome openSteamGamePage(const GameCompatibilityProfile &profile);
    Outcome addSteamGameShortcut(const GameCompatibilityProfile &profile);
    // Adds the pending games Steam has finished installing.
    Outcome refreshPendingSteamGameInstalls(const QList<GameCompatibilityProfile> &profiles);
    Outcome refreshGameProfiles(const QList<GameCompatibilityProfile> &profiles);
    // Removes the shortcuts of catalogue games Steam no longer has; run once at start.
    void removeUninstalledSteamGameShortcuts(const QList<GameCompatibilityProfile> &catalog);

private:
    void updatePendingSteamGameIDs(const std::function<void(QSet<QString> &)> &change);
    GameEntry makeSteamShortcut(
        const GameEntry &steam, const GameCompatibilityProfile &profile) const;

    LibraryModel &m_library;
};
