#pragma once

#include "profiles/GameCompatibilityProfile.h"

#include <QList>

#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>

// Some of a catalogue's profiles, in a given order, kept as positions in the catalogue. A search
// result or a section then costs an int per profile instead of a copy of each profile, whose
// strings are scattered over the heap: at 100,000 profiles those copies, not the search, were
// most of a keystroke. It shares the catalogue, so it stays valid when the list it came from goes.
class ProfileSelection
{
public:
    // Something worked out once from the whole catalogue and kept with it for as long as it
    // holds, such as each profile's section under the store data of the moment.
    class Memo
    {
    public:
        virtual ~Memo() = default;
    };

    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = GameCompatibilityProfile;
        using difference_type = std::ptrdiff_t;
        using pointer = const GameCompatibilityProfile *;
        using reference = const GameCompatibilityProfile &;

        const_iterator() = default;
        const_iterator(const GameCompatibilityProfile *catalog, const int *position)
            : m_catalog(catalog)
            , m_position(position)
        {
        }
        reference operator*() const { return m_catalog[*m_position]; }
        pointer operator->() const { return &m_catalog[*m_position]; }
        const_iterator &operator++()
        {
            ++m_position;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++m_position;
            return before;
        }
        bool operator==(const const_iterator &other) const
        {
            return m_position == other.m_position;
        }

    private:
        const GameCompatibilityProfile *m_catalog = nullptr;
        const int *m_position = nullptr;
    };

    ProfileSelection();
    // All of the catalogue, in its order.
    explicit ProfileSelection(QList<GameCompatibilityProfile> catalog);
    // The profiles at those positions of the same catalogue as `of`, in that order.
    ProfileSelection(const ProfileSelection &of, QList<int> positions);

    const QList<GameCompatibilityProfile> &catalog() const { return m_shared->catalog; }
    bool sharesCatalogWith(const ProfileSelection &other) const
    {
        return m_shared == other.m_shared;
    }
    const QList<int> &positions() const { return m_positions; }

    qsizetype size() const { return m_positions.size(); }
    bool isEmpty() const { return m_positions.isEmpty(); }
    const GameCompatibilityProfile &at(qsizetype i) const
    {
        return catalog().at(m_positions.at(i));
    }
    const GameCompatibilityProfile &first() const { return at(0); }
    const_iterator begin() const { return {catalog().constData(), m_positions.constData()}; }
    const_iterator end() const
    {
        return {catalog().constData(), m_positions.constData() + m_positions.size()};
    }
    // Copies of the profiles, for callers that keep them apart from the catalogue.
    QList<GameCompatibilityProfile> toList() const;

    // The catalogue's memo when `holds` says it still does, otherwise the one `make` makes, which
    // then replaces it. Safe to call from several threads.
    std::shared_ptr<const Memo> memo(const std::function<bool(const Memo &)> &holds,
        const std::function<std::shared_ptr<const Memo>()> &make) const;

    // The same profiles in the same order, wherever they are kept.
    bool operator==(const ProfileSelection &other) const;

private:
    struct Shared
    {
        QList<GameCompatibilityProfile> catalog;
        std::mutex mutex; // guards memo
        std::shared_ptr<const Memo> memo;
    };

    std::shared_ptr<Shared> m_shared;
    QList<int> m_positions;
};
