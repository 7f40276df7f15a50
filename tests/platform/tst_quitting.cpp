#include "platform/Background.h"
#include "setup/WineInstaller.h"
#include "support/SetupSupport.h"

#include <QElapsedTimer>

using namespace TestSupport;
using namespace Qt::StringLiterals;

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

        QTest::newRow("mid-wineboot") << u"wineboot"_s << u"5"_s << false;
        QTest::newRow("tar done within the grace") << u"tar"_s << u"0.3"_s << true;
        QTest::newRow("tar outlasting the grace") << u"tar"_s << u"5"_s << false;
        QTest::newRow("mid-download") << u"download"_s << QString() << false;
    }
    void quittingMidWork()
    {
        QFETCH(QString, mode);
        QFETCH(QString, childSleep);
        QFETCH(bool, completes);
        Sandbox sandbox;
        const QString runtimes = sandbox.path(u"Runtimes"_s);
        const QString downloads = sandbox.path(u"Downloads"_s);
        QStringList arguments {mode};
        if (mode == u"wineboot"_s) {
            const QString exe = sandbox.path(u"Tool/tool.exe"_s);
            writeFile(exe, "MZ");
            arguments << sandbox.dataFolder() << exe << fakeWine() << fakeWineServer()
                      << sandbox.recordDir() + u"/wineboot.args"_s;
        } else if (mode == u"tar"_s) {
            const QString tar = sandbox.path(u"slow-tar"_s);
            writeFile(tar, "#!/bin/sh\nsleep " + childSleep.toUtf8() + "\nexec tar \"$@\"\n");
            QFile::setPermissions(tar, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            arguments << buildWineArchive(sandbox.path(u"wine.tar.xz"_s), ArchiveLayout::good)
                      << runtimes << tar;
        } else {
            QVERIFY(QDir().mkpath(downloads));
            arguments << downloads;
        }

        QProcess app;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"FAKE_RECORD_DIR"_s, sandbox.recordDir());
        environment.insert(u"FAKE_WINEBOOT_SLEEP"_s, childSleep);
        app.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        app.start(QStringLiteral(QUILLMERE_QUITTING_APP), arguments);
        QVERIFY(app.waitForFinished(20000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QVERIFY2(app.exitCode() == 0, app.readAllStandardError().constData());
        QVERIFY2(clock.elapsed() < Background::Pool::quitGrace.count() + 1500,
            QByteArray::number(clock.elapsed()).constData());
        // No result reaches a program that has quit.
        QCOMPARE(app.readAllStandardOutput(), QByteArray());

        if (mode == u"wineboot"_s) {
            QVERIFY(sandbox.model()->entries().isEmpty());
            // Wine was left running: it finishes the prefix after we are gone.
            const QString prefixes = sandbox.dataFolder() + u"/Prefixes/"_s;
            QCOMPARE(items(prefixes).size(), 1);
            QTRY_VERIFY_WITH_TIMEOUT(
                QFile::exists(prefixes + items(prefixes).first() + u"/system.reg"_s), 10000);
        } else if (mode == u"tar"_s) {
            const QString installed = QDir(runtimes).filePath(WineInstaller::installedBundleName);
            QCOMPARE(QFile::exists(installed + u"/Contents/Resources/wine/bin/wine"_s), completes);
            if (completes) // the staging folder went with the finished install
                QCOMPARE(items(runtimes), QStringList {WineInstaller::installedBundleName});
        } else {
            QVERIFY(!QFile::exists(downloads + u"/wine.tar.xz"_s));
        }
    }
};

QTEST_GUILESS_MAIN(TestQuitting)
#include "tst_quitting.moc"
