#include "profiles/GameBrowser.h"
#include "profiles/GameProfileCatalogStore.h"
#include "profiles/GameProfileSearch.h"
#include "profiles/ProfileEndpoints.h"
#include "profiles/SteamClients.h"
#include "profiles/SteamGameCatalog.h"
#include "profiles/SteamGameStoreModel.h"
#include "support/LoopbackServer.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

using namespace GameBrowser;
using namespace Qt::StringLiterals;

using Response = LoopbackServer::Response;
Q_DECLARE_METATYPE(LoopbackServer::Response)

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
QByteArray chart(int rows, int firstApp = 1000)
{
    QJsonArray ranks;
    for (int i = 0; i < rows; ++i)
        ranks.append(QJsonObject {{"rank", i + 1}, {"appid", firstApp + i}});
    return QJsonDocument(QJsonObject {{"response", QJsonObject {{"ranks", ranks}}}}).toJson();
}

QByteArray appDetails(const QString &description)
{
    const QJsonObject data {{"name", "Game"}, {"short_description", description}};
    return QJsonDocument(QJsonObject {{"730", QJsonObject {{"success", true}, {"data", data}}}})
        .toJson();
}

// A good answer, one byte every 20 ms: three seconds in all.
Response trickled(const QByteArray &body)
{
    return {.body = QByteArray(150 - body.size(), ' ') + body, .chunkSize = 1, .chunkDelayMs = 20};
}

const QString invalid = u"The Quillmere game catalog has an unsupported or invalid format."_s;

QJsonArray builtInRows()
{
    QJsonArray rows;
    for (const GameCompatibilityProfile &profile : SteamGameCatalog::games())
        rows.append(profile.toJson());
    return rows;
}

QByteArray document(const QJsonArray &games, int schema = 1)
{
    return QJsonDocument(QJsonObject {{"schemaVersion", schema}, {"games", games}}).toJson();
}

// `size` spaces packed by the system's gzip: a small answer that unpacks far past the limit.
QByteArray gzippedSpaces(qint64 size)
{
    QProcess gzip;
    gzip.start(u"gzip"_s, {u"-c"_s});
    gzip.write(QByteArray(size, ' '));
    gzip.closeWriteChannel();
    gzip.waitForFinished(-1);
    return gzip.readAllStandardOutput();
}

// The built-in rows with one field of one row changed.
QByteArray withChange(int row, const QString &key, const QJsonValue &value)
{
    QJsonArray rows = builtInRows();
    QJsonObject changed = rows.at(row).toObject();
    changed.insert(key, value);
    rows.replace(row, changed);
    return document(rows);
}
} // namespace

// The game profiles: decoded, searched and sectioned; and what they read from the web, the web
// site's game catalogue and Steam's store data and charts.
class TestWebClients : public QObject
{
    Q_OBJECT

    LoopbackServer site; // the web site, with the game catalogue
    LoopbackServer server; // Steam's store
    LoopbackServer chartServer; // another host, as in real life: its connection is its own
    QNetworkAccessManager network;
    WebAccess web {&network};
    QSet<QString> refusedApps; // answered with "success": false
    QByteArray chartBody = chart(0);

