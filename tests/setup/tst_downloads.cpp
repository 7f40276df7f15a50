#include "setup/Cancellation.h"
#include "setup/Downloads.h"
#include "support/SetupSupport.h"

#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <sys/mount.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>

using namespace Qt::StringLiterals;

using namespace TestSupport;
using Response = LoopbackServer::Response;
Q_DECLARE_METATYPE(Response)

namespace {
const QByteArray payload = QByteArray("quillmere test payload ").repeated(20000); // 460 kB
constexpr qint64 MiB = 1024 * 1024;
// Short enough to test: each 300 ms must bring 1 KiB, 1 MiB at most, 1.5 s in all.
const DownloadLimits quickLimits {300, 1024, MiB, 1500};

struct Attempt
{
    SetupResult<QString> result = unexpected(RuntimeSetupError::system(u"not run"_s));
    QList<QPair<qint64, qint64>> progress;
    int verifications = 0;
};

// What a download left in a folder: no temporary files, only what it delivered.
QStringList files(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
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
        Downloads::VerifiedDownloadRequest request {server.url(path), u"file.bin"_s, digest, folder,
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
        server.route(u"/good"_s, {200, payload});
        server.redirect(u"/hop1"_s, server.url(u"/hop2"_s));
        server.redirect(u"/hop2"_s, server.url(u"/good"_s), 301);
        server.route(u"/slow"_s, {.body = payload, .chunkSize = 1000, .chunkDelayMs = 50});
    }

    void downloadsVerifiesAndReuses()
    {
        Sandbox sandbox;
        const QString folder = sandbox.root();
        const Attempt first = fetch(u"/good"_s, folder, sha256Hex(payload).toUpper());
        QVERIFY_OK(first.result);
        QCOMPARE(*first.result, folder + u"/file.bin"_s);
        QCOMPARE(readFile(*first.result), payload);
        QCOMPARE(first.verifications, 1);
        QCOMPARE(first.progress.last(), qMakePair(qint64(payload.size()), qint64(payload.size())));
        QCOMPARE(files(folder), QStringList({"file.bin"}));

        // Already verified: no network, but the check still runs once (in any letter case).
        const Attempt again = fetch(u"/good"_s, folder, sha256Hex(payload).toUpper());
        QCOMPARE(*again.result, *first.result);
        QCOMPARE(again.verifications, 1);
        QVERIFY(again.progress.isEmpty());
        QCOMPARE(server.requestCount(u"/good"_s), 1); // only this test asks for it

        // A file with the wrong digest in its place is replaced by a fresh download.
        writeFile(*first.result, "tampered");
        const Attempt replaced = fetch(u"/hop1"_s, folder, sha256Hex(payload));
        QVERIFY_OK(replaced.result);
        QCOMPARE(readFile(*replaced.result), payload);
        QCOMPARE(replaced.verifications, 2);
        QCOMPARE(server.requestCount(u"/good"_s), 2);
    }

    void failuresLeaveNothingBehind_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("message"); // ending in "(": the start of the message
        const QString failed = u"Quillmere couldn't download the required file.\n\n"_s;
        const QString tooLarge
            = failed + "The download was larger than any file Quillmere needs and was stopped.";
        QTest::newRow("wrong digest")
            << Response {.body = "other"}
            << "The downloaded file failed its SHA-256 check and was discarded:\nfile.bin";
        QTest::newRow("404 with a body") << Response {.status = 404,
            .body = payload} << failed + "The download server did not return the requested file.";
        QTest::newRow("connection closed early")
            << Response {.body = payload, .closeAfter = 1000} << failed + "The connection failed (";
        QTest::newRow("closed without an answer") << Response {
            .hangUp = true} << failed + "The download finished without a server response.";
        QTest::newRow("one byte every 20 ms")
            << Response {.body = QByteArray(200, 'x'), .chunkSize = 1, .chunkDelayMs = 20}
            << failed + "The download stalled and was stopped.";
        QTest::newRow("steady but too slow for the deadline")
            << Response {.body = payload, .chunkSize = 1000, .chunkDelayMs = 50}
            << failed + "The download took too long and was stopped.";
        QTest::newRow("endless") << Response {.body = payload, .repeatUpTo = 256 * MiB} << tooLarge;
        QTest::newRow("announced over the limit")
            << Response {.body = QByteArray(MiB + 1, 'x')} << tooLarge;
    }
    void failuresLeaveNothingBehind()
    {
        QFETCH(Response, response);
        QFETCH(QString, message);
        server.route(u"/failing"_s, response);
        Sandbox sandbox;
        const qint64 sentBefore = server.bodyBytesSent();
        QElapsedTimer clock;
        clock.start();
        const Attempt attempt
            = fetch(u"/failing"_s, sandbox.root(), sha256Hex(payload), nullptr, quickLimits);
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        // Stopped at the limit: the server could hand over little more than that.
        QVERIFY(server.bodyBytesSent() - sentBefore < quickLimits.maximumBytes + 16 * MiB);
        const QString said = attempt.result.error().description();
        if (message.endsWith(u'('))
            QVERIFY2(said.startsWith(message), qPrintable(said));
        else
            QCOMPARE(said, message);
        QCOMPARE(files(sandbox.root()), QStringList());
    }

