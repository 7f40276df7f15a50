#include "games/GameGuide.h"
#include "games/SteamLibraryFolders.h"
#include "games/SteamManifest.h"
#include "games/SteamShortcuts.h"
#include "platform/UserDefaults.h"
#include "profiles/SteamGameCatalog.h"
#include "support/TestSupport.h"

#include <sys/stat.h>

using namespace TestSupport;
using namespace Qt::StringLiterals;
using namespace GameGuide;
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

// Steam's games in the library, and the guide that leads to them.
class TestSteamShortcuts : public QObject
{
    Q_OBJECT

    // A library holding the Steam client in its own prefix, run by the fake Wine.
    struct World
    {
        Sandbox sandbox;
        GameEntry steam = sandbox.steamEntry();
        QString apps = steamApps(steam);

        World() { sandbox.model()->add(steam); }
    };

private Q_SLOTS:
    void manifestValues()
    {
        const QString text
            = "\"AppState\"\r\n{\r\n\t\"appid\"\t\"  730 \"\r\n\t\"UserConfig\"\r\n\t{\r\n"
              "\t\t\"language\"\t\"english\"\r\n\t}\r\n\t\"language\"\t\"german\"\r\n}\r\n";
        QCOMPARE(SteamManifest::value("appid", text), std::optional<QString>("730"));
        QCOMPARE(SteamManifest::value("language", text), std::optional<QString>("english"));
        QCOMPARE(SteamManifest::value("AppID", text), std::optional<QString>());
        QCOMPARE(SteamManifest::decimalInteger("-12"), std::optional<qlonglong>(-12));
    }

