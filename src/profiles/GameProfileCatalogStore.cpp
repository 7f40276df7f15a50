#include "GameProfileCatalogStore.h"

#include "profiles/HttpGet.h"
#include "profiles/ProfileEndpoints.h"
#include "profiles/SteamGameCatalog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSet>

using namespace Qt::StringLiterals;

QString CatalogError::description() const
{
    switch (kind) {
    case Kind::badResponse:
        return u"The Quillmere game catalog could not be downloaded."_s;
    case Kind::invalidCatalog:
        return u"The Quillmere game catalog has an unsupported or invalid format."_s;
    case Kind::timedOut:
        return u"The Quillmere game catalog took too long to download."_s;
    case Kind::tooLarge:
        return u"The Quillmere game catalog is larger than 4 MiB and was not loaded."_s;
    }
    return {};
}

GameProfileCatalogStore::GameProfileCatalogStore(WebAccess web, QObject *parent)
    : QObject(parent)
    , m_web(std::move(web))
    , m_games(SteamGameCatalog::games())
{
}

GameProfileCatalogStore::~GameProfileCatalogStore() = default;

bool GameProfileCatalogStore::isValid(const QList<GameCompatibilityProfile> &games)
{
    QSet<QString> ids;
    for (const GameCompatibilityProfile &profile : games) {
        if (ids.contains(profile.id))
            return false;
        ids.insert(profile.id);
    }
    for (const GameCompatibilityProfile &profile : games) {
        if (profile.id.isEmpty() || profile.name.trimmed().isEmpty()
            || profile.storefronts.isEmpty())
            return false;
        if (profile.guideURL.scheme() != u"https" || profile.guideURL.host().isEmpty())
            return false;
        if (profile.appID) {
            const QString &appID = *profile.appID;
            if (appID.isEmpty() || !std::all_of(appID.cbegin(), appID.cend(), [](QChar c) {
                    return c >= u'0' && c <= u'9';
                }))
                return false;
        }
    }
    return true;
}

QString GameProfileCatalogStore::statusLine(
    bool isUsingWebsiteCatalog, const QString &loadError, const QString &websiteHost)
{
    if (isUsingWebsiteCatalog)
        return u"Synced from "_s + websiteHost;
    if (!loadError.isEmpty())
        return u"Website list unavailable · using the included catalog"_s;
    return u"Using the included catalog"_s;
}

void GameProfileCatalogStore::fail(const QString &message)
{
    // Whatever list was accepted before, the status line now says the included catalogue is in
    // use, so make that true.
    m_games = SteamGameCatalog::games();
    m_isUsingWebsiteCatalog = false;
    m_loadError = message;
    Q_EMIT changed();
}

Expected<QList<GameCompatibilityProfile>, QString> GameProfileCatalogStore::decodeCatalog(
    const QByteArray &document)
{
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(document, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return unexpected(
            u"The game catalog isn't valid JSON ("_s + parseError.errorString() + u")."_s);
    const QJsonObject root = json.object();
    if (!json.isObject() || !root.value(u"schemaVersion"_s).isDouble()
        || !root.value(u"games"_s).isArray())
        return unexpected(u"The game catalog has no “schemaVersion” number or no “games” list."_s);
    QList<GameCompatibilityProfile> games;
    const QJsonArray rows = root.value(u"games"_s).toArray();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        auto profile = GameCompatibilityProfile::fromJson(rows.at(i), i);
        if (!profile)
            return unexpected(profile.error());
        games.append(*profile);
    }
    if (root.value(u"schemaVersion"_s).toDouble() != 1.0 || games.isEmpty() || !isValid(games))
        return unexpected(CatalogError {CatalogError::Kind::invalidCatalog}.description());
    return games;
}

QCoro::Task<> GameProfileCatalogStore::load()
{
    QPointer<GameProfileCatalogStore> self(this);
    if (!m_web.network)
        co_return; // a store made without the web keeps the included catalogue
    QNetworkRequest request(SteamGameCatalog::feedURL(m_web.endpoints));
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("Cache-Control", "no-cache");
    auto fetching = HttpGet::fetch(
        *m_web.network, request, m_web.endpoints.catalogTimeoutMs, maximumDocumentBytes);
    const HttpAnswer answer = co_await std::move(fetching);
    if (!self)
        co_return;
    if (answer.exceeded != HttpAnswer::Exceeded::none) {
        fail(CatalogError {answer.exceeded == HttpAnswer::Exceeded::deadline
                ? CatalogError::Kind::timedOut
                : CatalogError::Kind::tooLarge}
                 .description());
        co_return;
    }
    if (!answer.failure.isEmpty()) {
        fail(answer.failure.endsWith(u'.') ? answer.failure : answer.failure + u'.');
        co_return;
    }
    if (!answer.isSuccess()) {
        fail(CatalogError {CatalogError::Kind::badResponse}.description());
        co_return;
    }

    auto games = decodeCatalog(answer.body);
    if (!games) {
        fail(games.error());
        co_return;
    }
    m_games = *games;
    m_isUsingWebsiteCatalog = true;
    m_loadError.clear();
    Q_EMIT changed();
}
