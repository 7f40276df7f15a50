#include "library/PrefixTemplates.h"
#include "library/WineRuntime.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {
const QString missing = "Can't find this file or folder:\n";

// What a Wine process of a ready entry gets from us, whatever runs it: the entry's paths and
// variables, WINEDEBUG=-all over this process's own, and this process's other variables
// without the filtered ones (initTestCase sets one of each).
void compareEnvironment(const Sandbox &sandbox, const GameEntry &entry, const QString &call)
{
    const Environment got = recordedEnvironment(sandbox.recordDir(), call);
    const Environment expected {{"WINEPREFIX", entry.prefixPath}, {"WINELOADER", entry.winePath},
        {"WINESERVER", entry.wineServerPath}, {"WINEDEBUG", "-all"},
        {"FAKE_RECORD_DIR", sandbox.recordDir()}, {"QUILLMERE_TEST_KEPT", "kept"}};
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(got.value(it.key()), it.value());
    QVERIFY(!got.contains("DXMT_TEST_FILTERED"));
}
} // namespace

class TestWineRuntime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("WINEDEBUG", "+all");
        qputenv("DXMT_TEST_FILTERED", "1");
        qputenv("QUILLMERE_TEST_KEPT", "kept");
    }

    void environmentIsFilteredAndMerged()
    {
        const Environment inherited {{"HOME", "/home/u"}, {"PATH", "/bin"},
            {"WINEPREFIX", "/elsewhere"}, {"WINEDEBUG", "+all"}, {"WINEDLLOVERRIDES", "x=n"},
            {"WINEESYNC", "1"}, {"DYLD_LIBRARY_PATH", "/l"}, {"ROSETTA_X", "1"},
            {"MTL_HUD_ENABLED", "1"}, {"D3DM_X", "1"}, {"DXMT_X", "1"}, {"GST_PLUGIN_PATH", "/g"},
            {"AOELAB_X", "1"}, {"SDL_VIDEODRIVER", "x"}, {"MVK_CONFIG", "1"},
            {"wine_lowercase", "kept"}, {"MY_WINE", "kept"}};
        const GameEntry entry {.prefixPath = "/p/prefix/",
            .winePath = "relative/bin/wine",
            .wineServerPath = "/w/../w/wineserver",
            .environment = {{"DYLD_INSERT_LIBRARIES", "/mine"}, {"WINEDEBUG", "+relay"},
                {"WINEPREFIX", "/redirected"}, {"WINESERVER", "/other"}, {"WINELOADER", "/other"},
                {"PATH", "/entry/bin"}}};
        const Environment expected {{"HOME", "/home/u"}, {"PATH", "/entry/bin"},
            {"wine_lowercase", "kept"}, {"MY_WINE", "kept"}, {"DYLD_INSERT_LIBRARIES", "/mine"},
            {"WINEDEBUG", "+relay"}, {"WINEPREFIX", "/p/prefix"},
            {"WINELOADER", QDir::currentPath() + "/relative/bin/wine"},
            {"WINESERVER", "/w/wineserver"}};
        QCOMPARE(WineRuntime::baseEnvironment(entry, inherited), expected);
    }

    void startChecksInOrderThenRunsWine()
    {
        Sandbox sandbox;
        const GameEntry ready = sandbox.readyEntry();
        writeFile(sandbox.path("plain"), "#!/bin/sh\n");
        QDir().mkpath(sandbox.path("empty-prefix"));
        GameEntry entry = ready;
        entry.winePath = sandbox.path("plain");
        entry.executablePath = sandbox.path("missing.exe");
        entry.prefixPath = sandbox.path("empty-prefix");
        entry.environment.insert("1BAD", "x");
        entry.wineServerPath = sandbox.path("nowhere"); // never needed to launch
        const QString log = sandbox.path("Logs/deep/run.log");
        // Each step mends what the check before refused while all later fields stay broken, so
        // the first failing check must win; a refused start writes no log.
        const auto refusal = [&] {
            const auto started = WineRuntime::start(entry, log);
            return started ? QString() : started.error().description();
        };
        QCOMPARE(refusal(), missing + entry.winePath);
        entry.winePath = ready.winePath;
        QCOMPARE(refusal(), missing + entry.executablePath);
        entry.executablePath = ready.executablePath;
        QCOMPARE(
            refusal(), "This doesn't look like an initialized Wine prefix:\n" + entry.prefixPath);
        entry.prefixPath = ready.prefixPath;
        QCOMPARE(refusal(),
            "The environment variable name ‘1BAD’ is invalid. Use letters, numbers, and "
            "underscores.");
        QVERIFY(!QFile::exists(sandbox.path("Logs")));

        entry.environment.remove("1BAD");
        entry.arguments = {"a", "b c", ""};
        writeFile(log, QByteArray("OLD-LOG-LINE\n").repeated(10000));
        const auto process = WineRuntime::start(entry, log);
        QVERIFY_OK(process);
        QCOMPARE((*process)->waitForExit(), 0);
        QCOMPARE(recordedArguments(sandbox.recordDir(), "wine"),
            QStringList({entry.executablePath, "a", "b c", ""}));
        compareEnvironment(sandbox, entry, "wine");
        QCOMPARE(recordedWorkingFolder(sandbox.recordDir(), "wine"),
            QFileInfo(entry.executablePath).absolutePath());
        const QByteArray output = readFile(log); // a fresh log for each start
        QVERIFY(output.startsWith("fake wine ran " + entry.executablePath.toUtf8() + " a b c"));
        QVERIFY(output.contains("fake wine says this on stderr"));
        QVERIFY(!output.contains("OLD-LOG-LINE"));

        QCOMPARE(WineRuntime::start(entry, log + "/run.log").error().description(),
            "Quillmere couldn't create the folder “" + log + "”. Check that the disk is writable.");
    }

    void createPrefixOutcomes_data()
    {
        QTest::addColumn<QString>("registry"); // when the fake Wine writes system.reg
        QTest::addColumn<int>("winebootExit");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("registry at once") << "now" << 0 << true;
        // Real Wine writes the registry when wineserver shuts down, after wineboot exits.
        QTest::newRow("registry after wineboot exits") << "late" << 0 << true;
        QTest::newRow("no registry") << "never" << 0 << false;
        QTest::newRow("wineboot fails") << "now" << 3 << false;
    }
    void createPrefixOutcomes()
    {
        QFETCH(QString, registry);
        QFETCH(int, winebootExit);
        QFETCH(bool, succeeds);
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        entry.prefixPath = sandbox.path("new/prefix");
        entry.environment.insert("FAKE_WINEBOOT_REGISTRY", registry);
        entry.environment.insert("FAKE_WINEBOOT_EXIT", QString::number(winebootExit));
        const QString log = sandbox.path("Logs/prefix.log");

        const auto result = WineRuntime::createPrefix(entry, log);
        QCOMPARE(QString::fromUtf8(failureText(result)),
            succeeds
                ? QString()
                : "Wine could not initialize the prefix. Open the latest log for details.\n" + log);
        QCOMPARE(recordedArguments(sandbox.recordDir(), "wineboot"),
            QStringList({"wineboot", "--init"}));
        compareEnvironment(sandbox, entry, "wineboot");
        QCOMPARE(recordedWorkingFolder(sandbox.recordDir(), "wineboot"), entry.prefixPath);
        const QByteArray output = readFile(log);
        QVERIFY(output.contains("fake wineboot wineboot --init"));
        if (winebootExit == 0) {
            // The wait for wineserver runs with the same environment and writes to the same log.
            QCOMPARE(recordedArguments(sandbox.recordDir(), "wineserver-w"), QStringList({"-w"}));
            compareEnvironment(sandbox, entry, "wineserver-w");
            QVERIFY(output.contains("fake wineserver waited"));
        } else {
            QVERIFY(!QFile::exists(sandbox.recordDir() + "/wineserver-w.args"));
        }
    }

    // Each step mends what the check before refused while the later ones still fail, so the
    // first failing check must win; a refused prefix runs nothing and touches nothing.
    void createPrefixRefusesInOrder()
    {
        Sandbox sandbox;
        const GameEntry ready = sandbox.readyEntry();
        GameEntry entry = ready;
        entry.winePath = sandbox.path("no/wine");
        entry.wineServerPath = sandbox.path("no/wineserver");
        entry.prefixPath = sandbox.path("target");
        writeFile(entry.prefixPath + "/.hidden", "x");
        writeFile(entry.prefixPath + "/system.reg", "original");
        const QString log = sandbox.path("prefix.log");
        const auto refusal
            = [&] { return QString::fromUtf8(failureText(WineRuntime::createPrefix(entry, log))); };
        QCOMPARE(refusal(), missing + entry.winePath);
        entry.winePath = ready.winePath;
        QCOMPARE(refusal(), missing + entry.wineServerPath);
        entry.wineServerPath = ready.wineServerPath;
        QCOMPARE(refusal(),
            "That prefix already contains a Wine registry, so Quillmere left it unchanged:\n"
                + entry.prefixPath);
        QCOMPARE(readFile(entry.prefixPath + "/system.reg"), QByteArray("original"));
        QVERIFY(QFile::remove(entry.prefixPath + "/system.reg"));
        QCOMPARE(refusal(),
            "Choose an empty folder for the new Wine prefix. Quillmere left this folder "
            "unchanged:\n"
                + entry.prefixPath);
        QCOMPARE(QDir(entry.prefixPath)
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({".hidden"}));
        QVERIFY(!QFile::exists(sandbox.recordDir() + "/wineboot.args"));
        QVERIFY(!QFile::exists(log));
    }

    // A new prefix is a copy of its Wine build's template when a usable one is there; any
    // doubt means wineboot, as without templates, and leaves nothing half made behind.
    void prefixTemplates_data()
    {
        QTest::addColumn<QString>("change"); // between the first prefix and the second
        QTest::addColumn<bool>("copied");
        QTest::addColumn<int>("templates"); // kept afterwards
        QTest::newRow("same build") << "" << true << 1;
        QTest::newRow("installation updated") << "stamp" << false << 1;
        QTest::newRow("another wine") << "other wine" << false << 2;
        QTest::newRow("first wine gone") << "wine gone" << false << 1;
        QTest::newRow("entry's own variables") << "variables" << false << 1;
        QTest::newRow("damaged template") << "extra file" << false << 1;
        QTest::newRow("pipe in the template") << "pipe" << false << 1;
    }
    void prefixTemplates()
    {
        QFETCH(QString, change);
        QFETCH(bool, copied);
        QFETCH(int, templates);
        Sandbox sandbox;
        qputenv("FAKE_RECORD_DIR", sandbox.recordDir().toUtf8());
        const auto unset = qScopeGuard([] { qunsetenv("FAKE_RECORD_DIR"); });
        // Installations of our own, with the wine.inf whose time Wine compares.
        const auto install = [&](const QString &name, const QString &prefix) {
            const QString bin = sandbox.path(name + "/bin/");
            QDir().mkpath(bin);
            QFile::copy(fakeWine(), bin + "wine");
            QFile::copy(fakeWineServer(), bin + "wineserver");
            writeFile(sandbox.path(name + "/share/wine/wine.inf"), "[Version]\n");
            return GameEntry {.prefixPath = sandbox.path("Prefixes/" + prefix),
                .winePath = bin + "wine",
                .wineServerPath = bin + "wineserver"};
        };
        const QString folder = sandbox.path("Templates");
        const GameEntry first = install("Wine", "first");
        QVERIFY_OK(WineRuntime::createPrefix(first, sandbox.path("first.log"), folder));
        QCOMPARE(items(folder).size(), 1);
        const QString kept = folder + "/" + items(folder).first() + "/prefix";

        GameEntry second = first;
        second.prefixPath = sandbox.path("Prefixes/second");
        QFile inf(sandbox.path("Wine/share/wine/wine.inf"));
        if (change == "stamp")
            QVERIFY(inf.open(QIODevice::Append)
                && inf.setFileTime(
                    QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        if (change == "other wine" || change == "wine gone")
            second = install("Other", "second");
        if (change == "wine gone")
            QDir(sandbox.path("Wine")).removeRecursively();
        if (change == "variables")
            second.environment.insert("WINEARCH", "win64");
        if (change == "extra file")
            writeFile(kept + "/extra", "x");
        if (change == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(kept + "/pipe").constData(), 0600), 0);
        QFile::remove(sandbox.recordDir() + "/wineboot.args");
        const QString log = sandbox.path("second.log");
        QVERIFY_OK(WineRuntime::createPrefix(second, log, folder));
        QVERIFY(WineRuntime::isInitializedPrefix(second.prefixPath));
        QCOMPARE(!QFile::exists(sandbox.recordDir() + "/wineboot.args"), copied);
        QCOMPARE(readFile(log).startsWith("Quillmere copied this prefix from its template for "
                                          "fake wine ran --version instead of running wineboot."),
            copied);
        QCOMPARE(items(sandbox.path("Prefixes")), QStringList({"first", "second"}));
        QCOMPARE(items(folder).size(), templates);
        const QJsonArray listed = PrefixTemplates::list(folder);
        QCOMPARE(listed.size(), templates);
        QCOMPARE(listed.first()[u"build"_s].toString(), "fake wine ran --version");
    }

    void stopAsksWineserver()
    {
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        entry.environment.insert("FAKE_WINESERVER_EXIT", "5");
        const auto status = WineRuntime::stop(entry);
        QVERIFY_OK(status);
        QCOMPARE(*status, 5);
        QCOMPARE(recordedArguments(sandbox.recordDir(), "wineserver-k"), QStringList({"-k"}));
        compareEnvironment(sandbox, entry, "wineserver-k");

        entry.winePath = sandbox.path("gone"); // stop never needs wine itself
        entry.wineServerPath = sandbox.path("gone/wineserver");
        QCOMPARE(WineRuntime::stop(entry).error().description(), missing + entry.wineServerPath);
    }
};

QTEST_GUILESS_MAIN(TestWineRuntime)
#include "tst_wineruntime.moc"
