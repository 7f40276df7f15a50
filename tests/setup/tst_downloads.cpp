#include "setup/Cancellation.h"
#include "setup/Downloads.h"
#include "support/SetupSupport.h"

#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTest>
#include <QTimer>

using namespace TestSupport;

namespace {
const QByteArray payload = QByteArray("quillmere test payload ").repeated(20000); // 460 kB
constexpr qint64 MiB = 1024 * 1024;
// Short enough to test: each 300 ms must bring 1 KiB, 1 MiB at most, 1.5 s in all.
const DownloadLimits quickLimits {300, 1024, MiB, 1500};

struct Attempt
{
    SetupResult<QString> result = unexpected(RuntimeSetupError::system(QStringLiteral("not run")));
    QList<QPair<qint64, qint64>> progress;
    int verifications = 0;
};

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("Quillmere-download-*")}, QDir::Files);
}
} // namespace

class TestDownloads : public QObject
{
    Q_OBJECT

    LoopbackServer server;
    QNetworkAccessManager network;

    Attempt fetch(const QString &path, const QString &folder, const QString &digest,
        std::shared_ptr<Cancellation> cancellation = nullptr, DownloadLimits limits = {})
    {
        Attempt attempt;
        Downloads::VerifiedDownloadRequest request {server.url(path), QStringLiteral("file.bin"),
            digest, folder,
            [&](qint64 written, qint64 expected) {
                attempt.progress.append({written, expected});
            },
            [&] { ++attempt.verifications; }, std::move(cancellation)};
        attempt.result = awaitTask(Downloads::verifiedDownload(network, request, limits));
        return attempt;
    }

private Q_SLOTS:
    void initTestCase()
    {
        server.route(QStringLiteral("/good"), {200, payload});
        server.redirect(QStringLiteral("/hop1"), server.url(QStringLiteral("/hop2")));
        server.redirect(QStringLiteral("/hop2"), server.url(QStringLiteral("/good")), 301);
        server.route(QStringLiteral("/missing"), {404, "<html>not here</html>"});
        LoopbackServer::Response unsized {200, payload};
        unsized.sendLength = false;
        unsized.chunkSize = 65536;
        unsized.chunkDelayMs = 80; // Qt passes on progress at most every 150 ms
        server.route(QStringLiteral("/unsized"), unsized);
        LoopbackServer::Response truncated {200, payload};
        truncated.closeAfter = 1000;
        server.route(QStringLiteral("/truncated"), truncated);
        LoopbackServer::Response silent;
        silent.hangUp = true;
        server.route(QStringLiteral("/hang-up"), silent);
        LoopbackServer::Response slow {200, payload};
        slow.chunkSize = 1000;
        slow.chunkDelayMs = 50;
        server.route(QStringLiteral("/slow"), slow);
        LoopbackServer::Response trickle {200, QByteArray(200, 'x')};
        trickle.chunkSize = 1;
        trickle.chunkDelayMs = 20;
        server.route(QStringLiteral("/trickle"), trickle);
        LoopbackServer::Response endless {200, payload};
        endless.repeatUpTo = 256 * MiB;
        server.route(QStringLiteral("/endless"), endless);
        server.route(QStringLiteral("/oversized"), {200, QByteArray(MiB + 1, 'x')});
    }

