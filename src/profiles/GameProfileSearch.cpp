#include "GameProfileSearch.h"

#include <algorithm>
#include <cstring>
#include <numeric>

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
    // One search folds every text once, as building an Index would: a plain pass is as quick.
    const QString trimmed = searchText.trimmed();
    if (trimmed.isEmpty())
        return games;
    const QLocale locale;
    const QString part = folded(trimmed, locale);
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

namespace {

// Whether a part of a whole is small enough to be looked at piece by piece rather than in a pass
// over the whole; anything is, in a small catalogue.
bool isFew(qsizetype part, qsizetype whole)
{
    return part <= std::max<qsizetype>(64, whole / 8);
}

quint32 storefrontBit(GameStorefront storefront)
{
    Q_ASSERT(static_cast<unsigned>(storefront) < 32);
    return 1U << static_cast<unsigned>(storefront);
}

} // namespace

GameProfileSearch::Index::Index(QList<GameCompatibilityProfile> games, const QLocale &locale)
    : m_all(std::move(games))
    , m_locale(locale)
{
    const QList<GameCompatibilityProfile> &catalog = m_all.catalog();
    QHash<QString, int> ids; // of each distinct text as the catalogue has it
    const auto id = [&](const QString &text) {
        const auto found = ids.constFind(text);
        if (found != ids.cend())
            return *found;
        const int made = static_cast<int>(m_textEnds.size());
        ids.insert(text, made);
        m_texts += folded(text, m_locale);
        m_textEnds.append(m_texts.size());
        return made;
    };
    m_keys.reserve(catalog.size());
    for (const GameCompatibilityProfile &profile : catalog) {
        Keys keys {id(profile.name), id(profile.genre), id(profile.edition), 0};
        for (GameStorefront storefront : profile.storefronts)
            keys.storefronts |= storefrontBit(storefront);
        m_keys.append(keys);
    }
    m_texts.squeeze();
    // The profiles of each text, in catalogue order, each once.
    const auto eachText = [&](const auto &use) {
        for (qsizetype i = 0; i < m_keys.size(); ++i) {
            const Keys &keys = m_keys.at(i);
            use(keys.name, i);
            if (keys.genre != keys.name)
                use(keys.genre, i);
            if (keys.edition != keys.name && keys.edition != keys.genre)
                use(keys.edition, i);
        }
    };
    m_profileStarts.resize(m_textEnds.size() + 1);
    eachText([&](int text, qsizetype) { ++m_profileStarts[text + 1]; });
    std::partial_sum(m_profileStarts.begin(), m_profileStarts.end(), m_profileStarts.begin());
    m_profilesOfTexts.resize(m_profileStarts.last());
    QList<qsizetype> next(m_profileStarts.cbegin(), m_profileStarts.cend() - 1);
    eachText([&](int text, qsizetype profile) {
        m_profilesOfTexts[next[text]++] = static_cast<int>(profile);
    });
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_texts.utf16());
    for (qsizetype i = 0; i < m_texts.size() * qsizetype(sizeof(char16_t)); ++i)
        ++m_byteCounts.at(bytes[i]);
}

std::vector<int> GameProfileSearch::Index::textsContaining(QStringView part) const
{
    std::vector<int> found;
    // memchr for the part's rarest byte, comparing the whole part only where that byte occurs, is
    // several times faster over this much text than a general substring search.
    const auto *needle = reinterpret_cast<const unsigned char *>(part.utf16());
    const qsizetype needleBytes = part.size() * qsizetype(sizeof(char16_t));
    qsizetype anchor = 0;
    for (qsizetype i = 1; i < needleBytes; ++i) {
        if (m_byteCounts.at(needle[i]) < m_byteCounts.at(needle[anchor]))
            anchor = i;
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_texts.utf16());
    const qsizetype size = m_texts.size() * qsizetype(sizeof(char16_t));
    qsizetype text = 0;
    for (qsizetype at = anchor; at < size;) {
        const auto *hit = static_cast<const unsigned char *>(
            std::memchr(bytes + at, needle[anchor], size - at));
        if (!hit)
            break;
        const qsizetype start = hit - bytes - anchor;
        at = hit - bytes + 1;
        if (start % qsizetype(sizeof(char16_t)) != 0 || start + needleBytes > size)
            continue; // not where a character starts
        const qsizetype first = start / qsizetype(sizeof(char16_t));
        while (m_textEnds.at(text) <= first)
            ++text;
        if (first + part.size() <= m_textEnds.at(text)
            && std::memcmp(bytes + start, needle, needleBytes) == 0) {
            found.push_back(static_cast<int>(text));
            at = m_textEnds.at(text) * qsizetype(sizeof(char16_t)) + anchor; // this text is done
        }
    }
    return found;
}

std::vector<int> GameProfileSearch::Index::textsContaining(
    QStringView part, const std::vector<int> &among) const
{
    std::vector<int> found;
    for (const int text : among) {
        const qsizetype start = text == 0 ? 0 : m_textEnds.at(text - 1);
        if (QStringView(m_texts).sliced(start, m_textEnds.at(text) - start).contains(part))
            found.push_back(text);
    }
    return found;
}

ProfileSelection GameProfileSearch::Index::matching(const QString &searchText)
{
    const QString part = folded(searchText.trimmed(), m_locale);
    if (part.isEmpty())
        return m_all;
    // Storefront names are the same for every profile, so they are folded once per search.
    quint32 storefronts = 0;
    for (GameStorefront storefront : Storefronts::allCases()) {
        if (containsFolded(Storefronts::displayName(storefront), part, m_locale))
            storefronts |= storefrontBit(storefront);
    }
    // A text that contains this part contains every part within it, so typing on only looks at
    // what the search before found, and deleting goes back to a search already made.
    while (!m_recent.empty() && !part.contains(m_recent.back().part))
        m_recent.pop_back();
    std::vector<int> texts;
    if (m_recent.empty())
        texts = textsContaining(part);
    else if (m_recent.back().part == part)
        texts = m_recent.back().texts;
    else
        texts = textsContaining(part, m_recent.back().texts);
    if ((m_recent.empty() || m_recent.back().part != part)
        && isFew(texts.size(), m_textEnds.size()))
        m_recent.push_back({part, texts});

    // Few profiles are gathered from their texts; many are quicker found in one pass over all.
    qsizetype gathered = 0;
    for (const int text : texts)
        gathered += m_profileStarts.at(text + 1) - m_profileStarts.at(text);
    QList<int> matching;
    if (storefronts == 0 && isFew(gathered, m_keys.size())) {
        matching.reserve(gathered);
        for (const int text : texts) {
            for (qsizetype i = m_profileStarts.at(text); i < m_profileStarts.at(text + 1); ++i)
                matching.append(m_profilesOfTexts.at(i));
        }
        if (!std::is_sorted(matching.cbegin(), matching.cend()))
            std::sort(matching.begin(), matching.end());
        matching.erase(std::unique(matching.begin(), matching.end()), matching.end());
        return {m_all, std::move(matching)};
    }
    std::vector<char> found(m_textEnds.size());
    for (const int text : texts)
        found[text] = 1;
    for (qsizetype i = 0; i < m_keys.size(); ++i) {
        const Keys &keys = m_keys.at(i);
        if (found[keys.name] || found[keys.genre] || found[keys.edition]
            || (keys.storefronts & storefronts))
            matching.append(static_cast<int>(i));
    }
    return {m_all, std::move(matching)};
}
