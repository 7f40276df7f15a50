#include "platform/UserDefaults.h"
#include "support/SetupSupport.h"
#include "ui/PlatformWording.h"
#include "ui/RuntimeSetupView.h"
#include "ui/SetupPresentation.h"

#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;
using namespace Qt::StringLiterals;
using Platform = PlatformWording::Platform;
Q_DECLARE_METATYPE(Platform)

class TestSetupView : public QObject
{
    Q_OBJECT

    LoopbackServer server;

    // A machine with GStreamer and a package-manager Wine (outside Quillmere's folder) or not.
    SetupContext world(const Sandbox &sandbox, const QString &machine, bool gstreamer, bool wine)
    {
        SetupSystem system
            = machine == u"linux" ? SetupSystem::forLinux() : SetupSystem::forMac(machine);
        system.rosettaRuntimePath = sandbox.path(QStringLiteral("probe/libRosettaRuntime"));
        system.gstreamerPaths = {sandbox.path(QStringLiteral("probe/GStreamer"))};
        if (gstreamer)
            writeFile(system.gstreamerPaths.first(), "");
        SetupContext context = setupContext(sandbox, server, system);
        if (wine) {
            installFakeRuntime(sandbox.path(QStringLiteral("homebrew/bin")));
            context.places.binaries = {{sandbox.path(QStringLiteral("homebrew/bin/wine")), {}}};
        }
        return context;
    }

    template <class T> static T *part(QWidget &view, const char *name)
    {
        return view.findChild<T *>(QString::fromLatin1(name));
    }

private Q_SLOTS:
    void init() { PlatformWording::setCurrent(Platform::macOS); }

    void presentation_data()
    {
        QTest::addColumn<Platform>("platform");
        QTest::addColumn<QString>("machine");
        QTest::addColumn<bool>("gstreamer");
        QTest::addColumn<bool>("wine");
        QTest::addColumn<QString>("mainTitle");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("footnote");
        QTest::newRow("Intel without GStreamer")
            << Platform::macOS << "x86_64" << false << false << "Install Required Components"
            << QStringList {"Rosetta: Not needed ✓", "GStreamer: Automatic",
                   "Wine runtime: Automatic"}
            << true;
        QTest::newRow("Apple silicon without Rosetta")
            << Platform::macOS << "arm64" << true << true << "Set Up Rosetta"
            << QStringList {"Rosetta: Needed", "GStreamer: Ready ✓", "Wine runtime: Ready ✓"}
            << false;
        QTest::newRow("Linux without Wine")
            << Platform::linuxDesktop << "linux" << true << false << "Install Wine"
            << QStringList {"GStreamer: Ready ✓", "Wine runtime: From your packages"} << true;
    }
    void presentation()
    {
        QFETCH(Platform, platform);
        QFETCH(QString, machine);
        QFETCH(bool, gstreamer);
        QFETCH(bool, wine);
        QFETCH(QString, mainTitle);
        QFETCH(QStringList, rows);
        QFETCH(bool, footnote);
        PlatformWording::setCurrent(platform);
        Sandbox sandbox;
        RuntimeSetupView view(
            world(sandbox, machine, gstreamer, wine), true); // never shown: no run
        QStringList shown;
        for (const auto &row : SetupPresentation::requirementRows(view.model()))
            shown << row.title + u": "_s + row.state + (row.isReady ? u" ✓"_s : QString());
        QCOMPARE(shown, rows);
        QCOMPARE(part<QPushButton>(view, "mainSetupButton")->accessibleName(), mainTitle);
        QCOMPARE(part<QLabel>(view, "noRuntimeNote")->isVisibleTo(&view), footnote);
        QCOMPARE(part<QWidget>(view, "runtimePicker")->isVisibleTo(&view), !footnote);
    }

