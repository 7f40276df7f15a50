#include "library/WineRuntime.h"
#include "setup/RuntimeSetupModel.h"
#include "setup/SteamSetup.h"
#include "support/SetupSupport.h"

#include <QCoroTask>
#include <QDir>
#include <QTest>

using namespace TestSupport;

namespace {
const QString installerPath = QStringLiteral("/client/installer/SteamSetup.exe");
const QString steamRelative = QStringLiteral("drive_c/Program Files (x86)/Steam/steam.exe");
} // namespace

class TestSteamInstall : public QObject
{
    Q_OBJECT

    LoopbackServer server;

    // A ready Linux machine with the fake Wine as its only runtime.
    SetupContext readyWorld(const Sandbox &sandbox)
    {
        SetupSystem system = SetupSystem::forLinux();
        system.gstreamerPaths = {sandbox.path(QStringLiteral("gst"))};
        writeFile(system.gstreamerPaths.first(), "");
        SetupContext context = setupContext(sandbox, server, system);
        installFakeRuntime(sandbox.path(QStringLiteral("wine/bin")));
        context.places.binaries = {{sandbox.path(QStringLiteral("wine/bin/wine")), {}}};
        return context;
    }

private Q_SLOTS:
    void init()
    {
        server.route(installerPath, {200, "MZ\x90\x00 pretend installer"});
        // The Steam entries carry no environment of their own; the fake Wine reads these.
        qputenv("FAKE_WINE_CREATE", steamRelative.toUtf8());
        qunsetenv("FAKE_WINE_EXIT");
    }

