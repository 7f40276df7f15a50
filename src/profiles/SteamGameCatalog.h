#pragma once

#include "profiles/GameCompatibilityProfile.h"
#include "profiles/ProfileEndpoints.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

// The profiles Quillmere ships with, and the addresses around them.
namespace SteamGameCatalog {

const QList<GameCompatibilityProfile> &games();
QUrl feedURL(const ProfileEndpoints &endpoints);
QUrl directoryURL(const ProfileEndpoints &endpoints);
QUrl guide(const QString &slug);
// Steam app ID to most-played rank, until a live chart arrives.
const QHash<QString, int> &fallbackPopularityRanks();

namespace detail {
extern const char builtInCatalogJson[];
}

} // namespace SteamGameCatalog
