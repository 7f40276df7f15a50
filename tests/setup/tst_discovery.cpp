#include "platform/UserDefaults.h"
#include "setup/RuntimeDiscovery.h"
#include "support/SetupSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace TestSupport;

class TestDiscovery : public QObject
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

        // A package-manager wine that is a link into a bundle that also sits in Applications.
        installFakeRuntime(apps + u"/Wine Stable.app"_s + wineBin);
        QDir().mkpath(sandbox.path(u"homebrew/bin"_s));
        QFile::link(apps + u"/Wine Stable.app"_s + wineBin + u"/wine"_s,
            sandbox.path(u"homebrew/bin/wine"_s));
        // A bundle with each binary layout gives three runtimes of one name.
        for (const QString &layout : {wineBin, u"/Contents/Resources/bin"_s, u"/bin"_s})
            installFakeRuntime(apps + u"/Three.app"_s + layout);
        // Not runtimes: no wineserver; a capitalised extension; a plain file.
        installFakeRuntime(apps + u"/NoServer.app"_s + wineBin);
        QFile::remove(apps + u"/NoServer.app"_s + wineBin + u"/wineserver"_s);
        installFakeRuntime(apps + u"/Shouty.App"_s + wineBin);
        writeFile(apps + u"/notes.txt"_s, "not a bundle");
        // An engine folder directly in Applications, and one inside a game of a game library.
        installFakeRuntime(apps + u"/engine-Proton/bin"_s);
        installFakeRuntime(games + u"/Some Game/engine-WS11/bin"_s);
        // Quillmere's own runtime, and two names that differ only in letter case.
        installFakeRuntime(runtimes + u"/Wine Devel 11.18 Quillmere.app"_s + wineBin);
        installFakeRuntime(sandbox.path(u"fixed/alpha wine/bin"_s));
        installFakeRuntime(apps + u"/Alpha Wine.app"_s + wineBin);
        installFakeRuntime(sandbox.path(u"usr/bin"_s));

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
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
