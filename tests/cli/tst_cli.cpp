#include "library/LibraryFile.h"
#include "profiles/SteamGameCatalog.h"
#include "support/LoopbackServer.h"
#include "support/SetupSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;
using namespace Qt::StringLiterals;

namespace {
struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// The real executable, with its application data under the sandbox and every web address on
// loopback. The event loop keeps turning meanwhile, so a server in this process can answer it.
Run quillmere(
    const Sandbox &sandbox, const QStringList &arguments, const QProcessEnvironment &extra = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_DATA_HOME"_s, sandbox.root());
    environment.insert(u"XDG_CONFIG_HOME"_s, sandbox.path(u"config"_s));
    for (const char *name :
        {"QUILLMERE_WEBSITE_URL", "QUILLMERE_STEAM_STORE_URL", "QUILLMERE_STEAM_API_URL"})
        environment.insert(QLatin1String(name), u"http://127.0.0.1:9"_s);
    // No display either: the commands never need one.
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.insert(QLatin1String(name), QString());
    environment.insert(extra);
    process.setProcessEnvironment(environment);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral(QUILLMERE_EXECUTABLE), arguments);
    if (!finished.wait(600000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
        QString::fromUtf8(process.readAllStandardError())};
}

QString libraryPath(const Sandbox &sandbox)
{
    return sandbox.path(u"Quillmere/library.json"_s);
}
} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Names are data: one row each, where a terminal never receives their escape sequences,
    // while JSON is the library's own form and keeps the exact texts.
    void listing()
    {
        Sandbox sandbox;
        GameEntry hand = sandbox.readyEntry(u"Hand"_s);
        hand.arguments = {u"-x"_s, u"b c"_s};
        const QList<GameEntry> entries
            = {hand, sandbox.readyEntry(u"Bad\u001b]0;owned\u0007\tName\u009b"_s)};
        writeFile(libraryPath(sandbox), LibraryFile::encode(entries));

        const Run plain = quillmere(sandbox, {u"list"_s});
        QCOMPARE(plain.err, QString());
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(plain.out,
            entries.at(0).idString() + u"  Hand\n"_s + entries.at(1).idString()
                + u"  Bad\\e]0;owned\\x07\\tName\\x9b\n"_s);
        const Run json = quillmere(sandbox, {u"list"_s, u"--json"_s});
        QCOMPARE(json.exitCode, 0);
        QCOMPARE(json.out.toUtf8(), LibraryFile::encode(entries) + '\n');

        const Run help = quillmere(sandbox, {u"help"_s});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith(u"Usage: quillmere COMMAND"_s));
    }

    void unreadableLibraryIsAnError()
    {
        Sandbox sandbox;
        writeFile(libraryPath(sandbox), "[oops");
        const Run run = quillmere(sandbox, {u"list"_s, u"--json"_s});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QString()); // not even "[]": an unreadable library is not an empty one
        QVERIFY(run.err.startsWith(
            u"Quillmere couldn't read its library. The saved file is still available at:\n"_s
            + sandbox.path(u"Quillmere/library-unreadable-"_s)));
        QCOMPARE(readFile(libraryPath(sandbox)), QByteArray("[oops"));
    }

    // The exact standard error; a usage error (exit code 2) adds the pointer to "help".
    void errors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        const QString noDisplay = u"Quillmere can't open its window: no display was found (neither "
                                  "DISPLAY nor WAYLAND_DISPLAY is set). The commands work without "
                                  "one; run “quillmere help” to list them."_s;
        QTest::newRow("window") << QStringList() << 1 << noDisplay;
        QTest::newRow("window for a program") << QStringList({"Setup.exe"}) << 1 << noDisplay;
        QTest::newRow("unknown command")
            << QStringList({"dance"}) << 2 << "Quillmere has no command “dance”.";
        QTest::newRow("launch without entry") << QStringList(
            {"launch"}) << 2 << "“launch” takes one library entry: its id or its name.";
        QTest::newRow("list with junk")
            << QStringList({"list", "--xml"}) << 2 << "“list” takes only the option --json.";
        QTest::newRow("runtimes with junk")
            << QStringList({"runtimes", "-j"}) << 2 << "“runtimes” takes only the option --json.";
        QTest::newRow("unknown entry") << QStringList({"stop", "Nobody"}) << 1
                                       << "No library entry has the id or name “Nobody”.";
        QTest::newRow("ambiguous name")
            << QStringList({"log", "Twin"}) << 1
            << "Several library entries are named “Twin”; give its id instead.";
        QTest::newRow("no log yet")
            << QStringList({"log", "Solo"}) << 1
            << "There isn't a launch log for this game yet. Launch it once, then try again.";
        QTest::newRow("launch failure") << QStringList({"launch", "Broken"}) << 1
                                        << "Can't find this file or folder:\n/nonexistent/wine";
    }
    void errors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        Sandbox sandbox;
        GameEntry broken = sandbox.readyEntry(u"Broken"_s);
        broken.winePath = u"/nonexistent/wine"_s;
        const QByteArray library = LibraryFile::encode({sandbox.readyEntry(u"Twin"_s),
            sandbox.readyEntry(u"Twin"_s), sandbox.readyEntry(u"Solo"_s), broken});
        writeFile(libraryPath(sandbox), library);
        const Run run = quillmere(sandbox, arguments);
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode == 2)
            error += u"\nRun “quillmere help” for the list of commands."_s;
        QCOMPARE(run.err, error + u'\n');
        QCOMPARE(run.out, QString());
        QCOMPARE(readFile(libraryPath(sandbox)), library);
    }

    void launchLogAndStop()
    {
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry(u"Chess"_s);
        entry.arguments = {u"--fast"_s};
        entry.environment.insert(u"FAKE_WINE_EXIT"_s, u"3"_s);
        writeFile(libraryPath(sandbox), LibraryFile::encode({entry}));

        // A launcher that fails is a failed launch (Wine could not start the program).
        const Run launch = quillmere(sandbox, {u"launch"_s, u"Chess"_s});
        QCOMPARE(launch.err, QString());
        QCOMPARE(launch.exitCode, 1);
        QCOMPARE(launch.out,
            u"Started Chess.\nThe Wine launcher exited with code 3. The game may "
            "still be running; use Stop Wine to check the prefix.\n"_s);

        const Run log = quillmere(sandbox, {u"log"_s, entry.idString().toLower()});
        QCOMPARE(log.exitCode, 0);
        QVERIFY(log.out.startsWith(u"fake wine ran "_s + entry.executablePath + u" --fast\n"_s));

        const Run stop = quillmere(sandbox, {u"stop"_s, u"Chess"_s});
        QCOMPARE(stop.exitCode, 0);
        QCOMPARE(stop.out, u"Sent a stop request to Wine for Chess's prefix.\n"_s);

        entry.environment.insert(u"FAKE_WINESERVER_EXIT"_s, u"4"_s);
        writeFile(libraryPath(sandbox), LibraryFile::encode({entry}));
        const Run refused = quillmere(sandbox, {u"stop"_s, u"Chess"_s});
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.err,
            u"Wine's wineserver returned exit code 4. Check the session log for details.\n"_s);
    }

    // A runtime in Quillmere's own folder: its name sorts before any Wine the machine has.
    void runtimesAndRun()
    {
        Sandbox sandbox;
        const QString bin = sandbox.path(u"Quillmere/Runtimes/engine-a/bin"_s);
        installFakeRuntime(bin);
        const Run json = quillmere(sandbox, {u"runtimes"_s, u"--json"_s});
        QCOMPARE(json.exitCode, 0);
        QVERIFY2(json.out.startsWith(u"[{\"name\":\"engine-a\",\"winePath\":\""_s + bin
                     + u"/wine\",\"wineServerPath\":\""_s + bin + u"/wineserver\"}"_s),
            qPrintable(json.out));
        const Run plain = quillmere(sandbox, {u"runtimes"_s});
        QVERIFY(plain.out.startsWith(u"engine-a: "_s + bin + u"/wine (default)\n"_s));

        // Running needs GStreamer before it looks at the file.
        if (std::ranges::none_of(SetupSystem::current().gstreamerPaths,
                [](const QString &path) { return QFileInfo::exists(path); }))
            QSKIP("No GStreamer on this machine: \"run\" stops before the file check.");
        writeFile(sandbox.path(u"readme.txt"_s), "text");
        const Run run = quillmere(sandbox, {u"run"_s, sandbox.path(u"readme.txt"_s)});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err, u"Choose a Windows executable file ending in .exe.\n"_s);
    }

    // The web site's list, or the included one; the status line goes to standard error.
    void profiles()
    {
        QJsonObject evil = SteamGameCatalog::games().first().toJson();
        evil.insert(u"id"_s, u"evil"_s);
        evil.insert(u"name"_s, u"Evil\u001b[2J\u009b1mGame"_s);
        evil.insert(u"edition"_s, u"PC\nedition\u007f"_s);
        evil.insert(u"storefronts"_s, QJsonArray {u"steam"_s, u"battleNet"_s});
        evil.insert(u"appID"_s, u"42"_s);
        const QJsonArray rows {evil, SteamGameCatalog::games().at(1).toJson()};
        LoopbackServer server;
        server.route(u"/game-profiles.json"_s,
            {200, QJsonDocument(QJsonObject {{"schemaVersion", 1}, {"games", rows}}).toJson()});
        QProcessEnvironment site;
        site.insert(u"QUILLMERE_WEBSITE_URL"_s, server.url(QString()).toString());
        Sandbox sandbox;

        const Run json = quillmere(sandbox, {u"profiles"_s, u"--json"_s}, site);
        QCOMPARE(json.exitCode, 0);
        QCOMPARE(json.err, u"Synced from 127.0.0.1\n"_s);
        QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8()).array(), rows);
        const Run search = quillmere(sandbox, {u"profiles"_s, u"--search"_s, u"EVIL"_s}, site);
        QCOMPARE(search.out,
            u"evil  Evil\\e[2J\\x9b1mGame (PC\\nedition\\x7f; Steam, Battle.net; Steam app 42)\n"_s);

        const Run offline = quillmere(sandbox, {u"profiles"_s});
        QCOMPARE(offline.exitCode, 0);
        QCOMPARE(offline.err, u"Website list unavailable · using the included catalog\n"_s);
        QCOMPARE(offline.out.count(u'\n'), SteamGameCatalog::games().size());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"