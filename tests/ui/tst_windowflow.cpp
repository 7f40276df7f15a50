#include "games/SteamShortcuts.h"
#include "library/LibraryModel.h"
#include "profiles/SteamGameCatalog.h"
#include "support/TestSupport.h"
#include "ui/rules/WindowFlow.h"

using namespace TestSupport;
using namespace Qt::StringLiterals;

class TestWindowFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The sidebar follows the model's selection, except while the profiles page is shown.
    void destinationFollowsTheLibrary()
    {
        Sandbox sandbox;
        auto library = sandbox.model();
        WindowFlow flow(*library, [] { return std::optional<DetectedWineRuntime>(); });
        flow.initializeDestination();
        QVERIFY(flow.selectedDestination().isGames()); // empty library

        const GameEntry first = sandbox.readyEntry(u"First"_s);
        const GameEntry second = sandbox.readyEntry(u"Second"_s);
        library->add(first);
        QVERIFY(flow.selectedDestination().isGames()); // the profiles page stays
        QCOMPARE(library->selectedID(), first.id);

        library->add(second);
        flow.setSelectedDestination(LibraryDestination::app(second.id));
        QCOMPARE(library->selectedID(), second.id);
        library->remove(second);
        QCOMPARE(flow.selectedDestination(), LibraryDestination::app(first.id));
        library->remove(first);
        QVERIFY(flow.selectedDestination().isGames());

        // A second appearance changes nothing; a fresh window opens on the selected entry.
        library->add(first);
        flow.initializeDestination();
        QVERIFY(flow.selectedDestination().isGames());
        WindowFlow reopened(*library, [] { return std::optional<DetectedWineRuntime>(); });
        reopened.initializeDestination();
        QCOMPARE(reopened.selectedDestination(), LibraryDestination::app(first.id));
    }

    // A program chosen while setup is missing, and a store install asked for on the same sheet.
    void resumesAfterSetup_data()
    {
        QTest::addColumn<bool>("done");
        QTest::addColumn<bool>("readyAfterSetup");
        QTest::addColumn<bool>("launches");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("store"); // "Battle.net", "Steam" (in the library) or "no Steam"
        QTest::addColumn<QString>("notice"); // its beginning
        QTest::newRow("closed without Done") << false << true << false << QString() << u"no Steam"_s
                                             << WindowFlow::steamMissingNotice();
        QTest::newRow("Done, still not ready")
            << true << false << false << WindowFlow::wineNotReadyMessage() << u"Battle.net"_s
            << WindowFlow::battleNetNotice();
        QTest::newRow("Done and ready")
            << true << true << true << QString() << u"Steam"_s << u"Steam opened the page for "_s;
    }
    void resumesAfterSetup()
    {
        QFETCH(bool, done);
        QFETCH(bool, readyAfterSetup);
        QFETCH(bool, launches);
        QFETCH(QString, store);
        QFETCH(QString, notice);
        Sandbox sandbox;
        const QString program = sandbox.path(u"Setup.exe"_s);
        writeFile(program, "MZ");
        auto library = sandbox.model();
        const qsizetype before = store == u"Steam" ? 1 : 0;
        if (before)
            library->add(sandbox.steamEntry());
        bool ready = false;
        const DetectedWineRuntime wine {u"Fake"_s, fakeWine(), fakeWineServer(), std::nullopt};
        WindowFlow flow(*library, [&] { return ready ? std::optional(wine) : std::nullopt; });
        QSignalSpy setupRequests(&flow, &WindowFlow::runtimeSetupRequested);

        flow.runExecutable(program);
        // A store install asked for while the sheet is open goes on however the program fares.
        const GameCompatibilityProfile game = SteamGameCatalog::games().first();
        flow.setUpStore(
            game, store == u"Battle.net" ? GameStorefront::battleNet : GameStorefront::steam);
        QCOMPARE(setupRequests.size(), 1);
        QVERIFY(flow.isShowingRuntimeSetup());
        QCOMPARE(flow.pendingExecutable(), program);
        QVERIFY(library->errorMessage().isEmpty()); // no message while setup is open
        ready = readyAfterSetup;
        if (done)
            flow.setupDone();
        flow.resumeAfterSetup();
        QVERIFY(flow.pendingExecutable().isEmpty());
        QVERIFY(!flow.pendingGameSetup());
        QVERIFY2(library->notice().startsWith(notice), qPrintable(library->notice()));
        QTEST(library->errorMessage(), "error");
        // Only a page Steam did open is remembered as a pending install.
        QCOMPARE(SteamShortcuts(*library).isSteamGamePendingInstall(game), before == 1);
        QCOMPARE(library->preparingExecutable(), launches ? u"Setup"_s : QString());
        QTRY_VERIFY_WITH_TIMEOUT(library->preparingExecutable().isEmpty(), 10000);
        QCOMPARE(library->entries().size(), before + (launches ? 1 : 0));

        // The flag does not outlive its sheet: the next closing without "Done" runs nothing.
        flow.runExecutable(sandbox.path(u"Other.exe"_s));
        flow.resumeAfterSetup();
        QCOMPARE(library->entries().size(), before + (launches ? 1 : 0));
    }

    void addsSteamOnce()
    {
        Sandbox sandbox;
        auto library = sandbox.model();
        WindowFlow flow(*library, [] { return std::optional<DetectedWineRuntime>(); });
        const GameEntry steam = sandbox.steamEntry();
        library->add(sandbox.readyEntry(u"Game"_s));

        flow.steamAdded(steam);
        QCOMPARE(library->notice(), WindowFlow::steamAddedNotice());
        GameEntry again = steam;
        again.id = QUuid::createUuid();
        library->setSelectedID(library->entries().first().id);
        flow.steamAdded(again);
        QCOMPARE(library->notice(), WindowFlow::steamAlreadyAddedNotice());
        QCOMPARE(library->entries().size(), 2);
        QCOMPARE(library->selectedID(), steam.id);
    }
};

QTEST_MAIN(TestWindowFlow)
#include "tst_windowflow.moc"
