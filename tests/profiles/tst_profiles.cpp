#include "profiles/GameProfileCatalogStore.h"
#include "profiles/GameProfileSearch.h"
#include "profiles/SteamGameCatalog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>

namespace {
QJsonObject validProfile()
{
    return QJsonObject {{"id", "sample"}, {"appID", "2344520"}, {"name", "Sample"},
        {"edition", "Steam PC edition"}, {"genre", "Action · RPG"}, {"cost", "Paid"},
        {"summary", "One sentence."}, {"symbol", "target"}, {"hasNativeMacVersion", false},
        {"storefronts", QJsonArray {"steam", "battleNet"}}, {"minimumMacOS", "26+"},
        {"accountRequirements", QJsonArray {"Steam account"}}, {"supportedExperience", "Story"},
        {"limitations", QJsonArray {}}, {"setupNotes", QJsonArray {"Do this."}},
        {"storageRequirement", "Lots."}, {"guideURL", "https://guides.example/games/sample"}};
}

const GameCompatibilityProfile &builtIn(const QString &id)
{
    const auto &games = SteamGameCatalog::games();
    return *std::find_if(games.cbegin(), games.cend(),
        [&](const GameCompatibilityProfile &p) { return p.id == id; });
}
} // namespace

class TestProfiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decoding_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined: remove the key
        QTest::addColumn<QString>("error"); // empty: decodes
        QTest::newRow("storefront in capitals")
            << "storefronts" << QJsonValue(QJsonArray {"Steam"})
            << "Profile 1 of the game catalog names an unknown storefront “Steam”.";
        QTest::newRow("no storefronts decodes") << "storefronts" << QJsonValue(QJsonArray {}) << "";
        QTest::newRow("appID null") << "appID" << QJsonValue(QJsonValue::Null) << "";
        QTest::newRow("appID missing") << "appID" << QJsonValue(QJsonValue::Undefined) << "";
        QTest::newRow("appID number")
            << "appID" << QJsonValue(730)
            << "Profile 1 of the game catalog has “appID” that isn't a string.";
        QTest::newRow("storage null") << "storageRequirement" << QJsonValue(QJsonValue::Null) << "";
        QTest::newRow("accounts empty") << "accountRequirements" << QJsonValue(QJsonArray {}) << "";
        QTest::newRow("accounts missing")
            << "accountRequirements" << QJsonValue(QJsonValue::Undefined)
            << "Profile 1 of the game catalog has no “accountRequirements” value.";
        QTest::newRow("flag as text")
            << "hasNativeMacVersion" << QJsonValue("yes")
            << "Profile 1 of the game catalog has “hasNativeMacVersion” that isn't true or false.";
        QTest::newRow("note as number")
            << "setupNotes" << QJsonValue(QJsonArray {1})
            << "Profile 1 of the game catalog has “setupNotes” that isn't a list of strings.";
        QTest::newRow("extra key ignored") << "unknownKey" << QJsonValue(42) << "";
    }
    void decoding()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(QString, error);
        QJsonObject object = validProfile();
        if (value.isUndefined())
            object.remove(key);
        else
            object.insert(key, value);
        const auto profile = GameCompatibilityProfile::fromJson(object);
        QCOMPARE(profile.hasValue() ? QString() : profile.error(), error);
        if (profile && (key == u"appID"))
            QCOMPARE(profile->appID, std::optional<QString>());
    }

    void roundTripEqualityAndHash()
    {
        const auto profile = GameCompatibilityProfile::fromJson(validProfile());
        QVERIFY(profile.hasValue());
        const auto again = GameCompatibilityProfile::fromJson(profile->toJson());
        QVERIFY(*again == *profile);
        QCOMPARE(qHash(*again), qHash(*profile));
        GameCompatibilityProfile other = *profile;
        other.summary = QStringLiteral("Another sentence.");
        QVERIFY(!(other == *profile));
        QVERIFY(qHash(other) != qHash(*profile));
        other = *profile;
        other.appID.reset();
        QVERIFY(qHash(other) != qHash(*profile));
    }

    void storePages()
    {
        const GameCompatibilityProfile &diablo = builtIn(QStringLiteral("diablo-iv"));
        QCOMPARE(diablo.storePageURL(GameStorefront::steam).toString(),
            QStringLiteral("https://store.steampowered.com/app/2344520/"));
        QCOMPARE(diablo.storePageURL(GameStorefront::battleNet).toString(),
            QStringLiteral("https://www.blizzard.com/en-us/apps/battle.net/desktop"));
        GameCompatibilityProfile noApp = diablo;
        noApp.appID.reset();
        QCOMPARE(noApp.storePageURL(GameStorefront::steam).toString(),
            QStringLiteral("https://store.steampowered.com/"));
        QCOMPARE(SteamGameCatalog::guide(QStringLiteral("overwatch-mac")).path(),
            QStringLiteral("/games/overwatch-mac"));
        QCOMPARE(SteamGameCatalog::feedURL().path(), QStringLiteral("/game-profiles.json"));
        QCOMPARE(SteamGameCatalog::directoryURL().path(), QStringLiteral("/games/"));
        QCOMPARE(Storefronts::displayName(GameStorefront::battleNet), QStringLiteral("Battle.net"));
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("blank is everything") << "  \n" << QStringList();
        QTest::newRow("name, any case, trimmed") << "  ELDEN " << QStringList({"elden-ring"});
        QTest::newRow("store name")
            << "battle.net" << QStringList({"diablo-ii-resurrected", "diablo-iv"});
        QTest::newRow("genre") << "turn-based" << QStringList({"heroes-of-might-and-magic-iii"});
        QTest::newRow("edition") << "Anniversary" << QStringList({"age-of-empires-iv"});
        QTest::newRow("id is not searched") << "gta-iv" << QStringList();
        QTest::newRow("summary is not searched") << "Geralt" << QStringList();
    }
    void search()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, ids);
        QStringList found;
        for (const GameCompatibilityProfile &profile :
            GameProfileSearch::matchingGames(SteamGameCatalog::games(), text))
            found << profile.id;
        if (text.trimmed().isEmpty())
            QCOMPARE(found.size(), 21);
        else
            QCOMPARE(found, ids);
    }

    void builtInCatalogIsConsistent()
    {
        const auto &games = SteamGameCatalog::games();
        QCOMPARE(games.size(), 21);
        QSet<QString> ids;
        QStringList withoutApp, twoStores, nativeMac;
        for (const GameCompatibilityProfile &profile : games) {
            ids.insert(profile.id);
            if (!profile.appID)
                withoutApp << profile.id;
            if (profile.storefronts.size() == 2)
                twoStores << profile.id;
            if (profile.hasNativeMacVersion)
                nativeMac << profile.id;
            QCOMPARE(profile.guideURL.host(), QStringLiteral("rurazizur.com"));
        }
        QCOMPARE(ids.size(), 21);
        QVERIFY(GameProfileCatalogStore::isValid(games));
        QCOMPARE(withoutApp, QStringList({"diablo-ii-resurrected"}));
        QCOMPARE(twoStores, QStringList({"diablo-iv"}));
        QCOMPARE(nativeMac, QStringList({"age-of-empires-ii-definitive"}));
        const auto &ranks = SteamGameCatalog::fallbackPopularityRanks();
        QCOMPARE(ranks.size(), 8);
        for (auto it = ranks.cbegin(); it != ranks.cend(); ++it)
            QVERIFY(std::any_of(
                games.cbegin(), games.cend(), [&](const auto &p) { return p.appID == it.key(); }));
        QCOMPARE(ranks.value(QStringLiteral("730")), 1);
        QCOMPARE(ranks.value(QStringLiteral("813780")), 85);
    }
};

QTEST_GUILESS_MAIN(TestProfiles)
#include "tst_profiles.moc"
