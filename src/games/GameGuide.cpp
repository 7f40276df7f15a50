#include "GameGuide.h"

#include "games/SteamShortcuts.h"
#include "profiles/GameProfileSearch.h"

#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;
using Kind = GameGuide::PrimaryAction::Kind;

GameGuide::InstallFacts GameGuide::installFacts(
    const SteamShortcuts &steam, const GameCompatibilityProfile &profile, bool wineReady)
{
    const QList<GameEntry> &entries = steam.entries();
    InstallFacts facts;
    facts.wineReady = wineReady;
    facts.steamInstalled = steam.steamEntry().has_value();
    facts.gameInstalled = steam.isSteamGameInstalled(profile);
    facts.installPending = steam.isSteamGamePendingInstall(profile);
    facts.shortcutPresent = steam.steamGameEntry(profile).has_value();
    facts.launcherEntryPresent = std::any_of(entries.cbegin(), entries.cend(), isLauncherEntry);
    return facts;
}

bool GameGuide::isLauncherEntry(const GameEntry &entry)
{
    const QLocale locale;
    const QString fileName = QFileInfo(entry.executablePath).fileName();
    return GameProfileSearch::containsFolded(
               entry.name, GameProfileSearch::folded(u"battle.net"_s, locale), locale)
        || GameProfileSearch::containsFolded(
            fileName, GameProfileSearch::folded(u"battle.net.exe"_s, locale), locale);
}

bool GameGuide::usesSteamSteps(const GameCompatibilityProfile &profile, GameStorefront storefront)
{
    return storefront == GameStorefront::steam && profile.appID.has_value();
}

QList<GameGuide::GuideStep> GameGuide::steps(const GameCompatibilityProfile &profile,
    GameStorefront storefront, const InstallFacts &facts, const QString &displayTitle)
{
    const auto step = [](int number, const QString &title, bool isComplete,
                          const QString &whenComplete, const QString &otherwise) {
        return GuideStep {
            number, title, isComplete ? whenComplete : otherwise, isComplete, number == 4};
    };
    if (usesSteamSteps(profile, storefront)) {
        const bool ready = facts.gameInstalled && facts.shortcutPresent;
        return {
            step(1, u"Prepare Wine"_s, facts.wineReady, u"Wine and its requirements are ready."_s,
                u"Quillmere will install missing components."_s),
            step(2, u"Set up Steam"_s, facts.steamInstalled, u"Steam is installed in Quillmere."_s,
                u"Sign in to your Steam account after installing Steam."_s),
            step(3, u"Install "_s + profile.edition, facts.gameInstalled,
                u"Steam reports this game is installed."_s,
                facts.installPending
                    ? u"Check edition access or continue the download in Steam."_s
                    : u"Open the Steam page to check access and install this edition."_s),
            step(4, u"Launch from Quillmere"_s, ready,
                u"The installed game is ready in your library."_s,
                facts.gameInstalled ? u"Quillmere can add the launch shortcut."_s
                                    : u"Completes after Steam confirms the install is complete."_s),
        };
    }
    const QString setUp = u"After setup, edit that entry to use Battle.net.exe in the same Wine "
                          u"prefix."_s;
    const QString play
        = u"Sign in to Battle.net, install your PC edition, then play from its library."_s;
    return {
        step(1, u"Prepare Wine"_s, facts.wineReady, u"Wine and its requirements are ready."_s,
            u"Install Wine before running the Windows launcher."_s),
        step(2, u"Install Battle.net"_s, facts.launcherEntryPresent,
            u"The installer has a Quillmere entry."_s,
            u"Download the PC installer, then choose + → Run Windows .exe…"_s),
        // The launcher's own progress is invisible from here, so these never complete.
        step(3, u"Set up the launcher"_s, false, setUp, setUp),
        step(4, u"Install "_s + displayTitle, false, play, play),
    };
}

