#include "library/LibraryModel.h"
#include "support/TestSupport.h"

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
    const QString &name = "Game")
{
    GameEntry entry = sandbox.readyEntry(name);
    entry.environment.insert(fakeWine);
    model.add(entry);
    return entry;
}

const QString exitNotice = ("The Wine launcher exited with code %1. The game may "
                            "still be running; use Stop Wine to check the prefix.");
} // namespace

class TestLaunchSessions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void quittingLeavesTheGameRunning()
    {
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        const QString proof = sandbox.path("still-ran");
        entry.environment.insert(
            {{"FAKE_WINE_SLEEP", "1"}, {"FAKE_WINE_TOUCH", proof}, {"FAKE_WINE_TRICKLE", "40"}});
        QString log;
        {
            const auto model = sandbox.model();
            model->launch(entry);
            QVERIFY(model->isRunning(entry.id));
            log = model->logPath(entry);
        }
        // The model is gone; the launcher finishes its work and exits, its late exit report is
        // dropped without touching the destroyed model, and the game goes on writing after it.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(proof), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(log).contains("line 40\n"), 10000);
    }

    void stopRunsWithoutBlockingAndReports_data()
    {
        QTest::addColumn<QString>("wineserverSleep");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("error");
        QTest::newRow("delivered")
            << "0.5" << 15000 << "Sent a stop request to Wine for Bob's Game's prefix."
            << "";
        QTest::newRow("wineserver hangs") << "60" << 1000 << ""
                                          << "Wine's wineserver didn't stop Bob's Game's prefix "
                                             "in time, so Quillmere stopped waiting for it.";
    }
    void stopRunsWithoutBlockingAndReports()
    {
        QFETCH(QString, wineserverSleep);
        QFETCH(int, limitMs);
        Sandbox sandbox;
        LibraryContext context = sandbox.context();
        context.stopTimeLimit = std::chrono::milliseconds(limitMs);
        const auto model = std::make_unique<LibraryModel>(context);
        const GameEntry entry = addReadyEntry(sandbox, *model,
            {{"FAKE_WINE_SLEEP", "4"}, {"FAKE_WINESERVER_SLEEP", wineserverSleep}}, "Bob's Game");
        model->launch(entry);
        // A second launch while the first runs starts nothing and says nothing. The window's
        // tests cover refusing to remove a running entry and the command line's a refused start.
        QTRY_VERIFY(readFile(model->logPath(entry)).contains("fake wine ran"));
        const QByteArray log = readFile(model->logPath(entry));
        model->setNotice({});
        QSignalSpy running(model.get(), &LibraryModel::runningIDsChanged);
        model->launch(entry);
        QCOMPARE(model->notice(), QString());
        QCOMPARE(model->errorMessage(), QString());
        QCOMPARE(model->runningIDs(), QSet<QUuid>({entry.id}));
        QCOMPARE(running.count(), 0);
        QCOMPARE(readFile(model->logPath(entry)), log);

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
        QTEST(model->notice(), "notice");
        QTEST(model->errorMessage(), "error");
        // A wineserver that outlived the limit is ended and reaped: not even a zombie is left.
        const pid_t wineserver
            = readFile(sandbox.recordDir() + "/wineserver-k.pid").trimmed().toInt();
        QVERIFY(wineserver > 0);
        QTRY_VERIFY(::kill(wineserver, 0) != 0 && errno == ESRCH);
        // A stop request changes no running state; the launcher's own exit does.
        QVERIFY(model->isRunning(entry.id));
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
    }

    // A game that outlives its launcher goes on writing to its own launch's log; launching
    // again starts a fresh log that the old game's output never enters. Each launcher's exit
    // becomes the notice: a normal close, or the code of the signal that ended it.
    void relaunchWhileTheGameStillWritesGetsAFreshLog()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        GameEntry entry = addReadyEntry(sandbox, *model, {{"FAKE_WINE_TRICKLE", "60"}});
        const QString log = model->logPath(entry);
        QCOMPARE(log, sandbox.dataFolder() + "/Logs/" + entry.idString() + ".log");
        model->launch(entry); // its "Started" notice is the direct launch's test
        QVERIFY(model->isRunning(entry.id));
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
        QCOMPARE(model->notice(), "Wine closed normally.");
        QCOMPARE(model->errorMessage(), QString());
        QTRY_VERIFY(readFile(log).contains("line 3\n"));
        QFile earlier(log);
        QVERIFY(earlier.open(QIODevice::ReadOnly));

        entry.environment.remove("FAKE_WINE_TRICKLE");
        entry.environment.insert("FAKE_WINE_SIGNAL", "9");
        model->update(entry);
        model->launch(entry);
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
        QCOMPARE(model->notice(), exitNotice.arg(-9));
        QTRY_VERIFY_WITH_TIMEOUT(earlier.seek(0) && earlier.readAll().contains("line 60\n"), 10000);
        const QByteArray output = readFile(log);
        QVERIFY2(!output.contains("the game still writes") && !output.contains('\0'),
            output.toPercentEncoding().constData());
        QCOMPARE(output.count("fake wine ran"), 1);

        model->openLog(entry);
        QCOMPARE(sandbox.desktop->openedFiles, QStringList({log}));
        model->openLog(sandbox.readyEntry("Never launched"));
        QCOMPARE(model->errorMessage(),
            "There isn't a launch log for this game yet. Launch it once, then try again.");
        QCOMPARE(sandbox.desktop->openedFiles.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLaunchSessions)
#include "tst_launchsessions.moc"
