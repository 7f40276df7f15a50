#include "games/GameGuide.h"
#include "games/SteamShortcuts.h"
#include "library/LibraryModel.h"
#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace GameGuide;
using namespace TestSupport;
using Kind = PrimaryAction::Kind;

namespace {
// A built-in profile by id; "steam-no-app" is Counter-Strike 2 without its app ID.
GameCompatibilityProfile profile(const QString &id)
{
    GameCompatibilityProfile found = catalogProfile(id == "steam-no-app" ? "counter-strike-2" : id);
    if (id == "steam-no-app")
        found.appID.reset();
    return found;
}

// "wine,steam,installed,pending,shortcut,launcher", any subset.
InstallFacts facts(const QString &flags)
{
    const QStringList on = flags.split(u',', Qt::SkipEmptyParts);
    return {on.contains("wine"), on.contains("steam"), on.contains("installed"),
        on.contains("pending"), on.contains("shortcut"), on.contains("launcher")};
}

// "profile store facts": what the guide is given.
std::tuple<GameCompatibilityProfile, GameStorefront, InstallFacts> situation(const QString &text)
{
    const QStringList parts = text.split(u' ');
    return {profile(parts[0]), *Storefronts::fromRawValue(parts[1]), facts(parts.value(2))};
}
} // namespace

