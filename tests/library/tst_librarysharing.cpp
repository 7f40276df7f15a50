#include "library/LibraryFile.h"
#include "library/LibraryList.h"
#include "library/LibraryModel.h"
#include "support/TestSupport.h"

#include <QAbstractItemModelTester>
#include <QLockFile>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>

using namespace TestSupport;
using namespace Qt::StringLiterals;

// Several processes and windows share one library file; none of them loses another's change.
class TestLibrarySharing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Four writers contend more than two would; a lost update shows with either.
    void concurrentWritersLoseNothing()
    {
        constexpr int processes = 4;
        constexpr int perProcess = 200;
        Sandbox sandbox;
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int i = 0; i < processes; ++i) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->setProcessChannelMode(QProcess::ForwardedChannels);
            writers.back()->start(QStringLiteral(QUILLMERE_LIBRARY_WRITER),
                {sandbox.dataFolder(), QString::number(perProcess), u"W%1"_s.arg(i)});
        }
        for (auto &writer : writers) {
            QVERIFY(writer->waitForFinished(120000));
            QCOMPARE(writer->exitCode(), 0);
        }
        const QStringList names = savedNames(sandbox.dataFolder() + u"/library.json"_s);
        QCOMPARE(QSet<QString>(names.cbegin(), names.cend()).size(), processes * perProcess);
        QCOMPARE(names.size(), processes * perProcess);
        // No temporary file or lock is left behind.
        QCOMPARE(QDir(sandbox.dataFolder()).entryList(QDir::Files | QDir::Hidden),
            QStringList({u"library.json"_s}));
    }

    void anEditDoesNotBringBackARemovedEntry_data()
    {
        QTest::addColumn<bool>("reloaded");
        QTest::newRow("before the window reloads") << false;
        QTest::newRow("after the window reloaded") << true;
    }
    void anEditDoesNotBringBackARemovedEntry()
    {
        QFETCH(bool, reloaded);
        Sandbox sandbox;
        const GameEntry game = sandbox.readyEntry(u"Game"_s);
        auto first = sandbox.model();
        first->add(game);
        auto second = sandbox.model();
        second->followFileChanges();
        first->remove(game);
        if (reloaded)
            QTRY_VERIFY(second->entries().isEmpty());

        GameEntry edited = game;
        edited.name = u"Renamed"_s;
        second->update(edited);
        QCOMPARE(second->errorMessage(),
            u"“Renamed” was removed from the library by another Quillmere window or command, so "
            "its changes weren't saved."_s);
        QVERIFY(second->entries().isEmpty());
        QCOMPARE(savedNames(first->libraryPath()), QStringList());
    }

    // Another program's edit that keeps the file's size and puts its time back (cp -p,
    // touch -r) is read before the next save writes over it.
    void anEditThatKeepsSizeAndTimeIsSeen()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        GameEntry game = sandbox.readyEntry(u"Game"_s);
        model->add(game);
        const QByteArray file = QFile::encodeName(model->libraryPath());
        struct stat saved = {};
        QCOMPARE(::stat(file, &saved), 0);
        game.name = u"Gaze"_s;
        writeFile(model->libraryPath(), LibraryFile::encode({game}));
        // Each reset of the time stamps the change time anew, which moves once the clock does.
        struct stat edited = {};
        do {
            const timespec times[] = {saved.st_atim, saved.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, file, times, 0), 0);
            QCOMPARE(::stat(file, &edited), 0);
        } while (edited.st_ctim.tv_sec == saved.st_ctim.tv_sec
            && edited.st_ctim.tv_nsec == saved.st_ctim.tv_nsec);
        QVERIFY(edited.st_size == saved.st_size && edited.st_ino == saved.st_ino);

        model->add(sandbox.readyEntry(u"Other"_s));
        QCOMPARE(savedNames(model->libraryPath()), QStringList({u"Gaze"_s, u"Other"_s}));
    }

    // A save that fails says what wasn't saved in one sentence; a window that quits waits a
    // moment at most for its last save, then says so when it didn't succeed.
    void failedSavesAreTold_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("window");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message"); // DATA: the data folder
        const QString quitting
            = u"Quillmere couldn't save its changes to “W 0” before quitting:\n"_s;
        QTest::newRow("lock held by another process")
            << u"lock"_s << true << 0
            << quitting + u"Another Quillmere window or command still had the library locked."_s;
        QTest::newRow("folder as the lock") << u"folder"_s << true << 0
                                            << quitting
                + u"The library's lock file “DATA/library.json.lock” is a folder, not a regular "
                  "file."_s;
        QTest::newRow("full disk")
            << u"full"_s << false << 1
            << u"Quillmere couldn't save its library:\nThere isn't enough free space on the disk "
               "that holds “DATA”."_s;
    }
    void failedSavesAreTold()
    {
        QFETCH(QString, setup);
        QFETCH(bool, window);
        QFETCH(QString, message);
        Sandbox sandbox;
        const QString data = sandbox.dataFolder();
        QVERIFY(QDir().mkpath(data));
        QLockFile other(data + u"/library.json.lock"_s);
        QString program = QStringLiteral(QUILLMERE_LIBRARY_WRITER);
        QStringList arguments {data, u"1"_s, u"W"_s};
        if (window)
            arguments << u"--window"_s;
        if (setup == u"lock") {
            QVERIFY(other.lock());
        } else if (setup == u"folder") {
            QVERIFY(QDir().mkpath(other.fileName()));
        } else {
            // A small disk of its own holding a saved library, then full but for the page the
            // lock takes; what the library holds is printed once the save has failed.
            const QStringList unshare {u"--user"_s, u"--map-root-user"_s, u"--mount"_s};
            if (QProcess::execute(u"unshare"_s, unshare + QStringList {u"true"_s}) != 0)
                QSKIP("This system lets no test mount a disk of its own.");
            arguments = unshare
                + QStringList {u"sh"_s, u"-c"_s,
                    u"mount -t tmpfs -o size=64k quillmere \"$1\" || exit 77; "
                    "\"$0\" \"$1\" 1 Kept && head -c 4096 /dev/zero >\"$1/spare\" || exit 78; "
                    "cat /dev/zero >\"$1/filler\" 2>/dev/null; rm \"$1/spare\"; "
                    "\"$0\" \"$@\"; status=$?; cat \"$1/library.json\"; exit $status"_s,
                    program}
                + arguments;
            program = u"unshare"_s;
        }
        QProcess writer;
        writer.start(program, arguments);
        // Waiting out the lock twice, as quitting did, would take half a minute.
        QVERIFY(writer.waitForFinished(10000));
        if (writer.exitCode() == 77)
            QSKIP("This system lets no test mount a disk of its own.");
        QCOMPARE(QString::fromUtf8(writer.readAllStandardError()),
            message.replace(u"DATA"_s, data) + u'\n');
        QTEST(writer.exitCode(), "status");
        if (setup == u"full")
            QVERIFY(writer.readAllStandardOutput().contains("\"Kept 0\""));
        else
            QVERIFY(!QFile::exists(data + u"/library.json"_s));
    }

    // The window's model shows another process's change as a new row, keeps its selection and
    // running state, and its own next change keeps the other's entry.
    void theWindowFollowsTheFile()
    {
        Sandbox sandbox;
        GameEntry game = sandbox.readyEntry(u"Game"_s);
        game.environment.insert(u"FAKE_WINE_SLEEP"_s, u"5"_s);
        LibraryContext context = sandbox.context();
        context.saveInBackground = true;
        auto window = std::make_unique<LibraryModel>(context);
        const QAbstractItemModelTester rows(
            &window->list(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&window->list(), &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&window->list(), &QAbstractItemModel::modelReset);
        window->add(game);
        window->followFileChanges();
        window->launch(game);
        QVERIFY(window->isRunning(game.id));

        QProcess other;
        other.start(
            QStringLiteral(QUILLMERE_LIBRARY_WRITER), {sandbox.dataFolder(), u"1"_s, u"Other"_s});
        QVERIFY(other.waitForFinished(20000));
        QTRY_COMPARE_WITH_TIMEOUT(window->entries().size(), 2, 1000);
        QCOMPARE(window->entries().at(1).name, u"Other 0"_s);
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.last().at(1).toInt(), 1);
        QCOMPARE(reset.count(), 0);
        QCOMPARE(window->selectedID(), game.id);
        QVERIFY(window->isRunning(game.id));

        window->add(sandbox.readyEntry(u"Third"_s));
        QTRY_COMPARE(savedNames(window->libraryPath()).size(), 3);
    }

    // The window's saves wait for another process's lock on a worker thread: its list changes
    // at once, the file once the lock is free, in order, and nothing unsaved is lost at the end.
    void theWindowNeverWaitsForTheLock()
    {
        Sandbox sandbox;
        LibraryContext context = sandbox.context();
        context.saveInBackground = true;
        auto window = std::make_unique<LibraryModel>(context);
        QLockFile other(sandbox.dataFolder() + u"/library.json.lock"_s);
        QVERIFY(other.lock());
        window->add(sandbox.readyEntry(u"First"_s));
        window->add(sandbox.readyEntry(u"Second"_s));
        QCOMPARE(window->entries().size(), 2);
        QVERIFY(window->errorMessage().isEmpty()); // a wait here would have timed out
        QVERIFY(!QFile::exists(window->libraryPath()));
        other.unlock();
        const QString file = window->libraryPath();
        QTRY_COMPARE(savedNames(file), QStringList({u"First"_s, u"Second"_s}));
        window->add(sandbox.readyEntry(u"Last"_s));
        window.reset();
        QCOMPARE(savedNames(file), QStringList({u"First"_s, u"Second"_s, u"Last"_s}));
    }
};

QTEST_GUILESS_MAIN(TestLibrarySharing)
#include "tst_librarysharing.moc"