    void downloadsVerifiesAndReuses()
    {
        Sandbox sandbox;
        const QString folder = sandbox.path(QStringLiteral("Downloads"));
        QDir().mkpath(folder);
        const int before = server.requestCount(QStringLiteral("/good"));
        const Attempt first = fetch(QStringLiteral("/good"), folder, sha256Hex(payload).toUpper());
        QVERIFY_OK(first.result);
        QCOMPARE(*first.result, folder + QStringLiteral("/file.bin"));
        QCOMPARE(readFile(*first.result), payload);
        QCOMPARE(first.verifications, 1);
        QVERIFY(!first.progress.isEmpty() && first.progress.size() <= 101);
        QCOMPARE(first.progress.last(), qMakePair(qint64(payload.size()), qint64(payload.size())));
        QVERIFY(leftovers(folder).isEmpty());

        // Already verified: no network, but the check still runs once.
        const Attempt again = fetch(QStringLiteral("/good"), folder, sha256Hex(payload));
        QCOMPARE(*again.result, *first.result);
        QCOMPARE(again.verifications, 1);
        QVERIFY(again.progress.isEmpty());
        QCOMPARE(server.requestCount(QStringLiteral("/good")), before + 1);

        // A file with the wrong digest in its place is replaced by a fresh download.
        writeFile(*first.result, "tampered");
        const Attempt replaced = fetch(QStringLiteral("/hop1"), folder, sha256Hex(payload));
        QVERIFY_OK(replaced.result);
        QCOMPARE(readFile(*replaced.result), payload);
        QCOMPARE(replaced.verifications, 2);
        QCOMPARE(server.requestCount(QStringLiteral("/good")), before + 2);
    }

