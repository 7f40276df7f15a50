#include "platform/UserDefaults.h"
#include "setup/RuntimeSetupModel.h"
#include "setup/SteamSetup.h"
#include "support/SetupSupport.h"

using namespace Qt::StringLiterals;

using namespace TestSupport;
using Response = LoopbackServer::Response;
Q_DECLARE_METATYPE(Response)
Q_DECLARE_METATYPE(SetupActionState)
using ModelAction = std::function<void(RuntimeSetupModel &)>;
Q_DECLARE_METATYPE(ModelAction)

namespace {
const QByteArray gstreamerPackage = "xar! pretend installer package";
const QString ready = u"Wine and its required components are ready for Windows apps."_s;
const QString finder
    = u"In Finder, Control-click the Wine app, choose Open, and confirm the macOS prompt. "_s;
const QString installerPath = u"/client/installer/SteamSetup.exe"_s;
const QString steamRelative = u"drive_c/Program Files (x86)/Steam/steam.exe"_s;
} // namespace

// The setup of Wine and its requirements, and of Steam in its own prefix.
class TestSetupModel : public QObject
{
    Q_OBJECT

    LoopbackServer server;

    // Serves the GStreamer package and a Wine archive, with their digests in the context.
    SetupContext macWorld(const Sandbox &sandbox, const QString &machine, bool gstreamer = false,
        bool packagedWine = false, qsizetype padding = 0)
    {
        SetupContext context = machineContext(sandbox, server, machine, gstreamer, packagedWine);
        const QString archive
            = buildWineArchive(sandbox.path(u"served.tar.xz"_s), ArchiveLayout::good, padding);
        const QByteArray bytes = readFile(archive);
        server.route(u"/wine.tar.xz"_s,
            {.body = bytes, .chunkSize = int(bytes.size() / 8), .chunkDelayMs = 20});
        server.route(u"/gstreamer.pkg"_s, {200, gstreamerPackage});
        context.sources.wineSHA256 = sha256Hex(bytes);
        context.sources.gstreamerSHA256 = sha256Hex(gstreamerPackage);
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

    // The first condition that holds names the main button.
    void actionTitles_data()
    {
        using Pause = AutomaticSetupPause;
        using State = SetupActionState;
        QTest::addColumn<SetupActionState>("state");
        QTest::addColumn<QString>("title");
        QTest::newRow("GStreamer first") << State {.isDownloadingGStreamer = true,
            .isDownloadingWine = true} << "Downloading GStreamer…";
        QTest::newRow("verifying hides progress") << State {.isDownloadingWine = true,
            .isVerifyingDownload = true,
            .downloadProgress = 0.5} << "Verifying Wine…";
        QTest::newRow("0.29 is 29") << State {.isDownloadingWine = true, .downloadProgress = 0.29}
                                    << "Downloading Wine… 29%";
        QTest::newRow("never rounded up") << State {.isDownloadingWine = true,
            .downloadProgress = 0.999} << "Downloading Wine… 99%";
        QTest::newRow("preparing before a pause")
            << State {.isPreparingWine = true, .pause = Pause::rosetta} << "Preparing Wine…";
        QTest::newRow("pause before the machine")
            << State {.pause = Pause::rosetta, .isAppleSilicon = true, .isRosettaAvailable = false}
            << "Continue Rosetta Setup";
        QTest::newRow("Rosetta before GStreamer")
            << State {.isAppleSilicon = true, .isRosettaAvailable = false} << "Set Up Rosetta";
        QTest::newRow("GStreamer before Wine")
            << State {.hasRuntime = true} << "Install Required Components";
    }
    void actionTitles()
    {
        QFETCH(SetupActionState, state);
        QTEST(setupActionTitle(state), "title");
    }

    void bareIntelMacToReadyThroughApproval()
    {
        Sandbox sandbox;
        // Large enough that hashing and unpacking take many turns of the event loop.
        const SetupContext context = macWorld(sandbox, u"x86_64"_s, false, false, 24 * 1024 * 1024);
        // An install and a download that a quit cut short go as the setup opens again.
        const QString uuid = u"0F8FAD5B-D9CB-469F-A165-70867728950E"_s;
        writeFile(context.runtimeFolder() + u"/.install-"_s + uuid + u"/Wine Devel.app/x"_s, "");
        writeFile(context.dataFolder + u"/Downloads/Quillmere-download-"_s + uuid, "");
        RuntimeSetupModel model(context);
        QCOMPARE(model.nextSetupActionTitle(), u"Install Required Components"_s);
        QStringList titles;
        QStringList statuses {model.statusMessage()}; // then each new one
        connect(&model, &RuntimeSetupModel::changed, this, [&] {
            titles << model.nextSetupActionTitle();
            if (statuses.last() != model.statusMessage())
                statuses << model.statusMessage();
        });

        // GStreamer: downloaded, verified, handed to the installer, then the run pauses.
        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(statuses.mid(1),
            QStringList({"Downloading GStreamer (1.28.7)…", "Verifying GStreamer (1.28.7)…",
                "Installer is open. Complete the GStreamer installation, then choose Check "
                "again. macOS may ask for an administrator password."}));
        QCOMPARE(sandbox.desktop->openedFiles,
            QStringList({context.dataFolder + u"/Downloads/gstreamer-1.0-1.28.7-universal.pkg"_s}));
        QCOMPARE(model.nextSetupActionTitle(), u"Open GStreamer Installer"_s);

        // Coming back before the installer finished changes nothing.
        QCoro::waitFor(model.resumeAutomaticSetupAfterSystemStep());
        QCOMPARE(model.automaticSetupPause(), std::optional(AutomaticSetupPause::gstreamer));

        // The user finished the installer: resuming installs Wine and stops for approval.
        QDir().mkpath(context.system.gstreamerPaths.first());
        int ticksWhileChecking = 0;
        int ticksWhileVerifying = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] {
            ticksWhileVerifying += model.isVerifyingDownload() ? 1 : 0;
            ticksWhileChecking += model.statusMessage() == u"Checking the Wine archive…" ? 1 : 0;
        });
        timer.start(5);
        QCoro::waitFor(model.resumeAutomaticSetupAfterSystemStep());
        timer.stop();
        QVERIFY2(ticksWhileChecking > 0, "the event loop stood still while tar ran");
        QVERIFY2(ticksWhileVerifying > 0, "the event loop stood still while Wine was hashed");
        QCOMPARE(statuses.mid(4),
            QStringList({"Downloading Wine (11.18)…", "Verifying Wine (11.18)…",
                "Checking the Wine archive…",
                "Wine is installed. Approve the Wine app in Finder before using it.",
                finder + "Then choose Check again here.",
                finder + "Then return here and continue after approval."}));
        QVERIFY(titles.contains(u"Verifying Wine…"_s));
        QVERIFY(std::any_of(titles.cbegin(), titles.cend(), [](const QString &t) {
            return t.startsWith(u"Downloading Wine… "_s) && t.endsWith(u'%');
        }));
        const QString bundle = context.runtimeFolder() + u"/Wine Devel 11.18.app"_s;
        QCOMPARE(model.selectedRuntime()->bundlePath, std::optional<QString>(bundle));
        QTRY_COMPARE(items(context.runtimeFolder()), QStringList({"Wine Devel 11.18.app"}));
        QTRY_COMPARE(items(context.dataFolder + u"/Downloads"_s),
            QStringList({"gstreamer-1.0-1.28.7-universal.pkg", "wine-devel-11.18-osx64.tar.xz"}));
        QCOMPARE(sandbox.desktop->revealed, QList<QStringList>({{bundle}}));
        QVERIFY(!model.isReadyForWindowsApps());
        QVERIFY(!MachineProbe::of(context).readyRuntime(context));
        QVERIFY(!model.isDownloadingWine() && !model.isVerifyingDownload()
            && !model.downloadProgress());

