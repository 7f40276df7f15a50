#include "platform/UserDefaults.h"
#include "setup/RuntimeSetupModel.h"
#include "support/SetupSupport.h"

#include <QCoroTask>
#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(SetupActionState)

using namespace TestSupport;

namespace {
const QByteArray gstreamerPackage = "xar! pretend installer package";

QString readySentence()
{
    return QStringLiteral("Wine and its required components are ready for Windows apps.");
}
} // namespace

class TestSetupModel : public QObject
{
    Q_OBJECT

    LoopbackServer server;

    // Serves the GStreamer package and a Wine archive, with their digests in the context.
    SetupContext macWorld(const Sandbox &sandbox, const QString &machine, qsizetype padding = 0)
    {
        SetupSystem system = SetupSystem::forMac(machine);
        system.rosettaRuntimePath = sandbox.path(QStringLiteral("probe/libRosettaRuntime"));
        system.gstreamerPaths
            = {sandbox.path(QStringLiteral("probe/GStreamer.framework/Versions/Current"))};
        SetupContext context = setupContext(sandbox, server, system);
        const QString archive = buildWineArchive(
            sandbox.path(QStringLiteral("served.tar.xz")), ArchiveLayout::good, padding);
        const QByteArray bytes = readFile(archive);
        LoopbackServer::Response wine {200, bytes};
        wine.chunkSize = qMax<qsizetype>(bytes.size() / 8, 1);
        wine.chunkDelayMs = 20;
        server.route(QStringLiteral("/wine.tar.xz"), wine);
        server.route(QStringLiteral("/gstreamer.pkg"), {200, gstreamerPackage});
        context.sources.wineSHA256 = sha256Hex(bytes);
        context.sources.gstreamerSHA256 = sha256Hex(gstreamerPackage);
        return context;
    }

private Q_SLOTS:
    void actionTitles_data()
    {
        QTest::addColumn<SetupActionState>("state");
        QTest::addColumn<QString>("title");
        auto with = [](auto change) {
            SetupActionState state;
            change(state);
            return state;
        };
        using P = AutomaticSetupPause;
        QTest::newRow("verifying GStreamer")
            << with([](auto &s) { s.isDownloadingGStreamer = s.isVerifyingDownload = true; })
            << "Verifying GStreamer…";
        QTest::newRow("GStreamer, unknown size")
            << with([](auto &s) { s.isDownloadingGStreamer = true; }) << "Downloading GStreamer…";
        QTest::newRow("GStreamer 0.999") << with([](auto &s) {
            s.isDownloadingGStreamer = s.isDownloadingWine = true;
            s.downloadProgress = 0.999;
        }) << "Downloading GStreamer… 99%";
        QTest::newRow("verifying Wine")
            << with([](auto &s) { s.isDownloadingWine = s.isVerifyingDownload = true; })
            << "Verifying Wine…";
        QTest::newRow("Wine, unknown size")
            << with([](auto &s) { s.isDownloadingWine = true; }) << "Downloading Wine…";
        QTest::newRow("Wine half") << with([](auto &s) {
            s.isDownloadingWine = true;
            s.downloadProgress = 0.5;
        }) << "Downloading Wine… 50%";
        QTest::newRow("Wine 0.29") << with([](auto &s) {
            s.isDownloadingWine = true;
            s.downloadProgress = 0.29;
        }) << "Downloading Wine… 29%";
        QTest::newRow("Wine done") << with([](auto &s) {
            s.isDownloadingWine = true;
            s.downloadProgress = 1.0;
        }) << "Downloading Wine… 100%";
        QTest::newRow("preparing") << with([](auto &s) {
            s.isPreparingWine = true;
            s.pause = P::rosetta;
        }) << "Preparing Wine…";
        QTest::newRow("rosetta pause")
            << with([](auto &s) { s.pause = P::rosetta; }) << "Continue Rosetta Setup";
        QTest::newRow("gstreamer pause")
            << with([](auto &s) { s.pause = P::gstreamer; }) << "Open GStreamer Installer";
        QTest::newRow("gstreamer pause, system packages") << with([](auto &s) {
            s.pause = P::gstreamer;
            s.hasGStreamerInstaller = false;
        }) << "Check for GStreamer Again";
        QTest::newRow("approval pause")
            << with([](auto &s) { s.pause = P::wineApproval; }) << "Continue after Approval";
        QTest::newRow("no Rosetta") << with([](auto &s) {
            s.isAppleSilicon = true;
            s.isRosettaAvailable = false;
        }) << "Set Up Rosetta";
        QTest::newRow("no GStreamer")
            << with([](auto &s) { s.hasRuntime = true; }) << "Install Required Components";
        QTest::newRow("runtime") << with([](auto &s) {
            s.isGStreamerInstalled = s.hasRuntime = true;
        }) << "Check Setup";
        QTest::newRow("nothing") << with([](auto &s) { s.isGStreamerInstalled = true; })
                                 << "Install Wine";
    }
    void actionTitles()
    {
        QFETCH(SetupActionState, state);
        QFETCH(QString, title);
        QCOMPARE(setupActionTitle(state), title);
    }