    void failuresLeaveNothingBehind_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("digest");
        QTest::addColumn<QString>("message"); // empty: any connection failure
        QTest::newRow("wrong digest")
            << "/good" << QString(64, u'0')
            << "The downloaded file failed its SHA-256 check and was discarded:\nfile.bin";
        QTest::newRow("404 with a body")
            << "/missing" << sha256Hex(payload)
            << "Quillmere couldn't download the required file.\n\n"
               "The download server did not return the requested file.";
        QTest::newRow("connection closed early") << "/truncated" << sha256Hex(payload) << "";
        QTest::newRow("closed without an answer")
            << "/hang-up" << sha256Hex(payload)
            << "Quillmere couldn't download the required file.\n\n"
               "The download finished without a server response.";
        QTest::newRow("one byte every 20 ms")
            << "/trickle" << sha256Hex(payload)
            << "Quillmere couldn't download the required file.\n\n"
               "The download stalled and was stopped.";
        QTest::newRow("steady but too slow for the deadline")
            << "/slow" << sha256Hex(payload)
            << "Quillmere couldn't download the required file.\n\n"
               "The download took too long and was stopped.";
        const QString tooLarge = QStringLiteral("Quillmere couldn't download the required file.\n\n"
                                                "The download was larger than any file Quillmere "
                                                "needs and was stopped.");
        QTest::newRow("endless") << "/endless" << sha256Hex(payload) << tooLarge;
        QTest::newRow("announced over the limit") << "/oversized" << sha256Hex(payload) << tooLarge;
    }
    void failuresLeaveNothingBehind()
    {
        QFETCH(QString, path);
        QFETCH(QString, digest);
        QFETCH(QString, message);
        Sandbox sandbox;
        const QString folder = sandbox.root();
        const qint64 sentBefore = server.bodyBytesSent();
        QElapsedTimer clock;
        clock.start();
        const Attempt attempt = fetch(path, folder, digest, nullptr, quickLimits);
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        // Stopped at the limit: the server could hand over little more than that.
        QVERIFY(server.bodyBytesSent() - sentBefore < quickLimits.maximumBytes + 16 * MiB);
        QVERIFY(!attempt.result.hasValue());
        if (message.isEmpty())
            QVERIFY2(
                attempt.result.error().description().startsWith(QStringLiteral(
                    "Quillmere couldn't download the required file.\n\nThe connection failed (")),
                qPrintable(attempt.result.error().description()));
        else
            QCOMPARE(attempt.result.error().description(), message);
        QVERIFY(!QFile::exists(folder + QStringLiteral("/file.bin")));
        QVERIFY(leftovers(folder).isEmpty());
    }

    void unknownLengthReportsEveryPiece()
    {
        Sandbox sandbox;
        const Attempt attempt
            = fetch(QStringLiteral("/unsized"), sandbox.root(), sha256Hex(payload));
        QVERIFY_OK(attempt.result);
        // Qt reports the size it learnt once the body ended; before that every report passes.
        QVERIFY(attempt.progress.size() >= 3);
        for (qsizetype i = 0; i + 1 < attempt.progress.size(); ++i)
            QVERIFY(attempt.progress.at(i).second < 1);
    }

    void cancellation()
    {
        Sandbox sandbox;
        // Cancelled before the request exists: no request is ever made.
        auto early = std::make_shared<Cancellation>();
        early->cancel();
        const int before = server.requestCount(QStringLiteral("/slow"));
        const Attempt none
            = fetch(QStringLiteral("/slow"), sandbox.root(), sha256Hex(payload), early);
        QVERIFY(none.result.error().isCancelled());
        QCOMPARE(server.requestCount(QStringLiteral("/slow")), before);

        // Cancelled mid-download: the caller gets the cancellation once and no file remains.
        auto midway = std::make_shared<Cancellation>();
        QTimer::singleShot(300, midway.get(), &Cancellation::cancel);
        const Attempt stopped
            = fetch(QStringLiteral("/slow"), sandbox.root(), sha256Hex(payload), midway);
        QVERIFY(stopped.result.error().isCancelled());
        QVERIFY(!stopped.progress.isEmpty());
        QCOMPARE(stopped.verifications, 0);
        QVERIFY(leftovers(sandbox.root()).isEmpty());
        QVERIFY(!QFile::exists(sandbox.path(QStringLiteral("file.bin"))));
    }

    void progressThrottle_data()
    {
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<int>("steps");
        QTest::addColumn<int>("reports");
        QTest::newRow("known size, fine steps: once per percent") << qint64(1000) << 1000 << 101;
        QTest::newRow("known size, coarse steps") << qint64(1000) << 4 << 5;
        QTest::newRow("unknown size: every time") << qint64(-1) << 50 << 51;
    }
    void progressThrottle()
    {
        QFETCH(qint64, expected);
        QFETCH(int, steps);
        QFETCH(int, reports);
        ProgressThrottle throttle;
        int count = 0;
        for (int i = 0; i <= steps; ++i)
            count += throttle.shouldReport(qint64(1000) * i / steps, expected) ? 1 : 0;
        QCOMPARE(count, reports);
    }

    void sha256ReadsLargeFilesInPieces()
    {
        Sandbox sandbox;
        writeFile(sandbox.path(QStringLiteral("abc")), "abc");
        QCOMPARE(*Downloads::sha256(sandbox.path(QStringLiteral("abc"))),
            QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
        const QByteArray large
            = QByteArray("0123456789abcdef").repeated(200000); // 3.2 MB, several pieces
        writeFile(sandbox.path(QStringLiteral("large")), large);
        QCOMPARE(*Downloads::sha256(sandbox.path(QStringLiteral("large"))), sha256Hex(large));
        QVERIFY(Downloads::sha256(sandbox.path(QStringLiteral("absent")))
                    .error()
                    .description()
                    .startsWith(QStringLiteral("Quillmere couldn't read “")));
    }

    void downloadFolderIsCreatedOrExplained()
    {
        Sandbox sandbox;
        QCOMPARE(*Downloads::downloadDirectory(sandbox.root()),
            sandbox.path(QStringLiteral("Downloads")));
        QVERIFY(QFileInfo(sandbox.path(QStringLiteral("Downloads"))).isDir());
        writeFile(sandbox.path(QStringLiteral("blocked")), "a file, not a folder");
        QCOMPARE(Downloads::downloadDirectory(sandbox.path(QStringLiteral("blocked")))
                     .error()
                     .description(),
            QStringLiteral("Quillmere couldn't create the folder “")
                + sandbox.path(QStringLiteral("blocked/Downloads"))
                + QStringLiteral("”. Check that the disk is writable."));
    }
};

QTEST_GUILESS_MAIN(TestDownloads)
#include "tst_downloads.moc"
