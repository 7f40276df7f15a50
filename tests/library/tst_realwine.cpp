// End to end against the system's real Wine: a new prefix, launches with and without arguments,
// the exit notices and a stop, and new prefixes copied from the first. A relaunch's fresh log is
// the same code the fake Wine's tests cover.
#include "support/TestSupport.h"

#include <functional>

using namespace TestSupport;

namespace {
const QString systemWine = "/usr/bin/wine";
const QString systemWineServer = "/usr/bin/wineserver";
const QString windowsProgram = QStringLiteral(WINDOWS_TEST_PROGRAM);
const QString exitNotice = "The Wine launcher exited with code %1. The game may still be running; "
                           "use Stop Wine to check the prefix.";
// What `quillmere run` prints for the test program in a new prefix.
const QString ranInNewPrefix
    = "Preparing a new Wine prefix for argsecho…\nStarted argsecho.\n" + exitNotice.arg(40) + u'\n';

// Runs a copy of the test program at `folder` with `quillmere run`, the data folder in the
// sandbox; returns what it printed.
QString runDirectly(const Sandbox &sandbox, const QString &folder)
{
    const QString program = sandbox.path(folder + "/argsecho.exe");
    QDir().mkpath(QFileInfo(program).absolutePath());
    QFile::copy(windowsProgram, program);
    const auto quillmere = startQuillmere(sandbox, {"run", program});
    // The program's own exit code 40 fails the run.
    if (!quillmere->waitForFinished(600000) || quillmere->exitCode() != 1)
        return "quillmere run failed: " + QString::fromUtf8(quillmere->readAllStandardError());
    return QString::fromUtf8(quillmere->readAllStandardOutput());
}

QByteArray machineGuid(const QString &prefix)
{
    const QByteArray registry = readFile(prefix + "/system.reg");
    return registry.mid(registry.indexOf("\"MachineGuid\"="), 52);
}
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

    // The command line's run prepares a direct prefix and launches the program. The first prefix
    // of a Wine build becomes its template, and the next new program gets a copy of it; a
    // template whose stamp Wine would update means wineboot, said no differently, and leaves no
    // half prefix behind. Damaged templates are the fake Wine's rows. The library then launches
    // the first program again with arguments, tells how it exited, and stops its prefix.
    void runsCopiesThePrefixThenLaunchesWithArgumentsAndStops()
    {
        Sandbox sandbox;
        const QString templates = sandbox.path("Quillmere/PrefixTemplates/");
        const QString prefixes = sandbox.path("Quillmere/Prefixes");
        const auto kept = [&] { return templates + items(templates).value(0) + "/prefix"; };
        const QList<std::pair<QString, std::function<void()>>> changes {
            {"fresh", [] {}},
            {"from the template", [] {}},
            {"Wine would update it", // another build's stamp, of the same size
                [&] {
                    const QString stamp = kept() + "/.update-timestamp";
                    writeFile(stamp, QByteArray(readFile(stamp).size() - 1, '9') + '\n');
                }},
        };
        LibraryContext context = sandbox.context();
        context.dataFolder = sandbox.path("Quillmere");
        for (qsizetype i = 0; i < changes.size(); ++i) {
            changes.at(i).second();
            QCOMPARE(runDirectly(sandbox, changes.at(i).first), ranInNewPrefix);
            LibraryModel model(context);
            QCOMPARE(model.entries().size(), i + 1);
            const GameEntry entry = model.entries().last();
            QVERIFY(QFileInfo(entry.prefixPath).fileName().startsWith("Direct-"));
            QVERIFY(QFile::exists(entry.prefixPath + "/system.reg"));
            QVERIFY(readFile(model.logPath(entry)).contains("argsecho is running"));
            const QByteArray made
                = readFile(context.dataFolder + "/Logs/prefix-" + entry.idString() + ".log");
            QCOMPARE(made.startsWith("Quillmere copied this prefix from its template"), i == 1);
            QCOMPARE(items(prefixes).size(), i + 1); // each its own, and nothing half made
            QCOMPARE(items(templates).size(), 1);
            QVERIFY(QFile::exists(kept() + "/drive_c/windows/system32/notepad.exe"));
            (void)WineRuntime::stop(entry);
        }
        // The copy is a Windows installation of its own, with the links Wine made.
        LibraryModel model(context);
        const QString first = model.entries().at(0).prefixPath;
        const QString copy = model.entries().at(1).prefixPath;
        QVERIFY(machineGuid(copy).size() == 52 && machineGuid(copy) != machineGuid(first));
        QCOMPARE(QFileInfo(copy + "/dosdevices/c:").symLinkTarget(), copy + "/drive_c");
        QCOMPARE(QFileInfo(copy + "/dosdevices/z:").symLinkTarget(), "/");

        GameEntry entry = model.entries().first();
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
