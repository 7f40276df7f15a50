#include "library/WineRuntime.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace TestSupport;

class TestWineRuntime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void validateChecksInOrder_data()
    {
        QTest::addColumn<QString>("broken");
        QTest::addColumn<QString>("expected"); // %1 is the sandbox path
        QTest::newRow("wine missing") << "wine"
                                      << "Can't find this file or folder:\n%1/nowhere/wine";
        QTest::newRow("wine not executable") << "wine-plain"
                                             << "Can't find this file or folder:\n%1/plain";
        QTest::newRow("executable missing")
            << "executable"
            << "Can't find this file or folder:\n%1/Game/bin/missing.exe";
        QTest::newRow("prefix without registry")
            << "prefix"
            << "This doesn't look like an initialized Wine prefix:\n%1/empty-prefix";
        QTest::newRow("bad variable name")
            << "environment"
            << QStringLiteral("The environment variable name ‘1BAD’ is invalid. Use letters, "
                              "numbers, and underscores.");
        QTest::newRow("wineserver is not checked") << "wineserver"
                                                   << "";
    }
    void validateChecksInOrder()
    {
        QFETCH(QString, broken);
        QFETCH(QString, expected);
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        const QString root = sandbox.root();
        writeFile(sandbox.path(QStringLiteral("plain")), "#!/bin/sh\n");
        QDir().mkpath(sandbox.path(QStringLiteral("empty-prefix")));
        // Later fields are broken too, to show the first failure wins.
        if (broken == u"wine") {
            entry.winePath = sandbox.path(QStringLiteral("nowhere/wine"));
            entry.executablePath = sandbox.path(QStringLiteral("missing.exe"));
        } else if (broken == u"wine-plain") {
            entry.winePath = sandbox.path(QStringLiteral("plain"));
        } else if (broken == u"executable") {
            entry.executablePath = sandbox.path(QStringLiteral("Game/bin/missing.exe"));
            entry.prefixPath = sandbox.path(QStringLiteral("empty-prefix"));
        } else if (broken == u"prefix") {
            entry.prefixPath = sandbox.path(QStringLiteral("empty-prefix"));
            entry.environment.insert(QStringLiteral("1BAD"), QStringLiteral("x"));
        } else if (broken == u"environment") {
            entry.environment.insert(QStringLiteral("1BAD"), QStringLiteral("x"));
        } else if (broken == u"wineserver") {
            entry.wineServerPath = sandbox.path(QStringLiteral("nowhere/wineserver"));
        }
        const auto result = WineRuntime::validate(entry);
        if (expected.isEmpty()) {
            QVERIFY(result.hasValue());
            return;
        }
        QVERIFY(!result.hasValue());
        QCOMPARE(
            result.error().description(), expected.contains(u"%1") ? expected.arg(root) : expected);
    }

    void environmentIsFilteredAndMerged()
    {
        const Environment inherited {
            {"HOME", "/home/u"},
            {"PATH", "/bin"},
            {"WINEPREFIX", "/elsewhere"},
            {"WINEDEBUG", "+all"},
            {"WINEDLLOVERRIDES", "x=n"},
            {"WINEESYNC", "1"},
            {"DYLD_LIBRARY_PATH", "/l"},
            {"ROSETTA_X", "1"},
            {"MTL_HUD_ENABLED", "1"},
            {"D3DM_X", "1"},
            {"DXMT_X", "1"},
            {"GST_PLUGIN_PATH", "/g"},
            {"AOELAB_X", "1"},
            {"SDL_VIDEODRIVER", "x"},
            {"MVK_CONFIG", "1"},
            {"wine_lowercase", "kept"},
            {"MY_WINE", "kept"},
        };
        GameEntry entry;
        entry.prefixPath = QStringLiteral("/p/prefix/");
        entry.winePath = QStringLiteral("relative/bin/wine");
        entry.wineServerPath = QStringLiteral("/w/../w/wineserver");
        entry.environment = {{"DYLD_INSERT_LIBRARIES", "/mine"}, {"WINEDEBUG", "+relay"},
            {"WINEPREFIX", "/redirected"}, {"WINESERVER", "/other"}, {"WINELOADER", "/other"},
            {"PATH", "/entry/bin"}};
        const Environment expected {
            {"HOME", "/home/u"},
            {"PATH", "/entry/bin"},
            {"wine_lowercase", "kept"},
            {"MY_WINE", "kept"},
            {"DYLD_INSERT_LIBRARIES", "/mine"},
            {"WINEDEBUG", "+relay"},
            {"WINEPREFIX", "/p/prefix"},
            {"WINELOADER", QDir::currentPath() + QStringLiteral("/relative/bin/wine")},
            {"WINESERVER", "/w/wineserver"},
        };
        QCOMPARE(WineRuntime::baseEnvironment(entry, inherited), expected);

        entry.environment.clear();
        QCOMPARE(WineRuntime::baseEnvironment(entry, {}).value(QStringLiteral("WINEDEBUG")),
            QStringLiteral("-all"));
    }

    void startRunsWineExactlyAsBuilt()
    {
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        entry.arguments = {QStringLiteral("a"), QStringLiteral("b c"), QString()};
        const QString log = sandbox.path(QStringLiteral("Logs/deep/run.log"));
        const auto process = WineRuntime::start(entry, log);
        QVERIFY_OK(process);
        QCOMPARE((*process)->waitForExit(), 0);

        QCOMPARE(recordedArguments(sandbox.recordDir(), QStringLiteral("wine")),
            QStringList({entry.executablePath, "a", "b c", ""}));
        QCOMPARE(recordedEnvironment(sandbox.recordDir(), QStringLiteral("wine")),
            WineRuntime::baseEnvironment(entry));
        QCOMPARE(recordedWorkingFolder(sandbox.recordDir(), QStringLiteral("wine")),
            QFileInfo(entry.executablePath).absolutePath());
        const QByteArray output = readFile(log);
        QVERIFY(output.contains("fake wine ran " + entry.executablePath.toUtf8() + " a b c"));
        QVERIFY(output.contains("fake wine says this on stderr"));
    }

    void startEmptiesTheEarlierLog()
    {
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        const QString log = sandbox.path(QStringLiteral("run.log"));
        writeFile(log, QByteArray("OLD-LOG-LINE\n").repeated(10000));
        entry.arguments = {QStringLiteral("second")};
        const auto process = WineRuntime::start(entry, log);
        QVERIFY(process.hasValue());
        (*process)->waitForExit();
        const QByteArray output = readFile(log);
        QVERIFY(!output.contains("OLD-LOG-LINE"));
        QVERIFY(output.startsWith("fake wine ran"));
    }

    void startReportsPlatformFailures()
    {
        Sandbox sandbox;
        const GameEntry entry = sandbox.readyEntry();
        writeFile(sandbox.path(QStringLiteral("file")), "x");
        const auto result
            = WineRuntime::start(entry, sandbox.path(QStringLiteral("file/Logs/run.log")));
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().description(),
            QStringLiteral("Quillmere couldn't create the folder “")
                + sandbox.path(QStringLiteral("file/Logs"))
                + QStringLiteral("”. Check that the disk is writable."));

        GameEntry broken = entry;
        broken.winePath = sandbox.path(QStringLiteral("nowhere"));
        QCOMPARE(
            WineRuntime::start(broken, sandbox.path(QStringLiteral("x.log"))).error().description(),
            QStringLiteral("Can't find this file or folder:\n") + broken.winePath);
        QVERIFY(!QFile::exists(sandbox.path(QStringLiteral("x.log"))));
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
        entry.prefixPath = sandbox.path(QStringLiteral("new/prefix"));
        entry.environment.insert(QStringLiteral("FAKE_WINEBOOT_REGISTRY"), registry);
        entry.environment.insert(
            QStringLiteral("FAKE_WINEBOOT_EXIT"), QString::number(winebootExit));
        const QString log = sandbox.path(QStringLiteral("Logs/prefix.log"));

        const auto result = WineRuntime::createPrefix(entry, log);
        if (succeeds) {
            QVERIFY_OK(result);
        } else {
            QVERIFY(!result.hasValue());
            QCOMPARE(result.error().description(),
                QStringLiteral(
                    "Wine could not initialize the prefix. Open the latest log for details.\n")
                    + log);
        }
        QCOMPARE(recordedArguments(sandbox.recordDir(), QStringLiteral("wineboot")),
            QStringList({"wineboot", "--init"}));
        QCOMPARE(recordedEnvironment(sandbox.recordDir(), QStringLiteral("wineboot")),
            WineRuntime::baseEnvironment(entry));
        QCOMPARE(recordedWorkingFolder(sandbox.recordDir(), QStringLiteral("wineboot")),
            entry.prefixPath);
        const QByteArray output = readFile(log);
        QVERIFY(output.contains("fake wineboot wineboot --init"));
        if (winebootExit == 0) {
            // The wait for wineserver runs with the same environment and writes to the same log.
            QCOMPARE(recordedArguments(sandbox.recordDir(), QStringLiteral("wineserver-w")),
                QStringList({"-w"}));
            QCOMPARE(recordedEnvironment(sandbox.recordDir(), QStringLiteral("wineserver-w")),
                WineRuntime::baseEnvironment(entry));
            QVERIFY(output.contains("fake wineserver waited"));
        } else {
            QVERIFY(!QFile::exists(sandbox.recordDir() + QStringLiteral("/wineserver-w.args")));
        }
    }

    void createPrefixRefusesUnsuitableFolders_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("expected"); // %1: the prefix, %2: the sandbox
        QTest::newRow("hidden file only") << "hidden"
                                          << "Choose an empty folder for the new Wine prefix. "
                                             "Quillmere left this folder unchanged:\n%1";
        QTest::newRow("initialised")
            << "initialised"
            << "That prefix already contains a Wine registry, so Quillmere left it unchanged:\n%1";
        QTest::newRow("wine missing") << "no wine"
                                      << "Can't find this file or folder:\n%2/no/wine";
        QTest::newRow("wineserver missing") << "no wineserver"
                                            << "Can't find this file or folder:\n%2/no/wineserver";
    }
    void createPrefixRefusesUnsuitableFolders()
    {
        QFETCH(QString, setup);
        QFETCH(QString, expected);
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        entry.prefixPath = sandbox.path(QStringLiteral("target"));
        if (setup == u"hidden") {
            writeFile(entry.prefixPath + QStringLiteral("/.hidden"), "x");
        } else if (setup == u"initialised") {
            writeFile(entry.prefixPath + QStringLiteral("/system.reg"), "original");
            writeFile(entry.prefixPath + QStringLiteral("/user.reg"), "original");
        } else if (setup == u"no wine") {
            entry.winePath = sandbox.path(QStringLiteral("no/wine"));
        } else {
            entry.wineServerPath = sandbox.path(QStringLiteral("no/wineserver"));
        }
        const QStringList before
            = QDir(entry.prefixPath)
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const QString log = sandbox.path(QStringLiteral("prefix.log"));
        const auto result = WineRuntime::createPrefix(entry, log);
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().description(),
            QString(expected)
                .replace(QStringLiteral("%1"), entry.prefixPath)
                .replace(QStringLiteral("%2"), sandbox.root()));
        // Nothing was run and nothing was touched.
        QCOMPARE(QDir(entry.prefixPath)
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            before);
        QVERIFY(!QFile::exists(sandbox.recordDir() + QStringLiteral("/wineboot.args")));
        QVERIFY(!QFile::exists(log));
        if (setup == u"initialised")
            QCOMPARE(
                readFile(entry.prefixPath + QStringLiteral("/system.reg")), QByteArray("original"));
    }

    void stopAsksWineserver_data()
    {
        QTest::addColumn<int>("exitCode");
        QTest::newRow("delivered") << 0;
        QTest::newRow("refused") << 5;
    }
    void stopAsksWineserver()
    {
        QFETCH(int, exitCode);
        Sandbox sandbox;
        GameEntry entry = sandbox.readyEntry();
        entry.environment.insert(QStringLiteral("FAKE_WINESERVER_EXIT"), QString::number(exitCode));
        const auto status = WineRuntime::stop(entry);
        QVERIFY(status.hasValue());
        QCOMPARE(*status, exitCode);
        QCOMPARE(recordedArguments(sandbox.recordDir(), QStringLiteral("wineserver-k")),
            QStringList({"-k"}));
        QCOMPARE(recordedEnvironment(sandbox.recordDir(), QStringLiteral("wineserver-k")),
            WineRuntime::baseEnvironment(entry));

        entry.winePath = sandbox.path(QStringLiteral("gone")); // stop never needs wine itself
        entry.wineServerPath = sandbox.path(QStringLiteral("gone/wineserver"));
        QCOMPARE(WineRuntime::stop(entry).error().description(),
            QStringLiteral("Can't find this file or folder:\n") + entry.wineServerPath);
    }
};

QTEST_GUILESS_MAIN(TestWineRuntime)
#include "tst_wineruntime.moc"