        // Pressing on while waiting shows the bundle again.
        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.statusMessage(), finder + u"Then choose Check again here."_s);
        QCOMPARE(sandbox.desktop->revealed.size(), 2);

        model.continueAfterWineApproval();
        QCOMPARE(model.statusMessage(),
            u"Wine setup is complete. You can now add Windows apps or install Steam."_s);
        QVERIFY(model.isReadyForWindowsApps());
        QVERIFY(!model.isAutomaticSetupActive());
        QCOMPARE(context.defaults->stringArray(u"Quillmere.approvedRuntimePaths"_s),
            QStringList({model.selectedRuntime()->winePath}));
        QCOMPARE(MachineProbe::of(context).readyRuntime(context)->winePath,
            model.selectedRuntime()->winePath);
        QCOMPARE(model.nextSetupActionTitle(), u"Check Setup"_s);
    }

    void appleSiliconWaitsForRosetta()
    {
        Sandbox sandbox;
        // A package-manager Wine outside Quillmere's folder needs no approval.
        const SetupContext context = macWorld(sandbox, u"arm64"_s, true, true);
        RuntimeSetupModel model(context);
        QCOMPARE(model.nextSetupActionTitle(), u"Set Up Rosetta"_s);

        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.automaticSetupPause(), std::optional(AutomaticSetupPause::rosetta));
        QCOMPARE(sandbox.desktop->clipboard, u"softwareupdate --install-rosetta"_s);
        QCOMPARE(sandbox.desktop->openedApplications,
            QStringList({"/System/Applications/Utilities/Terminal.app"}));
        QCOMPARE(model.statusMessage(),
            u"Terminal is open and the Rosetta command is copied. Paste it, "
            "accept Apple's license, then return here; Quillmere will continue setup."_s);
        QVERIFY(!MachineProbe::of(context).readyRuntime(context));

        writeFile(context.system.rosettaRuntimePath, "");
        QCoro::waitFor(model.resumeAutomaticSetupAfterSystemStep());
        QCOMPARE(model.statusMessage(), ready);
        QVERIFY(model.isReadyForWindowsApps());
    }

    void linuxPointsAtSystemPackages()
    {
        Sandbox sandbox;
        SetupContext context = machineContext(sandbox, server, u"linux"_s, false, false);
        context.places.binaries = {{sandbox.path(u"usr/bin/wine"_s), u"System Wine"_s}};
        RuntimeSetupModel model(context);
        QVERIFY(model.isRosettaAvailable());

        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.statusMessage(),
            u"Install GStreamer with your distribution's package manager (on Debian or Ubuntu: "
            "sudo apt install gstreamer1.0-plugins-base gstreamer1.0-plugins-good), then "
            "return here; Quillmere will continue setup."_s);
        QCOMPARE(model.nextSetupActionTitle(), u"Check for GStreamer Again"_s);
        QCOMPARE(model.notReadyReason(),
            u"GStreamer isn't installed. Install it with your distribution's package manager (on "
            "Debian or Ubuntu: sudo apt install gstreamer1.0-plugins-base "
            "gstreamer1.0-plugins-good), then try again."_s);

        writeFile(context.system.gstreamerPaths.first(), "");
        QCoro::waitFor(model.resumeAutomaticSetupAfterSystemStep());
        QCOMPARE(model.statusMessage(),
            u"Install Wine with your distribution's package manager (on Debian "
            "or Ubuntu: sudo apt install wine wine64), then choose Install Wine again."_s);
        QCOMPARE(model.nextSetupActionTitle(), u"Install Wine"_s);
        QCOMPARE(model.notReadyReason(),
            u"No Wine runtime was found. Install Wine with your distribution's package manager "
            "(on Debian or Ubuntu: sudo apt install wine wine64), then try again."_s);

        installFakeRuntime(sandbox.path(u"usr/bin"_s));
        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.statusMessage(), ready);
        QVERIFY(!model.isPreparingWine()); // the sheet's button works again
        QCOMPARE(model.notReadyReason(), QString());
        QCOMPARE(model.selectedRuntime()->name, u"System Wine"_s);
    }

    void failedAndCancelledSteps()
    {
        Sandbox sandbox;
        SetupContext context = macWorld(sandbox, u"x86_64"_s);
        context.sources.gstreamerPackage = server.url(u"/no-such-package"_s);
        RuntimeSetupModel model(context);
        QCoro::waitFor(model.prepareWineAutomatically());
        // The download's own sentence, pinned where downloads are tested.
        QVERIFY(model.errorMessage().endsWith(u"did not return the requested file."_s));
        QCOMPARE(model.statusMessage(), QString());
        QCOMPARE(model.automaticSetupPause(), std::nullopt);
        QVERIFY(model.isAutomaticSetupActive());
        QVERIFY(!model.isDownloadingGStreamer() && !model.isPreparingWine());

        // A verified package that doesn't open is named in the alert.
        context.sources.gstreamerPackage = server.url(u"/gstreamer.pkg"_s);
        sandbox.desktop->succeeds = false;
        RuntimeSetupModel unopened(context);
        QCoro::waitFor(unopened.installGStreamer());
        QCOMPARE(unopened.errorMessage(),
            u"The verified package is saved here:\n"_s + context.dataFolder
                + u"/Downloads/gstreamer-1.0-1.28.7-universal.pkg\nOpen it in "
                  "Finder to continue."_s);

        // Tried again with GStreamer in place, cancelled while downloading Wine: the earlier
        // error goes when the retry starts and the step ends quietly.
        QDir().mkpath(context.system.gstreamerPaths.first());
        QTimer::singleShot(60, &model, &RuntimeSetupModel::cancel);
        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.errorMessage(), QString());
        QVERIFY(!model.isDownloadingWine());
        QVERIFY(!model.selectedRuntime());

        // The window closed mid-download: the step ends by itself, touching no deleted model.
        auto *closing = new RuntimeSetupModel(context);
        QCoro::Task<> step = closing->installWine();
        QVERIFY(closing->isDownloadingWine());
        QTimer::singleShot(50, [closing] { delete closing; });
        QTRY_VERIFY_WITH_TIMEOUT(step.isReady(), 5000);
        QVERIFY(!QFile::exists(context.dataFolder + u"/Downloads/wine-devel-11.18-osx64.tar.xz"_s));
    }

    // The setup's own desktop actions say so when nothing on this computer takes them.
    void failedDesktopActionsAreSaid_data()
    {
        QTest::addColumn<ModelAction>("action");
        QTest::addColumn<QString>("subject"); // or the name of one the test makes
        QTest::addColumn<QString>("sentence");
        const QString open
            = u"Quillmere couldn’t open “%1”: no application on this computer opens it."_s;
        QTest::newRow("Wine's source page")
            << ModelAction(&RuntimeSetupModel::openWineSource) << u"source"_s << open;
        QTest::newRow("Terminal for Rosetta")
            << ModelAction(&RuntimeSetupModel::openRosettaInstructions)
            << u"/System/Applications/Utilities/Terminal.app"_s << open;
        QTest::newRow("the Wine app to approve")
            << ModelAction(&RuntimeSetupModel::revealSelectedRuntime) << u"bundle"_s
            << u"Quillmere couldn’t show “%1”: no file manager on this computer opens its folder."_s;
    }
    void failedDesktopActionsAreSaid()
    {
        QFETCH(ModelAction, action);
        QFETCH(QString, subject);
        Sandbox sandbox;
        const SetupContext context = macWorld(sandbox, u"arm64"_s);
        const QString bundle = context.runtimeFolder() + u"/Wine Devel 11.18.app"_s;
        installFakeRuntime(bundle + u"/Contents/Resources/wine/bin"_s);
        RuntimeSetupModel model(context);
        sandbox.desktop->succeeds = false;
        action(model);
        const QMap<QString, QString> made {
            {u"source"_s, context.sources.wineSourcePage.toDisplayString()}, {u"bundle"_s, bundle}};
        QFETCH(QString, sentence);
        QCOMPARE(model.errorMessage(), sentence.arg(made.value(subject, subject)));
    }

    void selectionAndReveal()
    {
        Sandbox sandbox;
        SetupContext context = macWorld(sandbox, u"x86_64"_s);
        installFakeRuntime(sandbox.path(u"a/bin"_s));
        installFakeRuntime(sandbox.path(u"b/bin"_s));
        context.places.binaries
            = {{sandbox.path(u"a/bin/wine"_s), {}}, {sandbox.path(u"b/bin/wine"_s), {}}};
        RuntimeSetupModel model(context);
        model.setSelectedRuntimeID(sandbox.path(u"b/bin/wine"_s));
        model.refresh();
        QCOMPARE(model.selectedRuntime()->name, u"b"_s);

        QDir(sandbox.path(u"b"_s)).removeRecursively();
        model.refresh();
        QCOMPARE(model.selectedRuntimeID(), sandbox.path(u"a/bin/wine"_s));

        model.revealSelectedRuntime();
        QCOMPARE(model.errorMessage(),
            u"This Wine installation is a command-line runtime and has no app "
            "bundle to approve in Finder."_s);
        model.openWineSource();
        QCOMPARE(sandbox.desktop->openedUrls, QList<QUrl>({context.sources.wineSourcePage}));
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

QTEST_GUILESS_MAIN(TestSetupModel)
#include "tst_setupmodel.moc"
