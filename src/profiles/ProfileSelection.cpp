#include "ProfileSelection.h"

#include <algorithm>
#include <numeric>

ProfileSelection::ProfileSelection()
    : ProfileSelection(QList<GameCompatibilityProfile>())
{
}

ProfileSelection::ProfileSelection(QList<GameCompatibilityProfile> catalog)
    : m_shared(std::make_shared<Shared>())
    , m_positions(catalog.size())
{
    m_shared->catalog = std::move(catalog);
    std::iota(m_positions.begin(), m_positions.end(), 0);
}

ProfileSelection::ProfileSelection(const ProfileSelection &of, QList<int> positions)
    : m_shared(of.m_shared)
    , m_positions(std::move(positions))
{
}

QList<GameCompatibilityProfile> ProfileSelection::toList() const
{
    QList<GameCompatibilityProfile> out;
    out.reserve(size());
    for (const GameCompatibilityProfile &profile : *this)
        out.append(profile);
    return out;
}

std::shared_ptr<const ProfileSelection::Memo> ProfileSelection::memo(
    const std::function<bool(const Memo &)> &holds,
    const std::function<std::shared_ptr<const Memo>()> &make) const
{
    const std::lock_guard lock(m_shared->mutex);
    if (!m_shared->memo || !holds(*m_shared->memo))
        m_shared->memo = make();
    return m_shared->memo;
}

bool ProfileSelection::operator==(const ProfileSelection &other) const
{
    if (sharesCatalogWith(other))
        return m_positions == other.m_positions;
    return std::equal(begin(), end(), other.begin(), other.end());
}
