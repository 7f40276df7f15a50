#include "profiles/GameBrowser.h"
#include "profiles/GameProfileSearch.h"

#include <QTest>

using namespace GameBrowser;
using namespace Qt::StringLiterals;

namespace {
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

class TestGameBrowser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(u"en_US"_s)); }

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

QTEST_MAIN(TestGameBrowser)
#include "tst_gamebrowser.moc"
