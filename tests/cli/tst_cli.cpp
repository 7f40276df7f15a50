#include "library/LibraryFile.h"
#include "profiles/SteamGameCatalog.h"
#include "support/SetupSupport.h"

#include <QDBusConnection>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;
using namespace Qt::StringLiterals;

namespace {
struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

QString sessionBus; // the test's own, where notifications arrive; empty: none

// The real executable, with no display either: the commands never need one.
Run quillmere(const Sandbox &sandbox, const QStringList &arguments, QProcessEnvironment extra = {})
{
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        extra.insert(QLatin1String(name), QString());
    extra.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, sessionBus);
    const auto process = startQuillmere(sandbox, arguments, extra);
    if (!finishes(*process, 600000))
        return {};
    return {process->exitCode(), QString::fromUtf8(process->readAllStandardOutput()),
        QString::fromUtf8(process->readAllStandardError())};
}

// What the desktop's launcher passes on, without a display.
QProcessEnvironment headless(const Sandbox &sandbox)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_DATA_HOME"_s, sandbox.root());
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    return environment;
}

QString libraryPath(const Sandbox &sandbox)
{
    return sandbox.path(u"Quillmere/library.json"_s);
}
} // namespace

// The desktop's notification service, under the names freedesktop.org gives it.
class Notifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList shown; // summary, then body

public Q_SLOTS:
    Q_SCRIPTABLE uint Notify(const QString &, uint, const QString &, const QString &summary,
        const QString &body, const QStringList &, const QVariantMap &, int)
    {
        shown << summary << body;
        return 1;
    }
};

class TestCli : public QObject
{
    Q_OBJECT

