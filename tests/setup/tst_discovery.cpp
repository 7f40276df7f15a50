#include "platform/UserDefaults.h"
#include "setup/RuntimeDiscovery.h"
#include "support/SetupSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace TestSupport;

namespace {
QString bundleBin(const QString &bundle)
{
    return bundle + QStringLiteral("/Contents/Resources/wine/bin");
}
} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsNamesDeduplicatesAndOrders()
    {
        Sandbox sandbox;
        const QString apps = sandbox.path(QStringLiteral("Applications"));
        const QString runtimes = sandbox.path(QStringLiteral("Quillmere/Runtimes"));
        const QString games = sandbox.path(QStringLiteral("Games"));

        // A package-manager wine that is a link into a bundle that also sits in Applications.
        installFakeRuntime(bundleBin(apps + QStringLiteral("/Wine Stable.app")));
        QDir().mkpath(sandbox.path(QStringLiteral("homebrew/bin")));
        QFile::link(bundleBin(apps + QStringLiteral("/Wine Stable.app")) + QStringLiteral("/wine"),
            sandbox.path(QStringLiteral("homebrew/bin/wine")));
        // A bundle with both binary layouts gives two runtimes of one name.
        installFakeRuntime(bundleBin(apps + QStringLiteral("/Two.app")));
        installFakeRuntime(apps + QStringLiteral("/Two.app/Contents/Resources/bin"));
        // Not runtimes: no wineserver; a capitalised extension; a plain file.
        writeFile(bundleBin(apps + QStringLiteral("/NoServer.app")) + QStringLiteral("/wine"),
            "#!/bin/sh\n");
        QFile::setPermissions(
            bundleBin(apps + QStringLiteral("/NoServer.app")) + QStringLiteral("/wine"),
            QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        installFakeRuntime(bundleBin(apps + QStringLiteral("/Shouty.App")));
        writeFile(apps + QStringLiteral("/notes.txt"), "not a bundle");
        // An engine folder directly in Applications, and one inside a game of a game library.
        installFakeRuntime(apps + QStringLiteral("/engine-Proton/bin"));
        installFakeRuntime(games + QStringLiteral("/Some Game/engine-WS11/bin"));
        writeFile(games + QStringLiteral("/loose-file"), "a file where a game folder is expected");
        // Quillmere's own runtime, and two names that differ only in letter case.
        installFakeRuntime(bundleBin(runtimes + QStringLiteral("/Wine Devel 11.18 Quillmere.app")));
        installFakeRuntime(sandbox.path(QStringLiteral("fixed/alpha wine/bin")));
        installFakeRuntime(bundleBin(apps + QStringLiteral("/Alpha Wine.app")));
        installFakeRuntime(sandbox.path(QStringLiteral("usr/bin")));

        DiscoveryPlaces places;
        places.binaries = {{sandbox.path(QStringLiteral("fixed/alpha wine/bin/wine")), {}},
            {sandbox.path(QStringLiteral("homebrew/bin/wine")), {}},
            {sandbox.path(QStringLiteral("nowhere/bin/wine")), {}},
            {sandbox.path(QStringLiteral("usr/bin/wine")), QStringLiteral("System Wine")}};
        places.bundleFolders = {runtimes, apps, sandbox.path(QStringLiteral("missing folder"))};
        places.gamesFolder = games;

        const QList<DetectedWineRuntime> found = RuntimeDiscovery::findRuntimes(places);
        QStringList names;
        for (const DetectedWineRuntime &runtime : found)
            names << runtime.name;
        QCOMPARE(names,
            QStringList({"Wine Devel 11.18 Quillmere", "alpha wine", "Alpha Wine", "engine-Proton",
                "engine-WS11", "System Wine", "Two", "Two", "Wine Stable"}));

        const DetectedWineRuntime &stable = found.last();
        const QString stableBundle
            = QFileInfo(apps + QStringLiteral("/Wine Stable.app")).canonicalFilePath();
        QCOMPARE(
            stable.winePath, stableBundle + QStringLiteral("/Contents/Resources/wine/bin/wine"));
        QCOMPARE(stable.wineServerPath,
            stableBundle + QStringLiteral("/Contents/Resources/wine/bin/wineserver"));
        QCOMPARE(stable.bundlePath, std::optional<QString>(stableBundle));
        QCOMPARE(found.at(5).bundlePath, std::optional<QString>());
        QVERIFY(found.at(6).winePath != found.at(7).winePath);
    }

    void bundleFolderCandidates()
    {
        Sandbox sandbox;
        const QString folder = sandbox.path(QStringLiteral("apps"));
        QDir().mkpath(folder + QStringLiteral("/Only.app"));
        const QStringList candidates = RuntimeDiscovery::wineBinaries(folder);
        QCOMPARE(candidates,
            QStringList({folder + QStringLiteral("/Only.app/Contents/Resources/wine/bin/wine"),
                folder + QStringLiteral("/Only.app/Contents/Resources/bin/wine"),
                folder + QStringLiteral("/Only.app/bin/wine")}));
        QCOMPARE(
            RuntimeDiscovery::wineBinaries(sandbox.path(QStringLiteral("absent"))), QStringList());

        // Games that are files, not folders, contribute nothing and raise nothing.
        writeFile(sandbox.path(QStringLiteral("games/a")), "x");
        writeFile(sandbox.path(QStringLiteral("games/engine-b")), "x");
        QCOMPARE(
            RuntimeDiscovery::existingLibraryWineBinaries(sandbox.path(QStringLiteral("games"))),
            QStringList());
    }

    void containingBundle_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("bundle");
        QTest::newRow("innermost wins") << "/A.app/Contents/B.app/bin/wine"
                                        << "/A.app/Contents/B.app";
        QTest::newRow("outer") << "/Applications/Wine.app/Contents/Resources/bin/wine"
                               << "/Applications/Wine.app";
        QTest::newRow("none") << "/usr/bin/wine"
                              << "";
        QTest::newRow("capital extension is not a bundle") << "/X.APP/bin/wine"
                                                           << "";
    }
    void containingBundle()
    {
        QFETCH(QString, path);
        QFETCH(QString, bundle);
        QCOMPARE(RuntimeDiscovery::containingAppBundle(path).value_or(QString()), bundle);
    }

    void approvalListOnlyGrows()
    {
        Sandbox sandbox;
        UserDefaults defaults(sandbox.path(QStringLiteral("d.ini")));
        QCOMPARE(RuntimeDiscovery::approvedRuntimePaths(defaults), QStringList());
        RuntimeDiscovery::approveRuntime(defaults, QStringLiteral("/a/wine"));
        RuntimeDiscovery::approveRuntime(defaults, QStringLiteral("/b/wine"));
        RuntimeDiscovery::approveRuntime(defaults, QStringLiteral("/a/wine"));
        QCOMPARE(RuntimeDiscovery::approvedRuntimePaths(
                     UserDefaults(sandbox.path(QStringLiteral("d.ini")))),
            QStringList({"/a/wine", "/b/wine"}));
    }

    void systemWineIsFoundWhereInstalled()
    {
        if (!QFileInfo(QStringLiteral("/usr/bin/wine")).isExecutable())
            QSKIP("No system Wine on this machine.");
        const QList<DetectedWineRuntime> found = RuntimeDiscovery::findRuntimes(
            DiscoveryPlaces::standard(QDir::tempPath() + QStringLiteral("/none")));
        const auto system = std::find_if(found.cbegin(), found.cend(),
            [](const DetectedWineRuntime &r) { return r.name == u"System Wine"; });
        QVERIFY(system != found.cend());
        QCOMPARE(system->wineServerPath, QStringLiteral("/usr/bin/wineserver"));
    }
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
