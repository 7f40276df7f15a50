// End to end against the system's real Wine: a new prefix, launches with and without arguments,
// the exit notices and a stop. A relaunch's fresh log is the same code the fake Wine's tests
// cover.
#include "library/LibraryModel.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

namespace {
const QString systemWine = "/usr/bin/wine";
const QString systemWineServer = "/usr/bin/wineserver";
const QString windowsProgram = QStringLiteral(WINDOWS_TEST_PROGRAM);
const QString exitNotice = "The Wine launcher exited with code %1. The game may still be running; "
                           "use Stop Wine to check the prefix.";
} // namespace

class TestRealWine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo(systemWine).isExecutable() || !QFileInfo(systemWineServer).isExecutable())
            QSKIP("Real Wine is not installed (/usr/bin/wine and /usr/bin/wineserver); skipping "
                  "the end-to-end test.");
        if (windowsProgram.isEmpty() || !QFile::exists(windowsProgram))
            QSKIP("The Windows test program was not built (x86_64-w64-mingw32-gcc missing); "
                  "skipping.");
        qInfo("Running the end-to-end test with real Wine at %s", qPrintable(systemWine));
    }

    // The command line's run prepares a direct prefix and launches the program; the library
    // then launches it again with arguments, tells how it exited, and stops its prefix.
    void runThenLaunchWithArgumentsAndStop()
    {
        Sandbox sandbox;
        const QString program = sandbox.path("Tools/argsecho.exe");
        QVERIFY(QDir().mkpath(QFileInfo(program).absolutePath()));
        QVERIFY(QFile::copy(windowsProgram, program));
        QProcess quillmere;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", sandbox.root());
        environment.insert("XDG_CONFIG_HOME", sandbox.path("config"));
        quillmere.setProcessEnvironment(environment);
        quillmere.start(QStringLiteral(QUILLMERE_EXECUTABLE), {"run", program});
        QVERIFY(quillmere.waitForFinished(600000));
        const QString out = QString::fromUtf8(quillmere.readAllStandardOutput());
        QCOMPARE(quillmere.exitCode(), 1); // the program's own exit code 40 fails the run
        QVERIFY2(out.startsWith(QStringLiteral(
                     "Preparing a new Wine prefix for argsecho…\nStarted argsecho.\n")),
            qPrintable(out));
        QVERIFY2(out.endsWith(exitNotice.arg(40) + u'\n'), qPrintable(out));

        LibraryContext context = sandbox.context();
        context.dataFolder = sandbox.path("Quillmere");
        LibraryModel model(context);
        QCOMPARE(model.entries().size(), 1);
        GameEntry entry = model.entries().first();
        QVERIFY(QFileInfo(entry.prefixPath).fileName().startsWith("Direct-"));
        QVERIFY(QFile::exists(entry.prefixPath + "/system.reg"));
        QVERIFY(readFile(model.logPath(entry)).contains("argsecho is running"));

        entry.arguments = {"a", "b c"};
        model.update(entry);
        model.launch(entry);
        QCOMPARE(model.errorMessage(), QString());
        QCOMPARE(model.notice(), "Started argsecho.");
        QTRY_VERIFY_WITH_TIMEOUT(!model.isRunning(entry.id), 180000);
        const QByteArray log = readFile(model.logPath(entry));
        QVERIFY2(log.contains("arg[1]=a") && log.contains("arg[2]=b c"), log.constData());
        QCOMPARE(model.notice(), exitNotice.arg(42));

        QSignalSpy stopped(&model, &LibraryModel::stopFinished);
        model.stop(entry);
        QVERIFY(stopped.wait(60000));
        QCOMPARE(model.errorMessage(), QString());
        QCOMPARE(model.notice(), "Sent a stop request to Wine for argsecho's prefix.");
        (void)WineRuntime::stop(entry); // leave no wineserver behind for this prefix
    }
};

QTEST_GUILESS_MAIN(TestRealWine)
#include "tst_realwine.moc"
