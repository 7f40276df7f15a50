#include "SteamGameCatalog.h"

#include "profiles/ProfileEndpoints.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

const QList<GameCompatibilityProfile> &SteamGameCatalog::games()
{
    static const QList<GameCompatibilityProfile> profiles = [] {
        QList<GameCompatibilityProfile> out;
        const QJsonArray rows
            = QJsonDocument::fromJson(QByteArray(detail::builtInCatalogJson)).array();
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QJsonObject row = rows.at(i).toObject();
            row.insert(u"guideURL"_s, guide(row.take(u"guideSlug"_s).toString()).toString());
            auto profile = GameCompatibilityProfile::fromJson(row, i);
            // The table is ours and checked by the tests; a bad row would be a build mistake.
            Q_ASSERT_X(profile.hasValue(), "SteamGameCatalog", "built-in profile does not decode");
            if (profile)
                out.append(*profile);
        }
        return out;
    }();
    return profiles;
}

QUrl SteamGameCatalog::feedURL(const ProfileEndpoints &endpoints)
{
    return ProfileEndpoints::at(endpoints.website, u"/game-profiles.json"_s);
}

QUrl SteamGameCatalog::directoryURL(const ProfileEndpoints &endpoints)
{
    return ProfileEndpoints::at(endpoints.website, u"/games/"_s);
}

QUrl SteamGameCatalog::guide(const QString &slug)
{
    return ProfileEndpoints::at(ProfileEndpoints::standard().guideDirectory, u"/games/"_s + slug);
}

const QHash<QString, int> &SteamGameCatalog::fallbackPopularityRanks()
{
    static const QHash<QString, int> ranks {
        {u"730"_s, 1},
        {u"2357570"_s, 12},
        {u"292030"_s, 18},
        {u"3240220"_s, 29},
        {u"1174180"_s, 42},
        {u"489830"_s, 53},
        {u"1245620"_s, 60},
        {u"813780"_s, 85},
    };
    return ranks;
}