    void serve(const QByteArray &body, int status = 200)
    {
        site.route(u"/game-profiles.json"_s, {status, body});
    }

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(u"en_US"_s));
        web.endpoints.steamStore = server.url(QString());
        web.endpoints.steamWebAPI = chartServer.url(QString());
        web.endpoints.steamTimeoutMs = 700;
        web.endpoints.website = site.url(QString());
        web.endpoints.catalogTimeoutMs = 700;
        server.handle(u"/api/appdetails"_s, [this](const QString &target) {
            const QString app = QUrlQuery(QUrl(target).query()).queryItemValue(u"appids"_s);
            QJsonObject data {{"name", "Game " + app}, {"is_free", false},
                {"platforms", QJsonObject {{"mac", true}}}};
            QJsonObject entry {{"success", !refusedApps.contains(app)}};
            if (!refusedApps.contains(app))
                entry.insert(u"data"_s, data);
            // Long enough for a batch to be in flight together.
            return Response {
                .body = QJsonDocument(QJsonObject {{app, entry}}).toJson(), .delayMs = 60};
        });
        chartServer.handle(
            u"/ISteamChartsService/GetMostPlayedGames/v1/"_s, [this](const QString &) {
                return Response {200, chartBody};
            });
    }

    void decodeGameData_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("mac"); // -1 unknown, 0 false, 1 true
        const auto row = [](const char *tag, const char *body, bool present, const char *name = "",
                             int mac = -1) {
            QTest::newRow(tag) << QByteArray(body) << present << QString::fromUtf8(name) << mac;
        };
        row("only a name", R"({"730": {"success": true, "data": {"name": "Counter-Strike 2"}}})",
            true, "Counter-Strike 2");
        row("other app only", R"({"570": {"success": true, "data": {"name": "x"}}})", false);
        row("mac null", R"({"730": {"success": true, "data": {"platforms": {"mac": null}}}})",
            true);
        row("mac false",
            R"({"730": {"success": true, "data": {"platforms": {"mac": false}, "x": 1}}})", true,
            "", 0);
        row("success without data", R"({"730": {"success": true}})", false);
        row("not JSON", "<html>", false);
        row("name of wrong type", R"({"730": {"success": true, "data": {"name": 5}}})", false);
    }
    void decodeGameData()
    {
        QFETCH(QByteArray, body);
        const auto data = SteamStoreAPI::decodeGameData(body, u"730"_s);
        QTEST(data.has_value(), "present");
        if (!data)
            return;
        QTEST(data->name.value_or(QString()), "name");
        QTEST(data->mac ? int(*data->mac) : -1, "mac");
    }

    void decodeRanks_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<std::optional<Ranks>>("ranks");
        const auto row = [](const char *tag, const char *ranks, const std::optional<Ranks> &kept) {
            QTest::newRow(tag) << QByteArray(ranks) << kept;
        };
        row("no ranks key", R"({"response": {}})", std::nullopt);
        row("app id as text", R"({"response": {"ranks": [{"rank": 1, "appid": "730"}]}})",
            std::nullopt);
        row("empty", R"({"response": {"ranks": []}})", Ranks {});
        row("duplicate keeps the first",
            R"({"response": {"ranks": [{"rank": 3, "appid": 730}, {"rank": 9, "appid": 730}]}})",
            Ranks {{"730", 3}});
    }
    void decodeRanks()
    {
        QFETCH(QByteArray, body);
        QTEST(SteamChartsAPI::decodeRanks(body), "ranks");
    }

    // Each request ends within its 700 ms deadline or at the 2 MiB limit, with no result. An
    // endless answer ends as the catalogue's rows below show: both read through HttpGet.
    void limitsGiveNoResult_data()
    {
        QTest::addColumn<Response>("store");
        QTest::addColumn<Response>("charts");
        QTest::newRow("one byte every 20 ms")
            << trickled(appDetails(QString())) << trickled(chart(1));
        QTest::newRow("valid but over the limit")
            << Response {200, appDetails(QString(2 * 1024 * 1024, u'x'))}
            << Response {200, chart(50000)};
    }
    void limitsGiveNoResult()
    {
        QFETCH(Response, store);
        QFETCH(Response, charts);
        LoopbackServer hostile;
        hostile.route(u"/api/appdetails"_s, store);
        hostile.route(u"/ISteamChartsService/GetMostPlayedGames/v1/"_s, charts);
        WebAccess toHostile = web;
        toHostile.endpoints.steamStore = toHostile.endpoints.steamWebAPI = hostile.url(QString());
        auto within = [&](auto &&fetch) {
            QElapsedTimer clock;
            clock.start();
            const qint64 sentBefore = hostile.bodyBytesSent();
            const bool found = QCoro::waitFor(fetch()).has_value();
            const qint64 sent = hostile.bodyBytesSent() - sentBefore;
            return !found && clock.elapsed() < 1500 && sent < 18 * 1024 * 1024;
        };
        QVERIFY(within([&] { return SteamStoreAPI::fetchGameData(toHostile, u"730"_s); }));
        QVERIFY(within([&] { return SteamChartsAPI::fetchPopularityRanks(toHostile); }));
    }

    void storeModelBatchesBySix()
    {
        chartBody = chart(0);
        refusedApps = {u"12210"_s};
        const int before = server.arrivals().size();
        SteamGameStoreModel model(web);
        QSignalSpy loading(&model, &SteamGameStoreModel::loadingIDsChanged);
        QCoro::Task<> task = model.load(SteamGameCatalog::games());
        QCOMPARE(model.loadingIDs().size(), 20); // all at once, before any answer
        QCoro::waitFor(std::move(task));

        // 20 app-details requests in catalogue order, in batches of 6, 6, 6 and 2, plus one chart.
        QStringList targets;
        QList<int> finishedBefore;
        for (const auto &[target, finished] : server.arrivals().mid(before)) {
            targets << target;
            finishedBefore << finished;
        }
        QStringList expectedTargets;
        for (const GameCompatibilityProfile &profile : SteamGameCatalog::games()) {
            if (profile.appID)
                expectedTargets << u"/api/appdetails?appids="_s + *profile.appID + u"&l=en"_s;
        }
        QCOMPARE(targets, expectedTargets);
        QList<int> batchStarts; // each batch waits for the whole one before it
        for (int i = 0; i < 20; ++i)
            batchStarts << finishedBefore.first() + i / 6 * 6;
        QCOMPARE(finishedBefore, batchStarts);
        QCOMPARE(server.maxOpenRequests(), 6);

        QVERIFY(model.loadingIDs().isEmpty());
        QCOMPARE(model.games().size(), 19);
        QVERIFY(!model.games().contains(u"gta-iv-complete"_s)); // "success": false
        QCOMPARE(model.games().value(u"counter-strike-2"_s).name, std::optional(u"Game 730"_s));
        QCOMPARE(
            model.popularityRanks(), SteamGameCatalog::fallbackPopularityRanks()); // empty chart
        QCOMPARE(loading.count(), 5);

        // Again: no store request, but the chart is asked once more and now replaces the table.
        chartBody = chart(100);
        const int storeBefore = server.requestCount(u"/api/appdetails"_s);
        const int chartsBefore
            = chartServer.requestCount(u"/ISteamChartsService/GetMostPlayedGames/v1/"_s);
        QCoro::waitFor(model.load(SteamGameCatalog::games()));
        QCOMPARE(server.requestCount(u"/api/appdetails"_s), storeBefore);
        QCOMPARE(chartServer.requestCount(u"/ISteamChartsService/GetMostPlayedGames/v1/"_s),
            chartsBefore + 1);
        QCOMPARE(model.popularityRanks().size(), 100);
        QCOMPARE(model.popularityRanks().value(u"1001"_s), 2);
        QVERIFY(!model.popularityRanks().contains(u"730"_s));

        // Profiles that share an app ID are each asked for.
        GameCompatibilityProfile again = SteamGameCatalog::games().last();
        again.id = u"counter-strike-2-again"_s;
        SteamGameStoreModel shared(web);
        QCoro::waitFor(shared.load({SteamGameCatalog::games().last(), again}));
        QCOMPARE(server.requestCount(u"/api/appdetails"_s), storeBefore + 2);
        QCOMPARE(shared.games().size(), 2);
        QVERIFY(shared.games().contains(again.id));
    }

    // Ids differing only in case, and an app ID with a leading zero, are fine; a later failure
    // brings back the included list, as the status line then says.
    void adoptsAGoodDocumentAndFallsBackLater()
    {
        GameProfileCatalogStore store(web);
        QCOMPARE(store.games(), SteamGameCatalog::games());
        QVERIFY(!store.isUsingWebsiteCatalog());
        QCOMPARE(store.statusLine(), u"Using the included catalog"_s);
        QJsonArray rows = builtInRows();
        QJsonObject renamed = rows.at(0).toObject();
        renamed.insert(u"name"_s, u" Leading space kept"_s);
        rows.replace(0, renamed);
        rows.removeAt(1);
        QJsonObject upper = rows.at(5).toObject();
        upper.insert(u"id"_s, upper.value(u"id"_s).toString().toUpper());
        upper.insert(u"appID"_s, u"0730"_s);
        rows.append(upper);
        serve(document(rows));
        QCoro::waitFor(store.load());
        QCOMPARE(store.loadError(), QString());
        QVERIFY(store.isUsingWebsiteCatalog());
        QCOMPARE(store.games().size(), 21);
        QCOMPARE(store.games().first().name, u" Leading space kept"_s);
        QCOMPARE(store.statusLine(), u"Synced from 127.0.0.1"_s);
        const QByteArray head = site.requestHeaders().last().toLower();
        QVERIFY(head.contains("accept: application/json"));
        QVERIFY(head.contains("cache-control: no-cache"));

        serve("gone", 404);
        QCoro::waitFor(store.load());
        QCOMPARE(store.loadError(), u"The Quillmere game catalog could not be downloaded."_s);
        QCOMPARE(store.games(), SteamGameCatalog::games());
        QCOMPARE(store.statusLine(), u"Website list unavailable · using the included catalog"_s);
    }

    // A bad document, or an answer that doesn't end within the 700 ms deadline or at the size
    // limit however the server trickles or however much it has to send, leaves the included list.
    void rejectedAnswers_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("error");
        const auto bad = [](const char *tag, const QByteArray &body, const QString &error) {
            QTest::newRow(tag) << Response {.body = body} << error;
        };
        bad("schema 2", document(builtInRows(), 2), invalid);
        bad("no games", document({}), invalid);
        QJsonArray twins = builtInRows();
        twins.append(twins.at(5));
        bad("duplicate id", document(twins), invalid);
        bad("blank name", withChange(3, u"name"_s, u"   "_s), invalid);
        bad("empty id", withChange(3, u"id"_s, QString()), invalid);
        bad("no storefront", withChange(3, u"storefronts"_s, QJsonArray {}), invalid);
        bad("http guide", withChange(3, u"guideURL"_s, u"http://g.example/x"_s), invalid);
        bad("guide without host", withChange(3, u"guideURL"_s, u"https:/x"_s), invalid);
        bad("letter in app ID", withChange(3, u"appID"_s, u"12a"_s), invalid);
        bad("empty app ID", withChange(3, u"appID"_s, QString()), invalid);
        bad("Arabic-Indic digits", withChange(3, u"appID"_s, u"٧٣٠"_s), invalid);
        bad("unknown storefront", withChange(3, u"storefronts"_s, QJsonArray {"gog"}),
            u"Profile 4 of the game catalog names an unknown storefront “gog”."_s);
        bad("not JSON", "<html>", u"The game catalog isn't valid JSON (illegal value)."_s);
        bad("no schema", "{\"games\": []}",
            u"The game catalog has no “schemaVersion” number or no “games” list."_s);
        const QString slow = u"The Quillmere game catalog took too long to download."_s;
        const QString large
            = u"The Quillmere game catalog is larger than 4 MiB and was not loaded."_s;
        const qint64 limit = GameProfileCatalogStore::maximumDocumentBytes;
        QTest::newRow("silent for 3 s")
            << Response {.body = document(builtInRows()), .delayMs = 3000} << slow;
        QTest::newRow("one byte every 20 ms")
            << Response {.body = QByteArray(150, ' '), .chunkSize = 1, .chunkDelayMs = 20} << slow;
        QTest::newRow("endless") << Response {.body = "[0, ", .repeatUpTo = 64 * limit} << large;
        const QByteArray over = document(builtInRows()) + QByteArray(limit, ' ');
        QTest::newRow("announced over the limit") << Response {.body = over} << large;
        QTest::newRow("gzip that unpacks past the limit") << Response {
            .body = gzippedSpaces(16 * limit),
            .headers = {{"Content-Encoding", "gzip"}}} << large;
    }
    void rejectedAnswers()
    {
        QFETCH(Response, response);
        site.route(u"/game-profiles.json"_s, response);
        GameProfileCatalogStore store(web);
        const qint64 sentBefore = site.bodyBytesSent();
        QElapsedTimer clock;
        clock.start();
        QCoro::waitFor(store.load());
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QTEST(store.loadError(), "error");
        QVERIFY(!store.isUsingWebsiteCatalog());
        QCOMPARE(store.games(), SteamGameCatalog::games());
        QCOMPARE(store.statusLine(), u"Website list unavailable · using the included catalog"_s);
        // Reading stopped at the limit: the server could hand over little more than that.
        const qint64 sent = site.bodyBytesSent() - sentBefore;
        QVERIFY2(sent < GameProfileCatalogStore::maximumDocumentBytes + 16 * 1024 * 1024,
            qPrintable(QString::number(sent)));
    }

    void decoding_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined: remove the key
        QTest::addColumn<QString>("error"); // empty: decodes
        const QString profile = "Profile 1 of the game catalog has ";
        QTest::newRow("every field") << "summary" << QJsonValue("One sentence.") << "";
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
        if (!profile)
            return;
        QVERIFY(*GameCompatibilityProfile::fromJson(profile->toJson()) == *profile);
        // Steam's page of the app when there is one, otherwise the store's own page.
        QCOMPARE(profile->storePageURL(GameStorefront::steam),
            value.isNull() ? Storefronts::downloadURL(GameStorefront::steam)
                           : QUrl(u"https://store.steampowered.com/app/2344520/"_s));
        QCOMPARE(profile->storePageURL(GameStorefront::battleNet),
            Storefronts::downloadURL(GameStorefront::battleNet));
    }

    // Name, genre, edition and store names count, in any letter case of the user's language.
    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("ids");
        const auto row = [](const char *tag, const char *text, const QStringList &ids,
                             const char *locale = "en_US") {
            QTest::newRow(tag) << QString::fromUtf8(text) << QString::fromLatin1(locale) << ids;
        };
        const QStringList battle {"diablo-ii-resurrected", "diablo-iv"};
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
        QStringList found;
        for (const GameCompatibilityProfile &profile :
            GameProfileSearch::matchingGames(SteamGameCatalog::games(), text))
            found << profile.id;
        QLocale::setDefault(QLocale(u"en_US"_s));
        QCOMPARE(found, ids);
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

QTEST_MAIN(TestWebClients)
#include "tst_webclients.moc"
