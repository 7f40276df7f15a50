#include "library/LibraryFile.h"
#include "library/LibraryList.h"
#include "library/LibraryStore.h"
#include "platform/RegularFile.h"
#include "support/TestSupport.h"

#include <QAbstractItemModelTester>
#include <QLockFile>

#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;
using namespace Qt::StringLiterals;

namespace {
QString readFailure(const QString &keptAt, const QString &reason)
{
    return "Quillmere couldn't read its library. The saved file is still available at:\n" + keptAt
        + "\n\n" + reason;
}

const QString unreadable = "Quillmere couldn't read its library:\n";

QStringList unreadableCopies(const QString &folder)
{
    return QDir(folder).entryList({"library-unreadable-*.json"}, QDir::Files, QDir::Name);
}
} // namespace

// The library and its file; several processes and windows share one file, and none of them
// loses another's change.
class TestLibraryModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Keys another version added survive a save, and a change that can't be saved stays.
    void firstStartAddLoadUpdateAndFailToSave()
    {
        Sandbox sandbox;
        const auto model = sandbox.model();
        QVERIFY(model->entries().isEmpty());
        QVERIFY(model->selectedID().isNull());
        QCOMPARE(model->errorMessage(), QString());
        QVERIFY(QFileInfo(sandbox.dataFolder()).isDir());
        QVERIFY(!QFile::exists(model->libraryPath()));

        const GameEntry one {.name = "One"};
        GameEntry two {.name = "Two"};
        QSignalSpy changed(model.get(), &LibraryModel::entriesChanged);
        model->add(one);
        model->add(two);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(model->selectedID(), two.id);
        QCOMPARE(readFile(model->libraryPath()), LibraryFile::encode({one, two}));

        two.unknownKeys.insert("extra", true);
        writeFile(
            model->libraryPath(), LibraryFile::encode({one, two}, LibraryFile::Keys::withUnknown));
        const auto loaded = sandbox.model();
        QVERIFY(loaded->entries() == QList<GameEntry>({one, two}));
        QCOMPARE(loaded->selectedID(), one.id);
        QCOMPARE(loaded->errorMessage(), QString());

        two.name = "Two renamed";
        loaded->update(two);
        QVERIFY(loaded->entries() == QList<GameEntry>({one, two}));
        QCOMPARE(readFile(loaded->libraryPath()),
            LibraryFile::encode({one, two}, LibraryFile::Keys::withUnknown));

        // An entry no program could receive whole is refused, and nothing is written.
        writeFile(loaded->libraryPath(), "sentinel");
        QSignalSpy updated(loaded.get(), &LibraryModel::entriesChanged);
        loaded->add({.name = "Cut", .environment = {{"A", "a" + QString(QChar::Null)}}});
        QCOMPARE(loaded->errorMessage(),
            "“Cut” has an argument or environment value with a NUL character, which no program "
            "can receive, so it wasn't saved.");
        QCOMPARE(readFile(loaded->libraryPath()), QByteArray("sentinel"));
        QCOMPARE(updated.count(), 0);

        // The data folder vanishes and a file takes its place, so it can't be made again: the
        // change stays in memory.
        QVERIFY(QDir(sandbox.dataFolder()).removeRecursively());
        writeFile(sandbox.dataFolder(), "not a folder");
        const GameEntry kept {.name = "Kept"};
        loaded->add(kept);
        QCOMPARE(loaded->entries().size(), 3);
        QCOMPARE(loaded->selectedID(), kept.id);
        const QString cause
            = "\nQuillmere couldn't create the folder “" + sandbox.dataFolder() + "”.";
        QCOMPARE(loaded->errorMessage(), "Quillmere couldn't save its library:" + cause);
        // A start now has no saved file to point at, and doesn't claim one.
        QCOMPARE(sandbox.model()->errorMessage(), "Quillmere couldn't read its library:" + cause);
    }

    void unreadableLibraryIsKeptAside()
    {
        const QByteArray content = "{{{";
        Sandbox sandbox;
        const QString libraryPath = sandbox.dataFolder() + "/library.json";
        writeFile(libraryPath, content);
        QString copy;
        {
            const auto model = sandbox.model();
            QVERIFY(model->entries().isEmpty());
            QVERIFY(model->selectedID().isNull());
            const QStringList copies = unreadableCopies(sandbox.dataFolder());
            QCOMPARE(copies.size(), 1);
            copy = sandbox.dataFolder() + u'/' + copies.first();
            QCOMPARE(model->errorMessage(),
                readFailure(copy, "The file isn't valid JSON (unterminated object at byte 2)."));
            QCOMPARE(readFile(libraryPath), content); // left as it is until the next change
            model->add(GameEntry {.name = "New"});
            QCOMPARE(savedNames(model->libraryPath()), QStringList({"New"}));

            // Another program leaves it unreadable while the model is open: the next save
            // keeps that file aside too, and says so.
            writeFile(libraryPath, "[");
            model->add(GameEntry {.name = "Newer"});
            QCOMPARE(savedNames(model->libraryPath()), QStringList({"New", "Newer"}));
            QStringList added = unreadableCopies(sandbox.dataFolder());
            added.removeOne(copies.first());
            QCOMPARE(added.size(), 1);
            const QString aside = sandbox.dataFolder() + u'/' + added.first();
            QCOMPARE(readFile(aside), QByteArray("["));
            QCOMPARE(model->errorMessage(),
                "Another program left the library file unreadable, so Quillmere saved over it; "
                "that file is still available at:\n"
                    + aside + "\n\nThe file isn't valid JSON (unterminated array at byte 1).");
        }
        // The same unreadable bytes at a later start reuse their copy instead of piling up
        // new ones, and a different unreadable file never replaces an earlier copy.
        writeFile(libraryPath, content);
        sandbox.model();
        QCOMPARE(unreadableCopies(sandbox.dataFolder()).size(), 2);
        writeFile(libraryPath, content + "junk");
        sandbox.model();
        QCOMPARE(unreadableCopies(sandbox.dataFolder()).size(), 3);
        QCOMPARE(readFile(copy), content); // the user's bytes survive every save
    }

    // What can't be read and can't be copied aside is refused in one sentence, at once, and is
    // never replaced until the user moves it; so is a lock that isn't a plain file. The writer
    // itself replaces nothing but a regular file, whatever let a save through.
    void notARegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name"); // of the file it takes the place of
        QTest::addColumn<QString>("message"); // on load; PATH: the file, DATA: the data folder
        QTest::addColumn<QString>("refusal"); // of a save
        QTest::addColumn<bool>("replaceable"); // by the writer alone
        const QString library = "library.json";
        const QString lock = "library.json.lock";
        const QString kept = "The unreadable library file at “PATH” couldn't be copied aside, so "
                             "Quillmere won't replace it. Move it elsewhere to save again.";
        const auto row = [&](const char *name, const char *kind, const char *reason) {
            QTest::newRow(name) << kind << library
                                << unreadable + "The library file “PATH” " + reason << kept
                                << (kind == QLatin1String("dangling"));
        };
        const QString pipe = "is a named pipe, not a regular file.";
        row("named pipe", "pipe", "is a named pipe, not a regular file.");
        row("link to a named pipe", "link",
            "links to “DATA/pipe”, which is a named pipe, not a regular file.");
        row("dangling link", "dangling", "links to “DATA/gone.json”, which doesn't exist.");
        row("looping link", "loop", "is a link in a loop that never reaches a file.");
        row("folder", "folder", "is a folder, not a regular file.");
        QTest::newRow("larger than the limit")
            << "huge" << library
            << readFailure(
                   "PATH", "The file is larger than 256 MiB, far more than any library needs.")
            << kept << true;
        const QString locked = "The library's lock file “PATH” ";
        QTest::newRow("named pipe as the lock")
            << "pipe" << lock << QString() << locked + pipe << true;
        QTest::newRow("folder as the lock")
            << "folder" << lock << QString() << locked + "is a folder, not a regular file." << true;
        QTest::newRow("link as the lock")
            << "link" << lock << QString() << locked + "is a symbolic link, not a regular file."
            << true;
    }
    void notARegularFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, message);
        QFETCH(QString, refusal);
        QFETCH(bool, replaceable);
        Sandbox sandbox;
        const QString path = sandbox.dataFolder() + u'/' + name;
        const QByteArray encoded = QFile::encodeName(path);
        QDir().mkpath(sandbox.dataFolder());
        const QByteArray pipe = QFile::encodeName(sandbox.dataFolder() + "/pipe");
        if (kind == u"pipe") {
            QCOMPARE(::mkfifo(encoded, 0600), 0);
        } else if (kind == u"link") {
            QCOMPARE(::mkfifo(pipe, 0600), 0);
            QCOMPARE(::symlink(pipe, encoded), 0);
        } else if (kind == u"dangling") {
            QCOMPARE(::symlink(QFile::encodeName(sandbox.dataFolder() + "/gone.json"), encoded), 0);
        } else if (kind == u"loop") {
            QCOMPARE(::symlink(encoded, encoded), 0);
        } else if (kind == u"folder") {
            writeFile(path + "/inside", "precious");
        } else {
            QFile huge(path);
            QVERIFY(huge.open(QIODevice::WriteOnly)); // sparse: no disk space taken
            QVERIFY(huge.resize(LibraryStore::maximumFileSize + 1));
        }
        const FileKind before = FileKind::of(path);
        const auto expected = [&](const QString &text) {
            return QString(text).replace("PATH", path).replace("DATA", sandbox.dataFolder());
        };

        // Away from the test's thread: a read or a lock that blocks must fail the test, not
        // hang it.
        QString loaded;
        auto loading = std::async(std::launch::async, [&] {
            auto built = sandbox.model();
            loaded = built->errorMessage();
            built->add(GameEntry {.name = "New"});
            built->moveToThread(QCoreApplication::instance()->thread());
            return built;
        });
        if (loading.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
            qFatal("The library blocked.");
        const auto model = loading.get();
        QCOMPARE(loaded, expected(message));
        QVERIFY(unreadableCopies(sandbox.dataFolder()).isEmpty());
        QCOMPARE(
            model->errorMessage(), "Quillmere couldn't save its library:\n" + expected(refusal));
        if (!replaceable) {
            const auto write = LibraryFile::write(path, "[]");
            QCOMPARE(write.hasValue() ? QString() : write.error(),
                expected(message).mid(unreadable.size()));
        }
        const FileKind after = FileKind::of(path);
        QVERIFY(after.kind == before.kind && after.size == before.size);

        // Once the user has moved it away, saving works again, and what waited goes with it.
        QCOMPARE(::rename(encoded, QFile::encodeName(sandbox.path("moved"))), 0);
        model->setErrorMessage({});
        model->add(GameEntry {.name = "Second"});
        QCOMPARE(model->errorMessage(), QString());
        QCOMPARE(savedNames(model->libraryPath()), QStringList({"New", "Second"}));
    }

    void removeMovesSelection_data()
    {
        QTest::addColumn<int>("selected"); // -1: nothing selected
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("expectedSelection"); // index into the original list, -1: none
        QTest::newRow("selected one goes, first remaining selected") << 1 << 1 << 0;
        QTest::newRow("selected first goes, new first selected") << 0 << 0 << 1;
        QTest::newRow("unselected one goes, selection kept") << 2 << 0 << 2;
        QTest::newRow("no selection stays none") << -1 << 1 << -1;
    }
    void removeMovesSelection()
    {
        QFETCH(int, selected);
        QFETCH(int, removed);
        QFETCH(int, expectedSelection);
        Sandbox sandbox;
        const auto model = sandbox.model();
        QList<GameEntry> all {{.name = "A"}, {.name = "B"}, {.name = "C"}};
        for (const GameEntry &entry : all)
            model->add(entry);
        model->setSelectedID(selected < 0 ? QUuid() : all.at(selected).id);
        model->remove(all.at(removed));
        QCOMPARE(model->entries().size(), 2);
        QVERIFY(!model->entry(all.at(removed).id));
        QCOMPARE(
            model->selectedID(), expectedSelection < 0 ? QUuid() : all.at(expectedSelection).id);
        QCOMPARE(savedNames(model->libraryPath()).size(), 2);

        // Removing the rest leaves nothing selected and an empty list saved.
        all.removeAt(removed);
        for (const GameEntry &entry : all)
            model->remove(entry);
        QVERIFY(model->entries().isEmpty());
        QVERIFY(model->selectedID().isNull());
        QCOMPARE(readFile(model->libraryPath()), QByteArray("[]"));
    }

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
    // running state, and its own next change keeps the other's entry. Its saves wait for another
    // process's lock on a worker thread: its list changes at once, the file once the lock is
    // free, in order, and nothing unsaved is lost at the end.
    void theWindowFollowsTheFileAndNeverWaitsForTheLock()
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
        const QString file = window->libraryPath();
        const QStringList saved {u"Game"_s, u"Other 0"_s, u"Third"_s};
        QTRY_COMPARE(savedNames(file), saved);

        QLockFile locked(sandbox.dataFolder() + u"/library.json.lock"_s);
        QVERIFY(locked.lock());
        window->add(sandbox.readyEntry(u"First"_s));
        window->add(sandbox.readyEntry(u"Second"_s));
        QCOMPARE(window->entries().size(), 5);
        QVERIFY(window->errorMessage().isEmpty()); // a wait here would have timed out
        QCOMPARE(savedNames(file), saved);
        locked.unlock();
        QTRY_COMPARE(savedNames(file), saved + QStringList({u"First"_s, u"Second"_s}));
        window->add(sandbox.readyEntry(u"Last"_s));
        window.reset();
        QCOMPARE(savedNames(file), saved + QStringList({u"First"_s, u"Second"_s, u"Last"_s}));
    }
};

QTEST_GUILESS_MAIN(TestLibraryModel)
#include "tst_librarymodel.moc"
