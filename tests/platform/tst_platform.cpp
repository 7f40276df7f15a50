#include "platform/ChildProcess.h"
#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void userDefaultsKeepStringArrays_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::newRow("none") << QStringList();
        QTest::newRow("one") << QStringList(
            {"/Applications/Wine Devel.app/Contents/Resources/wine/bin/wine"});
        QTest::newRow("several, with commas and quotes") << QStringList({"a,b", "\"c\"", "é", ""});
    }
    void userDefaultsKeepStringArrays()
    {
        QFETCH(QStringList, values);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("defaults.ini"));
        UserDefaults(file).setStringArray(QStringLiteral("Quillmere.approvedRuntimePaths"), values);
        // A second store on the same file sees what the first one wrote.
        UserDefaults reread(file);
        QCOMPARE(reread.stringArray(QStringLiteral("Quillmere.approvedRuntimePaths")), values);
        QCOMPARE(reread.stringArray(QStringLiteral("Quillmere.unknown")), QStringList());
    }

    void childGetsExactlyItsEnvironmentAndFolder()
    {
        QTemporaryDir dir;
        const QString output = dir.filePath(QStringLiteral("out"));
        auto file = OutputFile::createEmpty(output);
        QVERIFY(file.hasValue());
        ChildProcess::Command command;
        command.program = QStringLiteral("/bin/sh");
        command.arguments = {QStringLiteral("-c"), QStringLiteral("cat /proc/$$/environ; pwd")};
        command.environment = {{"ONLY", "this"}, {"AND", "that=too"}};
        command.workingDirectory = dir.path();
        command.outputFd = (*file)->fd();
        auto process = ChildProcess::launch(command);
        QVERIFY(process.hasValue());
        QCOMPARE((*process)->waitForExit(), 0);
        QCOMPARE(readFile(output),
            QByteArray("AND=that=too") + '\0' + "ONLY=this" + '\0' + dir.path().toUtf8() + '\n');
    }

    void exitStatusAndTerminationCallback_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("status");
        QTest::newRow("success") << "exit 0" << 0;
        QTest::newRow("failure") << "exit 42" << 42;
        QTest::newRow("killed") << "kill -TERM $$" << -15;
    }
    void exitStatusAndTerminationCallback()
    {
        QFETCH(QString, script);
        QFETCH(int, status);
        ChildProcess::Command command;
        command.program = QStringLiteral("/bin/sh");
        command.arguments = {QStringLiteral("-c"), script};
        std::atomic<int> reported {1000};
        auto process = ChildProcess::launch(command, [&](int s) { reported = s; });
        QVERIFY(process.hasValue());
        QCOMPARE((*process)->waitForExit(), status);
        QTRY_COMPARE(reported.load(), status);
        QCOMPARE((*process)->exitStatus(), std::optional<int>(status));
    }

    void launchFailureIsASentence()
    {
        ChildProcess::Command command;
        command.program = QStringLiteral("/nonexistent/wine");
        const auto process = ChildProcess::launch(command);
        QVERIFY(!process.hasValue());
        QCOMPARE(process.error(),
            QStringLiteral("Couldn't start “/nonexistent/wine”: No such file or directory."));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
