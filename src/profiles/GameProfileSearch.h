#pragma once

#include "profiles/GameCompatibilityProfile.h"

#include <QList>
#include <QString>

namespace GameProfileSearch {

// The profiles, in catalogue order, whose name, genre, edition or a storefront's name contains
// the trimmed text, ignoring case; all of them when the text is blank.
QList<GameCompatibilityProfile> matchingGames(
    const QList<GameCompatibilityProfile> &games, const QString &searchText);

} // namespace GameProfileSearch
