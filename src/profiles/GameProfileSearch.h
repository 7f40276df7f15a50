#pragma once

#include "profiles/GameCompatibilityProfile.h"

#include <QList>
#include <QLocale>
#include <QString>

namespace GameProfileSearch {

// Text in the form two texts are compared in when letter case must not matter, following the
// given locale's rules (so a Turkish "İ" finds an "i" there).
QString folded(const QString &text, const QLocale &locale = QLocale());

// Whether `text` contains `foldedPart`, which must already be folded with the same locale.
bool containsFolded(
    const QString &text, const QString &foldedPart, const QLocale &locale = QLocale());

// The profiles, in catalogue order, whose name, genre, edition or a storefront's name contains
// the trimmed text, ignoring case under the user's locale; all of them when the text is blank.
QList<GameCompatibilityProfile> matchingGames(
    const QList<GameCompatibilityProfile> &games, const QString &searchText);

} // namespace GameProfileSearch