GameGuide::PrimaryAction GameGuide::primaryAction(const GameCompatibilityProfile &profile,
    GameStorefront storefront, const InstallFacts &facts, const QString &displayTitle)
{
    if (!facts.wineReady)
        return {Kind::setUpStore, u"Set Up Wine"_s, u"wineglass"_s,
            u"Wine Setup prepares the runtime Quillmere uses for Windows apps."_s, storefront, {}};
    if (storefront == GameStorefront::battleNet)
        return {Kind::openBattleNetDownload, u"Get Battle.net PC installer"_s,
            u"arrow.down.circle"_s,
            u"Download the Windows installer, then choose + → Run Windows .exe…. After setup, "
            u"edit its Quillmere entry to use Battle.net.exe in the same prefix, then install and "
            u"launch the game from Battle.net."_s,
            storefront, Storefronts::downloadURL(storefront)};
    // Steam's page and shortcut both need the app ID, so without one the store's web page is
    // the only step that can succeed.
    if (!profile.appID)
        return {Kind::openStorePage,
            u"Open "_s + Storefronts::displayName(storefront) + u" Store"_s,
            u"arrow.up.right.square"_s,
            u"This profile has no Steam app ID, so Quillmere can’t open the game in Steam or add "
            u"its shortcut. Look for this edition in the store instead."_s,
            storefront, profile.storePageURL(storefront)};
    if (!facts.steamInstalled)
        return {Kind::setUpStore, u"Set Up Steam"_s, u"wineglass"_s,
            u"Wine Setup opens automatically. Install Steam there, then return to this profile."_s,
            GameStorefront::steam, {}};
    if (!facts.gameInstalled && !facts.installPending)
        return {Kind::openSteamPage, u"Open in Steam"_s, u"arrow.up.right.square"_s,
            u"Steam shows the install options for this edition. If it shows a purchase option, "
            u"this account doesn’t have access yet."_s,
            storefront, {}};
    if (!facts.gameInstalled)
        return {Kind::openSteamPage, u"Continue in Steam"_s, u"arrow.clockwise"_s,
            u"Check that this Steam account has access to the edition, then start or continue "
            u"its install there."_s,
            storefront, {}};
    if (!facts.shortcutPresent)
        return {Kind::addShortcut, u"Add to Quillmere Library"_s, u"plus"_s, {}, storefront, {}};
    return {Kind::launchShortcut, u"Launch "_s + displayTitle, u"play.fill"_s, {}, storefront, {}};
}

QString GameGuide::artworkBadge(const GameCompatibilityProfile &profile)
{
    return profile.hasNativeMacVersion ? u"WINDOWS EDITION PROFILE"_s : u"NO NATIVE MAC RELEASE"_s;
}

QList<GameGuide::Badge> GameGuide::catalogBadges(
    const GameCompatibilityProfile &profile, GameStorefront storefront)
{
    return {
        {profile.cost, u"tag"_s},
        {Storefronts::displayName(storefront),
            storefront == GameStorefront::steam ? u"gamecontroller"_s : u"globe"_s},
        {u"macOS "_s + profile.minimumMacOS, u"laptopcomputer"_s},
    };
}

QString GameGuide::storeButtonToolTip(GameStorefront storefront)
{
    return u"Open this game in "_s + Storefronts::displayName(storefront);
}

QString GameGuide::storeButtonAccessibleLabel(
    const GameCompatibilityProfile &profile, GameStorefront storefront)
{
    return u"Open "_s + profile.name + u" in "_s + Storefronts::displayName(storefront);
}

QList<GameGuide::CompatibilityFact> GameGuide::compatibilityFacts(
    const GameCompatibilityProfile &profile)
{
    QList<CompatibilityFact> facts {
        {u"Mac"_s, u"Apple Silicon · M1 or later"_s, u"cpu"_s},
        {u"Minimum system"_s, u"macOS "_s + profile.minimumMacOS, u"laptopcomputer"_s},
        {u"Supported experience"_s, profile.supportedExperience, u"gamecontroller"_s},
    };
    if (!profile.accountRequirements.isEmpty())
        facts.append(
            {u"Accounts"_s, profile.accountRequirements.join(u" · "_s), u"person.crop.circle"_s});
    if (profile.storageRequirement && !profile.storageRequirement->isEmpty())
        facts.append({u"Storage"_s, *profile.storageRequirement, u"internaldrive"_s});
    return facts;
}

QString GameGuide::compatibilityNote()
{
    return u"Profiles summarize RuraZiZur’s public directory. Quillmere does not include "
           u"RuraZiZur’s compatibility components, so results and online behavior may differ. "
           u"Steam installation is integrated; Battle.net requires the Windows .exe flow and a "
           u"manual launcher path update."_s;
}
