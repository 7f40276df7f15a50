#pragma once

#include "profiles/ProfileEndpoints.h"

#include <QCoroTask>
#include <QHash>
#include <QString>
#include <QUrl>

#include <optional>

// What the Steam store says about one app. Every field may be missing.
struct SteamStoreGameData
{
    std::optional<QString> name;
    std::optional<QUrl> headerImage;
    std::optional<QString> shortDescription;
    std::optional<bool> isFree;
    std::optional<bool> mac; // platforms.mac: true, false or unknown

    bool operator==(const SteamStoreGameData &) const = default;
};

// Steam's public store service. Never fails: any problem is "no result".
namespace SteamStoreAPI {
QCoro::Task<std::optional<SteamStoreGameData>> fetchGameData(WebAccess web, QString appID);
// The decoding step alone: the data for `appID` in an app-details answer, if any.
std::optional<SteamStoreGameData> decodeGameData(const QByteArray &body, const QString &appID);
} // namespace SteamStoreAPI

// Steam's most-played chart as app ID to rank. Never fails: any problem is "no result".
namespace SteamChartsAPI {
QCoro::Task<std::optional<QHash<QString, int>>> fetchPopularityRanks(WebAccess web);
std::optional<QHash<QString, int>> decodeRanks(const QByteArray &body);
} // namespace SteamChartsAPI
