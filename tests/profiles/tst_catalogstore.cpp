#include "profiles/GameProfileCatalogStore.h"
#include "profiles/ProfileEndpoints.h"
#include "profiles/SteamGameCatalog.h"
#include "support/LoopbackServer.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(LoopbackServer::Response)

namespace {
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

class TestCatalogStore : public QObject
{
    Q_OBJECT

    LoopbackServer server;
    QNetworkAccessManager network;
    WebAccess web {&network};

    void serve(const QByteArray &body, int status = 200)
    {
        server.route(u"/game-profiles.json"_s, {status, body});
    }

private Q_SLOTS:
    void initTestCase()
    {
        web.endpoints.website = server.url(QString());
        web.endpoints.catalogTimeoutMs = 700;
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
        const QByteArray head = server.requestHeaders().last().toLower();
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
        using Response = LoopbackServer::Response;
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
        QTest::newRow("404") << Response {.status = 404}
                             << u"The Quillmere game catalog could not be downloaded."_s;
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
        QTest::newRow("unannounced over the limit")
            << Response {.body = over, .sendLength = false} << large;
        QTest::newRow("gzip that unpacks past the limit") << Response {
            .body = gzippedSpaces(16 * limit),
            .headers = {{"Content-Encoding", "gzip"}}} << large;
    }
    void rejectedAnswers()
    {
        QFETCH(LoopbackServer::Response, response);
        server.route(u"/game-profiles.json"_s, response);
        GameProfileCatalogStore store(web);
        const qint64 sentBefore = server.bodyBytesSent();
        QElapsedTimer clock;
        clock.start();
        QCoro::waitFor(store.load());
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QTEST(store.loadError(), "error");
        QVERIFY(!store.isUsingWebsiteCatalog());
        QCOMPARE(store.games(), SteamGameCatalog::games());
        QCOMPARE(store.statusLine(), u"Website list unavailable · using the included catalog"_s);
        // Reading stopped at the limit: the server could hand over little more than that.
        const qint64 sent = server.bodyBytesSent() - sentBefore;
        QVERIFY2(sent < GameProfileCatalogStore::maximumDocumentBytes + 16 * 1024 * 1024,
            qPrintable(QString::number(sent)));
    }
};

QTEST_GUILESS_MAIN(TestCatalogStore)
#include "tst_catalogstore.moc"
