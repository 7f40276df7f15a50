#include "SteamClients.h"

#include "profiles/HttpGet.h"
#include "profiles/ProfileEndpoints.h"
#include "profiles/ProfilesLog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>

using namespace Qt::StringLiterals;

namespace {

// An app-details answer with every field is some tens of kilobytes, the chart a few; anything
// past this is not an answer worth holding.
constexpr qint64 maximumAnswerBytes = 2 * 1024 * 1024;

// The body of a successful JSON answer from a Steam service, or nothing.
QCoro::Task<std::optional<QByteArray>> fetchJson(WebAccess web, QUrl url)
{
    if (!url.isValid() || !web.network)
        co_return std::nullopt;
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/json");
    auto fetching
        = HttpGet::fetch(*web.network, request, web.endpoints.steamTimeoutMs, maximumAnswerBytes);
    const HttpAnswer answer = co_await std::move(fetching);
    if (!answer.isSuccess()) {
        qCInfo(profilesLog) << "Dropped Steam's answer from" << url.host() << url.path() << "status"
                            << answer.status << answer.failure;
        co_return std::nullopt;
    }
    co_return answer.body;
}

// An optional field: absent or null is "not there"; any other type spoils the whole answer.
template <class T, class Read>
bool readOptional(const QJsonObject &object, const QString &key, std::optional<T> &out,
    bool (QJsonValue::*is)() const, Read read)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    if (!(value.*is)())
        return false;
    out = read(value);
    return true;
}

} // namespace

std::optional<SteamStoreGameData> SteamStoreAPI::decodeGameData(
    const QByteArray &body, const QString &appID)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    // Every value must be a well-formed answer, as a strict decoder of the whole map would demand.
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (!it.value().isObject() || !it.value().toObject().value(u"success"_s).isBool())
            return std::nullopt;
    }
    const QJsonObject entry = root.value(appID).toObject();
    if (!root.contains(appID) || !entry.value(u"success"_s).toBool())
        return std::nullopt;
    const QJsonValue dataValue = entry.value(u"data"_s);
    if (dataValue.isUndefined() || dataValue.isNull() || !dataValue.isObject())
        return std::nullopt;
    const QJsonObject data = dataValue.toObject();

    SteamStoreGameData game;
    auto text = [](const QJsonValue &v) { return v.toString(); };
    auto flag = [](const QJsonValue &v) { return v.toBool(); };
    bool ok = readOptional(data, u"name"_s, game.name, &QJsonValue::isString, text)
        && readOptional(
            data, u"short_description"_s, game.shortDescription, &QJsonValue::isString, text)
        && readOptional(data, u"is_free"_s, game.isFree, &QJsonValue::isBool, flag)
        && readOptional(data, u"header_image"_s, game.headerImage, &QJsonValue::isString,
            [](const QJsonValue &v) { return QUrl(v.toString()); });
    const QJsonValue platforms = data.value(u"platforms"_s);
    if (ok && platforms.isObject())
        ok = readOptional(platforms.toObject(), u"mac"_s, game.mac, &QJsonValue::isBool, flag);
    else if (ok && !platforms.isUndefined() && !platforms.isNull())
        ok = false;
    if (!ok)
        return std::nullopt;
    return game;
}

QCoro::Task<std::optional<SteamStoreGameData>> SteamStoreAPI::fetchGameData(
    WebAccess web, QString appID)
{
    const QUrl url = ProfileEndpoints::at(
        web.endpoints.steamStore, u"/api/appdetails"_s, u"appids="_s + appID + u"&l=en"_s);
    auto fetching = fetchJson(web, url);
    const std::optional<QByteArray> body = co_await std::move(fetching);
    co_return body ? decodeGameData(*body, appID) : std::nullopt;
}

std::optional<QHash<QString, int>> SteamChartsAPI::decodeRanks(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue ranks = document.object().value(u"response"_s).toObject().value(u"ranks"_s);
    if (!ranks.isArray())
        return std::nullopt;
    QHash<QString, int> out;
    for (const QJsonValue row : ranks.toArray()) {
        const QJsonValue rank = row.toObject().value(u"rank"_s);
        const QJsonValue appID = row.toObject().value(u"appid"_s);
        if (!rank.isDouble() || !appID.isDouble())
            return std::nullopt;
        // An app listed twice keeps its first, better rank.
        const QString key = QString::number(appID.toInteger());
        if (!out.contains(key))
            out.insert(key, rank.toInt());
    }
    return out;
}

QCoro::Task<std::optional<QHash<QString, int>>> SteamChartsAPI::fetchPopularityRanks(WebAccess web)
{
    const QUrl url = ProfileEndpoints::at(
        web.endpoints.steamWebAPI, u"/ISteamChartsService/GetMostPlayedGames/v1/"_s);
    auto fetching = fetchJson(web, url);
    const std::optional<QByteArray> body = co_await std::move(fetching);
    co_return body ? decodeRanks(*body) : std::nullopt;
}
