#include "GameBrowser.h"

#include <QLocale>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

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
    return sectionsInOrder(ProfileSelection(sectionOrder(matching, ranks)), storeGames, ranks);
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

namespace {

// Each profile's section under some store data and chart, which change far less often than the
// search: worked out once for the whole catalogue, a keystroke reads a byte per profile instead
// of looking two hashes up in scattered strings.
struct Sections : ProfileSelection::Memo
{
    enum Section : quint8 { unsupported, popular, none };

    // Copies: as long as the caller's still share their data, nothing has changed.
    GameBrowser::StoreGames storeGames;
    GameBrowser::Ranks ranks;
    std::vector<quint8> of; // by catalogue position
};

} // namespace

QList<GameBrowser::SteamGameSection> GameBrowser::sectionsInOrder(
    const ProfileSelection &ordered, const StoreGames &storeGames, const Ranks &ranks)
{
    const auto memo = std::static_pointer_cast<const Sections>(ordered.memo(
        [&](const ProfileSelection::Memo &memo) {
            const auto *sections = dynamic_cast<const Sections *>(&memo);
            return sections && sections->storeGames.isSharedWith(storeGames)
                && sections->ranks.isSharedWith(ranks);
        },
        [&] {
            auto made = std::make_shared<Sections>();
            made->storeGames = storeGames;
            made->ranks = ranks;
            made->of.reserve(ordered.catalog().size());
            for (const GameCompatibilityProfile &profile : ordered.catalog()) {
                made->of.push_back(!hasNativeMacVersion(profile, storeGames) ? Sections::unsupported
                        : rank(profile, ranks)                               ? Sections::popular
                                                                             : Sections::none);
            }
            return made;
        }));
    QList<int> unsupported;
    QList<int> popular;
    for (const int position : ordered.positions()) {
        const quint8 section = memo->of[position];
        if (section == Sections::unsupported)
            unsupported.append(position);
        else if (section == Sections::popular)
            popular.append(position);
    }
    QList<SteamGameSection> sections;
    if (!unsupported.isEmpty()) {
        sections.append({u"unsupported"_s, u"No native Mac version"_s,
            u"Steam-ranked titles first; other supported editions follow alphabetically"_s,
            u"wineglass"_s, ProfileSelection(ordered, std::move(unsupported))});
    }
    if (!popular.isEmpty()) {
        sections.append({u"popular"_s, u"Popular on Steam"_s,
            u"Native Mac releases currently in Steam’s top 100"_s, u"chart.bar.fill"_s,
            ProfileSelection(ordered, std::move(popular))});
    }
    return sections;
}

ProfileSelection GameBrowser::visibleProfiles(const QList<SteamGameSection> &sections)
{
    if (sections.isEmpty())
        return {};
    const ProfileSelection &first = sections.first().games;
    const bool shared = std::all_of(sections.cbegin(), sections.cend(),
        [&](const SteamGameSection &section) { return section.games.sharesCatalogWith(first); });
    if (!shared) { // sections put together by hand from several catalogues
        QList<GameCompatibilityProfile> visible;
        for (const SteamGameSection &section : sections)
            visible.append(section.games.toList());
        return ProfileSelection(std::move(visible));
    }
    QList<int> positions;
    for (const SteamGameSection &section : sections)
        positions.append(section.games.positions());
    return {first, std::move(positions)};
}

std::optional<GameCompatibilityProfile> GameBrowser::selectedGame(
    const ProfileSelection &visible, const QString &selectedGameID)
{
    const auto found = std::find_if(visible.begin(), visible.end(),
        [&](const GameCompatibilityProfile &profile) { return profile.id == selectedGameID; });
    if (found != visible.end())
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
