#include "WindowHarness.h"
#include "ui/editor/EntryEditorView.h"
#include "ui/kit/SteamArtworkView.h"
#include "ui/kit/Widgets.h"
#include "ui/library/GameDetailView.h"
#include "ui/rules/PlatformWording.h"
#include "ui/rules/SetupPresentation.h"
#include "ui/setup/RuntimeSetupView.h"

#include <QBuffer>
#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>
#include <QUrlQuery>

using namespace TestSupport;
using namespace Qt::StringLiterals;
using Platform = PlatformWording::Platform;

// One entry's views, its detail page and its editor sheet; and the Wine setup sheet.
class TestEntryViews : public QObject
{
    Q_OBJECT

    WindowHarness harness; // its server and web access; no window opens
    LoopbackServer &server = harness.server;
    GameProfileCatalogStore catalog {harness.web};

    const Platform native = PlatformWording::current();

    GameEntry entry(const QString &name) const { return harness.sandbox.readyEntry(name); }

    // An Intel Mac's setup, worded for macOS until the test ends.
    SetupContext intelMac(const Sandbox &sandbox, bool gstreamer, bool wine)
    {
        PlatformWording::setCurrent(Platform::macOS);
        return machineContext(sandbox, server, u"x86_64"_s, gstreamer, wine);
    }

private Q_SLOTS:
    void cleanup() { PlatformWording::setCurrent(native); }

    void initTestCase()
    {
        ImageLoader::shared().setCacheDirectory(harness.sandbox.path(u"cache"_s));

        QImage header(92, 43, QImage::Format_RGB32);
        header.fill(Qt::darkCyan);
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        header.save(&png, "PNG");
        for (const QString &path : {u"/header.png"_s, u"/other.png"_s})
            server.route(path, {200, png.data(), {{"Content-Type", "image/png"}}});
        server.route(u"/ISteamChartsService/GetMostPlayedGames/v1/"_s,
            {200, R"({"response": {"ranks": []}})"});
        server.handle(u"/api/appdetails"_s, [this](const QString &target) {
            const QString app = QUrlQuery(QUrl(target).query()).queryItemValue(u"appids"_s);
            const QJsonObject data {{u"name"_s, u"Store name"_s},
                {u"header_image"_s, server.url(u"/header.png"_s).toString()}};
            const QJsonObject answer {{app, QJsonObject {{u"success"_s, true}, {u"data"_s, data}}}};
            return LoopbackServer::Response {200, QJsonDocument(answer).toJson()};
        });
    }

    // An entry no profile matches shows the placeholder and asks nothing; renamed to a game's
    // name, it shows the genre and the store's image, fetched once.
    void artworkFollowsTheMatchedProfile()
    {
        const GameCompatibilityProfile profile = *std::find_if(catalog.games().begin(),
            catalog.games().end(), [](const auto &game) { return game.appID.has_value(); });
        GameDetailView view(catalog);
        view.setEntry(entry(u"Spreadsheet Wizard 97"_s), false);
        view.show();
        QTest::qWait(100);
        QCOMPARE(view.findChild<QLabel *>(u"heroSubtitle"_s)->text(), u"Windows app"_s);
        QCOMPARE(view.artworkView()->symbol(), u"gamecontroller.fill"_s);
        QVERIFY(!view.artworkView()->hasImage() && !view.artworkView()->isLoading());
        QCOMPARE(server.totalRequests(), 0);

        const GameEntry game = entry(profile.name.toLower()); // as a user might type it
        view.setEntry(game, false);
        QCOMPARE(view.findChild<QLabel *>(u"heroSubtitle"_s)->text(), profile.genre);
        QTRY_VERIFY(view.artworkView()->hasImage());
        QCOMPARE(server.requestCount(u"/header.png"_s), 1);
        // A change of running state is not a new entry: no second trip to the store.
        const int before = server.totalRequests();
        view.setEntry(game, true);
        QTest::qWait(50);
        QCOMPARE(server.totalRequests(), before);
        QVERIFY(view.artworkView()->hasImage());
    }

