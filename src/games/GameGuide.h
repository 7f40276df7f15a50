#pragma once

#include "profiles/GameCompatibilityProfile.h"

#include <QList>
#include <QString>
#include <QUrl>

class SteamShortcuts;
struct GameEntry;

// The rules of a game's install guide: what is done, which steps are left, and the one action
// that moves the user on. Everything is computed from facts read fresh each time.
namespace GameGuide {

struct InstallFacts
{
    bool wineReady = false;
    bool steamInstalled = false;
    bool gameInstalled = false;
    bool installPending = false;
    bool shortcutPresent = false;
    bool launcherEntryPresent = false;

    bool operator==(const InstallFacts &) const = default;
};

// `wineReady` comes from the setup readiness test, which the caller runs away from this.
InstallFacts installFacts(
    const SteamShortcuts &steam, const GameCompatibilityProfile &profile, bool wineReady);
// An entry that looks like the Battle.net launcher or its installer, by name or file name.
bool isLauncherEntry(const GameEntry &entry);

struct GuideStep
{
    int number = 0;
    QString title;
    QString detail;
    bool isComplete = false;
    bool isLast = false;

    bool operator==(const GuideStep &) const = default;
};

// Steam's steps need an app ID to follow the install; everything else follows the launcher.
bool usesSteamSteps(const GameCompatibilityProfile &profile, GameStorefront storefront);
QList<GuideStep> steps(const GameCompatibilityProfile &profile, GameStorefront storefront,
    const InstallFacts &facts, const QString &displayTitle);

struct PrimaryAction
{
    enum class Kind {
        setUpStore, // onSetUpStore(profile, storefront)
        openBattleNetDownload, // open `url` in the browser
        openSteamPage, // library.openSteamGamePage(profile)
        addShortcut, // library.addSteamGameShortcut(profile)
        launchShortcut, // library.launch(library.steamGameEntry(profile))
        openStorePage, // open `url` in the browser: a Steam profile Quillmere can't follow
    };
    Kind kind = Kind::setUpStore;
    QString title;
    QString symbol;
    QString caption; // empty: none
    GameStorefront storefront = GameStorefront::steam;
    QUrl url; // for the kinds that open a page

    bool operator==(const PrimaryAction &) const = default;
};

PrimaryAction primaryAction(const GameCompatibilityProfile &profile, GameStorefront storefront,
    const InstallFacts &facts, const QString &displayTitle);

// The texts of the overview and the compatibility card.
struct Badge
{
    QString text;
    QString symbol;

    bool operator==(const Badge &) const = default;
};
// On the artwork: whether the profile is about a game without a native Mac release.
QString artworkBadge(const GameCompatibilityProfile &profile);
// Cost, store and minimum system, in that order.
QList<Badge> catalogBadges(const GameCompatibilityProfile &profile, GameStorefront storefront);
QString storeButtonToolTip(GameStorefront storefront);
QString storeButtonAccessibleLabel(
    const GameCompatibilityProfile &profile, GameStorefront storefront);

struct CompatibilityFact
{
    QString title;
    QString value;
    QString symbol;

    bool operator==(const CompatibilityFact &) const = default;
};
// Only the facts the profile has a value for.
QList<CompatibilityFact> compatibilityFacts(const GameCompatibilityProfile &profile);
QString compatibilityNote();

} // namespace GameGuide
