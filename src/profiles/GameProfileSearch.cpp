#include "GameProfileSearch.h"

QList<GameCompatibilityProfile> GameProfileSearch::matchingGames(
    const QList<GameCompatibilityProfile> &games, const QString &searchText)
{
    const QString text = searchText.trimmed();
    if (text.isEmpty())
        return games;
    QList<GameCompatibilityProfile> matching;
    for (const GameCompatibilityProfile &profile : games) {
        bool found = profile.name.contains(text, Qt::CaseInsensitive)
            || profile.genre.contains(text, Qt::CaseInsensitive)
            || profile.edition.contains(text, Qt::CaseInsensitive);
        for (GameStorefront storefront : profile.storefronts)
            found
                = found || Storefronts::displayName(storefront).contains(text, Qt::CaseInsensitive);
        if (found)
            matching.append(profile);
    }
    return matching;
}
