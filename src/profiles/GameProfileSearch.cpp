#include "GameProfileSearch.h"

#include <algorithm>

QString GameProfileSearch::folded(const QString &text, const QLocale &locale)
{
    // The locale lowers first (dotted and dotless i differ by language); folding afterwards
    // evens out the remaining case variants such as the final sigma.
    return locale.toLower(text).toCaseFolded();
}

bool GameProfileSearch::containsFolded(
    const QString &text, const QString &foldedPart, const QLocale &locale)
{
    return folded(text, locale).contains(foldedPart);
}

QList<GameCompatibilityProfile> GameProfileSearch::matchingGames(
    const QList<GameCompatibilityProfile> &games, const QString &searchText)
{
    const QString trimmed = searchText.trimmed();
    if (trimmed.isEmpty())
        return games;
    const QLocale locale;
    const QString part = folded(trimmed, locale);
    // Storefront names are the same for every profile, so they are folded once per search.
    QList<GameStorefront> matchingStorefronts;
    for (GameStorefront storefront : Storefronts::allCases()) {
        if (containsFolded(Storefronts::displayName(storefront), part, locale))
            matchingStorefronts.append(storefront);
    }

    QList<GameCompatibilityProfile> matching;
    for (const GameCompatibilityProfile &profile : games) {
        const bool found = containsFolded(profile.name, part, locale)
            || containsFolded(profile.genre, part, locale)
            || containsFolded(profile.edition, part, locale)
            || std::any_of(profile.storefronts.cbegin(), profile.storefronts.cend(),
                [&](GameStorefront storefront) {
                    return matchingStorefronts.contains(storefront);
                });
        if (found)
            matching.append(profile);
    }
    return matching;
}
