#include "profiles/GameBrowser.h"
#include "profiles/GameProfileSearch.h"
#include "profiles/SteamGameCatalog.h"

#include <QJsonArray>
#include <QTest>

using namespace GameBrowser;
using namespace Qt::StringLiterals;

namespace {
// A profile with every field, and a key no profile knows (ignored).
QJsonObject validProfile()
{
    return QJsonObject {{"id", "sample"}, {"appID", "2344520"}, {"name", "Sample"},
        {"edition", "Steam PC edition"}, {"genre", "Action · RPG"}, {"cost", "Paid"},
        {"summary", "One sentence."}, {"symbol", "target"}, {"hasNativeMacVersion", false},
        {"storefronts", QJsonArray {"steam", "battleNet"}}, {"minimumMacOS", "26+"},
        {"accountRequirements", QJsonArray {"Steam account"}}, {"supportedExperience", "Story"},
        {"limitations", QJsonArray {}}, {"setupNotes", QJsonArray {"Do this."}},
        {"storageRequirement", "Lots."}, {"guideURL", "https://guides.example/games/sample"},
        {"unknownKey", 42}};
}
// A Steam profile from "id|name|app ID|mac" (no app ID: none; "mac": a native Mac release).
GameCompatibilityProfile profile(const QString &line)
{
    const QStringList parts = line.split(u'|');
    GameCompatibilityProfile made;
    made.id = parts[0];
    made.name = parts[1];
    if (!parts[2].isEmpty())
        made.appID = parts[2];
    made.hasNativeMacVersion = parts[3] == u"mac";
    made.genre = u"Strategy"_s;
    made.storefronts = {GameStorefront::steam};
    return made;
}

const QList<GameCompatibilityProfile> games {profile(u"zeta-upper|Zeta||"_s),
    profile(u"beta|beta|2|"_s), profile(u"gamma|Gamma|3|mac"_s), profile(u"alpha|Alpha||"_s),
    profile(u"zeta-lower|zeta||"_s), profile(u"delta|Delta|1|"_s), profile(u"epsilon|epsilon||"_s),
    profile(u"omega|Omega||mac"_s)};
const Ranks ranks {{u"1"_s, 1}, {u"3"_s, 3}, {u"2"_s, 5}};
} // namespace

class TestProfiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(u"en_US"_s)); }

    void decoding_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined: remove the key
        QTest::addColumn<QString>("error"); // empty: decodes
        const QString profile = "Profile 1 of the game catalog has ";
        QTest::newRow("appID null") << "appID" << QJsonValue(QJsonValue::Null) << "";
        QTest::newRow("appID number")
            << "appID" << QJsonValue(730) << profile + "“appID” that isn't a string.";
        QTest::newRow("accounts missing")
            << "accountRequirements" << QJsonValue(QJsonValue::Undefined)
            << profile + "no “accountRequirements” value.";
        QTest::newRow("flag as text")
            << "hasNativeMacVersion" << QJsonValue("yes")
            << profile + "“hasNativeMacVersion” that isn't true or false.";
        QTest::newRow("note as number") << "setupNotes" << QJsonValue(QJsonArray {1})
                                        << profile + "“setupNotes” that isn't a list of strings.";
    }
    void decoding()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QJsonObject object = validProfile();
        if (value.isUndefined())
            object.remove(key);
        else
            object.insert(key, value);
        const auto profile = GameCompatibilityProfile::fromJson(object);
        QTEST(profile.hasValue() ? QString() : profile.error(), "error");
        if (profile)
            QCOMPARE(profile->appID, std::optional<QString>());
    }

    void roundTripEqualityHashAndStorePages()
    {
        const auto profile = GameCompatibilityProfile::fromJson(validProfile());
        QVERIFY(profile.hasValue());
        const auto again = GameCompatibilityProfile::fromJson(profile->toJson());
        QVERIFY(*again == *profile);
        QCOMPARE(qHash(*again), qHash(*profile));
        GameCompatibilityProfile other = *profile;
        other.summary = u"Another sentence."_s;
        QVERIFY(!(other == *profile));
        QVERIFY(qHash(other) != qHash(*profile));

        // Steam's page of the app when there is one, otherwise the store's own page.
        QCOMPARE(profile->storePageURL(GameStorefront::steam).toString(),
            u"https://store.steampowered.com/app/2344520/"_s);
        QCOMPARE(profile->storePageURL(GameStorefront::battleNet),
            Storefronts::downloadURL(GameStorefront::battleNet));
        other = *profile;
        other.appID.reset();
        QVERIFY(qHash(other) != qHash(*profile));
        QCOMPARE(other.storePageURL(GameStorefront::steam),
            Storefronts::downloadURL(GameStorefront::steam));
    }

    // Name, genre, edition and store names count, in any letter case of the user's language.
    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("ids"); // empty: the whole catalogue
        const auto row = [](const char *tag, const char *text, const QStringList &ids,
                             const char *locale = "en_US") {
            QTest::newRow(tag) << QString::fromUtf8(text) << QString::fromLatin1(locale) << ids;
        };
        const QStringList battle {"diablo-ii-resurrected", "diablo-iv"};
        row("blank is everything", "  \n", {});
        row("name, any case, trimmed", "  ELDEN ", {"elden-ring"});
        row("store name", "battle.net", battle);
        row("genre", "turn-based", {"heroes-of-might-and-magic-iii"});
        row("edition", "Anniversary", {"age-of-empires-iv"});
        row("id is not searched", "gta-iv", {});
        row("Turkish capital dotted I", "DİABLO", battle, "tr_TR");
    }
    void search()
    {
        QFETCH(QString, text);
        QFETCH(QString, locale);
        QFETCH(QStringList, ids);
        QLocale::setDefault(QLocale(locale));
        QStringList found, all;
        for (const GameCompatibilityProfile &profile :
            GameProfileSearch::matchingGames(SteamGameCatalog::games(), text))
            found << profile.id;
        for (const GameCompatibilityProfile &profile : SteamGameCatalog::games())
            all << profile.id;
        QLocale::setDefault(QLocale(u"en_US"_s));
        QCOMPARE(found, text.trimmed().isEmpty() ? all : ids);
    }

    // Ranked first, then by name in any letter case; ties keep the catalogue's order.
    void sectionsFollowSteamsMacFlag_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("mac");
        QTest::addColumn<QStringList>("sections");
        QTest::addColumn<QString>("tag");
        QTest::newRow("native and unranked: shown nowhere")
            << "omega" << true
            << QStringList({"unsupported: delta beta alpha epsilon zeta-upper zeta-lower",
                   "popular: gamma"})
            << "";
        QTest::newRow("a ranked Mac build is popular")
            << "delta" << true
            << QStringList({"unsupported: beta alpha epsilon zeta-upper zeta-lower",
                   "popular: delta gamma"})
            << "STEAM #1";
        QTest::newRow("no Mac build after all: the empty section is left out")
            << "gamma" << false
            << QStringList({"unsupported: delta gamma beta alpha epsilon zeta-upper zeta-lower"})
            << "NO MAC VERSION";
    }
    void sectionsFollowSteamsMacFlag()
    {
        QFETCH(QString, id);
        QFETCH(bool, mac);
        SteamStoreGameData data;
        data.mac = mac;
        const StoreGames store {{id, data}};
        const auto shown = [](const QList<SteamGameSection> &sections) {
            QStringList lines;
            for (const SteamGameSection &section : sections) {
                QStringList ids;
                for (const GameCompatibilityProfile &game : section.games)
                    ids << game.id;
                lines << section.id + u": "_s + ids.join(u' ');
            }
            return lines;
        };
        QTEST(shown(gameSections(games, store, ranks)), "sections");
        // The browser sorts once and sections each search's matches in that order.
        GameProfileSearch::Index index(sectionOrder(games, ranks));
        // Typing on, deleting back, a text found in many profiles and a storefront's name.
        for (const QString &text :
            {u" "_s, u"TA"_s, u"eta"_s, u"zeta "_s, u"ETA"_s, u"g"_s, u"steam"_s}) {
            QCOMPARE(shown(sectionsInOrder(index.matching(text), store, ranks)),
                shown(gameSections(GameProfileSearch::matchingGames(games, text), store, ranks)));
        }
        // Other store data: nothing worked out under the last may be kept.
        QCOMPARE(shown(sectionsInOrder(index.matching({}), {}, ranks)),
            shown(gameSections(games, {}, ranks)));
        const auto changed = std::find_if(games.cbegin(), games.cend(),
            [&](const GameCompatibilityProfile &game) { return game.id == id; });
        QTEST(cardTag(*changed, store, ranks), "tag");
    }

    void selectionAndStoreFollowTheList()
    {
        const ProfileSelection visible = visibleProfiles(gameSections(games, {}, ranks));
        QCOMPARE(visible.size(), 7);
        QCOMPARE(selectedGame(visible, u"gamma"_s)->id, u"gamma"_s);
        QCOMPARE(selectedGame(visible, u"omega"_s)->id, u"delta"_s); // not shown: the first
        QCOMPARE(selectedGame({}, u"gamma"_s), std::nullopt);
        QCOMPARE(selectionFollowingVisible({u"beta"_s, u"alpha"_s}, u"gamma"_s), u"beta"_s);
        QCOMPARE(selectionFollowingVisible({u"beta"_s, u"gamma"_s}, u"gamma"_s), u"gamma"_s);
        QCOMPARE(selectionFollowingVisible({}, u"gamma"_s), u"gamma"_s);

        GameCompatibilityProfile both = games.at(1);
        both.storefronts = {GameStorefront::battleNet, GameStorefront::steam};
        QCOMPARE(storefrontFollowingSelection({games.at(0), both}, u"beta"_s), u"battleNet"_s);
        QCOMPARE(storefrontFollowingSelection({both}, u"gone"_s), u"steam"_s);
        QCOMPARE(selectedStorefront(both, u"steam"_s), GameStorefront::steam);
        QCOMPARE(selectedStorefront(games.at(1), u"battleNet"_s), GameStorefront::steam);

        SteamStoreGameData data;
        data.name = u"Beta (Steam)"_s;
        QCOMPARE(cardAccessibleLabel(both, {{u"beta"_s, data}}),
            u"Beta (Steam), Strategy, view install guide"_s);
        data.name = QString();
        QCOMPARE(displayTitle(both, {{u"beta"_s, data}}), u"beta"_s);
    }
};

QTEST_MAIN(TestProfiles)
#include "tst_profiles.moc"
