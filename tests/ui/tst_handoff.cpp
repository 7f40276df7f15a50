#include "WindowHarness.h"
#include "ui/WindowHandoff.h"

#include <QFileOpenEvent>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using TestSupport::Sandbox;

namespace {

// The real executable, started for the window from `folder`. With XDG_DATA_HOME at the
// sandbox's root, its data folder is the sandbox's "Quillmere".
std::unique_ptr<QProcess> startQuillmere(
    const Sandbox &sandbox, const QStringList &arguments, const QString &folder)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_DATA_HOME"_s, sandbox.root());
    environment.insert(u"XDG_CONFIG_HOME"_s, sandbox.path(u"config"_s));
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    for (const char *name :
        {"QUILLMERE_WEBSITE_URL", "QUILLMERE_STEAM_STORE_URL", "QUILLMERE_STEAM_API_URL"})
        environment.insert(QLatin1String(name), u"http://127.0.0.1:9"_s);
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(folder);
    process->start(QStringLiteral(QUILLMERE_EXECUTABLE), arguments);
    return process;
}

// Waits with the event loop turning, so that a window in this process can answer.
bool finishes(QProcess &process, int timeout = 20000)
{
    QSignalSpy finished(&process, &QProcess::finished);
    return process.state() == QProcess::NotRunning || finished.wait(timeout);
}

} // namespace

class TestHandoff : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A second start hands its file (made absolute from where it started) or its wish to see the
    // window to the running window, and leaves without a word.
    void secondStartHandsOff_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("a file") << QStringList {u"notes.txt"_s};
        QTest::newRow("a name with a line break") << QStringList {u"two\nlines ü.txt"_s};
        QTest::newRow("no file") << QStringList();
    }
    void secondStartHandsOff()
    {
        QFETCH(QStringList, arguments);
        WindowHarness harness;
        *harness.wineReady = true;
        LibraryView &window = harness.open();
        WindowHandoff handoff;
        QCOMPARE(handoff.listen(harness.sandbox.path(u"Quillmere"_s)), QString());
        handoff.attach(window);
        QSignalSpy shown(&handoff, &WindowHandoff::showRequested);
        QSignalSpy run(&handoff, &WindowHandoff::runRequested);
        const QString folder = harness.sandbox.path(u"files"_s);
        QDir().mkpath(folder);
        for (const QString &name : arguments)
            TestSupport::writeFile(folder + u'/' + name, "text");
        window.showMinimized();

        auto second = startQuillmere(harness.sandbox, arguments, folder);
        QVERIFY(finishes(*second));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(second->readAll(), QByteArray());
        QVERIFY(!window.isMinimized());
        if (arguments.isEmpty()) {
            QCOMPARE(shown.count(), 1);
            QCOMPARE(harness.library->errorMessage(), QString());
            return;
        }
        QCOMPARE(run.count(), 1);
        QCOMPARE(run.at(0).at(0).toString(), folder + u'/' + arguments.first());
        QVERIFY(!harness.library->errorMessage().isEmpty()); // the window ran it: not a program

        // macOS hands a file opened from the desktop to the running application as an event.
        QFileOpenEvent event(u"/elsewhere/notes.txt"_s);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &event);
        QCOMPARE(run.count(), 2);
        QCOMPARE(run.at(1).at(0).toString(), u"/elsewhere/notes.txt"_s);
    }

    // Anything but a well-formed request is dropped unanswered, and the window goes on listening.
    void malformedRequestsAreDropped_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("unknown word") << QByteArray("open /tmp/a.exe\n");
        QTest::newRow("relative path") << QByteArray("run\tnotes.txt\n");
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
        QCOMPARE(send("show\n"), QByteArray("ok\n"));
        QCOMPARE(shown.count(), 1);
        QCOMPARE(run.count(), 0);
    }

    // A socket left by a window that was killed is taken over; a live window's socket is not.
    void staleSocketIsReplaced()
    {
        Sandbox sandbox;
        const QString socket = WindowHandoff::socketName(sandbox.path(u"Quillmere"_s));
        auto first = startQuillmere(sandbox, {}, sandbox.root());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 20000);
        WindowHandoff handoff;
        QVERIFY(!handoff.listen(sandbox.path(u"Quillmere"_s)).isEmpty());
        first->kill();
        QVERIFY(finishes(*first));
        QVERIFY(QFileInfo::exists(socket));

        QCOMPARE(handoff.listen(sandbox.path(u"Quillmere"_s)), QString());
        QSignalSpy shown(&handoff, &WindowHandoff::showRequested);
        auto second = startQuillmere(sandbox, {}, sandbox.root());
        QVERIFY(finishes(*second));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(shown.count(), 1);
    }

    // A window that holds the socket but does not answer keeps it: the start says so and gives
    // up after a few seconds instead of waiting for ever or opening a second window.
    void silentWindowIsLeftAlone()
    {
        Sandbox sandbox;
        QLocalServer silent;
        QVERIFY(silent.listen(WindowHandoff::socketName(sandbox.path(u"Quillmere"_s))));
        auto second = startQuillmere(sandbox, {}, sandbox.root());
        QVERIFY(finishes(*second, 15000));
        QCOMPARE(second->exitCode(), 1);
        QVERIFY(second->readAllStandardError().contains("window is open but does not answer"));
        QVERIFY(QFileInfo::exists(silent.fullServerName()));
    }

    // Starts at the same moment end with one window: the others hand off to it.
    void simultaneousStartsOpenOneWindow()
    {
        Sandbox sandbox;
        std::vector<std::unique_ptr<QProcess>> starts;
        for (int i = 0; i < 3; ++i)
            starts.push_back(startQuillmere(sandbox, {}, sandbox.root()));
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