    // Idle: Return launches, stopping the prefix asks first, and the game file's and prefix's
    // cards reveal them (the runtime's has no button). Running: the other button, no editing,
    // and Return launches nothing.
    void idleThenRunning()
    {
        GameDetailView view(catalog);
        view.setEntry(entry(u"Tool"_s), true); // the other state first: the switch must stick
        view.setEntry(entry(u"Tool"_s), false);
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QSignalSpy launches(&view, &GameDetailView::launchRequested);
        QSignalSpy stops(&view, &GameDetailView::stopRequested);
        const auto shows = [&](const QString &shown, const QString &hidden, const QString &status) {
            QVERIFY(view.findChild<QPushButton *>(shown)->isVisible());
            QVERIFY(!view.findChild<QPushButton *>(hidden)->isVisible());
            QCOMPARE(view.findChild<Capsule *>(u"statusCapsule"_s)->text(), status);
        };
        shows(u"launchButton"_s, u"stopButton"_s, u"Ready to launch"_s);
        QVERIFY(view.findChild<QPushButton *>(u"editButton"_s)->isEnabled());
        QTest::keyClick(&view, Qt::Key_Return);
        QTRY_COMPARE(launches.count(), 1); // the button animates its click
        for (const QString &answer : {u"cancelStopButton"_s, u"confirmStopButton"_s}) {
            view.findChild<QAction *>(u"stopPrefixAction"_s)->trigger();
            auto *alert = view.findChild<QMessageBox *>(u"stopConfirmation"_s);
            QVERIFY(alert && alert->isVisible());
            QCOMPARE(stops.count(), 0);
            alert->findChild<QPushButton *>(answer)->click();
            QTRY_VERIFY(!view.findChild<QMessageBox *>(u"stopConfirmation"_s));
        }
        QCOMPARE(stops.count(), 1);
        QSignalSpy files(&view, &GameDetailView::showFilesRequested);
        QSignalSpy prefix(&view, &GameDetailView::showPrefixRequested);
        auto reveal = [&view](const QString &card) {
            return view.findChild<QWidget *>(card)->findChild<QToolButton *>(u"revealButton"_s);
        };
        QVERIFY(!reveal(u"runtimeCard"_s));
        reveal(u"executableCard"_s)->click();
        reveal(u"prefixCard"_s)->click();
        QCOMPARE(files.count(), 1);
        QCOMPARE(prefix.count(), 1);

        view.setEntry(entry(u"Tool"_s), true);
        shows(u"stopButton"_s, u"launchButton"_s, u"Wine session active"_s);
        QVERIFY(!view.findChild<QPushButton *>(u"editButton"_s)->isEnabled());
        QTest::keyClick(&view, Qt::Key_Return);
        QTest::keyClick(&view, Qt::Key_Enter);
        QTest::qWait(200);
        QCOMPARE(launches.count(), 1);
    }

    void viewsOfOneImageShareOneRequest()
    {
        SteamArtworkView first, second;
        const QUrl url = server.url(u"/other.png"_s);
        first.setArtwork(url, u"car.fill"_s, false);
        second.setArtwork(url, u"car.fill"_s, false);
        QTRY_VERIFY(first.hasImage() && second.hasImage());
        QCOMPARE(server.requestCount(u"/other.png"_s), 1);
        QVERIFY(ImageLoader::shared().cached(url));
    }

    void editingShowsTheEntry()
    {
        EntryEditorView view(u"/tmp/unused"_s, GameEntry {.name = u"Old"_s}, {});
        QCOMPARE(view.windowTitle(), u"Edit Wine App"_s);
        QCOMPARE(child<QPushButton>(view, u"saveButton"_s)->text(), u"Save Changes"_s);
        QCOMPARE(child<QLineEdit>(view, u"nameField"_s)->text(), u"Old"_s);
    }

