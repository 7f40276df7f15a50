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

// A catalogue with its texts folded once, so that a search per keystroke only compares: folding
// costs far more than finding, and the catalogue changes far less often than the search text.
class Index
{
public:
    explicit Index(QList<GameCompatibilityProfile> games = {}, const QLocale &locale = QLocale());

    const QList<GameCompatibilityProfile> &games() const { return m_games; }
    // As matchingGames, in this index's order.
    QList<GameCompatibilityProfile> matching(const QString &searchText) const;

private:
    QList<GameCompatibilityProfile> m_games;
    QStringList m_folded; // name, genre and edition of each profile in turn
    QLocale m_locale;
};

} // namespace GameProfileSearch
