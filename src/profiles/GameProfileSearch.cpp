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
    if (searchText.trimmed().isEmpty())
        return games;
    return Index(games).matching(searchText);
}

GameProfileSearch::Index::Index(QList<GameCompatibilityProfile> games, const QLocale &locale)
    : m_games(std::move(games))
    , m_locale(locale)
{
    m_folded.reserve(m_games.size() * 3);
    for (const GameCompatibilityProfile &profile : std::as_const(m_games)) {
        m_folded << folded(profile.name, m_locale) << folded(profile.genre, m_locale)
                 << folded(profile.edition, m_locale);
    }
}

QList<GameCompatibilityProfile> GameProfileSearch::Index::matching(const QString &searchText) const
{
    const QString trimmed = searchText.trimmed();
    if (trimmed.isEmpty())
        return m_games;
    const QString part = folded(trimmed, m_locale);
    // Storefront names are the same for every profile, so they are folded once per search.
    QList<GameStorefront> matchingStorefronts;
    for (GameStorefront storefront : Storefronts::allCases()) {
        if (containsFolded(Storefronts::displayName(storefront), part, m_locale))
            matchingStorefronts.append(storefront);
    }

    QList<GameCompatibilityProfile> matching;
    for (qsizetype i = 0; i < m_games.size(); ++i) {
        const GameCompatibilityProfile &profile = m_games.at(i);
        const bool found = m_folded.at(3 * i).contains(part)
            || m_folded.at(3 * i + 1).contains(part) || m_folded.at(3 * i + 2).contains(part)
            || std::any_of(profile.storefronts.cbegin(), profile.storefronts.cend(),
                [&](GameStorefront storefront) {
                    return matchingStorefronts.contains(storefront);
                });
        if (found)
            matching.append(profile);
    }
    return matching;
}