    void origins_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("store host") << "store.example.com" << true;
        QTest::newRow("CDN subdomain") << "cdn.steamcdn.test" << true;
        QTest::newRow("deeper CDN subdomain") << "a.b.steamcdn.test" << true;
        QTest::newRow("bare CDN domain") << "steamcdn.test" << false;
        QTest::newRow("contains the domain") << "steamcdn.test.evil.example" << false;
        QTest::newRow("suffix without a dot") << "evilsteamcdn.test" << false;
        QTest::newRow("store look-alike") << "store.example.com.evil" << false;
        QTest::newRow("no host") << "" << false;
    }
    void origins()
    {
        QFETCH(QString, host);
        QFETCH(bool, accepted);
        QCOMPARE(SteamSetup::isAcceptedOrigin(
                     host, QStringLiteral("store.example.com"), QStringLiteral("steamcdn.test")),
            accepted);
    }

    void installsSteamIntoItsOwnPrefix()
    {
        Sandbox sandbox;
        const SetupContext context = readyWorld(sandbox);
        RuntimeSetupModel model(context);
        const int before = server.requestCount(installerPath);

        QStringList statuses {model.statusMessage()}; // then each new one
        connect(&model, &RuntimeSetupModel::changed, this, [&] {
            if (statuses.value(statuses.size() - 1) != model.statusMessage())
                statuses << model.statusMessage();
        });
        // A second press while the first runs starts nothing.
        QCoro::Task<std::optional<GameEntry>> first = model.installSteam();
        QVERIFY(model.isInstallingSteam());
        QCOMPARE(QCoro::waitFor(model.installSteam()), std::nullopt);
        const std::optional<GameEntry> steam = QCoro::waitFor(std::move(first));

        QCOMPARE(model.errorMessage(), QString());
        QVERIFY(steam.has_value());
        const QString prefix = context.dataFolder + QStringLiteral("/Prefixes/Steam");
        QCOMPARE(steam->name, QStringLiteral("Steam"));
        QCOMPARE(steam->executablePath, prefix + u'/' + steamRelative);
        QCOMPARE(steam->prefixPath, prefix);
        QCOMPARE(steam->winePath, model.selectedRuntime()->winePath);
        QCOMPARE(steam->wineServerPath, model.selectedRuntime()->wineServerPath);
        QVERIFY(steam->arguments.isEmpty() && steam->environment.isEmpty());
        QCOMPARE(statuses.mid(1),
            QStringList({"Preparing a Wine prefix for Steam…", "Creating the Steam Wine prefix…",
                "Steam Setup is running in Wine. Complete its windows to install Steam.",
                "Steam is installed. Quillmere added it to your library."}));
        QVERIFY(!model.isInstallingSteam());
        QVERIFY(WineRuntime::isInitializedPrefix(prefix));
        QCOMPARE(server.requestCount(installerPath), before + 1);
        const QByteArray log
            = readFile(context.dataFolder + QStringLiteral("/Logs/steam-setup.log"));
        QVERIFY2(log.contains(
                     "fake wine ran " + context.dataFolder.toUtf8() + "/Downloads/SteamSetup.exe"),
            log.constData());

        // Installed already: the entry comes back at once, without the network.
        const std::optional<GameEntry> again = QCoro::waitFor(model.installSteam());
        QVERIFY(again.has_value());
        QCOMPARE(again->executablePath, steam->executablePath);
        QCOMPARE(model.statusMessage(),
            QStringLiteral("Steam is already installed in Quillmere's Steam prefix."));
        QCOMPARE(server.requestCount(installerPath), before + 1);
    }

    void installerClosedWithoutSteam()
    {
        Sandbox sandbox;
        const SetupContext context = readyWorld(sandbox);
        qunsetenv("FAKE_WINE_CREATE");
        qputenv("FAKE_WINE_EXIT", "3");
        RuntimeSetupModel model(context);
        QCOMPARE(QCoro::waitFor(model.installSteam()), std::nullopt);
        QCOMPARE(model.errorMessage(),
            QStringLiteral(
                "Steam Setup closed before steam.exe appeared. If you completed the installation, "
                "choose Check again and retry. Setup log:\n")
                + context.dataFolder + QStringLiteral("/Logs/steam-setup.log (exit code 3)"));
        QCOMPARE(model.statusMessage(), QString());
        QVERIFY(!model.isInstallingSteam());
        QVERIFY(WineRuntime::isInitializedPrefix(
            context.dataFolder + QStringLiteral("/Prefixes/Steam")));
    }

    void refusedInstallers_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("message");
        QTest::newRow("redirected to another host")
            << "redirect"
            << "Quillmere couldn't download the required file.\n\nSteam Setup did not come from "
               "Valve's Steam website or CDN.";
        QTest::newRow("bad status") << "404"
                                    << "Quillmere couldn't download the required file.\n\nSteam "
                                       "Setup did not come from Valve's Steam website or CDN.";
        QTest::newRow("empty file") << "empty"
                                    << "Quillmere couldn't download the required file.\n\nThe "
                                       "Steam Setup download was not a Windows executable.";
        QTest::newRow("not an executable")
            << "html"
            << "Quillmere couldn't download the required file.\n\nThe Steam Setup download was not "
               "a Windows executable.";
    }
    void refusedInstallers()
    {
        QFETCH(QString, route);
        QFETCH(QString, message);
        Sandbox sandbox;
        SetupContext context = readyWorld(sandbox);
        const QString path = u'/' + route;
        if (route == u"redirect") {
            QUrl elsewhere = server.url(installerPath);
            elsewhere.setHost(QStringLiteral("localhost"));
            server.redirect(path, elsewhere);
        } else if (route == u"404") {
            server.route(path, {404, "MZ but missing"});
        } else {
            server.route(
                path, {200, route == u"empty" ? QByteArray() : QByteArray("<html>MZ</html>")});
        }
        context.sources.steamInstaller = server.url(path);
        RuntimeSetupModel model(context);
        QCOMPARE(QCoro::waitFor(model.installSteam()), std::nullopt);
        QCOMPARE(model.errorMessage(), message);
        const QString downloads = context.dataFolder + QStringLiteral("/Downloads");
        QCOMPARE(QDir(downloads).entryList(QDir::Files), QStringList());
        QVERIFY(!QFile::exists(context.dataFolder + QStringLiteral("/Prefixes/Steam")));
    }

    void requirementsFirst()
    {
        Sandbox sandbox;
        SetupContext context = readyWorld(sandbox);
        context.places.binaries.clear();
        RuntimeSetupModel model(context);
        QCOMPARE(QCoro::waitFor(model.installSteam()), std::nullopt);
        QCOMPARE(model.errorMessage(),
            QStringLiteral("Finish the Rosetta and GStreamer requirements and choose a Wine "
                           "runtime before installing Steam."));
        QVERIFY(!model.isInstallingSteam());
    }
};

QTEST_GUILESS_MAIN(TestSteamInstall)
#include "tst_steaminstall.moc"
