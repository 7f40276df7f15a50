#include "platform/ChildProcess.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One value is stored as a plain string, several as a list; each overwrites the last and a
    // second store on the same file sees it.
    void userDefaultsKeepStringArrays()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"defaults.ini"_s);
        const QString key = u"Quillmere.approvedRuntimePaths"_s;
        for (const QStringList &values : {QStringList({"a,b", "\"c\"", "é", ""}),
                 QStringList({"/Applications/Wine Devel.app/bin/wine"}), QStringList()}) {
            UserDefaults(file).setStringArray(key, values);
            QCOMPARE(UserDefaults(file).stringArray(key), values);
        }
        QCOMPARE(UserDefaults(file).stringArray(u"Quillmere.unknown"_s), QStringList());
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
