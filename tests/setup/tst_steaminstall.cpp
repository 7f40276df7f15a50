#include "library/WineRuntime.h"
#include "setup/RuntimeSetupModel.h"
#include "setup/SteamSetup.h"
#include "support/SetupSupport.h"

#include <QCoroTask>
#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace TestSupport;
using Response = LoopbackServer::Response;
Q_DECLARE_METATYPE(Response)

namespace {
const QString installerPath = u"/client/installer/SteamSetup.exe"_s;
const QString steamRelative = u"drive_c/Program Files (x86)/Steam/steam.exe"_s;
} // namespace

class TestSteamInstall : public QObject
{
    Q_OBJECT

    LoopbackServer server;

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
        QTest::newRow("CDN subdomain") << "cdn.steamcdn.test" << true;
        QTest::newRow("bare CDN domain") << "steamcdn.test" << false;
        QTest::newRow("contains the domain") << "steamcdn.test.evil.example" << false;
        QTest::newRow("store look-alike") << "store.example.com.evil" << false;
    }
    void origins()
    {
        QFETCH(QString, host);
        QTEST(SteamSetup::isAcceptedOrigin(host, u"store.example.com"_s, u"steamcdn.test"_s),
            "accepted");
    }

    void installsSteamIntoItsOwnPrefix()
    {
        Sandbox sandbox;
        const SetupContext context = machineContext(sandbox, server, u"linux"_s, true, true);
        RuntimeSetupModel model(context);
        const int before = server.requestCount(installerPath);
        QStringList statuses {model.statusMessage()}; // then each new one
        connect(&model, &RuntimeSetupModel::changed, this, [&] {
            if (statuses.last() != model.statusMessage())
                statuses << model.statusMessage();
        });
        // A second press while the first runs starts nothing.
        QCoro::Task<std::optional<GameEntry>> first = model.installSteam();
        QVERIFY(model.isInstallingSteam());
        QCOMPARE(QCoro::waitFor(model.installSteam()), std::nullopt);
        const std::optional<GameEntry> steam = QCoro::waitFor(std::move(first));

        QCOMPARE(model.errorMessage(), QString());
        QVERIFY(steam.has_value());
        const QString prefix = context.dataFolder + u"/Prefixes/Steam"_s;
        QCOMPARE(steam->name, u"Steam"_s);
        QCOMPARE(steam->executablePath, prefix + u'/' + steamRelative);
        QCOMPARE(steam->prefixPath, prefix);
        QCOMPARE(steam->winePath, model.selectedRuntime()->winePath);
        QCOMPARE(steam->wineServerPath, model.selectedRuntime()->wineServerPath);
        QCOMPARE(statuses.mid(1),
            QStringList({"Preparing a Wine prefix for Steam…", "Creating the Steam Wine prefix…",
                "Steam Setup is running in Wine. Complete its windows to install Steam.",
                "Steam is installed. Quillmere added it to your library."}));
        QVERIFY(!model.isInstallingSteam());
        QVERIFY(WineRuntime::isInitializedPrefix(prefix));
        const QByteArray log = readFile(context.dataFolder + u"/Logs/steam-setup.log"_s);
        QVERIFY2(log.contains(
                     "fake wine ran " + context.dataFolder.toUtf8() + "/Downloads/SteamSetup.exe"),
            log.constData());

        // Installed already: the entry comes back at once, without the network.
        QCOMPARE(
            QCoro::waitFor(model.installSteam()).value().executablePath, steam->executablePath);
        QCOMPARE(
            model.statusMessage(), u"Steam is already installed in Quillmere's Steam prefix."_s);
        QCOMPARE(server.requestCount(installerPath), before + 1);
    }

    // Without a Wine nothing starts; an installer from elsewhere or that isn't a program is
    // neither kept nor run; one that ends without steam.exe points at its log.
    void refusedInstallers_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<bool>("runs"); // and exits with code 3
        QTest::addColumn<QString>("message"); // DATA: the data folder
        QTest::newRow("no Wine") << Response {} << false
                                 << "Finish the Rosetta and GStreamer requirements and choose a "
                                    "Wine runtime before installing Steam.";
        const QString notSteam = u"Quillmere couldn't download the required "
                                 "file.\n\nSteam Setup did not come from Valve's "
                                 "Steam website or CDN."_s;
        QUrl elsewhere = server.url(installerPath);
        elsewhere.setHost(u"localhost"_s);
        QTest::newRow("redirected to another host")
            << Response {.status = 302, .headers = {{"Location", elsewhere.toEncoded()}}} << false
            << notSteam;
        QTest::newRow("bad status")
            << Response {.status = 404, .body = "MZ but missing"} << false << notSteam;
        QTest::newRow("not an executable")
            << Response {.body = "<html>MZ</html>"} << false
            << "Quillmere couldn't download the required file.\n\nThe Steam Setup download was not "
               "a Windows executable.";
        QTest::newRow("ends without steam.exe")
            << Response {.body = "MZ\x90 setup"} << true
            << "Steam Setup closed before steam.exe appeared. If you completed the installation, "
               "choose Check again and retry. Setup log:\nDATA/Logs/steam-setup.log (exit code 3)";
    }
    void refusedInstallers()
    {
        QFETCH(Response, response);
        QFETCH(bool, runs);
        QFETCH(QString, message);
        Sandbox sandbox;
        SetupContext context = machineContext(sandbox, server, u"linux"_s, true, true);
        server.route(u"/refused"_s, response);
        context.sources.steamInstaller = server.url(u"/refused"_s);
        if (QTest::currentDataTag() == QByteArrayView("no Wine"))
            context.places.binaries.clear();
        if (runs) {
            qunsetenv("FAKE_WINE_CREATE");
            qputenv("FAKE_WINE_EXIT", "3");
        }
        RuntimeSetupModel model(context);
        QCOMPARE(QCoro::waitFor(model.installSteam()), std::nullopt);
        QCOMPARE(model.errorMessage(), message.replace(u"DATA"_s, context.dataFolder));
        QCOMPARE(model.statusMessage(), QString());
        QVERIFY(!model.isInstallingSteam());
        const QString prefix = context.dataFolder + u"/Prefixes/Steam"_s;
        QCOMPARE(WineRuntime::isInitializedPrefix(prefix), runs);
        if (!runs) {
            QCOMPARE(items(context.dataFolder + u"/Downloads"_s), QStringList());
            QVERIFY(!QFile::exists(prefix));
        }
    }
};

QTEST_GUILESS_MAIN(TestSteamInstall)
#include "tst_steaminstall.moc"