    void bareIntelMacToReadyThroughApproval()
    {
        Sandbox sandbox;
        const SetupContext context = macWorld(sandbox, QStringLiteral("x86_64"));
        RuntimeSetupModel model(context);
        QVERIFY(model.isRosettaAvailable()); // never checked on Intel
        QCOMPARE(model.nextSetupActionTitle(), QStringLiteral("Install Required Components"));

        // GStreamer: downloaded, verified, handed to the installer, then the run pauses.
        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.errorMessage(), QString());
        QCOMPARE(model.automaticSetupPause(), std::optional(AutomaticSetupPause::gstreamer));
        QCOMPARE(model.statusMessage(),
            QStringLiteral("Installer is open. Complete the GStreamer installation, then "
                           "choose Check again. macOS may ask for an administrator password."));
        const QString package
            = context.dataFolder + QStringLiteral("/Downloads/gstreamer-1.0-1.28.7-universal.pkg");
        QCOMPARE(sandbox.desktop->openedFiles, QStringList({package}));
        QCOMPARE(model.nextSetupActionTitle(), QStringLiteral("Open GStreamer Installer"));
        QVERIFY(!model.isPreparingWine());

        // Coming back before the installer finished changes nothing.
        QCoro::waitFor(model.resumeAutomaticSetupAfterSystemStep());
        QCOMPARE(model.automaticSetupPause(), std::optional(AutomaticSetupPause::gstreamer));

        // The user finished the installer: resuming installs Wine and stops for approval.
        QDir().mkpath(context.system.gstreamerPaths.first());
        QStringList titles;
        QStringList statuses {model.statusMessage()}; // then each new one
        connect(&model, &RuntimeSetupModel::changed, this, [&] {
            titles << model.nextSetupActionTitle();
            if (statuses.value(statuses.size() - 1) != model.statusMessage())
                statuses << model.statusMessage();
        });
        QCoro::waitFor(model.resumeAutomaticSetupAfterSystemStep());
        QCOMPARE(statuses.mid(1, 4),
            QStringList({"Downloading Wine (11.18)…", "Verifying Wine (11.18)…",
                "Checking the Wine archive…",
                "Wine is installed. Approve the Wine app in Finder before using it."}));
        QCOMPARE(model.errorMessage(), QString());
        QVERIFY(titles.contains(QStringLiteral("Verifying Wine…")));
        QVERIFY(std::any_of(titles.cbegin(), titles.cend(), [](const QString &t) {
            return t.startsWith(QStringLiteral("Downloading Wine… ")) && t.endsWith(u'%');
        }));
        const QString bundle = context.runtimeFolder() + QStringLiteral("/Wine Devel 11.18.app");
        QCOMPARE(model.selectedRuntime()->bundlePath, std::optional<QString>(bundle));
        QCOMPARE(model.selectedRuntime()->name, QStringLiteral("Wine Devel 11.18"));
        QCOMPARE(model.automaticSetupPause(), std::optional(AutomaticSetupPause::wineApproval));
        QCOMPARE(model.statusMessage(),
            QStringLiteral("In Finder, Control-click the Wine app, choose Open, and confirm "
                           "the macOS prompt. Then return here and continue after approval."));
        QCOMPARE(sandbox.desktop->revealed, QList<QStringList>({{bundle}}));
        QVERIFY(!model.isReadyForWindowsApps());
        QVERIFY(!RuntimeSetupModel::runtimeReadyForDirectLaunch(context));
        QCOMPARE(model.nextSetupActionTitle(), QStringLiteral("Continue after Approval"));
        QVERIFY(!model.isDownloadingWine() && !model.isVerifyingDownload()
            && !model.downloadProgress());