    void downloadShowsProgressAndClosingLeavesNothing()
    {
        Sandbox sandbox;
        LoopbackServer::Response slow {200, QByteArray(100000, 'w')};
        slow.chunkSize = 42000; // 42 %, then a long stall
        slow.chunkDelayMs = 30000;
        slow.delayMs = 200; // Qt reports no progress in a reply's first 100 ms
        server.route(QStringLiteral("/wine.tar.xz"), slow);
        RuntimeSetupView view(world(sandbox, QStringLiteral("x86_64"), true, false), false);
        QSignalSpy done(&view, &RuntimeSetupView::doneRequested);
        view.show();
        auto *main = part<QPushButton>(view, "mainSetupButton");
        QTRY_COMPARE(main->accessibleName(), QStringLiteral("Downloading Wine… 42%"));
        QVERIFY(part<QProgressBar>(view, "downloadProgress")->isVisible());
        QCOMPARE(part<QProgressBar>(view, "downloadProgress")->value(), 420);
        QVERIFY(!part<QWidget>(view, "mainSetupButtonArrow")->isVisible());
        QVERIFY(!main->isEnabled());

        QTest::keyClick(&view, Qt::Key_Escape);
        QVERIFY(!view.isVisible());
        QCOMPARE(done.count(), 0);
        QTRY_VERIFY(!view.model().isDownloadingWine());
        QCOMPARE(view.model().errorMessage(), QString());
        const QDir downloads(sandbox.path(QStringLiteral("Quillmere/Downloads")));
        QCOMPARE(downloads.entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void approvalThenReady()
    {
        Sandbox sandbox;
        SetupContext context = world(sandbox, QStringLiteral("x86_64"), true, false);
        const QByteArray archive = readFile(
            buildWineArchive(sandbox.path(QStringLiteral("wine.tar.xz")), ArchiveLayout::good));
        server.route(QStringLiteral("/wine.tar.xz"), {200, archive});
        context.sources.wineSHA256 = sha256Hex(archive);
        RuntimeSetupView view(context, false);
        QSignalSpy done(&view, &RuntimeSetupView::doneRequested);
        view.show();
        auto *main = part<QPushButton>(view, "mainSetupButton");
        QTRY_COMPARE_WITH_TIMEOUT(
            main->accessibleName(), QStringLiteral("Continue after Approval"), 20000);
        QCOMPARE(
            part<QLabel>(view, "introTitle")->text(), QStringLiteral("Approve Wine in Finder"));
        QCOMPARE(SetupPresentation::requirementRows(view.model()).at(2).state,
            QStringLiteral("Approve in Finder"));
        QCOMPARE(sandbox.desktop->revealed.size(), 1);
        QVERIFY(!part<QWidget>(view, "steamCard")->isVisible());

        QTest::mouseClick(main, Qt::LeftButton);
        QVERIFY(!main->isVisible());
        QVERIFY(part<QWidget>(view, "steamCard")->isVisible());
        QCOMPARE(
            part<QLabel>(view, "introTitle")->text(), QStringLiteral("Ready for Windows apps"));
        QCOMPARE(context.defaults->stringArray(QStringLiteral("Quillmere.approvedRuntimePaths")),
            QStringList({view.model().selectedRuntime()->winePath}));

        QTest::keyClick(&view, Qt::Key_Return); // "Done"
        QCOMPARE(done.count(), 1);
        QCOMPARE(view.result(), int(QDialog::Accepted));
    }

    void dismissingTheAlertClearsTheError()
    {
        Sandbox sandbox;
        SetupContext context = world(sandbox, QStringLiteral("x86_64"), false, false);
        context.sources.gstreamerPackage = server.url(QStringLiteral("/missing.pkg"));
        RuntimeSetupView view(context, false);
        view.show();
        QMessageBox *alert = nullptr;
        QTRY_VERIFY((alert = view.findChild<QMessageBox *>(QStringLiteral("setupErrorAlert"))));
        QTRY_VERIFY(alert->isVisible());
        QCOMPARE(alert->windowTitle(), QStringLiteral("Wine Setup"));
        QVERIFY(!view.model().errorMessage().isEmpty());
        QCOMPARE(alert->informativeText(), view.model().errorMessage());
        QTest::keyClick(alert, Qt::Key_Escape);
        QCOMPARE(view.model().errorMessage(), QString());
        QVERIFY(view.isVisible());
    }

    void steamInstallHandsTheEntryOver()
    {
        Sandbox sandbox;
        server.route(QStringLiteral("/client/installer/SteamSetup.exe"), {200, "MZ\x90 setup"});
        qputenv("FAKE_WINE_CREATE", "drive_c/Program Files (x86)/Steam/steam.exe");
        RuntimeSetupView view(world(sandbox, QStringLiteral("x86_64"), true, true), false);
        QStringList events;
        connect(&view, &RuntimeSetupView::steamAdded, this,
            [&](const GameEntry &entry) { events << u"added "_s + entry.name; });
        connect(&view, &RuntimeSetupView::doneRequested, this, [&] { events << u"done"_s; });
        view.show();
        auto *steam = part<QPushButton>(view, "installSteamButton");
        QTRY_VERIFY(steam->isVisible());
        QTest::mouseClick(steam, Qt::LeftButton);
        QCOMPARE(steam->accessibleName(), QStringLiteral("Installing Steam…"));
        QVERIFY(!steam->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(events, QStringList({"added Steam", "done"}), 15000);
        QVERIFY(!view.isVisible());
        QCOMPARE(view.result(), int(QDialog::Accepted));
        qunsetenv("FAKE_WINE_CREATE");
    }
};

QTEST_MAIN(TestSetupView)
#include "tst_setupview.moc"
