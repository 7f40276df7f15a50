#include "profiles/GameBrowser.h"
#include "profiles/GameProfileSearch.h"
#include "profiles/SteamGameCatalog.h"

#include <QTest>

using namespace GameBrowser;

namespace {
const QList<GameCompatibilityProfile> &catalog()
{
    return SteamGameCatalog::games();
}

const GameCompatibilityProfile &builtIn(const QString &id)
{
    return *std::find_if(catalog().cbegin(), catalog().cend(),
        [&](const GameCompatibilityProfile &p) { return p.id == id; });
}

QStringList field(const QList<GameCompatibilityProfile> &profiles, bool names = false)
{
    QStringList out;
    for (const GameCompatibilityProfile &profile : profiles)
        out << (names ? profile.name : profile.id);
    return out;
}

QList<SteamGameSection> sections(const StoreGames &store = {}, const QString &search = {})
{
    return gameSections(GameProfileSearch::matchingGames(catalog(), search), store,
        SteamGameCatalog::fallbackPopularityRanks());
}
} // namespace

class TestGameBrowser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QStringLiteral("en_US"))); }

    void builtInCatalogBeforeSteamAnswers()
    {
        const QList<SteamGameSection> shown = sections();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(field(shown[0].games, true),
            QStringList({"Counter-Strike 2", "Overwatch", "The Witcher 3: Wild Hunt",
                "Grand Theft Auto V Enhanced", "Red Dead Redemption 2", "Skyrim Special Edition",
                "Elden Ring", "Age of Empires III: Definitive Edition", "Age of Empires IV",
                "Age of Mythology: Retold", "Command & Conquer: Generals Zero Hour",
                "Command & Conquer: Red Alert 2", "Company of Heroes 3", "Diablo II: Resurrected",
                "Diablo IV", "Grand Theft Auto IV: The Complete Edition",
                "GTA: San Andreas – The Definitive Edition",
                "Heroes of Might and Magic III Complete Edition", "Hogwarts Legacy",
                "Path of Exile 2"}));
        QCOMPARE(shown[1].id, QStringLiteral("popular"));
        QCOMPARE(field(shown[1].games), QStringList({"age-of-empires-ii-definitive"}));
        QCOMPARE(visibleProfiles(shown).size(), 21);
        const auto &ranks = SteamGameCatalog::fallbackPopularityRanks();
        QCOMPARE(cardTag(shown[0].games[0], {}, ranks), QStringLiteral("NO MAC VERSION"));
        QCOMPARE(cardTag(shown[1].games[0], {}, ranks), QStringLiteral("STEAM #85"));
    }

    void steamMacFlagMovesProfiles_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("mac");
        QTest::addColumn<QStringList>("sections"); // "id count"
        QTest::addColumn<QString>("tag");
        QTest::newRow("unranked Mac build is shown nowhere")
            << "hogwarts-legacy" << true << QStringList({"unsupported 19", "popular 1"}) << "";
        QTest::newRow("ranked Mac build is popular")
            << "counter-strike-2" << true << QStringList({"unsupported 19", "popular 2"})
            << "STEAM #1";
        QTest::newRow("no Mac build after all: empty section left out")
            << "age-of-empires-ii-definitive" << false << QStringList({"unsupported 21"})
            << "NO MAC VERSION";
    }
    void steamMacFlagMovesProfiles()
    {
        QFETCH(QString, id);
        QFETCH(bool, mac);
        QFETCH(QStringList, sections);
        QFETCH(QString, tag);
        SteamStoreGameData data;
        data.mac = mac;
        const StoreGames store {{id, data}};
        QStringList shown;
        for (const SteamGameSection &section : ::sections(store))
            shown << section.id + u' ' + QString::number(section.games.size());
        QCOMPARE(shown, sections);
        QCOMPARE(cardTag(builtIn(id), store, SteamGameCatalog::fallbackPopularityRanks()), tag);
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("locale");
        const QStringList battle {"diablo-ii-resurrected", "diablo-iv"};
        QTest::newRow("store name, any case") << "BattLE" << battle << "en_US";
        // Hogwarts Legacy matches by its name; the others by their genre.
        QTest::newRow("genre") << "rts"
                               << QStringList({"hogwarts-legacy", "age-of-mythology-retold",
                                      "age-of-empires-iii-definitive", "red-alert-2",
                                      "generals-zero-hour", "age-of-empires-ii-definitive",
                                      "age-of-empires-iv", "company-of-heroes-3"})
                               << "en_US";
        QTest::newRow("trimmed") << " elden " << QStringList({"elden-ring"}) << "en_US";
        QTest::newRow("app id is not searched") << "730" << QStringList() << "en_US";
        QTest::newRow("Turkish capital dotted I") << "DİABLO" << battle << "tr_TR";
    }
    void search()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, ids);
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        const QStringList found = field(GameProfileSearch::matchingGames(catalog(), text));
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        QCOMPARE(found, ids);
    }

    void namesDifferingInCaseKeepCatalogueOrder()
    {
        GameCompatibilityProfile upper = builtIn(QStringLiteral("hogwarts-legacy"));
        upper.id = upper.name = QStringLiteral("Zeta");
        GameCompatibilityProfile lower = upper;
        lower.id = lower.name = QStringLiteral("zeta");
        QCOMPARE(
            field(gameSections({upper, lower}, {}, {})[0].games), QStringList({"Zeta", "zeta"}));
        QCOMPARE(
            field(gameSections({lower, upper}, {}, {})[0].games), QStringList({"zeta", "Zeta"}));
    }

    void searchMovesSelectionAndStore()
    {
        QString selected = initialSelectedGameID();
        const QList<GameCompatibilityProfile> diablo
            = visibleProfiles(sections({}, QStringLiteral("diablo ii")));
        QCOMPARE(selectedGame(diablo, selected)->id, QStringLiteral("diablo-ii-resurrected"));
        selected = selectionFollowingVisible(field(diablo), selected);
        QCOMPARE(selected, QStringLiteral("diablo-ii-resurrected"));
        QCOMPARE(storefrontFollowingSelection(catalog(), selected), QStringLiteral("battleNet"));
        QCOMPARE(storefrontFollowingSelection(catalog(), QStringLiteral("gone")),
            QStringLiteral("steam"));

        // Clearing the search keeps the new selection; a search without results keeps it too.
        QCOMPARE(selectionFollowingVisible(field(visibleProfiles(sections())), selected), selected);
        QCOMPARE(selectionFollowingVisible({}, selected), selected);
        QCOMPARE(selectedGame({}, selected), std::nullopt);

        // A store the profile does not sell in falls back to its first one.
        const GameCompatibilityProfile &cs = builtIn(QStringLiteral("counter-strike-2"));
        QCOMPARE(selectedStorefront(cs, QStringLiteral("battleNet")), GameStorefront::steam);
        QCOMPARE(
            selectedStorefront(builtIn(QStringLiteral("diablo-iv")), QStringLiteral("battleNet")),
            GameStorefront::battleNet);

        SteamStoreGameData data;
        data.name = QStringLiteral("Counter-Strike 2 (Steam)");
        QCOMPARE(cardAccessibleLabel(cs, {{cs.id, data}}),
            QStringLiteral("Counter-Strike 2 (Steam), Shooter · Tactical, view install guide"));
        data.name = QString();
        QCOMPARE(displayTitle(cs, {{cs.id, data}}), QStringLiteral("Counter-Strike 2"));
    }
};

QTEST_MAIN(TestGameBrowser)
#include "tst_gamebrowser.moc"
