#include "WindowHarness.h"
#include "library/LibraryFile.h"
#include "platform/SameUser.h"
#include "ui/shell/WindowHandoff.h"

#include <QFileOpenEvent>
#include <QLocalServer>
#include <QLocalSocket>

using namespace Qt::StringLiterals;
using namespace TestSupport;

class TestHandoff : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtimeFolder; // closed to others, as a runtime folder is

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", m_runtimeFolder.path().toUtf8()); }

    // A second start hands its file (made absolute from where it started) or its wish to see the
    // window, with its activation token, to the running window, and leaves once the window has done
    // it, or with the window's sentence when it could not. Each file goes with a start of its own;
    // only the last may fail.
    void secondStartHandsOff_data()
    {
        QTest::addColumn<QString>("window"); // what the window is doing
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("error");
        const QByteArray notAProgram = "Choose a Windows executable file ending in .exe.\n";
        const QStringList two {u"First.exe"_s, u"Second.exe"_s};
        QTest::newRow("a name with a line break")
            << u"ready"_s << QStringList {u"two\nlines ü.txt"_s} << 1 << notAProgram;
        QTest::newRow("no file") << u"ready"_s << QStringList() << 0 << QByteArray();
        // The second arrives while the first one's prefix is prepared, and waits its turn.
        QTest::newRow("two programs") << u"ready"_s << two << 0 << QByteArray();
        QTest::newRow("two programs before Wine is set up")
            << u"no Wine"_s << two << 1
            << "Quillmere is already waiting for Wine setup to run “First.exe”, so it didn’t "
               "take “Second.exe”.\n"_ba;
        QTest::newRow("a program while a sheet is open")
            << u"no Wine, editing"_s << QStringList {u"First.exe"_s} << 1
            << "Quillmere can’t set up Wine to run “First.exe” while another sheet is open.\n"_ba;
    }
    void secondStartHandsOff()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, files);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, error);
        WindowHarness harness;
        *harness.wineReady = window == u"ready"_s;
        MainWindow &view = harness.open();
        if (window.endsWith(u"editing"_s))
            view.showEditor(std::nullopt);
        WindowHandoff handoff;
        QCOMPARE(handoff.listen(harness.sandbox.path(u"Quillmere"_s)), QString());
        handoff.attach(view);
        QSignalSpy shown(&handoff, &WindowHandoff::showRequested);
        QSignalSpy run(&handoff, &WindowHandoff::runRequested);
        const QString folder = harness.sandbox.path(u"files"_s);
        QDir().mkpath(folder);
        for (const QString &name : files)
            writeFile(folder + u'/' + name, "MZ");
        view.showMinimized();
        QProcessEnvironment withToken; // as a desktop starts it
        withToken.insert(u"XDG_ACTIVATION_TOKEN"_s, u"token\t1"_s);
        // Long enough that the second start arrives while the first is prepared, on a busy machine
        // too.
        qputenv("FAKE_WINEBOOT_SLEEP", "8");
        const auto unset = qScopeGuard([] { qunsetenv("FAKE_WINEBOOT_SLEEP"); });

        const qsizetype starts = std::max<qsizetype>(files.size(), 1);
        for (qsizetype i = 0; i < starts; ++i) {
            auto second = startQuillmere(harness.sandbox, files.mid(i, 1), withToken, folder);
            const bool isLast = i == starts - 1;
            QVERIFY(finishes(*second));
            QCOMPARE(second->exitCode(), isLast ? exitCode : 0);
            QCOMPARE(second->readAllStandardOutput(), QByteArray());
            QCOMPARE(second->readAllStandardError(), isLast ? error : QByteArray());
            if (!isLast && *harness.wineReady)
                QCOMPARE(harness.library->preparingExecutable(), u"First"_s); // before it left
        }
        QVERIFY(!view.isMinimized());
        QVERIFY(!qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN")); // not for the window's games
        if (files.isEmpty()) {
            QCOMPARE(shown.count(), 1);
            QCOMPARE(shown.first().first().toByteArray(), "token\t1");
            QCOMPARE(harness.library->errorMessage(), QString());
            return;
        }
        QCOMPARE(run.count(), files.size());
        for (qsizetype i = 0; i < files.size(); ++i) {
            QCOMPARE(run.at(i).at(0).toString(), folder + u'/' + files[i]);
            QCOMPARE(run.at(i).at(1).toByteArray(), "token\t1");
        }
        if (exitCode == 0) {
            // Each run asks the fake Wine its version and boots or copies a prefix: slow on a busy
            // machine.
            QTRY_COMPARE_WITH_TIMEOUT(harness.library->entries().size(), files.size(), 60000);
            QCOMPARE(harness.library->entries().last().executablePath, folder + u"/Second.exe"_s);
        }
        QCOMPARE(harness.library->errorMessage(), QString::fromUtf8(error).trimmed());

        // macOS hands a file opened from the desktop to the running application as an event.
        QFileOpenEvent event(u"/elsewhere/notes.txt"_s);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &event);
        QCOMPARE(run.count(), files.size() + 1);
        QCOMPARE(run.last().at(0).toString(), u"/elsewhere/notes.txt"_s);
    }

    // An applications-menu shortcut's launch goes through the open window, which runs the entry
    // without coming forward, or comes forward with its sentence when it can't.
    void menuLaunchGoesThroughTheWindow_data()
    {
        QTest::addColumn<QString>("wine");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("launched") << fakeWine() << 0 << u"Quillmere’s window launched “Game”.\n"_s;
        QTest::newRow("refused") << u"/nonexistent/wine"_s << 1
                                 << u"Can't find this file or folder:\n/nonexistent/wine\n"_s;
    }
    void menuLaunchGoesThroughTheWindow()
    {
        QFETCH(QString, wine);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        WindowHarness harness;
        MainWindow &view = harness.open();
        GameEntry game = harness.sandbox.readyEntry(u"Game"_s);
        game.winePath = wine;
        game.environment.insert(u"FAKE_WINE_SLEEP"_s, u"5"_s);
        harness.library->add(game);
        // The command reads the library where the real data folder is.
        writeFile(harness.sandbox.path(u"Quillmere/library.json"_s), LibraryFile::encode({game}));
        WindowHandoff handoff;
        QCOMPARE(handoff.listen(harness.sandbox.path(u"Quillmere"_s)), QString());
        handoff.attach(view);
        view.showMinimized();

        auto menu = startQuillmere(
            harness.sandbox, {u"launch"_s, game.idString(), u"--through-window"_s});
        QVERIFY(finishes(*menu));
        QCOMPARE(menu->exitCode(), exitCode);
        QCOMPARE(QString::fromUtf8(
                     exitCode ? menu->readAllStandardError() : menu->readAllStandardOutput()),
            output);
        QCOMPARE(harness.library->isRunning(game.id), exitCode == 0);
        QCOMPARE(view.isMinimized(), exitCode == 0);
    }

    // Anything but a well-formed request is dropped unanswered, and the window goes on listening.
    // A line it does not know after a request is left unread, as a newer start may send one.
    void malformedRequestsAreDropped_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("unknown word") << QByteArray("open /tmp/a.exe\n");
        QTest::newRow("relative path") << QByteArray("run\tnotes.txt\n");
        QTest::newRow("not an id") << QByteArray("launch\t../../etc\n");
        QTest::newRow("not UTF-8") << QByteArray("run\t/%FF%FE.exe\n");
        QTest::newRow("no line end") << QByteArray(100 * 1024, 'a');
        QTest::newRow("too long") << "run\t/" + QByteArray(100 * 1024, 'a') + '\n';
    }
    void malformedRequestsAreDropped()
    {
        QFETCH(QByteArray, bytes);
        Sandbox sandbox;
        WindowHandoff handoff;
        QCOMPARE(handoff.listen(sandbox.dataFolder()), QString());
        QSignalSpy shown(&handoff, &WindowHandoff::showRequested);
        QSignalSpy run(&handoff, &WindowHandoff::runRequested);
        const auto send = [&](const QByteArray &request) {
            QLocalSocket client;
            client.connectToServer(WindowHandoff::socketName(sandbox.dataFolder()));
            client.waitForConnected(1000);
            client.write(request);
            QSignalSpy closed(&client, &QLocalSocket::disconnected);
            return closed.wait(5000) ? client.readAll() : QByteArray("(still open)");
        };
        QCOMPARE(send(bytes), QByteArray());
        QCOMPARE(send("show\nlater\tline\n"), QByteArray("ok\n"));
        QCOMPARE(shown.count(), 1);
        QCOMPARE(run.count(), 0);
    }

    // The socket's folder is one only the user can enter: the runtime folder when it is one, else
    // one made in the temporary folder. Any other folder, and anything but a socket in the
    // socket's place, is refused in one sentence.
    void untrustedPlacesAreRefused_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("otherUser"); // added to our user id for the folder check
        QTest::addColumn<QString>("folderProblem");
        QTest::addColumn<QString>("listenProblem"); // %1: the folder, %2: the socket
        const QString refused = u"Quillmere doesn’t listen for other starts, because “%1” "_s;
        QTest::newRow("missing: made private") << u"missing"_s << 0 << QString() << QString();
        QTest::newRow("open to others") << u"open"_s << 0 << u"is open to other users"_s
                                        << refused + u"is open to other users."_s;
        QTest::newRow("a link") << u"link"_s << 0 << u"is a link"_s << refused + u"is a link."_s;
        QTest::newRow("a file") << u"file"_s << 0 << u"isn’t a folder"_s
                                << refused + u"isn’t a folder."_s;
        QTest::newRow("another user's")
            << u"private"_s << 1 << u"belongs to another user"_s << QString();
        QTest::newRow("a folder at the socket")
            << u"socket folder"_s << 0 << QString()
            << u"Quillmere can’t listen for other starts, because something else is at “%2”."_s;
    }
    void untrustedPlacesAreRefused()
    {
        QFETCH(QString, setup);
        QFETCH(int, otherUser);
        QFETCH(QString, folderProblem);
        QFETCH(QString, listenProblem);
        Sandbox sandbox;
        const SameUser::UserID user = SameUser::current();
        const QString folder = sandbox.path(u"tmp/quillmere-%1"_s.arg(user));
        QDir().mkpath(sandbox.path(u"tmp"_s));
        // Offered as the runtime folder, and the fallback too: neither way may take it.
        const QByteArray tmp = qgetenv("TMPDIR"), runtime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", sandbox.path(u"tmp"_s).toUtf8());
        qputenv("XDG_RUNTIME_DIR", folder.toUtf8());
        const auto restore = qScopeGuard([&] {
            qputenv("TMPDIR", tmp);
            qputenv("XDG_RUNTIME_DIR", runtime);
        });
        const QString linked = sandbox.path(u"elsewhere"_s);
        QDir().mkpath(linked);
        QFile::setPermissions(linked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (setup == u"link"_s)
            QVERIFY(QFile::link(linked, folder));
        else if (setup == u"file"_s)
            writeFile(folder, "");
        else if (setup != u"missing"_s)
            QVERIFY(QDir().mkdir(folder)
                && QFile::setPermissions(folder,
                    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                        | (setup == u"open"_s ? QFile::ReadOther | QFile::ExeOther
                                              : QFile::Permissions())));
        const QString socket = WindowHandoff::socketName(sandbox.dataFolder());
        if (setup == u"socket folder"_s)
            QDir().mkpath(socket);
        if (setup != u"missing"_s)
            QCOMPARE(SameUser::folderProblem(folder, user + otherUser), folderProblem);
        if (otherUser != 0)
            return; // being another user takes more than a test may do

        WindowHandoff handoff;
        QCOMPARE(handoff.listen(sandbox.dataFolder()),
            QString(listenProblem).replace(u"%1"_s, folder).replace(u"%2"_s, socket));
        QCOMPARE(handoff.isListening(), listenProblem.isEmpty());
        if (handoff.isListening()) {
            QCOMPARE(QFileInfo(socket).path(), folder);
            QCOMPARE(SameUser::folderProblem(folder, user), QString());
        }
    }

    // Only a peer known to be this user is trusted (a real connection's end is trusted by every
    // hand-off above).
    void onlyTheSameUserIsTrusted()
    {
        QVERIFY(!SameUser::trusts(SameUser::current() + 1, SameUser::current()));
        QVERIFY(!SameUser::trusts(std::nullopt, SameUser::current()));
    }

    // A window that holds the socket but does not answer keeps it: the start says so and gives
    // up after a few seconds instead of waiting for ever or opening a second window. A socket
    // left by a window that was killed is taken over; a live window's socket is not.
    void silentOrStaleSockets()
    {
        Sandbox sandbox;
        const QString socket = WindowHandoff::socketName(sandbox.path(u"Quillmere"_s));
        {
            QLocalServer silent;
            QVERIFY(silent.listen(socket));
            auto second = startQuillmere(sandbox, {});
            QVERIFY(finishes(*second, 15000));
            QCOMPARE(second->exitCode(), 1);
            QVERIFY(second->readAllStandardError().contains("window is open but does not answer"));
            QVERIFY(QFileInfo::exists(socket));
        }
        auto first = startQuillmere(sandbox, {});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 20000);
        WindowHandoff handoff;
        QVERIFY(!handoff.listen(sandbox.path(u"Quillmere"_s)).isEmpty());
        first->kill();
        QVERIFY(finishes(*first));
        QVERIFY(QFileInfo::exists(socket));

        QCOMPARE(handoff.listen(sandbox.path(u"Quillmere"_s)), QString());
        QSignalSpy shown(&handoff, &WindowHandoff::showRequested);
        auto second = startQuillmere(sandbox, {});
        QVERIFY(finishes(*second));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(shown.count(), 1);
    }

    // Starts at the same moment end with one window: the others hand off to it.
    void simultaneousStartsOpenOneWindow()
    {
        Sandbox sandbox;
        std::vector<std::unique_ptr<QProcess>> starts;
        for (int i = 0; i < 3; ++i)
            starts.push_back(startQuillmere(sandbox, {}));
        const auto handedOff = [&] {
            return std::count_if(starts.begin(), starts.end(), [](const auto &start) {
                return start->state() == QProcess::NotRunning && start->exitCode() == 0;
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(handedOff(), 2, 20000);
        QTest::qWait(500);
        QCOMPARE(handedOff(), 2);
        for (const auto &start : starts)
            start->kill();
        QLocalServer::removeServer(WindowHandoff::socketName(sandbox.path(u"Quillmere"_s)));
    }
};

QTEST_MAIN(TestHandoff)
#include "tst_handoff.moc"
