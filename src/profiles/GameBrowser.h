#pragma once

#include "profiles/GameCompatibilityProfile.h"
#include "profiles/ProfileSelection.h"
#include "profiles/SteamClients.h"

#include <QCollator>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The rules of the game profiles page: which profiles it shows, in which sections and order,
// what their cards say, and how the selection and the chosen store follow the list.
namespace GameBrowser {

using StoreGames = QHash<QString, SteamStoreGameData>; // Steam data per profile id
using Ranks = QHash<QString, int>; // most-played rank per Steam app ID

struct SteamGameSection
{
    QString id;
    QString title;
    QString subtitle;
    QString symbol;
    ProfileSelection games;

    bool operator==(const SteamGameSection &) const = default;
};

// The profile the page selects before the user picks one.
QString initialSelectedGameID();

// Steam's own Mac flag when it states one, otherwise the profile's.
bool hasNativeMacVersion(const GameCompatibilityProfile &profile, const StoreGames &storeGames);
std::optional<int> rank(const GameCompatibilityProfile &profile, const Ranks &ranks);

// Compares names ignoring case under the user's locale. Build it once per sort.
QCollator nameCollator();
// Lower rank first (unranked last), then by name. Meant for std::stable_sort, so profiles that
// tie on both keep their catalogue order.
bool popularityOrder(const GameCompatibilityProfile &a, const GameCompatibilityProfile &b,
    const Ranks &ranks, const QCollator &names);
bool popularityOrder(
    const GameCompatibilityProfile &a, const GameCompatibilityProfile &b, const Ranks &ranks);

// "unsupported" (no native Mac release) then "popular" (native and ranked); empty sections are
// left out and native, unranked profiles are shown nowhere.
QList<SteamGameSection> gameSections(const QList<GameCompatibilityProfile> &matching,
    const StoreGames &storeGames, const Ranks &ranks);
// The profiles in the order the sections show them. Sorting is the costly part of sectioning
// and does not depend on the search, so the browser sorts once per catalogue, store data and
// chart, and sections each search's matches with sectionsInOrder.
QList<GameCompatibilityProfile> sectionOrder(
    QList<GameCompatibilityProfile> games, const Ranks &ranks);
// As gameSections, for profiles already in sectionOrder. Each profile's section is worked out once
// for the whole catalogue and kept with it until other store data or another chart is passed.
QList<SteamGameSection> sectionsInOrder(
    const ProfileSelection &ordered, const StoreGames &storeGames, const Ranks &ranks);
ProfileSelection visibleProfiles(const QList<SteamGameSection> &sections);
// The visible profile with that id, else the first visible one.
std::optional<GameCompatibilityProfile> selectedGame(
    const ProfileSelection &visible, const QString &selectedGameID);

// "NO MAC VERSION" or "STEAM #" and the rank; empty for a native, unranked profile (never shown).
QString cardTag(
    const GameCompatibilityProfile &profile, const StoreGames &storeGames, const Ranks &ranks);
// Steam's name for the game when it gave one, otherwise the profile's.
QString displayTitle(const GameCompatibilityProfile &profile, const StoreGames &storeGames);
QString cardAccessibleLabel(const GameCompatibilityProfile &profile, const StoreGames &storeGames);

// The selection after the visible list changed: kept while visible (or when nothing is),
// otherwise the first visible id.
QString selectionFollowingVisible(const QStringList &visibleIDs, const QString &selectedGameID);
// The store the guide shows after the selection changed: the selected profile's first
// storefront, "steam" when the catalogue has no such profile.
QString storefrontFollowingSelection(
    const QList<GameCompatibilityProfile> &catalog, const QString &selectedGameID);
// The chosen store when the profile sells there, otherwise the profile's first one.
GameStorefront selectedStorefront(
    const GameCompatibilityProfile &profile, const QString &selectedStorefrontID);

// The header line under the page title, counting the whole catalogue.
QString countLine(qsizetype catalogCount);
// What assistive tools read for the count capsule of visible profiles.
QString countAccessibleLabel(qsizetype visibleCount);

} // namespace GameBrowser
