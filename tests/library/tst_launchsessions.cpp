#include "library/LibraryModel.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>

using namespace TestSupport;

namespace {
// A ready entry with extra variables for the fake Wine, already in the model's library.
GameEntry addReadyEntry(const Sandbox &sandbox, LibraryModel &model, const Environment &fakeWine,
    const QString &name = QStringLiteral("Game"))
{
    GameEntry entry = sandbox.readyEntry(name);
    entry.environment.insert(fakeWine);
    model.add(entry);
    return entry;
}

const QString exitNotice = QStringLiteral("The Wine launcher exited with code %1. The game may "
                                          "still be running; use Stop Wine to check the prefix.");
} // namespace

class TestLaunchSessions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void launcherExitBecomesNotice_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("notice");
        QTest::newRow("exit 0") << "FAKE_WINE_EXIT"
                                << "0"
                                << "Wine closed normally.";
        QTest::newRow("exit 1") << "FAKE_WINE_EXIT"
                                << "1" << exitNotice.arg(1);
        QTest::newRow("exit 255") << "FAKE_WINE_EXIT"
                                  << "255" << exitNotice.arg(255);
        QTest::newRow("killed by signal") << "FAKE_WINE_SIGNAL"
                                          << "9" << exitNotice.arg(-9);
    }
    void launcherExitBecomesNotice()
    {
        QFETCH(QString, variable);
        QFETCH(QString, value);
        QFETCH(QString, notice);
        Sandbox sandbox;
        const auto model = sandbox.model();
        const GameEntry entry = addReadyEntry(sandbox, *model,
            {{variable, value}, {QStringLiteral("FAKE_WINE_SLEEP"), QStringLiteral("0.3")}},
            QStringLiteral("Solitaire"));

        model->launch(entry);
        QCOMPARE(model->errorMessage(), QString());
        QCOMPARE(model->notice(), QStringLiteral("Started Solitaire."));
        QVERIFY(model->isRunning(entry.id));
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
        QCOMPARE(model->notice(), notice);
        QCOMPARE(model->errorMessage(), QString());
        QVERIFY(readFile(model->logURL(entry)).contains("fake wine ran"));
        QCOMPARE(model->logURL(entry),
            sandbox.dataFolder() + QStringLiteral("/Logs/") + entry.idString()
                + QStringLiteral(".log"));
    }

    void secondLaunchWhileRunningIsIgnored()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        const GameEntry entry = addReadyEntry(
            sandbox, *model, {{QStringLiteral("FAKE_WINE_SLEEP"), QStringLiteral("3")}});
        model->launch(entry);
        QTRY_VERIFY(readFile(model->logURL(entry)).contains("fake wine ran"));
        const QByteArray log = readFile(model->logURL(entry));
        model->setNotice(QStringLiteral("seen"));
        QSignalSpy running(model.get(), &LibraryModel::runningIDsChanged);

        model->launch(entry);
        QCOMPARE(model->notice(), QStringLiteral("seen"));
        QCOMPARE(model->errorMessage(), QString());
        QCOMPARE(model->runningIDs(), QSet<QUuid>({entry.id}));
        QCOMPARE(running.count(), 0);
        QCOMPARE(readFile(model->logURL(entry)), log);
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
    }

    void failedLaunchLeavesEntryStopped()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        GameEntry entry = sandbox.readyEntry();
        QFile::remove(entry.executablePath);
        model->launch(entry);
        QCOMPARE(model->errorMessage(),
            QStringLiteral("Can't find this file or folder:\n") + entry.executablePath);
        QVERIFY(model->runningIDs().isEmpty());
        QCOMPARE(model->notice(), QString());
    }

    void runningEntryCannotBeRemoved()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        const GameEntry entry = addReadyEntry(
            sandbox, *model, {{QStringLiteral("FAKE_WINE_SLEEP"), QStringLiteral("0.5")}});
        model->launch(entry);
        model->remove(entry);
        QCOMPARE(model->errorMessage(),
            QStringLiteral("Stop this Wine session before removing its library entry."));
        QCOMPARE(model->entries().size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
        model->remove(entry);
        QVERIFY(model->entries().isEmpty());
    }

    void quittingLeavesTheGameRunning()
    {
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        const QString proof = sandbox.path(QStringLiteral("still-ran"));
        entry.environment.insert(QStringLiteral("FAKE_WINE_SLEEP"), QStringLiteral("1"));
        entry.environment.insert(QStringLiteral("FAKE_WINE_TOUCH"), proof);
        {
            const auto model = sandbox.model();
            model->launch(entry);
            QVERIFY(model->isRunning(entry.id));
        }
        // The model is gone; the launcher goes on and finishes its work, and its late exit
        // report is dropped without touching the destroyed model.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(proof), 10000);
        QTest::qWait(200);
    }

    void stopRunsWithoutBlockingAndReports_data()
    {
        QTest::addColumn<QString>("wineserverSleep");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("error");
        QTest::newRow("delivered")
            << "0.5" << 0 << 15000 << "Sent a stop request to Wine for Bob's Game's prefix."
            << "";
        QTest::newRow("wineserver fails")
            << "0.5" << 2 << 15000 << ""
            << "Wine's wineserver returned exit code 2. Check the session log for details.";
        QTest::newRow("wineserver hangs") << "60" << 0 << 1000 << ""
                                          << "Wine's wineserver didn't stop Bob's Game's prefix "
                                             "in time, so Quillmere stopped waiting for it.";
    }
    void stopRunsWithoutBlockingAndReports()
    {
        QFETCH(QString, wineserverSleep);
        QFETCH(int, exitCode);
        QFETCH(int, limitMs);
        QFETCH(QString, notice);
        QFETCH(QString, error);
        Sandbox sandbox;
        LibraryContext context = sandbox.context();
        context.stopTimeLimit = std::chrono::milliseconds(limitMs);
        const auto model = std::make_unique<LibraryModel>(context);
        const GameEntry entry = addReadyEntry(sandbox, *model,
            {{QStringLiteral("FAKE_WINE_SLEEP"), QStringLiteral("4")},
                {QStringLiteral("FAKE_WINESERVER_SLEEP"), wineserverSleep},
                {QStringLiteral("FAKE_WINESERVER_EXIT"), QString::number(exitCode)}},
            QStringLiteral("Bob's Game"));
        model->launch(entry);
        model->setNotice({});

        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(20);
        QSignalSpy finished(model.get(), &LibraryModel::stopFinished);
        model->stop(entry);
        // stop returned while wineserver still sleeps; the event loop keeps turning meanwhile.
        QCOMPARE(finished.count(), 0);
        QCOMPARE(model->notice(), QString());
        QVERIFY(finished.wait(10000));
        QVERIFY(ticks > 3);
        QCOMPARE(finished.first().first().value<QUuid>(), entry.id);
        QCOMPARE(model->notice(), notice);
        QCOMPARE(model->errorMessage(), error);
        // A wineserver that outlived the limit is ended and reaped: not even a zombie is left.
        const pid_t wineserver
            = readFile(sandbox.recordDir() + QStringLiteral("/wineserver-k.pid")).trimmed().toInt();
        QVERIFY(wineserver > 0);
        QTRY_VERIFY(::kill(wineserver, 0) != 0 && errno == ESRCH);
        // A stop request changes no running state; the launcher's own exit does.
        QVERIFY(model->isRunning(entry.id));
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
    }

    // A game that outlives its launcher still writes to the log when it is launched again;
    // the fresh log must not get a run of zero bytes where the old writer's offset was.
    void relaunchWhileTheGameStillWritesLeavesNoHole()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        GameEntry entry = addReadyEntry(
            sandbox, *model, {{QStringLiteral("FAKE_WINE_TRICKLE"), QStringLiteral("60")}});
        const QString log = model->logURL(entry);
        model->launch(entry);
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
        QTRY_VERIFY(readFile(log).contains("line 3\n"));

        entry.environment.remove(QStringLiteral("FAKE_WINE_TRICKLE"));
        model->update(entry);
        model->launch(entry);
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(log).contains("line 60\n"), 10000);
        const QByteArray output = readFile(log);
        QVERIFY2(!output.contains('\0'), output.toPercentEncoding().constData());
        QCOMPARE(output.count("fake wine ran"), 1); // still a fresh log for each launch
    }

    void stopWithoutWineserver()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        GameEntry entry = sandbox.readyEntry();
        entry.wineServerPath = sandbox.path(QStringLiteral("missing/wineserver"));
        QSignalSpy finished(model.get(), &LibraryModel::stopFinished);
        model->stop(entry);
        QVERIFY(finished.wait(10000));
        QCOMPARE(model->errorMessage(),
            QStringLiteral("Can't find this file or folder:\n") + entry.wineServerPath);
    }

    void openLogNeedsALaunch()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        const GameEntry entry = sandbox.readyEntry();
        model->add(entry);
        model->openLog(entry);
        QCOMPARE(model->errorMessage(),
            QStringLiteral(
                "There isn't a launch log for this game yet. Launch it once, then try again."));
        QVERIFY(sandbox.desktop->openedFiles.isEmpty());

        model->launch(entry);
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
        model->openLog(entry);
        QCOMPARE(sandbox.desktop->openedFiles, QStringList({model->logURL(entry)}));
    }
};

QTEST_GUILESS_MAIN(TestLaunchSessions)
#include "tst_launchsessions.moc"