    QProcess bus;
    Notifications notifications;

private Q_SLOTS:
    void initTestCase()
    {
        bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s});
        if (!bus.waitForStarted() || !bus.waitForReadyRead(5000))
            return;
        sessionBus = QString::fromUtf8(bus.readLine()).trimmed();
        QDBusConnection session = QDBusConnection::connectToBus(sessionBus, u"test"_s);
        QVERIFY(session.registerService(u"org.freedesktop.Notifications"_s));
        QVERIFY(session.registerObject(u"/org/freedesktop/Notifications"_s, &notifications,
            QDBusConnection::ExportScriptableSlots));
    }
    void cleanupTestCase() { bus.kill(); }

    // Names are data: one row each, where a terminal never receives their escape sequences,
    // while JSON is the library's own form and keeps the exact texts.
    void listing()
    {
        Sandbox sandbox;
        GameEntry hand = sandbox.readyEntry(u"Hand"_s);
        hand.arguments = {u"-x"_s, u"b c"_s};
        const QList<GameEntry> entries = {hand,
            sandbox.readyEntry(u"Bad\u001b]0;owned\u0007\tName\u009b\u202egpj.exe\u2069\u2028"_s)};
        writeFile(libraryPath(sandbox), LibraryFile::encode(entries));

        const Run plain = quillmere(sandbox, {u"list"_s});
        QCOMPARE(plain.err, QString());
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(plain.out,
            entries.at(0).idString() + u"  Hand\n"_s + entries.at(1).idString()
                + u"  Bad\\e]0;owned\\x07\\tName\\x9b\\u202egpj.exe\\u2069\\u2028\n"_s);
        const Run json = quillmere(sandbox, {u"list"_s, u"--json"_s});
        QCOMPARE(json.exitCode, 0);
        QCOMPARE(json.out.toUtf8(), LibraryFile::encode(entries) + '\n');

        const Run help = quillmere(sandbox, {u"help"_s});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith(u"Usage: quillmere COMMAND"_s));

        // A runtime in Quillmere's own folder: its name sorts before any Wine the machine has.
        const QString bin = sandbox.path(u"Quillmere/Runtimes/engine-a/bin"_s);
        installFakeRuntime(bin);
        const Run runtimes = quillmere(sandbox, {u"runtimes"_s, u"--json"_s});
        QCOMPARE(runtimes.exitCode, 0);
        QVERIFY2(runtimes.out.startsWith(u"[{\"name\":\"engine-a\",\"winePath\":\""_s + bin
                     + u"/wine\",\"wineServerPath\":\""_s + bin
                     + u"/wineserver\",\"prefixTemplates\":[]}"_s),
            qPrintable(runtimes.out));
        QVERIFY(quillmere(sandbox, {u"runtimes"_s})
                    .out.startsWith(u"engine-a: "_s + bin + u"/wine (default)\n"_s));

        // Not even "[]": an unreadable library is not an empty one, and stays as it is.
        writeFile(libraryPath(sandbox), "[oops");
        const Run unreadable = quillmere(sandbox, {u"list"_s, u"--json"_s});
        QCOMPARE(unreadable.exitCode, 1);
        QCOMPARE(unreadable.out, QString());
        QVERIFY(unreadable.err.startsWith(
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
        // From the menu, with no terminal, the desktop's notifications also say it; the body
        // may be read as markup.
        QTest::addColumn<QStringList>("notified");
        const QString noDisplay = u"Quillmere can't open its window: no display was found (neither "
                                  "DISPLAY nor WAYLAND_DISPLAY is set). The commands work without "
                                  "one; run “quillmere help” to list them."_s;
        const auto row = [](const char *command, int exitCode, const QString &error,
                             const QStringList &notified = {}) {
            QTest::addRow("quillmere %s", command)
                << QString::fromUtf8(command).split(u' ', Qt::SkipEmptyParts) << exitCode << error
                << notified;
        };
        row("", 1, noDisplay);
        row("Setup.exe", 1, noDisplay);
        row("dance", 2, u"Quillmere has no command “dance”."_s);
        row("launch", 2, u"“launch” takes one library entry: its id or its name."_s);
        row("list --xml", 2, u"“list” takes only the option --json."_s);
        row("launch Solo --window", 2,
            u"“launch” takes one library entry and the option --through-window."_s);
        row("shortcut Solo --delete", 2,
            u"“shortcut” takes one library entry and the option --remove."_s);
        row("runtimes -j", 2, u"“runtimes” takes only the option --json."_s);
        row("steam --all", 2, u"“steam” takes only the option --json."_s);
        row("stop Nobody", 1, u"No library entry has the id or name “Nobody”."_s);
        row("log Twin", 1, u"Several library entries are named “Twin”; give its id instead."_s);
        row("log Solo", 1, LibraryModel::noLaunchLogMessage());
        const QString missing = u"Can't find this file or folder:\n/nonexistent/<wine>&"_s;
        row("launch Broken", 1, missing);
        row("launch Broken --through-window", 1, missing,
            {u"Quillmere couldn’t launch “Broken”"_s,
                u"Can't find this file or folder:\n/nonexistent/&lt;wine&gt;&amp;"_s});
        row("launch Gone --through-window", 1, u"No library entry has the id or name “Gone”."_s,
            {u"Quillmere couldn’t launch a program"_s,
                u"No library entry has the id or name “Gone”."_s});
        // Whatever is at a log's place other than a file is never opened, followed or waited on.
        const QString notAFile = u"Quillmere won’t write the log “LOG” because something other "
                                 "than a file is there. Move it away and try again."_s;
        row("launch Piped", 1, notAFile);
        row("launch Linked", 1, notAFile);
        row("log Piped", 1,
            u"Quillmere couldn't read the launch log “LOG”: it is not a regular file."_s);
        row("log Linked", 1,
            u"Quillmere couldn't read the launch log “LOG”: it is a link, not a file."_s);
        row("stop Stuck", 1,
            u"Wine's wineserver returned exit code 4. Check the session log for details."_s);
    }
    void errors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        Sandbox sandbox;
        GameEntry broken = sandbox.readyEntry(u"Broken"_s);
        broken.winePath = u"/nonexistent/<wine>&"_s;
        GameEntry stuck = sandbox.readyEntry(u"Stuck"_s);
        stuck.environment.insert(u"FAKE_WINESERVER_EXIT"_s, u"4"_s);
        const GameEntry piped = sandbox.readyEntry(u"Piped"_s);
        const GameEntry linked = sandbox.readyEntry(u"Linked"_s);
        const auto logOf = [&](const GameEntry &entry) {
            return sandbox.path(u"Quillmere/Logs/"_s + entry.idString() + u".log"_s);
        };
        QVERIFY(QDir().mkpath(sandbox.path(u"Quillmere/Logs"_s)));
        QVERIFY(::mkfifo(QFile::encodeName(logOf(piped)).constData(), 0600) == 0);
        const QString precious = sandbox.path(u"precious.txt"_s);
        writeFile(precious, "kept");
        QVERIFY(QFile::link(precious, logOf(linked)));
        if (arguments.size() > 1)
            error.replace(u"LOG"_s, arguments.at(1) == u"Piped"_s ? logOf(piped) : logOf(linked));
        const QByteArray library
            = LibraryFile::encode({sandbox.readyEntry(u"Twin"_s), sandbox.readyEntry(u"Twin"_s),
                sandbox.readyEntry(u"Solo"_s), broken, stuck, piped, linked});
        writeFile(libraryPath(sandbox), library);
        notifications.shown.clear();
        const Run run = quillmere(sandbox, arguments);
        QFETCH(QStringList, notified);
        if (!sessionBus.isEmpty())
            QCOMPARE(notifications.shown, notified);
        else if (!notified.isEmpty())
            QSKIP("No dbus-daemon: no session bus to take notifications.");
        QCOMPARE(readFile(precious), QByteArray("kept"));
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
        // The launch counted as played; "show" adds that to the library's own keys.
        QJsonObject shown = QJsonDocument::fromJson(
            quillmere(sandbox, {u"show"_s, u"Chess"_s, u"--json"_s}).out.toUtf8())
                                .object();
        QVERIFY(shown.contains(u"lastPlayedAt"_s));
        QCOMPARE(shown.value(u"playSeconds"_s).toInteger(-1), 0);
        QCOMPARE(shown.value(u"logPath"_s).toString(),
            sandbox.path(u"Quillmere/Logs/"_s + entry.idString() + u".log"_s));
        QCOMPARE(shown.value(u"running"_s), QJsonValue(false));
        QVERIFY(shown.value(u"prefixBytes"_s).toInteger() > 0);
        for (const QString &key :
            {u"lastPlayedAt"_s, u"playSeconds"_s, u"logPath"_s, u"running"_s, u"prefixBytes"_s})
            shown.remove(key);
        QCOMPARE(shown, QJsonDocument::fromJson(LibraryFile::encode({entry})).array().first());

        // A wineserver for the prefix, started by someone else: both commands see it run.
        if (!QFileInfo(u"/usr/bin/wineserver"_s).isExecutable())
            return;
        QProcess server;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"WINEPREFIX"_s, entry.prefixPath);
        server.setProcessEnvironment(environment);
        server.start(u"/usr/bin/wineserver"_s, {u"-f"_s, u"-p"_s});
        QVERIFY(server.waitForStarted());
        QTRY_VERIFY(quillmere(sandbox, {u"list"_s}).out.endsWith(u"  Chess  (running)\n"_s));
        QVERIFY(quillmere(sandbox, {u"show"_s, u"Chess"_s}).out.contains(u"\nRunning\n"_s));
        server.kill();
        server.waitForFinished();
    }

    // An entry in the desktop's menu: a valid desktop entry, whatever its name, with the program's
    // icon in the theme (a Steam game's steam.exe has the wrong one), whose command the desktop's
    // own launcher runs; without a window it launches the entry there and then.
    void menuShortcuts()
    {
        if (QStringLiteral(ICON_PROGRAM).isEmpty())
            QSKIP("No MinGW compiler: no Windows program with an icon.");
        Sandbox sandbox;
        GameEntry named = sandbox.readyEntry(u"Bad \"name\" 100% \\ $HOME `x`;\n\u001b\tgame"_s);
        writeFile(named.executablePath, readFile(QStringLiteral(ICON_PROGRAM)));
        GameEntry game = sandbox.steamEntry();
        game.arguments = {u"-applaunch"_s, u"42"_s};
        writeFile(libraryPath(sandbox), LibraryFile::encode({named, game}));
        const auto desktopFile = [&](const GameEntry &entry) {
            return sandbox.path(
                u"applications/quillmere-"_s + entry.idString().toLower() + u".desktop"_s);
        };
        const QString icon = sandbox.path(
            u"icons/hicolor/256x256/apps/quillmere-"_s + named.idString().toLower() + u".png"_s);

        // The command names this executable; a path with spaces, quotes and "$" stays one word.
        const QString program = sandbox.path(u"my $HOME's \"games\"/quillmere"_s);
        QVERIFY(QDir().mkpath(QFileInfo(program).path()));
        QVERIFY(::link(QUILLMERE_EXECUTABLE, QFile::encodeName(program).constData()) == 0
            || QFile::copy(QStringLiteral(QUILLMERE_EXECUTABLE), program));
        for (const GameEntry &entry : {named, game}) {
            QProcess add;
            add.setProcessEnvironment(headless(sandbox));
            add.start(entry.id == named.id ? program : QStringLiteral(QUILLMERE_EXECUTABLE),
                {u"shortcut"_s, entry.idString()});
            QVERIFY(finishes(add));
            QCOMPARE(add.readAllStandardError(), QByteArray());
            QCOMPARE(QString::fromUtf8(add.readAllStandardOutput()),
                u"Added “"_s + QString(entry.name).replace(u"\u001b"_s, u"\\e"_s)
                    + u"” to the applications menu.\n"_s);
            QProcess validate;
            validate.start(u"desktop-file-validate"_s, {desktopFile(entry)});
            QVERIFY(validate.waitForFinished());
            QCOMPARE(validate.readAll(), QByteArray());
            QCOMPARE(validate.exitCode(), 0);
        }
        QVERIFY(QImage(icon).width() == 256);
        QVERIFY(readFile(desktopFile(game)).contains("\nIcon=org.quillmere.Quillmere\n"));

        QProcess menu;
        menu.setProcessEnvironment(headless(sandbox));
        menu.start(u"gio"_s, {u"launch"_s, desktopFile(named)});
        QVERIFY(finishes(menu));
        QCOMPARE(menu.exitCode(), 0);
        const QString log = sandbox.path(u"Quillmere/Logs/"_s + named.idString() + u".log"_s);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(log).contains("fake wine ran"), 20000);

        const Run removed = quillmere(sandbox, {u"shortcut"_s, named.idString(), u"--remove"_s});
        QVERIFY(removed.out.startsWith(u"Removed “Bad \"name\""_s));
        QVERIFY(!QFile::exists(desktopFile(named)) && !QFile::exists(icon));
        QVERIFY(QFile::exists(desktopFile(game)));
    }

    // Steam's folders and games as the library sees them; a game on a second drive keeps its
    // shortcut through a command that may clean up.
    void steam()
    {
        Sandbox sandbox;
        QCOMPARE(quillmere(sandbox, {u"steam"_s, u"--json"_s}).out,
            u"{\"steamEntry\":null,\"folderListReadable\":true,\"libraryFolders\":[],"
            "\"games\":[]}\n"_s);
        const GameEntry steam = sandbox.steamEntry();
        GameEntry shortcut = steam;
        shortcut.id = QUuid::createUuid();
        shortcut.name = u"Elden Ring"_s;
        shortcut.arguments = {u"-applaunch"_s, u"1245620"_s};
        writeFile(libraryPath(sandbox), LibraryFile::encode({steam, shortcut}));
        const QString apps = addSteamLibraryOnDriveD(steam, sandbox.path(u"d"_s));
        installSteamGameIn(apps, u"1245620"_s);
        installSteamGame(steam, u"42"_s,
            steamManifest(u"42"_s, u"1026"_s, u"Game42"_s) + u"\"name\" \"Odd\u001b[2J\"\n"_s);
        QCOMPARE(quillmere(sandbox, {u"stop"_s, u"Steam"_s}).exitCode, 0);

        const QString c = steamApps(steam),
                      d = steam.prefixPath + u"/dosdevices/d:/SteamLibrary/steamapps"_s;
        const Run json = quillmere(sandbox, {u"steam"_s, u"--json"_s});
        QCOMPARE(json.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8()).object(),
            (QJsonObject {{"steamEntry",
                              QJsonObject {{"id", steam.idString()}, {"name", steam.name},
                                  {"prefixPath", steam.prefixPath}}},
                {"folderListReadable", true},
                {"libraryFolders",
                    QJsonArray {QJsonObject {{"windowsPath", u"C:\\Program Files (x86)\\Steam"_s},
                                    {"path", c}, {"readable", true}},
                        QJsonObject {{"windowsPath", u"D:\\SteamLibrary"_s}, {"path", d},
                            {"readable", true}}}},
                {"games",
                    QJsonArray {
                        QJsonObject {{"appID", "42"}, {"name", u"Odd\u001b[2J"_s},
                            {"state", "downloading"}, {"libraryFolder", c}, {"hasShortcut", false}},
                        QJsonObject {{"appID", "1245620"}, {"name", "Elden Ring"},
                            {"state", "installed"}, {"libraryFolder", d},
                            {"hasShortcut", true}}}}}));
        QCOMPARE(quillmere(sandbox, {u"steam"_s}).out,
            u"Steam  "_s + steam.idString()
                + u"  Steam\nFolder  C:\\Program Files (x86)\\Steam  →  "_s + c
                + u"\nFolder  D:\\SteamLibrary  →  "_s + d
                + u"\nGame  42  Odd\\e[2J  downloading  no shortcut"
                  "\nGame  1245620  Elden Ring  installed  shortcut\n"_s);
    }

    // The web site's list; the status line goes to standard error. The catalogue store's tests
    // cover falling back to the included list.
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
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"