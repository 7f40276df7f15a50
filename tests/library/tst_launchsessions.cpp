#include "library/LaunchSessions.h"
#include "support/TestSupport.h"

#include <cerrno>
#include <csignal>

using namespace TestSupport;
using namespace Qt::StringLiterals;

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

WineBinaries fakeRuntime()
{
    return {fakeWine(), fakeWineServer()};
}

const QString exitNotice = ("The Wine launcher exited with code %1. The game may "
                            "still be running; use Stop Wine to check the prefix.");
} // namespace

// Launching, stopping and timing entries, and running a program directly in a prefix of its own.
class TestLaunchSessions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stopRunsWithoutBlockingAndReports_data()
    {
        QTest::addColumn<QString>("wineserverSleep");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("error");
        QTest::newRow("delivered")
            << u"0.5"_s << 15000 << u"Sent a stop request to Wine for Bob's Game's prefix."_s
            << QString();
        QTest::newRow("wineserver hangs") << u"60"_s << 1000 << QString()
                                          << u"Wine's wineserver didn't stop Bob's Game's prefix "
                                             "in time, so Quillmere stopped waiting for it."_s;
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

    // Running follows the prefix's real wineserver, whoever started it, for every entry of that
    // prefix (named by any path to it), and ends with the server; a launch beside it is offered
    // only where the prefix is shared.
    void runningFollowsThePrefixServer()
    {
        const QString wineServer = "/usr/bin/wineserver";
        if (!QFileInfo(wineServer).isExecutable())
            QSKIP("Wine's wineserver is not installed.");
        Sandbox sandbox;
        const auto model = sandbox.model();
        GameEntry steam = sandbox.readyEntry("Steam");
        GameEntry game = sandbox.readyEntry("Game");
        game.prefixPath = steam.prefixPath + "/../" + QFileInfo(steam.prefixPath).fileName();
        const GameEntry alone = sandbox.readyEntry("Alone");
        for (const GameEntry &entry : {steam, game, alone})
            model->add(entry);
        model->sessions().watchPrefixes(model->prefixes(), std::chrono::milliseconds(50));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("WINEPREFIX", steam.prefixPath);
        QProcess server; // in the foreground, so that the test owns it
        server.setProcessEnvironment(environment);
        server.start(wineServer, {"-f", "-p"});
        QVERIFY(server.waitForStarted());
        QTRY_COMPARE(model->runningIDs(), QSet<QUuid>({steam.id, game.id}));
        QVERIFY(model->isLaunchable(game.id));
        QVERIFY(model->isLaunchable(alone.id));
        QCOMPARE(LaunchSessions::withLivePrefix({{alone.id, alone.prefixPath}}), QSet<QUuid>());

        QProcess stop;
        stop.setProcessEnvironment(environment);
        stop.start(wineServer, {"-k"});
        QVERIFY(server.waitForFinished(10000));
        QTRY_COMPARE(model->runningIDs(), QSet<QUuid>());
        stop.waitForFinished();
    }

    // Steps: "begin@T" (seconds from a fixed start), "run@T" (seen running), "gone@T"
    // (looked at, not running). Then the seconds played and whether a session is under way.
    void playTimeRules_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<int>("lastPlayedAt"); // seconds from the start
        QTest::addColumn<bool>("underWay");
        const auto row
            = [](const char *tag, const char *steps, qint64 seconds, int last, bool underWay) {
                  QTest::newRow(tag)
                      << QString::fromLatin1(steps).split(u' ') << seconds << last << underWay;
              };
        row("played, then gone", "begin@0 run@60 gone@62", 60, 60, false);
        row("a launcher that starts nothing yet", "begin@0 gone@5", 0, 0, true);
        row("never seen running ends after the grace", "begin@0 gone@20", 0, 0, false);
        row("gone while nobody looked: counted to the last sighting", "begin@0 run@300 gone@9000",
            300, 300, false);
        row("a second launch adds nothing", "begin@0 run@30 begin@40 run@50 gone@51", 50, 50,
            false);
        row("sessions add up", "begin@0 run@10 gone@11 begin@100 run@130 gone@131", 40, 130, false);
    }
    void playTimeRules()
    {
        QFETCH(QStringList, steps);
        const QUuid id = QUuid::createUuid();
        const QDateTime start(QDate(2026, 12, 7), QTime(20, 0), Qt::UTC);
        QTemporaryDir folder;
        for (const QString &step : steps) {
            const QDateTime at = start.addSecs(step.section(u'@', 1).toInt());
            const QString kind = step.section(u'@', 0, 0);
            // Through the file each time, as separate processes would.
            QVERIFY(PlayTimes::update(folder.path(), [&](PlayRecords &records) {
                if (kind == "begin")
                    PlayTimes::begin(records, id, at);
                else
                    PlayTimes::follow(records, kind == "run" ? QSet {id} : QSet<QUuid> {}, at);
            }));
        }
        const PlayRecord record = PlayTimes::read(folder.path()).value().value(id);
        QTEST(record.seconds, "seconds");
        QTEST(int(start.secsTo(record.lastPlayedAt.value_or(QDateTime()))), "lastPlayedAt");
        QTEST(record.since.has_value(), "underWay");
    }

    // A launch counts from its start to its end, and a session that outlives its window is ended
    // by the next one; a damaged file is set aside, not failed on for ever.
    void launchesArePlayed()
    {
        Sandbox sandbox;
        LibraryContext context = sandbox.context();
        context.prefixWatchInterval = std::chrono::milliseconds(50);
        auto model = std::make_unique<LibraryModel>(context);
        const GameEntry entry
            = addReadyEntry(sandbox, *model, {{"FAKE_WINE_SLEEP", "2.2"}}, "Timed");
        model->launch(entry);
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
        QTRY_VERIFY(model->playRecord(entry.id).lastPlayedAt && !model->playRecord(entry.id).since);
        // Whole seconds of the clock, and the launcher's own start: 2.2 s counts as 2 to 4.
        QVERIFY(
            model->playRecord(entry.id).seconds >= 2 && model->playRecord(entry.id).seconds <= 4);
        const QDateTime first = *model->playRecord(entry.id).lastPlayedAt;

        model->launch(entry);
        QTRY_VERIFY(model->playRecord(entry.id).seen > model->playRecord(entry.id).since);
        model.reset(); // the window goes; the game goes on
        QTest::qWait(2500);
        model = std::make_unique<LibraryModel>(context);
        QTRY_VERIFY(model->playRecord(entry.id).lastPlayedAt && !model->playRecord(entry.id).since);
        QVERIFY(*model->playRecord(entry.id).lastPlayedAt > first);

        writeFile(PlayTimes::path(context.dataFolder), "{not json");
        model = std::make_unique<LibraryModel>(context);
        QTRY_VERIFY(QFileInfo::exists(PlayTimes::path(context.dataFolder) + ".damaged"));
        QCOMPARE(model->playRecord(entry.id), PlayRecord());
    }

    // Only a direct run's own prefix, a real folder in Quillmere's Prefixes folder that no other
    // entry uses, goes with its entry, and never while it runs; links in it are not followed,
    // neither by the size nor by the deletion.
    void prefixDeletion_data()
    {
        QTest::addColumn<QString>("prefix"); // under the data folder; "../" leaves it
        QTest::addColumn<QString>("kind"); // own, shared, link, running
        QTest::addColumn<bool>("deleted");
        const auto row = [](const char *tag, const char *prefix, const char *kind, bool deleted) {
            QTest::newRow(tag) << QString::fromUtf8(prefix) << QString::fromUtf8(kind) << deleted;
        };
        row("a direct run's own", "Prefixes/Direct-1", "own", true);
        row("shared with another entry", "Prefixes/Direct-2", "shared", false);
        row("Steam's", "Prefixes/Steam", "own", false);
        row("outside Quillmere's folder", "../Direct-3", "own", false);
        row("a link to a folder elsewhere", "Prefixes/Direct-4", "link", false);
        row("running", "Prefixes/Direct-5", "running", false);
    }
    void prefixDeletion()
    {
        QFETCH(QString, kind);
        QFETCH(bool, deleted);
        Sandbox sandbox;
        const auto model = sandbox.model();
        const QString outside = sandbox.path("elsewhere");
        writeFile(outside + "/big.bin", QByteArray(1 << 20, 'x'));
        GameEntry entry = addReadyEntry(sandbox, *model, {{"FAKE_WINE_SLEEP", "5"}});
        QFETCH(QString, prefix);
        entry.prefixPath = QDir::cleanPath(sandbox.dataFolder() + "/" + prefix);
        if (kind == "link") {
            QVERIFY(QDir().mkpath(QFileInfo(entry.prefixPath).path()));
            QVERIFY(QFile::link(outside, entry.prefixPath));
        } else {
            writeFile(entry.prefixPath + "/system.reg", "WINE REGISTRY Version 2\n");
            writeFile(entry.prefixPath + "/drive_c/save.dat", QByteArray(100 << 10, 's'));
            QVERIFY(QDir().mkpath(entry.prefixPath + "/dosdevices"));
            QVERIFY(QFile::link(outside, entry.prefixPath + "/dosdevices/z:"));
        }
        model->update(entry);
        if (kind == "shared") {
            GameEntry other = sandbox.readyEntry("Other");
            other.prefixPath = entry.prefixPath;
            model->add(other);
        }
        if (kind == "running")
            model->launch(entry);
        if (kind != "link") {
            model->measurePrefix(entry);
            QTRY_VERIFY(model->prefixBytes(entry));
            QVERIFY(*model->prefixBytes(entry) >= 100 << 10);
            QVERIFY(*model->prefixBytes(entry) < 1 << 20);
        }
        QCOMPARE(model->canDeletePrefix(entry), deleted || kind == "running");

        // Left by a deletion that a crash cut short: the next deletion takes it away too.
        const QString leftover = sandbox.dataFolder() + "/Prefixes/.Deleting-"
            + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        writeFile(leftover + "/drive_c/old.dat", "x");
        model->removeWithPrefix(entry);
        if (deleted) {
            QTRY_VERIFY(!model->entry(entry.id));
            QVERIFY(!QFileInfo::exists(entry.prefixPath));
            QCOMPARE(QDir(sandbox.dataFolder() + "/Prefixes")
                         .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                QStringList());
        } else {
            QVERIFY(model->errorMessage().startsWith(kind == "running"
                    ? "Stop this Wine session"
                    : "Quillmere deletes only a prefix it made"));
            QVERIFY(model->entry(entry.id));
            QVERIFY(QFileInfo::exists(entry.prefixPath));
        }
        QCOMPARE(QFileInfo(outside + "/big.bin").size(), 1 << 20);
    }

    // A game that outlives its launcher, or the model, goes on writing to its own launch's log;
    // launching again starts a fresh log that the old game's output never enters. Each
    // launcher's exit becomes the notice: a normal close, or the code of the signal that ended it.
    void theGameOutlivesItsLauncherAndTheModel()
    {
        Sandbox sandbox;
        auto model = sandbox.model();
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

        // The model goes while the game runs; the launcher finishes its work and exits, its late
        // exit report is dropped without touching the destroyed model, and the game goes on
        // writing after it.
        const QString proof = sandbox.path("still-ran");
        entry.environment = {{"FAKE_WINE_SLEEP", "1"}, {"FAKE_WINE_TOUCH", proof},
            {"FAKE_WINE_TRICKLE", "40"}, {"FAKE_RECORD_DIR", sandbox.recordDir()}};
        model->update(entry);
        model->launch(entry);
        QVERIFY(model->isRunning(entry.id));
        model.reset();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(proof), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(log).contains("line 40\n"), 10000);
    }

    // The window's tests refuse a plain text file with the same sentence.
    void refusesWhatIsNotAWindowsProgram_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message"); // %1: the normalised path
        QTest::newRow("folder named .exe") << "folder.exe"
                                           << "Choose a Windows executable file ending in .exe.";
        QTest::newRow("missing") << "missing.exe"
                                 << "Quillmere can't read this executable:\n%1";
    }
    void refusesWhatIsNotAWindowsProgram()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        Sandbox sandbox;
        QDir().mkpath(sandbox.path("folder.exe"));
        auto model = sandbox.model();
        // A path with "." and ".." parts is normalised before anything else.
        model->launchExecutable(sandbox.root() + "/./x/../" + file, fakeRuntime());
        QCOMPARE(model->errorMessage(), QString(message).replace("%1", sandbox.path(file)));
        QVERIFY(model->entries().isEmpty());
        QVERIFY(model->preparingExecutable().isEmpty());
    }

    void preparesAddsAndLaunches()
    {
        Sandbox sandbox;
        const QString setup = sandbox.path("Downloads/Setup.EXE");
        writeFile(setup, "MZ");
        writeFile(sandbox.path("Other.exe"), "MZ");
        qputenv("FAKE_RECORD_DIR", sandbox.recordDir().toUtf8());
        qputenv("FAKE_WINE_SLEEP", "3");
        auto model = sandbox.model();
        QSignalSpy preparing(model.get(), &LibraryModel::preparingExecutableChanged);
        // Setup may exit just before or after Other starts, so keep every notice.
        QStringList notices;
        connect(
            model.get(), &LibraryModel::noticeChanged, this, [&] { notices << model->notice(); });

        model->launchExecutable(setup, fakeRuntime());
        QCOMPARE(model->preparingExecutable(), "Setup");
        model->launchExecutable(sandbox.path("Other.exe"), fakeRuntime()); // waits its turn
        // The fake wine sleeps when asked its version, too.
        QTRY_VERIFY_WITH_TIMEOUT(model->preparingExecutable().isEmpty(), 20000);
        QCOMPARE(model->errorMessage(), QString());
        QCOMPARE(model->entries().size(), 2);
        QCOMPARE(model->entries().last().executablePath, sandbox.path("Other.exe"));
        // The first prefix of this Wine became its template; the second is a copy of it.
        QVERIFY(readFile(
            sandbox.dataFolder() + "/Logs/prefix-" + model->entries().last().idString() + ".log")
                    .startsWith("Quillmere copied this prefix from its template"));

        const GameEntry entry = model->entries().first();
        QCOMPARE(entry.name, "Setup");
        QCOMPARE(entry.executablePath, setup);
        QCOMPARE(entry.winePath, fakeWine());
        QVERIFY(entry.arguments.isEmpty() && entry.environment.isEmpty());
        const QString prefixName = QFileInfo(entry.prefixPath).fileName();
        QVERIFY(prefixName.startsWith("Direct-"));
        QVERIFY(!prefixName.contains(entry.idString()));
        QCOMPARE(QFileInfo(entry.prefixPath).path(), sandbox.dataFolder() + "/Prefixes");
        QVERIFY(QFile::exists(entry.prefixPath + "/system.reg"));
        QVERIFY(readFile(sandbox.dataFolder() + "/Logs/prefix-" + entry.idString() + ".log")
                    .contains("fake wineboot"));
        QCOMPARE(model->selectedID(), model->entries().last().id);
        QVERIFY2(notices.contains("Started Other."), qPrintable(notices.join(" | ")));
        QTRY_VERIFY_WITH_TIMEOUT(model->runningIDs().isEmpty(), 10000);

        // The same file again runs the entry it already has; nothing is prepared.
        preparing.clear();
        model->launchExecutable(setup, fakeRuntime());
        QCOMPARE(preparing.count(), 0);
        QVERIFY(model->isRunning(entry.id));
        QCOMPARE(model->entries().size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
        qunsetenv("FAKE_RECORD_DIR");
        qunsetenv("FAKE_WINE_SLEEP");
    }

    void failedPreparationAddsNothing()
    {
        Sandbox sandbox;
        writeFile(sandbox.path("Game.exe"), "MZ");
        writeFile(sandbox.path("Other.exe"), "MZ");
        qputenv("FAKE_WINEBOOT_EXIT", "1");
        auto model = sandbox.model();
        QStringList prepared;
        connect(model.get(), &LibraryModel::preparingExecutableChanged, this,
            [&] { prepared << model->preparingExecutable(); });
        // What waits gets its turn after a failure too, and a file asked for twice goes once.
        for (const QString name : {"Game", "Game", "Other"})
            model->launchExecutable(sandbox.path(name + ".exe"), fakeRuntime());
        QTRY_VERIFY_WITH_TIMEOUT(model->preparingExecutable().isEmpty(), 10000);
        QCOMPARE(prepared, QStringList({"Game", "", "Other", ""}));
        qunsetenv("FAKE_WINEBOOT_EXIT");
        QVERIFY(model->entries().isEmpty());
        QVERIFY(model->errorMessage().startsWith(
            QStringLiteral("Quillmere couldn't prepare Other:\nWine could not initialize the "
                           "prefix. Open the latest log for details.\n")));
        QVERIFY(model->errorMessage().contains("/Logs/prefix-"));
        // No entry names the half-made prefix, so it does not stay behind.
        QVERIFY(QDir(sandbox.dataFolder() + "/Prefixes").isEmpty());
    }

    // A prefix whose entry can't be recorded would be made again on every retry: a library
    // that can't be saved gets no prefix, and nothing is run.
    void unsavableLibraryGetsNoPrefix_data()
    {
        QTest::addColumn<bool>("breaksDuringPreparation");
        QTest::addColumn<QString>("message");
        QTest::newRow("before the drop") << false
                                         << "Quillmere can't save its library, so it didn't "
                                            "prepare a Wine prefix for Game:\n";
        QTest::newRow("while the prefix is made")
            << true
            << "Quillmere couldn't save Game in its library, so it removed the new Wine prefix "
               "and didn't run it:\n";
    }
    void unsavableLibraryGetsNoPrefix()
    {
        QFETCH(bool, breaksDuringPreparation);
        QFETCH(QString, message);
        Sandbox sandbox;
        writeFile(sandbox.path("Game.exe"), "MZ");
        // A folder in the library file's place can never be replaced by a saved file, even
        // for root, for whom a read-only folder is no obstacle.
        const QString library = sandbox.dataFolder() + "/library.json";
        if (!breaksDuringPreparation)
            QDir().mkpath(library);
        auto model = sandbox.model();
        model->setErrorMessage({});
        // Once wineboot runs, the check that the library can be saved has passed.
        qputenv("FAKE_RECORD_DIR", sandbox.recordDir().toUtf8());
        qputenv("FAKE_WINEBOOT_SLEEP", "1");
        const auto unset = qScopeGuard([] {
            qunsetenv("FAKE_RECORD_DIR");
            qunsetenv("FAKE_WINEBOOT_SLEEP");
        });
        model->launchExecutable(sandbox.path("Game.exe"), fakeRuntime());
        if (breaksDuringPreparation) {
            QCOMPARE(model->preparingExecutable(), "Game");
            QTRY_VERIFY(QFileInfo::exists(sandbox.recordDir() + "/wineboot.args"));
            QDir().mkpath(library);
        }
        QTRY_VERIFY_WITH_TIMEOUT(model->preparingExecutable().isEmpty(), 10000);
        QCOMPARE(model->errorMessage(),
            message + "The unreadable library file at “" + library
                + QStringLiteral("” couldn't be copied aside, so Quillmere won't replace it. "
                                 "Move it elsewhere to save again."));
        QVERIFY(model->entries().isEmpty());
        QVERIFY(model->runningIDs().isEmpty());
        QVERIFY(QDir(sandbox.dataFolder() + "/Prefixes").isEmpty());
        QVERIFY(QDir(sandbox.dataFolder() + "/Logs").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLaunchSessions)
#include "tst_launchsessions.moc"