    void installedOnlyWhenComplete_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("folder"); // the install folder: "files", "empty" or "none"
        QTest::addColumn<QString>("state"); // as `quillmere steam` shows it; "none": no manifest
        // App 730's manifest, installed in "Game730" unless the row says otherwise.
        const auto m = [](const QString &flags, const QString &folder = "Game730",
                           const QString &bytes = "0", const QString &appID = "730") {
            return steamManifest(appID, flags, folder, bytes);
        };
        QTest::newRow("complete") << m("4") << u"files"_s << u"installed"_s;
        QTest::newRow("no download count") << m("4", "Game730", {}) << u"files"_s << u"installed"_s;
        QTest::newRow("signed flags") << m("+4") << u"files"_s << u"installed"_s;
        QTest::newRow("bytes to download") << m("4", "Game730", "1") << u"files"_s << u"updating"_s;
        QTest::newRow("update required, flags 6") << m("6") << u"files"_s << u"updating"_s;
        QTest::newRow("first download, flags 1026") << m("1026") << u"none"_s << u"downloading"_s;
        QTest::newRow("uninstalled, flags 1") << m("1") << u"none"_s << u"not installed"_s;
        QTest::newRow("flags not a number") << m("4x") << u"files"_s << u"not installed"_s;
        QTest::newRow("other app id") << m("4", "Game730", "0", "731") << u"files"_s << u"none"_s;
        QTest::newRow("install folder ..") << m("4", "..") << u"files"_s << u"not installed"_s;
        QTest::newRow("install folder with slash")
            << m("4", "Game730/sub") << u"files"_s << u"not installed"_s;
        QTest::newRow("empty install folder name")
            << m("4", "") << u"files"_s << u"not installed"_s;
        QTest::newRow("install folder missing") << m("4") << u"none"_s << u"not installed"_s;
        QTest::newRow("install folder empty") << m("4") << u"empty"_s << u"not installed"_s;
    }
    void installedOnlyWhenComplete()
    {
        QFETCH(QString, text);
        QFETCH(QString, folder);
        QFETCH(QString, state);
        World world;
        installSteamGame(world.steam, "730", text);
        // The sub folder a slash would point into exists, so only the rule can refuse it.
        writeFile(world.apps + "/common/Game730/sub/file", "x");
        if (folder != u"files")
            QDir(world.apps + "/common").removeRecursively();
        if (folder == u"empty")
            QDir().mkpath(world.apps + "/common/Game730");
        auto model = world.sandbox.model();
        QCOMPARE(SteamShortcuts(*model).isSteamGameInstalled(catalogProfile("counter-strike-2")),
            state == u"installed");
        const auto manifest = SteamLibraryFolders::read(world.steam.prefixPath).manifest("730");
        const QStringList states = {"installed", "updating", "downloading", "not installed"};
        QCOMPARE(manifest ? states.at(int(manifest->state)) : "none", state);
    }

    // Windows paths from Steam's list, on this machine.
    void windowsPathsMapThroughThePrefix_data()
    {
        QTest::addColumn<QString>("windowsPath");
        QTest::addColumn<QString>("hostPath"); // empty: not a place on this machine
        const auto row = [](const char *tag, const QString &windows, const QString &host) {
            QTest::newRow(tag) << windows << host;
        };
        row("drive C", u"C:\\Program Files (x86)\\Steam"_s,
            u"/p/drive_c/Program Files (x86)/Steam"_s);
        row("other letter, slashes", u"d:/Games//Steam/"_s, u"/p/dosdevices/d:/Games/Steam"_s);
        row("drive Z", u"Z:\\home\\ann\\Steam"_s, u"/p/dosdevices/z:/home/ann/Steam"_s);
        row("drive root", u"E:\\"_s, u"/p/dosdevices/e:"_s);
        row("drive-relative", u"E:Steam"_s, {});
        row("steps out", u"E:\\Steam\\..\\..\\x"_s, {});
        row("network share", u"\\\\server\\games"_s, {});
        row("host path", u"/home/ann/Steam"_s, {});
    }
    void windowsPathsMapThroughThePrefix()
    {
        QFETCH(QString, windowsPath);
        QTEST(SteamLibraryFolders::hostPath("/p", windowsPath), "hostPath");
    }

    void openingAPageRemembersTheInstall()
    {
        World world;
        const GameCompatibilityProfile cs = catalogProfile("counter-strike-2");
        {
            auto model = world.sandbox.model();
            SteamShortcuts steam(*model);
            QCOMPARE(steam.openSteamGamePage(cs).message,
                "Steam opened the page for Counter-Strike 2. Check that this account has "
                "access to the edition, then start or continue its install in Steam. "
                "Quillmere will add it after the install finishes.");
            QVERIFY(model->runningIDs().isEmpty());
            QVERIFY(steam.isSteamGamePendingInstall(cs));
            QTRY_COMPARE(recordedArguments(world.sandbox.recordDir(), "wine"),
                QStringList({world.steam.executablePath, "steam://store/730"}));
        }

        // Another model (a later start of the app) still knows, and adds the game once Steam is
        // done, with every other pending game Steam finished meanwhile, on any of its drives.
        // The rest stays pending, stored without duplicates.
        UserDefaults(world.sandbox.path("defaults.ini"))
            .setStringArray(QLatin1String(SteamShortcuts::pendingSteamGamesKey),
                {"990080", "730", "292030", "730"});
        installSteamGame(world.steam, "730");
        installSteamGameIn(addSteamLibraryOnDriveD(world.steam, world.sandbox.path("d")), "990080");
        auto later = world.sandbox.model();
        SteamShortcuts steam(*later);
        QVERIFY(steam.isSteamGamePendingInstall(cs));
        QCOMPARE(steam.refreshGameProfiles(SteamGameCatalog::games()),
            Outcome::notice("Hogwarts Legacy, Counter-Strike 2 finished installing and are ready "
                            "in your Quillmere library."));
        QCOMPARE(later->entries().size(), 3);
        QCOMPARE(UserDefaults(world.sandbox.path("defaults.ini"))
                     .stringArray(QLatin1String(SteamShortcuts::pendingSteamGamesKey)),
            QStringList({"292030"}));
        const auto shortcut = steam.steamGameEntry(cs);
        QVERIFY(shortcut.has_value());
        QCOMPARE(shortcut->name, "Counter-Strike 2");
        QCOMPARE(shortcut->winePath, world.steam.winePath);
        QVERIFY(shortcut->environment.isEmpty());
        QCOMPARE(later->selectedID(), shortcut->id);
        QVERIFY(!steam.isSteamGamePendingInstall(cs));
    }

    void addingShortcutsByHand()
    {
        World world;
        auto model = world.sandbox.model();
        SteamShortcuts steam(*model);
        const GameCompatibilityProfile elden = catalogProfile("elden-ring");
        QCOMPARE(steam.addSteamGameShortcut(catalogProfile("diablo-ii-resurrected")),
            Outcome::error("This profile does not have a Steam app ID. Choose its listed "
                           "storefront instead."));
        QCOMPARE(steam.addSteamGameShortcut(elden),
            Outcome::error("Steam hasn't finished installing Elden Ring yet. Finish the download "
                           "and let Steam verify the files first."));
        installSteamGame(world.steam, "1245620");
        // Installed: adds instead of opening Steam.
        QCOMPARE(steam.openSteamGamePage(elden),
            Outcome::notice("Added Elden Ring to your Quillmere library."));
        QVERIFY(!QFile::exists(world.sandbox.recordDir() + "/wine.args"));
        const QUuid added = model->selectedID();
        model->setSelectedID(world.steam.id);
        QCOMPARE(steam.addSteamGameShortcut(elden),
            Outcome::notice("Elden Ring is already in your Quillmere library."));
        QCOMPARE(model->selectedID(), added);
        QCOMPARE(model->entries().size(), 2);
    }

    // A start drops a game's shortcut only when the game is certainly gone, never because it
    // can't look at it at the moment or Steam is busy with it. Steam's list names a second
    // library folder on drive D:, where the game is installed in the rows that start with "D:".
    void startKeepsShortcutsUnlessGameIsGone_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<bool>("installed");
        QTest::newRow("manifest gone") << u"remove"_s << false << false;
        QTest::newRow("manifest names another app")
            << steamManifest("731", "4", "Game730") << false << false;
        QTest::newRow("prefix renamed away") << u"rename"_s << true << false;
        QTest::newRow("updating in Steam")
            << steamManifest("730", "1026", "Game730", "1024") << true << false;
        QTest::newRow("manifest not UTF-8") << u"latin1"_s << true << false;
        QTest::newRow("manifest a named pipe") << u"pipe"_s << true << false;
        QTest::newRow("D: installed") << u"D:"_s << true << true;
        QTest::newRow("D: manifest gone") << u"D: remove"_s << false << false;
        QTest::newRow("D: unmounted") << u"D: unmount"_s << true << false;
        QTest::newRow("D: link to nowhere") << u"D: dangling"_s << true << false;
        QTest::newRow("D: listed only in config") << u"D: config"_s << true << true;
        QTest::newRow("D: list cut short") << u"D: truncate"_s << true << false;
        QTest::newRow("D: list too large") << u"D: large"_s << true << false;
        QTest::newRow("D: list a named pipe") << u"D: pipe"_s << true << false;
        QTest::newRow("D: list names a share") << u"D: share"_s << true << false;
    }
    void startKeepsShortcutsUnlessGameIsGone()
    {
        QFETCH(QString, change);
        QFETCH(bool, kept);
        QFETCH(bool, installed);
        World world;
        const QString drive = world.sandbox.path("drive-d");
        const QString apps = addSteamLibraryOnDriveD(world.steam, drive);
        const bool onD = change.startsWith(u"D:");
        change = change.mid(onD ? 3 : 0);
        installSteamGameIn(onD ? apps : world.apps, "730");
        const GameCompatibilityProfile cs = catalogProfile("counter-strike-2");
        {
            auto model = world.sandbox.model();
            SteamShortcuts steam(*model);
            steam.addSteamGameShortcut(cs);
            QVERIFY(steam.steamGameEntry(cs)); // installed on either drive
            GameEntry unknown = *steam.steamGameEntry(cs);
            unknown.id = QUuid::createUuid();
            unknown.arguments = {"-applaunch", "999999"}; // not in the catalogue
            model->add(unknown);
        }
        const QString list = world.apps + "/libraryfolders.vdf";
        const QString manifestPath = (onD ? apps : world.apps) + "/appmanifest_730.acf";
        // Each list row would have the game removed if the list's folders were left unsearched.
        if (!onD || change != u"")
            QFile::remove(manifestPath);
        const QByteArray listText = readFile(list);
        if (onD && change == u"pipe")
            QFile::remove(list);
        if (change == u"rename")
            QVERIFY(QDir().rename(world.steam.prefixPath, world.sandbox.path("unmounted")));
        else if (change == u"pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(onD ? list : manifestPath).constData(), 0600), 0);
        else if (change == u"latin1") // it would name another app, could it be read
            writeFile(manifestPath, steamManifest("731", "4", "Game730").toUtf8() + "\xff");
        else if (change == u"unmount")
            QVERIFY(QFile::remove(world.steam.prefixPath + "/dosdevices/d:"));
        else if (change == u"dangling")
            QVERIFY(QDir(drive).removeRecursively());
        else if (change == u"config") // the game stays, found through the config copy alone
            QVERIFY(QDir().mkpath(world.apps + "/../config")
                && QFile::rename(list, world.apps + "/../config/libraryfolders.vdf"));
        else if (change == u"truncate") // cut off before drive D:'s folder
            writeFile(list, listText.left(listText.indexOf("\t\"1\"")));
        else if (change == u"large")
            writeFile(list, listText + QByteArray(1 << 20, ' '));
        else if (change == u"share")
            writeFile(list, steamLibraryList({"D:\\SteamLibrary", "\\\\nas\\games"}));
        else if (!onD && change != u"remove")
            writeFile(manifestPath, change.toUtf8());
        if (change == u"config")
            installSteamGameIn(apps, "730");

        auto model = world.sandbox.model();
        SteamShortcuts steam(*model);
        steam.removeUninstalledSteamGameShortcuts(SteamGameCatalog::games());
        QCOMPARE(steam.steamGameEntry(cs).has_value(), kept);
        QCOMPARE(steam.isSteamGameInstalled(cs), installed);
        QCOMPARE(model->entries().size(), kept ? 3 : 2);
        QCOMPARE(model->entries().last().arguments.last(), "999999");
        QCOMPARE(model->errorMessage(), QString());
    }

    // What the guide is told, and what Steam's actions say without a Steam that can start.
    void factsAndRefusalsComeFromTheLibrary()
    {
        Sandbox sandbox;
        const GameEntry steam = sandbox.steamEntry();
        installSteamGame(steam, "730");
        UserDefaults(sandbox.path("defaults.ini"))
            .setStringArray(QLatin1String(SteamShortcuts::pendingSteamGamesKey), {"2357570"});
        auto library = sandbox.model();
        const GameCompatibilityProfile cs = profile("counter-strike-2");
        QCOMPARE(installFacts(SteamShortcuts(*library), cs, true), facts("wine"));
        const GameCompatibilityProfile elden = catalogProfile("elden-ring");
        QCOMPARE(SteamShortcuts(*library).openSteamGamePage(elden),
            Outcome::error("Install Steam from Wine Setup before opening Steam game pages."));
        QCOMPARE(SteamShortcuts(*library).addSteamGameShortcut(elden),
            Outcome::error("Install Steam from Wine Setup before adding a game shortcut."));

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

        GameEntry broken = steam;
        broken.winePath = sandbox.path("missing/wine");
        library->update(broken);
        QCOMPARE(SteamShortcuts(*library).openSteamGamePage(elden),
            Outcome::error("Quillmere couldn't open Steam for Elden Ring:\nCan't find this file "
                           "or folder:\n"
                + broken.winePath));
        QVERIFY(!SteamShortcuts(*library).isSteamGamePendingInstall(elden));
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
        const auto row = [](const char *tag, const char *situation, const QStringList &steps) {
            QTest::newRow(tag) << QString::fromUtf8(situation) << steps;
        };
        row("Steam: nothing yet, a stale shortcut", "counter-strike-2 steam shortcut",
            {noWine, "- Sign in to your Steam account after installing Steam.", open, waiting});
        row("Steam: install pending", "counter-strike-2 steam wine,steam,pending",
            {wine, steam, "- Check edition access or continue the download in Steam.", waiting});
        row("Steam: installed without shortcut, Wine gone",
            "counter-strike-2 steam steam,installed",
            {noWine, steam, installed, "- Quillmere can add the launch shortcut."});
        row("Steam: ready", "counter-strike-2 steam wine,steam,installed,shortcut",
            {wine, steam, installed, "+ The installed game is ready in your library."});
        row("launcher: nothing yet", "diablo-iv battleNet",
            {"- Install Wine before running the Windows launcher.",
                "- Download the PC installer, then choose + → Run Windows .exe…", setUp, play});
        row("launcher for Steam without an app ID: 3 and 4 never complete",
            "steam-no-app steam wine,steam,installed,shortcut,launcher",
            {wine, "+ The installer has a Quillmere entry.", setUp, play});
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
        const auto row = [](const char *tag, const char *situation, Kind kind, const char *action) {
            QTest::newRow(tag) << QString::fromUtf8(situation) << kind << QString::fromUtf8(action);
        };
        row("Wine first, even for Battle.net", "diablo-iv battleNet steam,installed,shortcut",
            Kind::setUpStore,
            "Set Up Wine · wineglass · battleNet · Wine Setup prepares the runtime Quillmere uses "
            "for Windows apps.");
        row("Battle.net installer", "diablo-iv battleNet wine", Kind::openBattleNetDownload,
            "Get Battle.net PC installer · arrow.down.circle · battleNet · Download the Windows "
            "installer, then choose + → Run Windows .exe…. After setup, edit its Quillmere entry "
            "to use Battle.net.exe in the same prefix, then install and launch the game from "
            "Battle.net.");
        row("Steam first", "counter-strike-2 steam wine", Kind::setUpStore,
            "Set Up Steam · wineglass · steam · Wine Setup opens automatically. Install Steam "
            "there, then return to this profile.");
        row("open the page", "counter-strike-2 steam wine,steam", Kind::openSteamPage,
            "Open in Steam · arrow.up.right.square · steam · Steam shows the install options for "
            "this edition. If it shows a purchase option, this account doesn’t have access yet.");
        row("pending install", "counter-strike-2 steam wine,steam,pending", Kind::openSteamPage,
            "Continue in Steam · arrow.clockwise · steam · Check that this Steam account has "
            "access to the edition, then start or continue its install there.");
        row("installed: add the shortcut", "counter-strike-2 steam wine,steam,installed,pending",
            Kind::addShortcut, "Add to Quillmere Library · plus · steam · ");
        row("launch", "counter-strike-2 steam wine,steam,installed,shortcut", Kind::launchShortcut,
            "Launch Steam title · play.fill · steam · ");
        row("Steam without an app ID: the store page only", "steam-no-app steam wine,steam",
            Kind::openStorePage,
            "Open Steam Store · arrow.up.right.square · steam · This profile has no Steam app ID, "
            "so Quillmere can’t open the game in Steam or add its shortcut. Look for this edition "
            "in the store instead.");
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

QTEST_MAIN(TestSteamShortcuts)
#include "tst_steamshortcuts.moc"