    // The last piece arrives on its own and the disk refuses it: nothing counts as downloaded.
    void refusedLastPieceKeepsNothing_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("over the file size limit") << false;
        QTest::newRow("full disk") << true;
    }
    void refusedLastPieceKeepsNothing()
    {
        QFETCH(bool, fullDisk);
        constexpr qint64 room = 64 * 1024;
        Sandbox sandbox;
        const QString folder = sandbox.path(u"small"_s);
        QDir().mkpath(folder);
        QString reason = qt_error_string(EFBIG);
        rlimit usual {};
        getrlimit(RLIMIT_FSIZE, &usual);
        const auto restore = qScopeGuard([&] {
            setrlimit(RLIMIT_FSIZE, &usual);
            umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
        });
        if (fullDisk) {
            if (mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0)
                QSKIP("Only root can mount the small file system this needs.");
            reason = u"there is not enough free space on “"_s + folder + u"”"_s;
        } else {
            std::signal(SIGXFSZ, SIG_IGN); // a refused write, not the end of the test
            rlimit small = usual;
            small.rlim_cur = room;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        const QByteArray body(room + 100, 'q');
        server.route(u"/tail"_s, {.body = body, .chunkSize = room, .chunkDelayMs = 50});
        const Attempt attempt = fetch(u"/tail"_s, folder, sha256Hex(body));
        QVERIFY2(!attempt.result, "a file the disk refused was kept as verified");
        QCOMPARE(attempt.result.error().description(),
            u"Quillmere couldn’t save the download: "_s + reason + u'.');
        QCOMPARE(files(folder), QStringList());
    }

    void cancellation()
    {
        Sandbox sandbox;
        // Cancelled before the request exists: no request is ever made.
        auto early = std::make_shared<Cancellation>();
        early->cancel();
        const int before = server.requestCount(u"/slow"_s);
        const Attempt none = fetch(u"/slow"_s, sandbox.root(), sha256Hex(payload), early);
        QVERIFY(none.result.error().isCancelled());
        QCOMPARE(server.requestCount(u"/slow"_s), before);

        // Cancelled mid-download: the caller gets the cancellation once and no file remains.
        auto midway = std::make_shared<Cancellation>();
        QTimer::singleShot(300, midway.get(), &Cancellation::cancel);
        const Attempt stopped = fetch(u"/slow"_s, sandbox.root(), sha256Hex(payload), midway);
        QVERIFY(stopped.result.error().isCancelled());
        QVERIFY(!stopped.progress.isEmpty());
        QCOMPARE(stopped.verifications, 0);
        QCOMPARE(files(sandbox.root()), QStringList());
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
        ProgressThrottle throttle;
        int count = 0;
        for (int i = 0; i <= steps; ++i)
            count += throttle.shouldReport(qint64(1000) * i / steps, expected) ? 1 : 0;
        QTEST(count, "reports");
    }

    // Where it can be made, the setup flows show the folder in use.
    void downloadFolderThatCannotBeMadeIsExplained()
    {
        Sandbox sandbox;
        const QString blocked = sandbox.path(u"a file"_s);
        writeFile(blocked, "not a folder");
        QCOMPARE(Downloads::downloadDirectory(blocked).error().description(),
            u"Quillmere couldn't create the folder “"_s + blocked
                + u"/Downloads”. Check that the disk is writable."_s);
    }
};

QTEST_GUILESS_MAIN(TestDownloads)
#include "tst_downloads.moc"