        // Pressing on while waiting shows the bundle again.
        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.statusMessage(),
            QStringLiteral("In Finder, Control-click the Wine app, choose Open, and confirm "
                           "the macOS prompt. Then choose Check again here."));
        QCOMPARE(sandbox.desktop->revealed.size(), 2);

        model.continueAfterWineApproval();
        QCOMPARE(model.statusMessage(),
            QStringLiteral(
                "Wine setup is complete. You can now add Windows apps or install Steam."));
        QVERIFY(model.isReadyForWindowsApps());
        QVERIFY(!model.isAutomaticSetupActive());
        QCOMPARE(context.defaults->stringArray(QStringLiteral("Quillmere.approvedRuntimePaths")),
            QStringList({model.selectedRuntime()->winePath}));
        QCOMPARE(RuntimeSetupModel::runtimeReadyForDirectLaunch(context)->winePath,
            model.selectedRuntime()->winePath);
        QCOMPARE(model.nextSetupActionTitle(), QStringLiteral("Check Setup"));
    }

    void appleSiliconWaitsForRosetta()
    {
        Sandbox sandbox;
        SetupContext context = macWorld(sandbox, QStringLiteral("arm64"));
        QDir().mkpath(context.system.gstreamerPaths.first());
        // A package-manager Wine outside Quillmere's folder needs no approval.
        installFakeRuntime(sandbox.path(QStringLiteral("homebrew/bin")));
        context.places.binaries = {{sandbox.path(QStringLiteral("homebrew/bin/wine")), {}}};
        const int wineRequests = server.requestCount(QStringLiteral("/wine.tar.xz"));
        RuntimeSetupModel model(context);
        QCOMPARE(model.nextSetupActionTitle(), QStringLiteral("Set Up Rosetta"));

        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.automaticSetupPause(), std::optional(AutomaticSetupPause::rosetta));
        QCOMPARE(sandbox.desktop->clipboard, QStringLiteral("softwareupdate --install-rosetta"));
        QCOMPARE(sandbox.desktop->openedApplications,
            QStringList({"/System/Applications/Utilities/Terminal.app"}));
        QCOMPARE(model.statusMessage(),
            QStringLiteral(
                "Terminal is open and the Rosetta command is copied. Paste it, "
                "accept Apple's license, then return here; Quillmere will continue setup."));
        QVERIFY(!RuntimeSetupModel::runtimeReadyForDirectLaunch(context));

        writeFile(context.system.rosettaRuntimePath, "");
        QCoro::waitFor(model.resumeAutomaticSetupAfterSystemStep());
        QCOMPARE(model.automaticSetupPause(), std::nullopt);
        QCOMPARE(model.statusMessage(), readySentence());
        QVERIFY(model.isReadyForWindowsApps());
        QCOMPARE(model.selectedRuntime()->name, QStringLiteral("homebrew"));
        QCOMPARE(server.requestCount(QStringLiteral("/wine.tar.xz")), wineRequests);
        QVERIFY(sandbox.desktop->revealed.isEmpty());
    }

    void linuxPointsAtSystemPackages()
    {
        Sandbox sandbox;
        SetupSystem system = SetupSystem::forLinux();
        system.gstreamerPaths = {sandbox.path(QStringLiteral("lib/libgstreamer-1.0.so.0"))};
        SetupContext context = setupContext(sandbox, server, system);
        context.places.binaries
            = {{sandbox.path(QStringLiteral("usr/bin/wine")), QStringLiteral("System Wine")}};
        const int requests = server.totalRequests();
        RuntimeSetupModel model(context);
        QVERIFY(model.isRosettaAvailable());

        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.automaticSetupPause(), std::optional(AutomaticSetupPause::gstreamer));
        QCOMPARE(model.statusMessage(),
            QStringLiteral(
                "Install GStreamer with your distribution's package manager (on Debian or Ubuntu: "
                "sudo apt "
                "install gstreamer1.0-plugins-base gstreamer1.0-plugins-good), then return here; "
                "Quillmere will continue setup."));
        QCOMPARE(model.nextSetupActionTitle(), QStringLiteral("Check for GStreamer Again"));

        writeFile(system.gstreamerPaths.first(), "");
        QCoro::waitFor(model.resumeAutomaticSetupAfterSystemStep());
        QCOMPARE(model.statusMessage(),
            QStringLiteral(
                "Install Wine with your distribution's package manager (on Debian "
                "or Ubuntu: sudo apt install wine wine64), then choose Install Wine again."));
        QCOMPARE(model.errorMessage(), QString());
        QVERIFY(!model.isPreparingWine());
        QCOMPARE(model.nextSetupActionTitle(), QStringLiteral("Install Wine"));

        installFakeRuntime(sandbox.path(QStringLiteral("usr/bin")));
        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.statusMessage(), readySentence());
        QCOMPARE(model.selectedRuntime()->name, QStringLiteral("System Wine"));
        QVERIFY(RuntimeSetupModel::runtimeReadyForDirectLaunch(context).has_value());
        QCOMPARE(server.totalRequests(), requests); // nothing was downloaded
    }

    void gstreamerStepSentences()
    {
        Sandbox sandbox;
        const SetupContext context = macWorld(sandbox, QStringLiteral("x86_64"));
        RuntimeSetupModel model(context);
        QStringList statuses {model.statusMessage()}; // then each new one
        connect(&model, &RuntimeSetupModel::changed, this, [&] {
            if (statuses.value(statuses.size() - 1) != model.statusMessage())
                statuses << model.statusMessage();
        });
        sandbox.desktop->openSucceeds = false;
        QCoro::waitFor(model.installGStreamer());
        QCOMPARE(statuses.mid(1),
            QStringList({"Downloading GStreamer (1.28.7)…", "Verifying GStreamer (1.28.7)…", ""}));
        QCOMPARE(model.errorMessage(),
            QStringLiteral("The verified package is saved here:\n") + context.dataFolder
                + QStringLiteral("/Downloads/gstreamer-1.0-1.28.7-universal.pkg\nOpen it in "
                                 "Finder to continue."));
    }

    void failedAndCancelledSteps()
    {
        Sandbox sandbox;
        SetupContext context = macWorld(sandbox, QStringLiteral("x86_64"));
        context.sources.gstreamerPackage = server.url(QStringLiteral("/no-such-package"));
        RuntimeSetupModel model(context);
        QCoro::waitFor(model.prepareWineAutomatically());
        QCOMPARE(model.errorMessage(),
            QStringLiteral("Quillmere couldn't download the required file.\n\n"
                           "The download server did not return the requested file."));
        QCOMPARE(model.statusMessage(), QString());
        QCOMPARE(model.automaticSetupPause(), std::nullopt);
        QVERIFY(model.isAutomaticSetupActive());
        QVERIFY(!model.isDownloadingGStreamer() && !model.isPreparingWine());

        // Cancelled while downloading Wine: the step ends quietly.
        QDir().mkpath(context.system.gstreamerPaths.first());
        model.setErrorMessage({});
        QTimer::singleShot(60, &model, &RuntimeSetupModel::cancel);
        QCoro::waitFor(model.installWine());
        QCOMPARE(model.errorMessage(), QString());
        QVERIFY(!model.isDownloadingWine());
        QVERIFY(!model.selectedRuntime());
    }

    void closingTheWindowMidDownloadIsQuiet()
    {
        Sandbox sandbox;
        const SetupContext context = macWorld(sandbox, QStringLiteral("x86_64"));
        auto *model = new RuntimeSetupModel(context);
        QCoro::Task<> step = model->installWine();
        QVERIFY(model->isDownloadingWine());
        QTimer::singleShot(50, [model] { delete model; });
        // The step ends by itself without touching the deleted model.
        QTRY_VERIFY_WITH_TIMEOUT(step.isReady(), 5000);
        QVERIFY(!QFile::exists(
            context.dataFolder + QStringLiteral("/Downloads/wine-devel-11.18-osx64.tar.xz")));
    }

    void windowKeepsPaintingWhileWineUnpacks()
    {
        Sandbox sandbox;
        const SetupContext context = macWorld(sandbox, QStringLiteral("x86_64"), 24 * 1024 * 1024);
        RuntimeSetupModel model(context);
        int ticksWhileChecking = 0;
        int ticksWhileVerifying = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] {
            ticksWhileVerifying += model.isVerifyingDownload() ? 1 : 0;
            ticksWhileChecking += model.statusMessage() == u"Checking the Wine archive…" ? 1 : 0;
        });
        timer.start(5);
        QCoro::waitFor(model.installWine());
        QCOMPARE(model.errorMessage(), QString());
        QVERIFY(model.selectedRuntime().has_value());
        QVERIFY2(ticksWhileChecking > 0, "the event loop stood still while tar ran");
        QVERIFY2(
            ticksWhileVerifying > 0, "the event loop stood still while the archive was hashed");
    }

    void selectionAndReveal()
    {
        Sandbox sandbox;
        SetupContext context = macWorld(sandbox, QStringLiteral("x86_64"));
        installFakeRuntime(sandbox.path(QStringLiteral("a/bin")));
        installFakeRuntime(sandbox.path(QStringLiteral("b/bin")));
        context.places.binaries = {{sandbox.path(QStringLiteral("a/bin/wine")), {}},
            {sandbox.path(QStringLiteral("b/bin/wine")), {}}};
        RuntimeSetupModel model(context);
        model.setSelectedRuntimeID(sandbox.path(QStringLiteral("b/bin/wine")));
        model.refresh();
        QCOMPARE(model.selectedRuntime()->name, QStringLiteral("b"));

        QDir(sandbox.path(QStringLiteral("b"))).removeRecursively();
        model.refresh();
        QCOMPARE(model.selectedRuntimeID(), sandbox.path(QStringLiteral("a/bin/wine")));

        model.revealSelectedRuntime();
        QCOMPARE(model.errorMessage(),
            QStringLiteral("This Wine installation is a command-line runtime and has no app "
                           "bundle to approve in Finder."));
        model.openWineSource();
        QCOMPARE(sandbox.desktop->openedUrls, QList<QUrl>({context.sources.wineSourcePage}));
    }
};

QTEST_GUILESS_MAIN(TestSetupModel)
#include "tst_setupmodel.moc"
