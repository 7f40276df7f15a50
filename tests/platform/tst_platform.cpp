#include "platform/ChildProcess.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void userDefaultsKeepStringArrays_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::newRow("none") << QStringList();
        QTest::newRow("one") << QStringList({"/Applications/Wine Devel.app/bin/wine"});
        QTest::newRow("several, with commas and quotes") << QStringList({"a,b", "\"c\"", "é", ""});
    }
    void userDefaultsKeepStringArrays()
    {
        QFETCH(QStringList, values);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"defaults.ini"_s);
        UserDefaults(file).setStringArray(u"Quillmere.approvedRuntimePaths"_s, values);
        // A second store on the same file sees what the first one wrote.
        UserDefaults reread(file);
        QCOMPARE(reread.stringArray(u"Quillmere.approvedRuntimePaths"_s), values);
        QCOMPARE(reread.stringArray(u"Quillmere.unknown"_s), QStringList());
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
        command.program = u"/bin/sh"_s;
        command.arguments = {u"-c"_s, script};
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
        command.program = u"/nonexistent/wine"_s;
        const auto process = ChildProcess::launch(command);
        QVERIFY(!process.hasValue());
        QCOMPARE(
            process.error(), u"Couldn't start “/nonexistent/wine”: No such file or directory."_s);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
