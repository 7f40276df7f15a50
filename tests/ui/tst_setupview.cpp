#include "platform/UserDefaults.h"
#include "support/SetupSupport.h"
#include "ui/rules/PlatformWording.h"
#include "ui/rules/SetupPresentation.h"
#include "ui/setup/RuntimeSetupView.h"

#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

using namespace TestSupport;
using namespace Qt::StringLiterals;
using Platform = PlatformWording::Platform;
Q_DECLARE_METATYPE(Platform)

class TestSetupView : public QObject
{
    Q_OBJECT

    LoopbackServer server;

private Q_SLOTS:
    void init() { PlatformWording::setCurrent(Platform::macOS); }

    void presentation_data()
    {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<bool>("gstreamer");
        QTest::addColumn<bool>("wine");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("Intel without GStreamer")
            << "x86_64" << false << false
            << QStringList {
                   "Rosetta: Not needed ✓", "GStreamer: Automatic", "Wine runtime: Automatic"};
        QTest::newRow("Apple silicon without Rosetta")
            << "arm64" << true << true
            << QStringList {"Rosetta: Needed", "GStreamer: Ready ✓", "Wine runtime: Ready ✓"};
        QTest::newRow("Linux without Wine")
            << "linux" << true << false
            << QStringList {"GStreamer: Ready ✓", "Wine runtime: From your packages"};
    }
    void presentation()
    {
        QFETCH(QString, machine);
        QFETCH(bool, gstreamer);
        QFETCH(bool, wine);
        PlatformWording::setCurrent(machine == u"linux" ? Platform::linuxDesktop : Platform::macOS);
        Sandbox sandbox;
        RuntimeSetupView view(
            machineContext(sandbox, server, machine, gstreamer, wine), true); // never shown: no run
        QStringList shown;
        for (const auto &row : SetupPresentation::requirementRows(view.model()))
            shown << row.title + u": "_s + row.state + (row.isReady ? u" ✓"_s : QString());
        QTEST(shown, "rows");
        // Without a Wine to pick, a note says so in place of the picker.
        QCOMPARE(child<QLabel>(view, u"noRuntimeNote"_s)->isVisibleTo(&view), !wine);
        QCOMPARE(child<QWidget>(view, u"runtimePicker"_s)->isVisibleTo(&view), wine);
    }

    void downloadShowsProgressAndClosingLeavesNothing()
    {
        Sandbox sandbox;
        // 42 %, then a long stall; Qt reports no progress in a reply's first 100 ms.
        server.route(u"/wine.tar.xz"_s,
            {.body = QByteArray(100000, 'w'),
                .chunkSize = 42000,
                .chunkDelayMs = 30000,
                .delayMs = 200});
        RuntimeSetupView view(machineContext(sandbox, server, u"x86_64"_s, true, false), false);
        QSignalSpy done(&view, &RuntimeSetupView::doneRequested);
        view.show();
        auto *main = child<QPushButton>(view, u"mainSetupButton"_s);
        QTRY_COMPARE(main->accessibleName(), u"Downloading Wine… 42%"_s);
        QVERIFY(child<QProgressBar>(view, u"downloadProgress"_s)->isVisible());
        QCOMPARE(child<QProgressBar>(view, u"downloadProgress"_s)->value(), 420);
        QVERIFY(!main->isEnabled());

        QTest::keyClick(&view, Qt::Key_Escape);
        QVERIFY(!view.isVisible());
        QCOMPARE(done.count(), 0);
        QTRY_VERIFY(!view.model().isDownloadingWine());
        QCOMPARE(view.model().errorMessage(), QString());
        QCOMPARE(items(sandbox.path(u"Quillmere/Downloads"_s)), QStringList());
    }

    void approvalThenReady()
    {
        Sandbox sandbox;
        SetupContext context = machineContext(sandbox, server, u"x86_64"_s, true, false);
        const QByteArray archive
            = readFile(buildWineArchive(sandbox.path(u"wine.tar.xz"_s), ArchiveLayout::good));
        server.route(u"/wine.tar.xz"_s, {200, archive});
        context.sources.wineSHA256 = sha256Hex(archive);
        RuntimeSetupView view(context, false);
        QSignalSpy done(&view, &RuntimeSetupView::doneRequested);
        view.show();
        auto *main = child<QPushButton>(view, u"mainSetupButton"_s);
        QTRY_COMPARE_WITH_TIMEOUT(main->accessibleName(), u"Continue after Approval"_s, 20000);
        QCOMPARE(child<QLabel>(view, u"introTitle"_s)->text(), u"Approve Wine in Finder"_s);
        QCOMPARE(
            SetupPresentation::requirementRows(view.model()).at(2).state, u"Approve in Finder"_s);
        QVERIFY(!child<QWidget>(view, u"steamCard"_s)->isVisible());

        QTest::mouseClick(main, Qt::LeftButton);
        QVERIFY(!main->isVisible());
        QVERIFY(child<QWidget>(view, u"steamCard"_s)->isVisible());
        QCOMPARE(child<QLabel>(view, u"introTitle"_s)->text(), u"Ready for Windows apps"_s);

        QTest::keyClick(&view, Qt::Key_Return); // "Done"
        QCOMPARE(done.count(), 1);
        QCOMPARE(view.result(), int(QDialog::Accepted));
    }

    void dismissingTheAlertClearsTheError()
    {
        Sandbox sandbox;
        SetupContext context = machineContext(sandbox, server, u"x86_64"_s, false, false);
        context.sources.gstreamerPackage = server.url(u"/missing.pkg"_s);
        RuntimeSetupView view(context, false);
        view.show();
        QMessageBox *alert = nullptr;
        QTRY_VERIFY((alert = view.findChild<QMessageBox *>(u"setupErrorAlert"_s)));
        QTRY_VERIFY(alert->isVisible());
        QCOMPARE(alert->windowTitle(), u"Wine Setup"_s);
        QVERIFY(!view.model().errorMessage().isEmpty());
        QCOMPARE(alert->informativeText(), view.model().errorMessage());
        QTest::keyClick(alert, Qt::Key_Escape);
        QCOMPARE(view.model().errorMessage(), QString());
        QVERIFY(view.isVisible());
    }

    void steamInstallHandsTheEntryOver()
    {
        Sandbox sandbox;
        server.route(u"/client/installer/SteamSetup.exe"_s, {200, "MZ\x90 setup"});
        qputenv("FAKE_WINE_CREATE", "drive_c/Program Files (x86)/Steam/steam.exe");
        RuntimeSetupView view(machineContext(sandbox, server, u"x86_64"_s, true, true), false);
        QStringList events;
        connect(&view, &RuntimeSetupView::steamAdded, this,
            [&](const GameEntry &entry) { events << u"added "_s + entry.name; });
        connect(&view, &RuntimeSetupView::doneRequested, this, [&] { events << u"done"_s; });
        view.show();
        auto *steam = child<QPushButton>(view, u"installSteamButton"_s);
        QTRY_VERIFY(steam->isVisible());
        QTest::mouseClick(steam, Qt::LeftButton);
        QCOMPARE(steam->accessibleName(), u"Installing Steam…"_s);
        QVERIFY(!steam->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(events, QStringList({"added Steam", "done"}), 15000);
        QVERIFY(!view.isVisible());
        QCOMPARE(view.result(), int(QDialog::Accepted));
        qunsetenv("FAKE_WINE_CREATE");
    }
};

QTEST_MAIN(TestSetupView)
#include "tst_setupview.moc"
