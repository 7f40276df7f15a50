#include "library/LibraryModel.h"
#include "platform/Background.h"
#include "setup/WineInstaller.h"
#include "support/SetupSupport.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

using namespace TestSupport;

// Quitting while background work runs: the program ends at once with status 0, Wine and tar
// keep running, and nothing is left half-done in its final place.
class TestQuitting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void quittingMidWork_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("childSleep"); // seconds the child process takes
        QTest::addColumn<bool>("completes"); // within the grace quitting gives

        QTest::newRow("mid-wineboot") << QStringLiteral("wineboot") << QStringLiteral("5") << false;
        QTest::newRow("tar done within the grace")
            << QStringLiteral("tar") << QStringLiteral("0.3") << true;
        QTest::newRow("tar outlasting the grace")
            << QStringLiteral("tar") << QStringLiteral("5") << false;
        QTest::newRow("mid-download") << QStringLiteral("download") << QString() << false;
    }
    void quittingMidWork()
    {
        QFETCH(QString, mode);
        QFETCH(QString, childSleep);
        QFETCH(bool, completes);
        Sandbox sandbox;
        const QString runtimes = sandbox.path(QStringLiteral("Runtimes"));
        const QString installed = QDir(runtimes).filePath(WineInstaller::installedBundleName);
        const QString downloads = sandbox.path(QStringLiteral("Downloads"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FAKE_RECORD_DIR"), sandbox.recordDir());
        environment.insert(QStringLiteral("FAKE_WINEBOOT_SLEEP"), childSleep);
        QStringList arguments {mode};
        if (mode == QStringLiteral("wineboot")) {
            const QString exe = sandbox.path(QStringLiteral("Tool/tool.exe"));
            writeFile(exe, "MZ");
            arguments << sandbox.dataFolder() << exe << fakeWine() << fakeWineServer()
                      << sandbox.recordDir() + QStringLiteral("/wineboot.args");
        } else if (mode == QStringLiteral("tar")) {
            const QString tar = sandbox.path(QStringLiteral("slow-tar"));
            writeFile(tar, "#!/bin/sh\nsleep " + childSleep.toUtf8() + "\nexec tar \"$@\"\n");
            QFile::setPermissions(tar, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            arguments << buildWineArchive(
                sandbox.path(QStringLiteral("wine.tar.xz")), ArchiveLayout::good)
                      << runtimes << tar;
        } else {
            QVERIFY(QDir().mkpath(downloads));
            arguments << downloads;
        }

        QProcess app;
        app.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        app.start(QStringLiteral(QUILLMERE_QUITTING_APP), arguments);
        QVERIFY(app.waitForFinished(20000));
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QVERIFY2(app.exitCode() == 0, app.readAllStandardError().constData());
        QVERIFY2(elapsed < (Background::Pool::quitGrace.count() + 1500),
            QByteArray::number(elapsed).constData());
        // No result reaches a program that has quit.
        QCOMPARE(app.readAllStandardOutput(), QByteArray());

        if (mode == QStringLiteral("wineboot")) {
            QVERIFY(sandbox.model()->entries().isEmpty());
            // Wine was left running: it finishes the prefix after we are gone.
            const QDir prefixes(sandbox.dataFolder() + QStringLiteral("/Prefixes"));
            const QStringList made = prefixes.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            QCOMPARE(made.size(), 1);
            QTRY_VERIFY_WITH_TIMEOUT(
                QFile::exists(prefixes.filePath(made.first() + QStringLiteral("/system.reg"))),
                10000);
        } else if (mode == QStringLiteral("tar")) {
            QCOMPARE(QFile::exists(installed + QStringLiteral("/Contents/Resources/wine/bin/wine")),
                completes);
            if (completes) // the staging folder went with the finished install
                QCOMPARE(QDir(runtimes).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                    QStringList {WineInstaller::installedBundleName});
        } else {
            QVERIFY(!QFile::exists(downloads + QStringLiteral("/wine.tar.xz")));
        }
    }
};

QTEST_GUILESS_MAIN(TestQuitting)
#include "tst_quitting.moc"
