#include "ProfileEndpoints.h"

#include <QProcessEnvironment>

using namespace Qt::StringLiterals;

ProfileEndpoints ProfileEndpoints::standard()
{
    ProfileEndpoints endpoints;
    endpoints.website = QUrl(u"https://quillmere.app"_s);
    endpoints.guideDirectory = QUrl(u"https://rurazizur.com"_s);
    endpoints.steamStore = QUrl(u"https://store.steampowered.com"_s);
    endpoints.steamWebAPI = QUrl(u"https://api.steampowered.com"_s);
    endpoints.battleNet = QUrl(u"https://www.blizzard.com"_s);
    return endpoints;
}

ProfileEndpoints ProfileEndpoints::fromEnvironment()
{
    ProfileEndpoints endpoints = standard();
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    auto override = [&](const QString &name, QUrl &target) {
        if (environment.contains(name))
            target = QUrl(environment.value(name));
    };
    override(u"QUILLMERE_WEBSITE_URL"_s, endpoints.website);
    override(u"QUILLMERE_STEAM_STORE_URL"_s, endpoints.steamStore);
    override(u"QUILLMERE_STEAM_API_URL"_s, endpoints.steamWebAPI);
    return endpoints;
}

QUrl ProfileEndpoints::at(const QUrl &base, const QString &path, const QString &query)
{
    QUrl url = base;
    url.setPath(path);
    url.setQuery(query.isEmpty() ? QString() : query);
    return url;
}
