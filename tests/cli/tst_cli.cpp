#include "library/LibraryFile.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>

#include "profiles/SteamGameCatalog.h"
#include "support/LoopbackServer.h"
#include <QTest>

using namespace TestSupport;

namespace {
struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// The real executable, with its application data under the sandbox. The event loop keeps
// turning meanwhile, so a loopback server in this process can answer it.
Run quillmere(
    const Sandbox &sandbox, const QStringList &arguments, const QProcessEnvironment &extra = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), sandbox.root());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), sandbox.path(QStringLiteral("config")));
    // Nothing beyond loopback: web lookups go to an address where nobody listens.
    environment.insert(
        QStringLiteral("QUILLMERE_WEBSITE_URL"), QStringLiteral("http://127.0.0.1:9"));
    environment.insert(
        QStringLiteral("QUILLMERE_STEAM_STORE_URL"), QStringLiteral("http://127.0.0.1:9"));
    environment.insert(
        QStringLiteral("QUILLMERE_STEAM_API_URL"), QStringLiteral("http://127.0.0.1:9"));
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
    return sandbox.path(QStringLiteral("Quillmere/library.json"));
}
} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listJsonReadsHandWrittenLibrary()
    {
        Sandbox sandbox;
        writeFile(libraryPath(sandbox), R"([{"addedAt":786745123.4567891,"color":"blue",
            "environment":{"WINEDEBUG":"+seh"},"arguments":["-x","b c"],
            "wineServerPath":"\/w\/wineserver","winePath":"\/w\/wine","prefixPath":"\/p",
            "executablePath":"\/g\/Game.exe","name":"Hand","id":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"},
            {"id":"6F1E2D3C-4B5A-4978-8A6B-5C4D3E2F1A0B","name":"Second","executablePath":"\/e",
            "prefixPath":"\/p2","winePath":"\/w","wineServerPath":"\/s","arguments":[],
            "environment":{},"addedAt":0}])");
        const Run run = quillmere(sandbox, {QStringLiteral("list"), QStringLiteral("--json")});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains(QStringLiteral(R"("executablePath":"\/g\/Game.exe")")));
        QVERIFY(run.out.contains(QStringLiteral(R"("addedAt":786745123.4567891})")));

        const QJsonArray array = QJsonDocument::fromJson(run.out.toUtf8()).array();
        QCOMPARE(array.size(), 2);
        const QJsonObject first = array.at(0).toObject();
        QCOMPARE(first.keys(),
            QStringList({"addedAt", "arguments", "environment", "executablePath", "id", "name",
                "prefixPath", "winePath", "wineServerPath"}));
        QCOMPARE(first.value(QStringLiteral("id")).toString(),
            QStringLiteral("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"));
        QCOMPARE(first.value(QStringLiteral("arguments")).toArray(), QJsonArray({"-x", "b c"}));
        QCOMPARE(first.value(QStringLiteral("environment")).toObject(),
            QJsonObject({{"WINEDEBUG", "+seh"}}));
        QCOMPARE(array.at(1).toObject().value(QStringLiteral("name")).toString(),
            QStringLiteral("Second"));

        const Run plain = quillmere(sandbox, {QStringLiteral("list")});
        QCOMPARE(plain.out,
            QStringLiteral("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D  Hand\n"
                           "6F1E2D3C-4B5A-4978-8A6B-5C4D3E2F1A0B  Second\n"));
    }

    void unreadableLibraryIsAnError()
    {
        Sandbox sandbox;
        writeFile(libraryPath(sandbox), "[oops");
        const Run run = quillmere(sandbox, {QStringLiteral("list"), QStringLiteral("--json")});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QString());
        QVERIFY(run.err.startsWith(
            QStringLiteral(
                "Quillmere couldn't read its library. The saved file is still available at:\n")
            + sandbox.path(QStringLiteral("Quillmere/library-unreadable-"))));
        QCOMPARE(readFile(libraryPath(sandbox)), QByteArray("[oops"));
    }

    void launchLogAndStop()
    {
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry(QStringLiteral("Chess"));
        entry.arguments = {QStringLiteral("--fast")};
        entry.environment.insert(QStringLiteral("FAKE_WINE_EXIT"), QStringLiteral("3"));
        writeFile(libraryPath(sandbox), LibraryFile::encode({entry}));

        const Run noLog = quillmere(sandbox, {QStringLiteral("log"), QStringLiteral("Chess")});
        QCOMPARE(noLog.exitCode, 1);
        QCOMPARE(noLog.err,
            QStringLiteral(
                "There isn't a launch log for this game yet. Launch it once, then try again.\n"));

        // A launcher that fails is a failed launch (Wine could not start the program).
        const Run launch = quillmere(sandbox, {QStringLiteral("launch"), QStringLiteral("Chess")});
        QCOMPARE(launch.err, QString());
        QCOMPARE(launch.exitCode, 1);
        QCOMPARE(launch.out,
            QStringLiteral("Started Chess.\nThe Wine launcher exited with code 3. The game may "
                           "still be running; use Stop Wine to check the prefix.\n"));

        const Run log = quillmere(sandbox, {QStringLiteral("log"), entry.idString().toLower()});
        QCOMPARE(log.exitCode, 0);
        QVERIFY(log.out.startsWith(
            QStringLiteral("fake wine ran ") + entry.executablePath + QStringLiteral(" --fast\n")));

        const Run stop = quillmere(sandbox, {QStringLiteral("stop"), QStringLiteral("Chess")});
        QCOMPARE(stop.exitCode, 0);
        QCOMPARE(stop.out, QStringLiteral("Sent a stop request to Wine for Chess's prefix.\n"));

        entry.environment.insert(QStringLiteral("FAKE_WINESERVER_EXIT"), QStringLiteral("4"));
        writeFile(libraryPath(sandbox), LibraryFile::encode({entry}));
        const Run refused = quillmere(sandbox, {QStringLiteral("stop"), QStringLiteral("Chess")});
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(refused.err,
            QStringLiteral(
                "Wine's wineserver returned exit code 4. Check the session log for details.\n"));
    }

    void launchFailureIsReported()
    {
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry(QStringLiteral("Broken"));
        entry.winePath = sandbox.path(QStringLiteral("no/wine"));
        writeFile(libraryPath(sandbox), LibraryFile::encode({entry}));
        const Run run = quillmere(sandbox, {QStringLiteral("launch"), QStringLiteral("Broken")});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QString());
        QCOMPARE(
            run.err, QStringLiteral("Can't find this file or folder:\n") + entry.winePath + u'\n');
    }

    void usageAndLookupErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("firstErrorLine");
        QTest::newRow("unknown command")
            << QStringList({"dance"}) << 2 << "Quillmere has no command “dance”.";
        QTest::newRow("launch without entry") << QStringList(
            {"launch"}) << 2 << "“launch” takes one library entry: its id or its name.";
        QTest::newRow("list with junk")
            << QStringList({"list", "--xml"}) << 2 << "“list” takes only the option --json.";
        QTest::newRow("unknown entry") << QStringList({"stop", "Nobody"}) << 1
                                       << "No library entry has the id or name “Nobody”.";
        QTest::newRow("ambiguous name")
            << QStringList({"log", "Twin"}) << 1
            << "Several library entries are named “Twin”; give its id instead.";
    }
    void usageAndLookupErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, firstErrorLine);
        Sandbox sandbox;
        writeFile(libraryPath(sandbox),
            LibraryFile::encode({sandbox.readyEntry(QStringLiteral("Twin")),
                sandbox.readyEntry(QStringLiteral("Twin"))}));
        const Run run = quillmere(sandbox, arguments);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.err.section(u'\n', 0, 0), firstErrorLine);
        QCOMPARE(run.out, QString());
    }

    void runtimesJsonListsSystemWine()
    {
        if (!QFileInfo(QStringLiteral("/usr/bin/wine")).isExecutable())
            QSKIP("No system Wine on this machine.");
        Sandbox sandbox;
        const Run run = quillmere(sandbox, {QStringLiteral("runtimes"), QStringLiteral("--json")});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray runtimes = QJsonDocument::fromJson(run.out.toUtf8()).array();
        const auto system = std::find_if(
            runtimes.begin(), runtimes.end(), [](const QJsonValue &value) {
                return value.toObject().value(QStringLiteral("name")).toString() == u"System Wine";
            });
        QVERIFY2(system != runtimes.end(), qPrintable(run.out));
        const QJsonObject object = (*system).toObject();
        QCOMPARE(object.keys(), QStringList({"name", "winePath", "wineServerPath"})); // no bundle
        QCOMPARE(object.value(QStringLiteral("wineServerPath")).toString(),
            QStringLiteral("/usr/bin/wineserver"));
        QVERIFY(QFileInfo(object.value(QStringLiteral("winePath")).toString()).isExecutable());
    }

    void profilesFromTheWebSite()
    {
        LoopbackServer server;
        QJsonArray rows;
        for (const GameCompatibilityProfile &profile : SteamGameCatalog::games().mid(9, 3))
            rows.append(profile.toJson());
        server.route(QStringLiteral("/game-profiles.json"),
            {200, QJsonDocument(QJsonObject {{"schemaVersion", 1}, {"games", rows}}).toJson()});
        QProcessEnvironment site;
        site.insert(QStringLiteral("QUILLMERE_WEBSITE_URL"), server.url(QString()).toString());
        Sandbox sandbox;

        const Run json
            = quillmere(sandbox, {QStringLiteral("profiles"), QStringLiteral("--json")}, site);
        QCOMPARE(json.exitCode, 0);
        QCOMPARE(json.err, QStringLiteral("Synced from 127.0.0.1\n"));
        QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8()).array(), rows);

        const Run search = quillmere(sandbox,
            {QStringLiteral("profiles"), QStringLiteral("--search"), QStringLiteral("BATTLE.NET")},
            site);
        QCOMPARE(search.out,
            QStringLiteral(
                "diablo-iv  Diablo IV (PC edition · Steam or Battle.net; Steam, Battle.net; "
                "Steam app 2344520)\n"));

        // Without the web site: the included catalogue, and the status says so.
        const Run offline = quillmere(sandbox, {QStringLiteral("profiles")});
        QCOMPARE(offline.exitCode, 0);
        QCOMPARE(
            offline.err, QStringLiteral("Website list unavailable · using the included catalog\n"));
        QCOMPARE(offline.out.count(u'\n'), 21);
    }

    // Names and catalogue texts are data: a terminal never receives their escape sequences,
    // while JSON keeps the exact texts.
    void controlCharactersInTextOutputAreEscaped()
    {
        LoopbackServer server;
        QJsonObject profile = SteamGameCatalog::games().at(9).toJson();
        profile.insert(QStringLiteral("name"), QStringLiteral("Evil\u001b[2J\u009b1mGame"));
        profile.insert(QStringLiteral("edition"), QStringLiteral("PC\nedition\u007f"));
        server.route(QStringLiteral("/game-profiles.json"),
            {200,
                QJsonDocument(QJsonObject {{"schemaVersion", 1}, {"games", QJsonArray {profile}}})
                    .toJson()});
        QProcessEnvironment site;
        site.insert(QStringLiteral("QUILLMERE_WEBSITE_URL"), server.url(QString()).toString());
        Sandbox sandbox;
        const GameEntry entry = sandbox.readyEntry(QStringLiteral("Bad\u001b]0;owned\u0007\tName"));
        writeFile(libraryPath(sandbox), LibraryFile::encode({entry}));

        const Run list = quillmere(sandbox, {QStringLiteral("list")});
        QCOMPARE(list.out, entry.idString() + QStringLiteral("  Bad\\e]0;owned\\x07\\tName\n"));
        const Run json = quillmere(sandbox, {QStringLiteral("list"), QStringLiteral("--json")});
        QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8()).array().at(0)[u"name"].toString(),
            entry.name);
        const Run profiles = quillmere(sandbox, {QStringLiteral("profiles")}, site);
        QCOMPARE(profiles.exitCode, 0);
        QVERIFY2(
            profiles.out.contains(QStringLiteral("  Evil\\e[2J\\x9b1mGame (PC\\nedition\\x7f; ")),
            qPrintable(profiles.out));
        QCOMPARE(profiles.out.count(u'\n'), 1);
    }

    void runRefusesWhatIsNotAnExecutable()
    {
        if (!QFileInfo(QStringLiteral("/usr/bin/wine")).isExecutable())
            QSKIP("No system Wine on this machine.");
        Sandbox sandbox;
        writeFile(sandbox.path(QStringLiteral("readme.txt")), "text");
        const Run run = quillmere(
            sandbox, {QStringLiteral("run"), sandbox.path(QStringLiteral("readme.txt"))});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("Choose a Windows executable file ending in .exe.\n"));
    }

    // Without arguments, or with a file to run, Quillmere opens its window; where there is no
    // display it says so in one sentence instead of aborting. "help" never needs one.
    void windowWithoutADisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no arguments") << QStringList() << 1;
        QTest::newRow("a program") << QStringList {QStringLiteral("Setup.exe")} << 1;
        QTest::newRow("help") << QStringList {QStringLiteral("help")} << 0;
    }
    void windowWithoutADisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        Sandbox sandbox;
        QProcessEnvironment noDisplay;
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            noDisplay.insert(QLatin1String(name), QString());
        const Run run = quillmere(sandbox, arguments, noDisplay);
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode == 0) {
            QVERIFY(run.out.startsWith(QStringLiteral("Usage: quillmere COMMAND")));
            return;
        }
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.startsWith(QStringLiteral("Quillmere can't open its window: no display")));
        QCOMPARE(run.err.count(u'\n'), 1);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
