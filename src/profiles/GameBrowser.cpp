#include "GameBrowser.h"

#include <QLocale>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

QString GameBrowser::initialSelectedGameID()
{
    return u"counter-strike-2"_s;
}

bool GameBrowser::hasNativeMacVersion(
    const GameCompatibilityProfile &profile, const StoreGames &storeGames)
{
    const auto data = storeGames.constFind(profile.id);
    if (data != storeGames.cend() && data->mac)
        return *data->mac;
    return profile.hasNativeMacVersion;
}

std::optional<int> GameBrowser::rank(const GameCompatibilityProfile &profile, const Ranks &ranks)
{
    if (!profile.appID)
        return std::nullopt;
    const auto found = ranks.constFind(*profile.appID);
    if (found == ranks.cend())
        return std::nullopt;
    return *found;
}

QCollator GameBrowser::nameCollator()
{
    QCollator collator {QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

bool GameBrowser::popularityOrder(const GameCompatibilityProfile &a,
    const GameCompatibilityProfile &b, const Ranks &ranks, const QCollator &names)
{
    const int rankA = rank(a, ranks).value_or(std::numeric_limits<int>::max());
    const int rankB = rank(b, ranks).value_or(std::numeric_limits<int>::max());
    if (rankA != rankB)
        return rankA < rankB;
    return names.compare(a.name, b.name) < 0;
}

bool GameBrowser::popularityOrder(
    const GameCompatibilityProfile &a, const GameCompatibilityProfile &b, const Ranks &ranks)
{
    return popularityOrder(a, b, ranks, nameCollator());
}

QList<GameBrowser::SteamGameSection> GameBrowser::gameSections(
    const QList<GameCompatibilityProfile> &matching, const StoreGames &storeGames,
    const Ranks &ranks)
{
    return sectionsInOrder(sectionOrder(matching, ranks), storeGames, ranks);
}

QList<GameCompatibilityProfile> GameBrowser::sectionOrder(
    QList<GameCompatibilityProfile> games, const Ranks &ranks)
{
    const QCollator names = nameCollator();
    std::stable_sort(games.begin(), games.end(),
        [&](const GameCompatibilityProfile &a, const GameCompatibilityProfile &b) {
            return popularityOrder(a, b, ranks, names);
        });
    return games;
}

QList<GameBrowser::SteamGameSection> GameBrowser::sectionsInOrder(
    const QList<GameCompatibilityProfile> &ordered, const StoreGames &storeGames,
    const Ranks &ranks)
{
    SteamGameSection unsupported {u"unsupported"_s, u"No native Mac version"_s,
        u"Steam-ranked titles first; other supported editions follow alphabetically"_s,
        u"wineglass"_s, {}};
    SteamGameSection popular {u"popular"_s, u"Popular on Steam"_s,
        u"Native Mac releases currently in Steam’s top 100"_s, u"chart.bar.fill"_s, {}};
    for (const GameCompatibilityProfile &profile : ordered) {
        if (!hasNativeMacVersion(profile, storeGames))
            unsupported.games.append(profile);
        else if (rank(profile, ranks))
            popular.games.append(profile);
    }
    QList<SteamGameSection> sections;
    for (SteamGameSection *section : {&unsupported, &popular}) {
        if (!section->games.isEmpty())
            sections.append(std::move(*section));
    }
    return sections;
}

QList<GameCompatibilityProfile> GameBrowser::visibleProfiles(
    const QList<SteamGameSection> &sections)
{
    QList<GameCompatibilityProfile> visible;
    for (const SteamGameSection &section : sections)
        visible.append(section.games);
    return visible;
}

std::optional<GameCompatibilityProfile> GameBrowser::selectedGame(
    const QList<GameCompatibilityProfile> &visible, const QString &selectedGameID)
{
    const auto found = std::find_if(visible.cbegin(), visible.cend(),
        [&](const GameCompatibilityProfile &profile) { return profile.id == selectedGameID; });
    if (found != visible.cend())
        return *found;
    if (visible.isEmpty())
        return std::nullopt;
    return visible.first();
}

QString GameBrowser::cardTag(
    const GameCompatibilityProfile &profile, const StoreGames &storeGames, const Ranks &ranks)
{
    if (!hasNativeMacVersion(profile, storeGames))
        return u"NO MAC VERSION"_s;
    const std::optional<int> position = rank(profile, ranks);
    return position ? u"STEAM #"_s + QString::number(*position) : QString();
}

QString GameBrowser::displayTitle(
    const GameCompatibilityProfile &profile, const StoreGames &storeGames)
{
    const auto data = storeGames.constFind(profile.id);
    if (data != storeGames.cend() && data->name && !data->name->isEmpty())
        return *data->name;
    return profile.name;
}

QString GameBrowser::cardAccessibleLabel(
    const GameCompatibilityProfile &profile, const StoreGames &storeGames)
{
    return displayTitle(profile, storeGames) + u", "_s + profile.genre + u", view install guide"_s;
}

QString GameBrowser::selectionFollowingVisible(
    const QStringList &visibleIDs, const QString &selectedGameID)
{
    if (visibleIDs.isEmpty() || visibleIDs.contains(selectedGameID))
        return selectedGameID;
    return visibleIDs.first();
}

QString GameBrowser::storefrontFollowingSelection(
    const QList<GameCompatibilityProfile> &catalog, const QString &selectedGameID)
{
    const auto found = std::find_if(catalog.cbegin(), catalog.cend(),
        [&](const GameCompatibilityProfile &profile) { return profile.id == selectedGameID; });
    if (found == catalog.cend() || found->storefronts.isEmpty())
        return Storefronts::rawValue(GameStorefront::steam);
    return Storefronts::rawValue(found->storefronts.first());
}

GameStorefront GameBrowser::selectedStorefront(
    const GameCompatibilityProfile &profile, const QString &selectedStorefrontID)
{
    for (GameStorefront storefront : profile.storefronts) {
        if (Storefronts::rawValue(storefront) == selectedStorefrontID)
            return storefront;
    }
    // A profile always lists a store; Steam only keeps a malformed one from crashing the guide.
    return profile.storefronts.isEmpty() ? GameStorefront::steam : profile.storefronts.first();
}

QString GameBrowser::countLine(qsizetype catalogCount)
{
    return u"Edition-specific setup, requirements, and play limits for "_s
        + QString::number(catalogCount) + u" games."_s;
}

QString GameBrowser::countAccessibleLabel(qsizetype visibleCount)
{
    return QString::number(visibleCount) + u" games"_s;
}