class TestGameGuide : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void factsComeFromTheLibrary()
    {
        Sandbox sandbox;
        const GameEntry steam = sandbox.steamEntry();
        installSteamGame(steam, "730");
        UserDefaults(sandbox.path("defaults.ini"))
            .setStringArray(QLatin1String(SteamShortcuts::pendingSteamGamesKey), {"2357570"});
        auto library = sandbox.model();
        const GameCompatibilityProfile cs = profile("counter-strike-2");
        QCOMPARE(installFacts(SteamShortcuts(*library), cs, true), facts("wine"));

        library->add(steam);
        QCOMPARE(installFacts(SteamShortcuts(*library), cs, false), facts("steam,installed"));
        QCOMPARE(installFacts(SteamShortcuts(*library), profile("overwatch"), true),
            facts("wine,steam,pending"));
        SteamShortcuts(*library).addSteamGameShortcut(cs);
        GameEntry launcher = sandbox.readyEntry(QStringLiteral("Tools"));
        launcher.executablePath = "/games/Battle.net/Battle.net.EXE";
        library->add(launcher);
        QCOMPARE(installFacts(SteamShortcuts(*library), cs, true),
            facts("wine,steam,installed,shortcut,launcher"));
    }

    void launcherEntries()
    {
        const auto launcher = [](const QString &name, const QString &executable) {
            return isLauncherEntry({.name = name, .executablePath = executable});
        };
        QVERIFY(launcher("BATTLE.NET Setup", "/p/setup.exe")); // by file name: the facts test
        QVERIFY(!launcher("Tools", "/Battle.net.exe/game.exe")); // only the file name counts
        QVERIFY(!launcher("Battlenet", "/p/Battlenet.exe"));
    }

    // The titles are pinned once for each kind of guide; the rows show "+" or "-" and the detail.
    void stepsFollowTheFacts_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QStringList>("steps");
        const QString wine = "+ Wine and its requirements are ready.";
        const QString noWine = "- Quillmere will install missing components.";
        const QString steam = "+ Steam is installed in Quillmere.";
        const QString open = "- Open the Steam page to check access and install this edition.";
        const QString installed = "+ Steam reports this game is installed.";
        const QString waiting = "- Completes after Steam confirms the install is complete.";
        const QString setUp
            = "- After setup, edit that entry to use Battle.net.exe in the same Wine prefix.";
        const QString play
            = "- Sign in to Battle.net, install your PC edition, then play from its library.";
        QTest::newRow("Steam: nothing yet, a stale shortcut")
            << "counter-strike-2 steam shortcut"
            << QStringList({noWine, "- Sign in to your Steam account after installing Steam.", open,
                   waiting});
        QTest::newRow("Steam: install pending")
            << "counter-strike-2 steam wine,steam,pending"
            << QStringList({wine, steam,
                   "- Check edition access or continue the download in Steam.", waiting});
        QTest::newRow("Steam: installed without shortcut, Wine gone")
            << "counter-strike-2 steam steam,installed"
            << QStringList({noWine, steam, installed, "- Quillmere can add the launch shortcut."});
        QTest::newRow("Steam: ready") << "counter-strike-2 steam wine,steam,installed,shortcut"
                                      << QStringList({wine, steam, installed,
                                             "+ The installed game is ready in your library."});
        QTest::newRow("launcher: nothing yet")
            << "diablo-iv battleNet"
            << QStringList({"- Install Wine before running the Windows launcher.",
                   "- Download the PC installer, then choose + → Run Windows .exe…", setUp, play});
        QTest::newRow("launcher for Steam without an app ID: 3 and 4 never complete")
            << "steam-no-app steam wine,steam,installed,shortcut,launcher"
            << QStringList({wine, "+ The installer has a Quillmere entry.", setUp, play});
    }
    void stepsFollowTheFacts()
    {
        QFETCH(QString, situation);
        const auto [profile, store, facts] = ::situation(situation);
        QStringList titles;
        QStringList shown;
        for (const GuideStep &step : steps(profile, store, facts, QStringLiteral("Steam title"))) {
            QCOMPARE(step.number, shown.size() + 1);
            QCOMPARE(step.isLast, step.number == 4);
            titles << step.title;
            shown << (step.isComplete ? "+ " : "- ") + step.detail;
        }
        QTEST(shown, "steps");
        QCOMPARE(titles,
            usesSteamSteps(profile, store) ? QStringList({"Prepare Wine", "Set up Steam",
                "Install Steam PC edition", "Launch from Quillmere"})
                                           : QStringList({"Prepare Wine", "Install Battle.net",
                                               "Set up the launcher", "Install Steam title"}));
    }

    void actionMovesToTheNextStep_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("action"); // title, symbol, storefront, caption
        QTest::newRow("Wine first, even for Battle.net")
            << "diablo-iv battleNet steam,installed,shortcut" << Kind::setUpStore
            << "Set Up Wine · wineglass · battleNet · Wine Setup prepares the runtime Quillmere "
               "uses for Windows apps.";
        QTest::newRow("Battle.net installer")
            << "diablo-iv battleNet wine" << Kind::openBattleNetDownload
            << "Get Battle.net PC installer · arrow.down.circle · battleNet · Download the "
               "Windows installer, then choose + → Run Windows .exe…. After setup, edit its "
               "Quillmere entry to use Battle.net.exe in the same prefix, then install and "
               "launch the game from Battle.net.";
        QTest::newRow("Steam first")
            << "counter-strike-2 steam wine" << Kind::setUpStore
            << "Set Up Steam · wineglass · steam · Wine Setup opens automatically. Install "
               "Steam there, then return to this profile.";
        QTest::newRow("open the page")
            << "counter-strike-2 steam wine,steam" << Kind::openSteamPage
            << "Open in Steam · arrow.up.right.square · steam · Steam shows the install options "
               "for this edition. If it shows a purchase option, this account doesn’t have "
               "access yet.";
        QTest::newRow("pending install")
            << "counter-strike-2 steam wine,steam,pending" << Kind::openSteamPage
            << "Continue in Steam · arrow.clockwise · steam · Check that this Steam account has "
               "access to the edition, then start or continue its install there.";
        QTest::newRow("installed: add the shortcut")
            << "counter-strike-2 steam wine,steam,installed,pending" << Kind::addShortcut
            << "Add to Quillmere Library · plus · steam · ";
        QTest::newRow("launch") << "counter-strike-2 steam wine,steam,installed,shortcut"
                                << Kind::launchShortcut
                                << "Launch Steam title · play.fill · steam · ";
        QTest::newRow("Steam without an app ID: the store page only")
            << "steam-no-app steam wine,steam" << Kind::openStorePage
            << "Open Steam Store · arrow.up.right.square · steam · This profile has no Steam app "
               "ID, so Quillmere can’t open the game in Steam or add its shortcut. Look for this "
               "edition in the store instead.";
    }
    void actionMovesToTheNextStep()
    {
        QFETCH(QString, situation);
        const auto [profile, store, facts] = ::situation(situation);
        const PrimaryAction action
            = primaryAction(profile, store, facts, QStringLiteral("Steam title"));
        QTEST(action.kind, "kind");
        const QString storefront = Storefronts::rawValue(action.storefront);
        QTEST(QStringList({action.title, action.symbol, storefront, action.caption}).join(" · "),
            "action");
        // Only the kinds that open a page in the browser name one: the store's own.
        const bool opensPage
            = action.kind == Kind::openBattleNetDownload || action.kind == Kind::openStorePage;
        QCOMPARE(action.url, opensPage ? profile.storePageURL(action.storefront) : QUrl());
    }
};

QTEST_MAIN(TestGameGuide)
#include "tst_gameguide.moc"
