#include "library/LibraryModel.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

namespace {
WineBinaries fakeRuntime()
{
    return {fakeWine(), fakeWineServer()};
}
} // namespace

class TestDirectLaunch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The window's tests refuse a plain text file with the same sentence.
    void refusesWhatIsNotAWindowsProgram_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message"); // %1: the normalised path
        QTest::newRow("folder named .exe") << "folder.exe"
                                           << "Choose a Windows executable file ending in .exe.";
        QTest::newRow("missing") << "missing.exe"
                                 << "Quillmere can't read this executable:\n%1";
    }
    void refusesWhatIsNotAWindowsProgram()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        Sandbox sandbox;
        QDir().mkpath(sandbox.path("folder.exe"));
        auto model = sandbox.model();
        // A path with "." and ".." parts is normalised before anything else.
        model->launchExecutable(sandbox.root() + "/./x/../" + file, fakeRuntime());
        QCOMPARE(model->errorMessage(), QString(message).replace("%1", sandbox.path(file)));
        QVERIFY(model->entries().isEmpty());
        QVERIFY(model->preparingExecutable().isEmpty());
    }

    void preparesAddsAndLaunches()
    {
        Sandbox sandbox;
        const QString setup = sandbox.path("Downloads/Setup.EXE");
        writeFile(setup, "MZ");
        writeFile(sandbox.path("Other.exe"), "MZ");
        qputenv("FAKE_RECORD_DIR", sandbox.recordDir().toUtf8());
        qputenv("FAKE_WINE_SLEEP", "3");
        auto model = sandbox.model();
        QSignalSpy preparing(model.get(), &LibraryModel::preparingExecutableChanged);
        // Setup may exit just before or after Other starts, so keep every notice.
        QStringList notices;
        connect(
            model.get(), &LibraryModel::noticeChanged, this, [&] { notices << model->notice(); });

        model->launchExecutable(setup, fakeRuntime());
        QCOMPARE(model->preparingExecutable(), "Setup");
        model->launchExecutable(sandbox.path("Other.exe"), fakeRuntime()); // waits its turn
        // The fake wine sleeps when asked its version, too.
        QTRY_VERIFY_WITH_TIMEOUT(model->preparingExecutable().isEmpty(), 20000);
        QCOMPARE(model->errorMessage(), QString());
        QCOMPARE(model->entries().size(), 2);
        QCOMPARE(model->entries().last().executablePath, sandbox.path("Other.exe"));
        // The first prefix of this Wine became its template; the second is a copy of it.
        QVERIFY(readFile(
            sandbox.dataFolder() + "/Logs/prefix-" + model->entries().last().idString() + ".log")
                    .startsWith("Quillmere copied this prefix from its template"));

        const GameEntry entry = model->entries().first();
        QCOMPARE(entry.name, "Setup");
        QCOMPARE(entry.executablePath, setup);
        QCOMPARE(entry.winePath, fakeWine());
        QVERIFY(entry.arguments.isEmpty() && entry.environment.isEmpty());
        const QString prefixName = QFileInfo(entry.prefixPath).fileName();
        QVERIFY(prefixName.startsWith("Direct-"));
        QVERIFY(!prefixName.contains(entry.idString()));
        QCOMPARE(QFileInfo(entry.prefixPath).path(), sandbox.dataFolder() + "/Prefixes");
        QVERIFY(QFile::exists(entry.prefixPath + "/system.reg"));
        QVERIFY(readFile(sandbox.dataFolder() + "/Logs/prefix-" + entry.idString() + ".log")
                    .contains("fake wineboot"));
        QCOMPARE(model->selectedID(), model->entries().last().id);
        QVERIFY2(notices.contains("Started Other."), qPrintable(notices.join(" | ")));
        QTRY_VERIFY_WITH_TIMEOUT(model->runningIDs().isEmpty(), 10000);

        // The same file again runs the entry it already has; nothing is prepared.
        preparing.clear();
        model->launchExecutable(setup, fakeRuntime());
        QCOMPARE(preparing.count(), 0);
        QVERIFY(model->isRunning(entry.id));
        QCOMPARE(model->entries().size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(!model->isRunning(entry.id), 10000);
        qunsetenv("FAKE_RECORD_DIR");
        qunsetenv("FAKE_WINE_SLEEP");
    }

    void failedPreparationAddsNothing()
    {
        Sandbox sandbox;
        writeFile(sandbox.path("Game.exe"), "MZ");
        writeFile(sandbox.path("Other.exe"), "MZ");
        qputenv("FAKE_WINEBOOT_EXIT", "1");
        auto model = sandbox.model();
        QStringList prepared;
        connect(model.get(), &LibraryModel::preparingExecutableChanged, this,
            [&] { prepared << model->preparingExecutable(); });
        // What waits gets its turn after a failure too, and a file asked for twice goes once.
        for (const QString name : {"Game", "Game", "Other"})
            model->launchExecutable(sandbox.path(name + ".exe"), fakeRuntime());
        QTRY_VERIFY_WITH_TIMEOUT(model->preparingExecutable().isEmpty(), 10000);
        QCOMPARE(prepared, QStringList({"Game", "", "Other", ""}));
        qunsetenv("FAKE_WINEBOOT_EXIT");
        QVERIFY(model->entries().isEmpty());
        QVERIFY(model->errorMessage().startsWith(
            QStringLiteral("Quillmere couldn't prepare Other:\nWine could not initialize the "
                           "prefix. Open the latest log for details.\n")));
        QVERIFY(model->errorMessage().contains("/Logs/prefix-"));
        // No entry names the half-made prefix, so it does not stay behind.
        QVERIFY(QDir(sandbox.dataFolder() + "/Prefixes").isEmpty());
    }

    // A prefix whose entry can't be recorded would be made again on every retry: a library
    // that can't be saved gets no prefix, and nothing is run.
    void unsavableLibraryGetsNoPrefix_data()
    {
        QTest::addColumn<bool>("breaksDuringPreparation");
        QTest::addColumn<QString>("message");
        QTest::newRow("before the drop") << false
                                         << "Quillmere can't save its library, so it didn't "
                                            "prepare a Wine prefix for Game:\n";
        QTest::newRow("while the prefix is made")
            << true
            << "Quillmere couldn't save Game in its library, so it removed the new Wine prefix "
               "and didn't run it:\n";
    }
    void unsavableLibraryGetsNoPrefix()
    {
        QFETCH(bool, breaksDuringPreparation);
        QFETCH(QString, message);
        Sandbox sandbox;
        writeFile(sandbox.path("Game.exe"), "MZ");
        // A folder in the library file's place can never be replaced by a saved file, even
        // for root, for whom a read-only folder is no obstacle.
        const QString library = sandbox.dataFolder() + "/library.json";
        if (!breaksDuringPreparation)
            QDir().mkpath(library);
        auto model = sandbox.model();
        model->setErrorMessage({});
        // Once wineboot runs, the check that the library can be saved has passed.
        qputenv("FAKE_RECORD_DIR", sandbox.recordDir().toUtf8());
        qputenv("FAKE_WINEBOOT_SLEEP", "1");
        const auto unset = qScopeGuard([] {
            qunsetenv("FAKE_RECORD_DIR");
            qunsetenv("FAKE_WINEBOOT_SLEEP");
        });
        model->launchExecutable(sandbox.path("Game.exe"), fakeRuntime());
        if (breaksDuringPreparation) {
            QCOMPARE(model->preparingExecutable(), "Game");
            QTRY_VERIFY(QFileInfo::exists(sandbox.recordDir() + "/wineboot.args"));
            QDir().mkpath(library);
        }
        QTRY_VERIFY_WITH_TIMEOUT(model->preparingExecutable().isEmpty(), 10000);
        QCOMPARE(model->errorMessage(),
            message + "The unreadable library file at “" + library
                + QStringLiteral("” couldn't be copied aside, so Quillmere won't replace it. "
                                 "Move it elsewhere to save again."));
        QVERIFY(model->entries().isEmpty());
        QVERIFY(model->runningIDs().isEmpty());
        QVERIFY(QDir(sandbox.dataFolder() + "/Prefixes").isEmpty());
        QVERIFY(QDir(sandbox.dataFolder() + "/Logs").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDirectLaunch)
#include "tst_directlaunch.moc"
