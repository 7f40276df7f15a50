#include "platform/Leftovers.h"
#include "platform/UserDefaults.h"
#include "setup/Cancellation.h"
#include "setup/Downloads.h"
#include "setup/RuntimeDiscovery.h"
#include "setup/WineInstaller.h"
#include "support/SetupSupport.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>

#include <sys/mount.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>

using namespace Qt::StringLiterals;

using namespace TestSupport;
using Response = LoopbackServer::Response;
Q_DECLARE_METATYPE(Response)

namespace {
const QString unpackFailed = u"Quillmere couldn't unpack the Wine runtime.\n\n"_s;
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
} // namespace

// Wine runtimes: found where they are, downloaded, and installed from an archive.
class TestRuntimes : public QObject
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
        QTemporaryDir dir;
        const QString folder = dir.path();
        const Attempt first = fetch(u"/good"_s, folder, sha256Hex(payload).toUpper());
        QVERIFY_OK(first.result);
        QCOMPARE(*first.result, folder + u"/file.bin"_s);
        QCOMPARE(readFile(*first.result), payload);
        QCOMPARE(first.verifications, 1);
        QCOMPARE(first.progress.last(), qMakePair(qint64(payload.size()), qint64(payload.size())));
        QCOMPARE(items(folder), QStringList({"file.bin"}));

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
        QTemporaryDir dir;
        const qint64 sentBefore = server.bodyBytesSent();
        QElapsedTimer clock;
        clock.start();
        const Attempt attempt
            = fetch(u"/failing"_s, dir.path(), sha256Hex(payload), nullptr, quickLimits);
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        // Stopped at the limit: the server could hand over little more than that.
        QVERIFY(server.bodyBytesSent() - sentBefore < quickLimits.maximumBytes + 16 * MiB);
        const QString said = attempt.result.error().description();
        if (message.endsWith(u'('))
            QVERIFY2(said.startsWith(message), qPrintable(said));
        else
            QCOMPARE(said, message);
        QCOMPARE(items(dir.path()), QStringList());
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
        QCOMPARE(items(folder), QStringList());
    }

    void cancellation()
    {
        QTemporaryDir dir;
        // Cancelled before the request exists: no request is ever made.
        auto early = std::make_shared<Cancellation>();
        early->cancel();
        const int before = server.requestCount(u"/slow"_s);
        const Attempt none = fetch(u"/slow"_s, dir.path(), sha256Hex(payload), early);
        QVERIFY(none.result.error().isCancelled());
        QCOMPARE(server.requestCount(u"/slow"_s), before);

        // Cancelled mid-download: the caller gets the cancellation once and no file remains.
        auto midway = std::make_shared<Cancellation>();
        QTimer::singleShot(300, midway.get(), &Cancellation::cancel);
        const Attempt stopped = fetch(u"/slow"_s, dir.path(), sha256Hex(payload), midway);
        QVERIFY(stopped.result.error().isCancelled());
        QVERIFY(!stopped.progress.isEmpty());
        QCOMPARE(stopped.verifications, 0);
        QCOMPARE(items(dir.path()), QStringList());
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

    void findsNamesDeduplicatesAndOrders()
    {
        Sandbox sandbox;
        const QString apps = sandbox.path(u"Applications"_s);
        const QString runtimes = sandbox.path(u"Quillmere/Runtimes"_s);
        const QString games = sandbox.path(u"Games"_s);
        const QString wineBin = u"/Contents/Resources/wine/bin"_s;

        // A package-manager wine that is a link into a bundle that also sits in Applications; a
        // bundle with each binary layout (three runtimes of one name); not runtimes: no
        // wineserver, a capitalised extension, a plain file; an engine folder directly in
        // Applications and one inside a game of a game library; Quillmere's own runtime, and
        // two names that differ only in letter case.
        for (const QString &bin :
            {apps + u"/Wine Stable.app"_s + wineBin, apps + u"/Three.app"_s + wineBin,
                apps + u"/Three.app/Contents/Resources/bin"_s, apps + u"/Three.app/bin"_s,
                apps + u"/NoServer.app"_s + wineBin, apps + u"/Shouty.App"_s + wineBin,
                apps + u"/engine-Proton/bin"_s, games + u"/Some Game/engine-WS11/bin"_s,
                runtimes + u"/Wine Devel 11.18 Quillmere.app"_s + wineBin,
                sandbox.path(u"fixed/alpha wine/bin"_s), apps + u"/Alpha Wine.app"_s + wineBin,
                sandbox.path(u"usr/bin"_s)})
            installFakeRuntime(bin);
        QDir().mkpath(sandbox.path(u"homebrew/bin"_s));
        QFile::link(apps + u"/Wine Stable.app"_s + wineBin + u"/wine"_s,
            sandbox.path(u"homebrew/bin/wine"_s));
        QFile::remove(apps + u"/NoServer.app"_s + wineBin + u"/wineserver"_s);
        writeFile(apps + u"/notes.txt"_s, "not a bundle");
        DiscoveryPlaces places;
        places.binaries = {{sandbox.path(u"fixed/alpha wine/bin/wine"_s), {}},
            {sandbox.path(u"homebrew/bin/wine"_s), {}}, {sandbox.path(u"nowhere/bin/wine"_s), {}},
            {sandbox.path(u"usr/bin/wine"_s), u"System Wine"_s}};
        places.bundleFolders = {runtimes, apps, sandbox.path(u"missing folder"_s)};
        places.gamesFolder = games;

        const QList<DetectedWineRuntime> found = RuntimeDiscovery::findRuntimes(places);
        QStringList names;
        for (const DetectedWineRuntime &runtime : found)
            names << runtime.name;
        QCOMPARE(names,
            QStringList({"Wine Devel 11.18 Quillmere", "alpha wine", "Alpha Wine", "engine-Proton",
                "engine-WS11", "System Wine", "Three", "Three", "Three", "Wine Stable"}));
        QCOMPARE(found.at(5).bundlePath, std::optional<QString>());
        const QString stable = QFileInfo(apps + u"/Wine Stable.app"_s).canonicalFilePath();
        QCOMPARE(found.last().winePath, stable + wineBin + u"/wine"_s);
        QCOMPARE(found.last().wineServerPath, stable + wineBin + u"/wineserver"_s);
        QCOMPARE(found.last().bundlePath, std::optional<QString>(stable));
    }

    void containingBundle_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("bundle");
        QTest::newRow("innermost wins")
            << u"/A.app/Contents/B.app/bin/wine"_s << u"/A.app/Contents/B.app"_s;
        QTest::newRow("capital extension is not a bundle") << u"/X.APP/bin/wine"_s << QString();
    }
    void containingBundle()
    {
        QFETCH(QString, path);
        QTEST(RuntimeDiscovery::containingAppBundle(path).value_or(QString()), "bundle");
    }

    void approvalListOnlyGrows()
    {
        Sandbox sandbox;
        UserDefaults defaults(sandbox.path(u"d.ini"_s));
        for (const char *wine : {"/a/wine", "/b/wine", "/a/wine"})
            RuntimeDiscovery::approveRuntime(defaults, QString::fromLatin1(wine));
        QCOMPARE(RuntimeDiscovery::approvedRuntimePaths(UserDefaults(sandbox.path(u"d.ini"_s))),
            QStringList({"/a/wine", "/b/wine"}));
    }
    void installsOnceAndKeepsEarlierInstalls()
    {
        Sandbox sandbox;
        const QString archive
            = buildWineArchive(sandbox.path(u"wine.tar.xz"_s), ArchiveLayout::good);
        const QString runtimes = sandbox.path(u"Quillmere/Runtimes"_s);
        const QString bundle = runtimes + u"/Wine Devel 11.18.app"_s;
        const auto runtime = WineInstaller::installWineArchive(archive, runtimes);
        QVERIFY_OK(runtime);
        QCOMPARE(runtime->winePath, bundle + u"/Contents/Resources/wine/bin/wine"_s);
        QCOMPARE(runtime->wineServerPath, bundle + u"/Contents/Resources/wine/bin/wineserver"_s);
        QCOMPARE(runtime->bundlePath, std::optional<QString>(bundle));

        // A complete earlier install is used as it is.
        writeFile(bundle + u"/marker"_s, "earlier");
        QVERIFY_OK(WineInstaller::installWineArchive(archive, runtimes));
        QCOMPARE(readFile(bundle + u"/marker"_s), QByteArray("earlier"));

        // An incomplete one is named and left alone.
        QFile::remove(bundle + u"/Contents/Resources/wine/bin/wineserver"_s);
        QCOMPARE(WineInstaller::installWineArchive(archive, runtimes).error().description(),
            u"An incomplete Quillmere runtime already exists at:\n"_s + bundle
                + u"\nRemove that folder in Finder and try again."_s);
        QCOMPARE(readFile(bundle + u"/marker"_s), QByteArray("earlier"));
        QCOMPARE(items(runtimes), QStringList({"Wine Devel 11.18.app"}));
    }

    void rejectsBadArchivesBeforeExtracting_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("message");
        const QString layout = unpackFailed
            + u"The Wine archive did not contain the expected Wine Devel.app bundle."_s;
        QTest::newRow("dot-slash prefix") << int(ArchiveLayout::dotSlashPrefix) << layout;
        QTest::newRow("dot-dot deep inside") << int(ArchiveLayout::dotDotInside) << layout;
        QTest::newRow("extra top-level file") << int(ArchiveLayout::extraTopLevelFile) << layout;
        QTest::newRow("no wineserver") << int(ArchiveLayout::missingWineServer)
                                       << unpackFailed
                + "Wine was extracted, but its wine and wineserver binaries were not found.";
    }
    void rejectsBadArchivesBeforeExtracting()
    {
        QFETCH(int, layout);
        Sandbox sandbox;
        const QString archive
            = buildWineArchive(sandbox.path(u"wine.tar.xz"_s), ArchiveLayout(layout));
        const QString runtimes = sandbox.path(u"Runtimes"_s);
        QTEST(
            WineInstaller::installWineArchive(archive, runtimes).error().description(), "message");
        QCOMPARE(items(runtimes), QStringList());
        QVERIFY(!QFile::exists(sandbox.path(u"escaped"_s)));
    }

    void tarFailuresAreExplained()
    {
        Sandbox sandbox;
        writeFile(sandbox.path(u"junk.tar.xz"_s), "this is not an archive");
        const QString junk = WineInstaller::installWineArchive(
            sandbox.path(u"junk.tar.xz"_s), sandbox.path(u"Runtimes"_s))
                                 .error()
                                 .description();
        QVERIFY2(junk.startsWith(unpackFailed) && junk.contains(u"tar"_s), qPrintable(junk));

        // A tar that fails without a word.
        const QString silentTar = sandbox.path(u"silent-tar"_s);
        writeFile(silentTar, "#!/bin/sh\nexit 2\n");
        QFile::setPermissions(silentTar, QFile::permissions(silentTar) | QFileDevice::ExeOwner);
        QCOMPARE(WineInstaller::runTar(silentTar, {}).error().description(),
            unpackFailed + u"The Wine archive could not be read."_s);
    }

    // Only what a quit in the middle of setup left goes: nothing that merely looks like it, nor
    // what is still in use.
    void leftoversOfAnInterruptedSetup_data()
    {
        QTest::addColumn<QString>("name"); // in the data folder
        QTest::addColumn<int>("kind"); // 0 a folder with a file, 1 a file, 2 a link to a folder
        QTest::addColumn<bool>("inUse");
        const QString uuid = u"0F8FAD5B-D9CB-469F-A165-70867728950E"_s;
        const QString staging = u"Runtimes/.install-"_s + uuid;
        const QString partial = u"Downloads/Quillmere-download-"_s + uuid;
        QTest::newRow("staging folder in use") << staging << 0 << true;
        QTest::newRow("link named as staging") << staging << 2 << false;
        QTest::newRow("file named as staging") << staging << 1 << false;
        QTest::newRow("folder named as a download") << partial << 0 << false;
        QTest::newRow("lower-case UUID") << u"Runtimes/.install-"_s + uuid.toLower() << 0 << false;
        QTest::newRow("more after the UUID") << partial + u".exe"_s << 1 << false;
        QTest::newRow("not a UUID") << u"Runtimes/.install-Wine"_s << 0 << false;
    }
    void leftoversOfAnInterruptedSetup()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(bool, inUse);
        Sandbox sandbox;
        const QString data = sandbox.dataFolder();
        const QString path = data + u'/' + name;
        const QString outside = sandbox.path(u"outside"_s);
        writeFile(outside + u"/keep"_s, "mine");
        if (kind == 0)
            writeFile(path + u"/Wine Devel.app/wine"_s, "partial");
        else if (kind == 1)
            writeFile(path, "partial");
        else
            QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile::link(outside, path));
        const InUseMark mark(inUse ? path : QString());
        Downloads::removeLeftovers(data);
        WineInstaller::removeLeftovers(data + u"/Runtimes"_s);
        QVERIFY(QFileInfo(path).exists() || QFileInfo(path).isSymLink());
        QCOMPARE(readFile(outside + u"/keep"_s), QByteArray("mine"));
    }

    // Listings that tar never makes from a real archive.
    void listingRules_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("absolute") << "/Wine Devel.app/x\n" << false;
        QTest::newRow("the bundle without content") << "Wine Devel.app\n" << false;
        QTest::newRow("double slashes are harmless") << "Wine Devel.app//Contents\n" << true;
    }
    void listingRules()
    {
        QFETCH(QString, listing);
        QTEST(WineInstaller::isExpectedListing(listing), "accepted");
    }
};

QTEST_GUILESS_MAIN(TestRuntimes)
#include "tst_runtimes.moc"