    // A failed save shows the alert and keeps the fields; put right, the prefix is created, with
    // the sheet held open meanwhile, and the entry saved.
    void failsThenCreatesThePrefixAndSaves()
    {
        Sandbox sandbox;
        EntryEditorView view(sandbox.dataFolder(), std::nullopt, {});
        view.show();
        // Typed as a user would, for a new prefix that wineboot fails to make.
        const GameEntry ready = sandbox.readyEntry();
        QTest::keyClicks(child<QLineEdit>(view, u"nameField"_s), u"  Game"_s);
        QTest::keyClicks(child<QLineEdit>(view, u"executableField"_s), ready.executablePath);
        child<QCheckBox>(view, u"createPrefixToggle"_s)->click();
        QTest::keyClicks(child<QLineEdit>(view, u"prefixField"_s), sandbox.path(u"broken"_s));
        QTest::keyClicks(child<QLineEdit>(view, u"wineField"_s), ready.winePath);
        QTest::keyClicks(child<QLineEdit>(view, u"wineServerField"_s), ready.wineServerPath);
        QTest::keyClicks(
            child<QPlainTextEdit>(view, u"environmentEditor"_s), u"FAKE_WINEBOOT_EXIT=1"_s);
        QCOMPARE(view.windowTitle(), u"Add Windows App"_s);
        // "&&" is how a button shows a plain ampersand rather than a mnemonic.
        QCOMPARE(child<QPushButton>(view, u"saveButton"_s)->text(), u"Create Prefix && Add"_s);
        QSignalSpy saved(&view, &EntryEditorView::saved);
        QSignalSpy cancelled(&view, &EntryEditorView::cancelled);
        child<QPushButton>(view, u"saveButton"_s)->click();

        QTRY_VERIFY_WITH_TIMEOUT(view.findChild<QMessageBox *>(u"saveErrorAlert"_s), 10000);
        auto *alert = child<QMessageBox>(view, u"saveErrorAlert"_s);
        QCOMPARE(alert->windowTitle(), u"Couldn\u2019t Save Entry"_s);
        QVERIFY2(alert->informativeText().startsWith(u"Wine could not initialize the prefix."_s),
            qPrintable(alert->informativeText()));
        QCOMPARE(saved.count(), 0);
        QCOMPARE(child<QLineEdit>(view, u"nameField"_s)->text(), u"  Game"_s);
        QVERIFY(child<QPushButton>(view, u"saveButton"_s)->isEnabled());
        QTest::keyClick(alert, Qt::Key_Escape); // any dismissal clears the message
        QCOMPARE(view.editor().errorMessage(), QString());
        QTRY_VERIFY(!view.findChild<QMessageBox *>(u"saveErrorAlert"_s));

        const QString prefix = sandbox.path(u"brand/new"_s);
        child<QLineEdit>(view, u"prefixField"_s)->selectAll();
        QTest::keyClicks(child<QLineEdit>(view, u"prefixField"_s), prefix);
        child<QPlainTextEdit>(view, u"environmentEditor"_s)
            ->setPlainText(u"FAKE_RECORD_DIR="_s + sandbox.recordDir());
        QTest::keyClick(child<QLineEdit>(view, u"nameField"_s), Qt::Key_Return); // the default
        QVERIFY(!child<QPushButton>(view, u"saveButton"_s)->isEnabled());
        QVERIFY(!child<QPushButton>(view, u"cancelButton"_s)->isEnabled());
        QVERIFY(child<QWidget>(view, u"preparingLabel"_s)->isVisible());
        QTest::keyClick(&view, Qt::Key_Escape); // the sheet stays until wineboot is done
        view.close();
        QVERIFY(view.isVisible());
        QVERIFY(saved.wait(10000));
        QCOMPARE(cancelled.count(), 0);
        const GameEntry entry = saved.first().first().value<GameEntry>();
        QCOMPARE(entry.name, u"Game"_s);
        QCOMPARE(entry.prefixPath, prefix);
        QVERIFY(
            QFile::exists(sandbox.recordDir() + u"/wineboot.args"_s)); // with the typed variable
        QVERIFY(QFile::exists(
            sandbox.dataFolder() + u"/Logs/prefix-"_s + entry.idString() + u".log"_s));
    }

    void choosingAFile_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("panelTitle");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("name"); // what the empty name becomes
        QTest::newRow("executable") << u"chooseExecutableButton"_s << u"executableField"_s
                                    << u"Choose a Windows application"_s << false << u"Setup"_s;
        QTest::newRow("prefix") << u"choosePrefixButton"_s << u"prefixField"_s
                                << u"Choose a Wine prefix folder"_s << true << QString();
        QTest::newRow("wineserver") << u"chooseWineServerButton"_s << u"wineServerField"_s
                                    << u"Choose the wineserver binary"_s << false << QString();
    }
    void choosingAFile()
    {
        QFETCH(QString, button);
        QFETCH(QString, field);
        FilePanelRequest asked;
        const FilePanels panels
            = [&](QWidget *, const FilePanelRequest &request, std::function<void(QString)> chosen) {
                  asked = request;
                  chosen(u"/games/Setup.exe"_s);
              };
        EntryEditorView view(u"/tmp/unused"_s, std::nullopt, panels);
        child<QPushButton>(view, button)->click();
        QTEST(asked.title, "panelTitle");
        QTEST(asked.kind == FilePanelRequest::Kind::folder, "folder");
        QCOMPARE(child<QLineEdit>(view, field)->text(), u"/games/Setup.exe"_s);
        QTEST(child<QLineEdit>(view, u"nameField"_s)->text(), "name");
    }

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
        RuntimeSetupView view(intelMac(sandbox, true, false), false);
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
        SetupContext context = intelMac(sandbox, true, false);
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
        SetupContext context = intelMac(sandbox, false, false);
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
        RuntimeSetupView view(intelMac(sandbox, true, true), false);
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

QTEST_MAIN(TestEntryViews)
#include "tst_entryviews.moc"
