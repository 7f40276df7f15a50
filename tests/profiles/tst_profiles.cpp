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

    void builtInRowsInFull()
    {
        const GameCompatibilityProfile &rdr = builtIn(QStringLiteral("red-dead-redemption-2"));
        QCOMPARE(SteamGameCatalog::games().indexOf(rdr), 2);
        QCOMPARE(rdr.appID, std::optional<QString>(QStringLiteral("1174180")));
        QCOMPARE(rdr.summary,
            QStringLiteral(
                "Ride through the American frontier in Rockstar’s story-driven western."));
        QCOMPARE(rdr.accountRequirements, QStringList({"Rockstar account"}));
        QCOMPARE(rdr.supportedExperience, QStringLiteral("Story Mode"));
        QCOMPARE(rdr.limitations, QStringList({"Red Dead Online has not been validated."}));
        QCOMPARE(rdr.setupNotes,
            QStringList({"Complete Rockstar sign-in and account linking when prompted."}));
        QCOMPARE(rdr.storageRequirement,
            std::optional<QString>(QStringLiteral("At least 150 GB free, plus room for updates.")));
        QCOMPARE(
            rdr.guideURL, SteamGameCatalog::guide(QStringLiteral("red-dead-redemption-2-mac")));

        const GameCompatibilityProfile &d2 = builtIn(QStringLiteral("diablo-ii-resurrected"));
        QCOMPARE(d2.storefronts, QList<GameStorefront>({GameStorefront::battleNet}));
        QCOMPARE(d2.limitations,
            QStringList({"This profile covers Resurrected, not the original Diablo II.",
                "Battle.net is the only store in this profile."}));
        QCOMPARE(d2.setupNotes,
            QStringList({"Install the Battle.net Windows app in Quillmere, sign in to the account "
                         "with the PC license, then install the game."}));
        QCOMPARE(d2.storageRequirement,
            std::optional<QString>(QStringLiteral(
                "Follow Battle.net’s current estimate and leave room for updates.")));

        const GameCompatibilityProfile &aoe2
            = builtIn(QStringLiteral("age-of-empires-ii-definitive"));
        QCOMPARE(aoe2.supportedExperience,
            QStringLiteral("Windows cross-play using the Windows Steam edition"));
        QCOMPARE(aoe2.accountRequirements, QStringList());
        QCOMPARE(aoe2.storageRequirement, std::optional<QString>());
    }

    void shortLabelsOfEveryRow_data()
    {
        QTest::addColumn<QString>(
            "row"); // id|name|appID|edition|genre|cost|symbol|minimumMacOS|storage
        const char *rows[] = {
            "gta-iv-complete|Grand Theft Auto IV: The Complete Edition|12210|The Complete "
            "Edition|Action · Open world|Paid|car.fill|26+|no",
            "gta-v-enhanced|Grand Theft Auto V Enhanced|3240220|Enhanced · Story Mode|Action · "
            "Open world|Paid|car.side.fill|26+|no",
            "red-dead-redemption-2|Red Dead Redemption 2|1174180|Steam PC edition|Action · Open "
            "world|Paid|sun.max.fill|26+|yes",
            "the-witcher-3|The Witcher 3: Wild Hunt|292030|Remastered · Steam|RPG · Open "
            "world|Paid|swords|26+|yes",
            "diablo-ii-resurrected|Diablo II: Resurrected||Battle.net PC edition|Action · "
            "RPG|Paid|flame.fill|26.5+|yes",
            "elden-ring|Elden Ring|1245620|Steam PC edition|Action · RPG|Paid|sparkles|26+|no",
            "gta-san-andreas-definitive|GTA: San Andreas – The Definitive "
            "Edition|1547000|Definitive Edition · Steam|Action · Open "
            "world|Paid|car.rear.fill|26+|no",
            "skyrim-special-edition|Skyrim Special Edition|489830|Special Edition · Steam|RPG · "
            "Open world|Paid|snowflake|26+|no",
            "hogwarts-legacy|Hogwarts Legacy|990080|Steam PC edition|Action · "
            "RPG|Paid|wand.and.stars|26.5+|no",
            "path-of-exile-2|Path of Exile 2|2694490|Steam access|Action · RPG|Steam access "
            "required|bolt.fill|26.5+|yes",
            "diablo-iv|Diablo IV|2344520|PC edition · Steam or Battle.net|Action · "
            "RPG|Paid|flame.fill|26.5+|no",
            "age-of-mythology-retold|Age of Mythology: Retold|1934680|Retold · Steam|Strategy · "
            "RTS|Paid|building.2.fill|26+|no",
            "age-of-empires-iii-definitive|Age of Empires III: Definitive "
            "Edition|933110|Definitive Edition · Steam|Strategy · RTS|Paid|building.2.fill|26+|no",
            "heroes-of-might-and-magic-iii|Heroes of Might and Magic III Complete "
            "Edition|4921760|Complete Edition · Steam|Strategy · Turn-based|Paid|crown.fill|26+|no",
            "red-alert-2|Command & Conquer: Red Alert 2|2229850|Red Alert 2 + Yuri’s Revenge · "
            "Steam|Strategy · RTS|Paid|antenna.radiowaves.left.and.right|26+|no",
            "generals-zero-hour|Command & Conquer: Generals Zero Hour|2732960|Zero Hour · "
            "Steam|Strategy · RTS|Paid|scope|26+|no",
            "age-of-empires-ii-definitive|Age of Empires II: Definitive Edition|813780|Windows "
            "Steam edition|Strategy · RTS|Paid|building.2.fill|26+|no",
            "age-of-empires-iv|Age of Empires IV|1466860|Anniversary Edition · Steam|Strategy · "
            "RTS|Paid|building.2.fill|26+|no",
            "company-of-heroes-3|Company of Heroes 3|1677280|Steam PC edition|Strategy · "
            "RTS|Paid|shield.fill|26+|no",
            "overwatch|Overwatch|2357570|Steam PC edition|Shooter · Team-based|Free to "
            "play|person.3.fill|26+|yes",
            "counter-strike-2|Counter-Strike 2|730|Steam PC edition|Shooter · Tactical|Free to "
            "play|target|26+|yes",
        };
        int index = 0;
        for (const char *row : rows)
            QTest::addRow("%d", index++) << QString::fromUtf8(row);
    }
    void shortLabelsOfEveryRow()
    {
        QFETCH(QString, row);
        const QStringList f = row.split(u'|');
        const int index = QString::fromLatin1(QTest::currentDataTag()).toInt();
        const GameCompatibilityProfile &p = SteamGameCatalog::games().at(index);
        QCOMPARE(QStringList({p.id, p.name, p.appID.value_or(QString()), p.edition, p.genre, p.cost,
                     p.symbol, p.minimumMacOS,
                     p.storageRequirement ? QStringLiteral("yes") : QStringLiteral("no")}),
            f);
    }
};

QTEST_GUILESS_MAIN(TestProfiles)
#include "tst_profiles.moc"
