#include "platform/Leftovers.h"
#include "platform/UserDefaults.h"
#include "setup/Downloads.h"
#include "setup/RuntimeDiscovery.h"
#include "setup/WineInstaller.h"
#include "support/SetupSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace TestSupport;

namespace {
const QString unpackFailed = u"Quillmere couldn't unpack the Wine runtime.\n\n"_s;
} // namespace

// Wine runtimes: found where they are, and installed from an archive.
class TestRuntimes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QTest::newRow("none") << u"/usr/bin/wine"_s << QString();
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
        QCOMPARE(items(runtimes), QStringList({"Wine Devel 11.18.app"})); // no staging left

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

    // What a quit in the middle of setup left goes; nothing else does.
    void leftoversOfAnInterruptedSetup_data()
    {
        QTest::addColumn<QString>("name"); // in the data folder
        QTest::addColumn<int>("kind"); // 0 a folder with a file, 1 a file, 2 a link to a folder
        QTest::addColumn<bool>("inUse");
        QTest::addColumn<bool>("removed");
        const QString uuid = u"0F8FAD5B-D9CB-469F-A165-70867728950E"_s;
        const QString staging = u"Runtimes/.install-"_s + uuid;
        const QString partial = u"Downloads/Quillmere-download-"_s + uuid;
        QTest::newRow("staging folder") << staging << 0 << false << true;
        QTest::newRow("partial download") << partial << 1 << false << true;
        QTest::newRow("staging folder in use") << staging << 0 << true << false;
        QTest::newRow("partial download in use") << partial << 1 << true << false;
        QTest::newRow("link named as staging") << staging << 2 << false << false;
        QTest::newRow("link named as a download") << partial << 2 << false << false;
        QTest::newRow("file named as staging") << staging << 1 << false << false;
        QTest::newRow("folder named as a download") << partial << 0 << false << false;
        QTest::newRow("lower-case UUID")
            << u"Runtimes/.install-"_s + uuid.toLower() << 0 << false << false;
        QTest::newRow("more after the UUID") << partial + u".exe"_s << 1 << false << false;
        QTest::newRow("not a UUID") << u"Runtimes/.install-Wine"_s << 0 << false << false;
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
        QTEST(!QFileInfo(path).exists() && !QFileInfo(path).isSymLink(), "removed");
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
