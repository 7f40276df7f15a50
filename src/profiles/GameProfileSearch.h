#pragma once

#include "profiles/GameCompatibilityProfile.h"
#include "profiles/ProfileSelection.h"

#include <QList>
#include <QLocale>
#include <QString>

#include <array>
#include <vector>

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
// Each distinct text is folded once and kept end to end with the others in one string (genres and
// editions repeat a lot), so a search is a pass over contiguous memory, and the profiles are then
// gathered from the texts found. For one thread at a time.
class Index
{
public:
    explicit Index(QList<GameCompatibilityProfile> games = {}, const QLocale &locale = QLocale());

    const QList<GameCompatibilityProfile> &games() const { return m_all.catalog(); }
    // As matchingGames, in this index's order. Remembers the last searches: see m_recent.
    ProfileSelection matching(const QString &searchText);

private:
    struct Keys
    {
        int name = 0; // texts, as positions in m_textEnds
        int genre = 0;
        int edition = 0;
        quint32 storefronts = 0; // a bit per storefront the profile sells on
    };

    struct Search
    {
        QString part;
        std::vector<int> texts; // that contain the part, ascending
    };

    // The texts that contain the folded part, of all or of those given (ascending).
    std::vector<int> textsContaining(QStringView part) const;
    std::vector<int> textsContaining(QStringView part, const std::vector<int> &among) const;

    ProfileSelection m_all;
    QString m_texts; // the distinct folded texts, end to end
    QList<qsizetype> m_textEnds; // where each text ends in m_texts
    QList<Keys> m_keys; // per profile
    QList<int> m_profilesOfTexts; // the profiles of each text in turn
    QList<qsizetype> m_profileStarts; // where each text's profiles start in m_profilesOfTexts
    std::array<qsizetype, 256> m_byteCounts {}; // how often each byte occurs in m_texts
    QLocale m_locale;
    // Recent searches, each part within the next, whose texts are few enough to be worth keeping:
    // typing on looks only at the last one's texts, and deleting goes back to one of them.
    std::vector<Search> m_recent;
};

} // namespace GameProfileSearch
