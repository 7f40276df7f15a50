#include "platform/ChildProcess.h"
#include "platform/RegularFile.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

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

    // A save renamed over a path lands where the links a user made lead, and never replaces
    // anything but a regular file; a file opened for writing is never reached through a link,
    // nor waited on when it is a pipe.
    void replacesAndWritesOnlyRegularFiles_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("target"); // where a replacement lands; empty: refused
        QTest::addColumn<QString>("refusal"); // of a replacement; PATH: the path, DIR: its folder
        QTest::addColumn<QString>("opening"); // refusal of the opening; empty: it opens
        const QString link = u"The file “PATH” is a symbolic link, not a regular file."_s;
        QTest::newRow("nothing") << u"none"_s << u"file"_s << QString() << QString();
        QTest::newRow("regular file") << u"regular"_s << u"file"_s << QString() << QString();
        QTest::newRow("link into another folder")
            << u"link"_s << u"synced/real"_s << QString() << link;
        QTest::newRow("link to a link") << u"chain"_s << u"synced/real"_s << QString() << link;
        QTest::newRow("dangling link") << u"dangling"_s << u"synced/gone"_s << QString() << link;
        const QString pipe = u"The file “PATH” is a named pipe, not a regular file."_s;
        QTest::newRow("named pipe") << u"pipe"_s << QString() << pipe << pipe;
        const QString folder = u"The file “PATH” is a folder, not a regular file."_s;
        QTest::newRow("folder") << u"folder"_s << QString() << folder << folder;
        QTest::newRow("link to a named pipe")
            << u"link to pipe"_s << QString()
            << u"The file “PATH” links to “DIR/pipe”, which is a named pipe, not a regular file."_s
            << link;
        QTest::newRow("looping link")
            << u"loop"_s << QString()
            << u"The file “PATH” is a link in a loop that never reaches a file."_s << link;
    }
    void replacesAndWritesOnlyRegularFiles()
    {
        QFETCH(QString, setup);
        QFETCH(QString, target);
        QFETCH(QString, refusal);
        QFETCH(QString, opening);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"file"_s);
        const QByteArray name = QFile::encodeName(path);
        const auto read = [](const QString &file) { return *RegularFile::read(file, 100); };
        QVERIFY(QDir(dir.path()).mkpath(u"synced"_s));
        QFile real(dir.filePath(u"synced/real"_s));
        QVERIFY(real.open(QIODevice::WriteOnly) && real.write("kept") == 4 && real.flush());
        const QByteArray pipe = QFile::encodeName(dir.filePath(u"pipe"_s));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        int made = 0; // what the system answers to each step of making it
        if (setup == u"regular")
            made = ::link(QFile::encodeName(real.fileName()).constData(), name.constData());
        else if (setup == u"link")
            made = ::symlink("synced/real", name.constData());
        else if (setup == u"chain")
            made = ::symlink("synced/real", QFile::encodeName(dir.filePath(u"step"_s)).constData())
                + ::symlink("step", name.constData());
        else if (setup == u"dangling")
            made = ::symlink("synced/gone", name.constData());
        else if (setup == u"pipe")
            made = ::mkfifo(name.constData(), 0600);
        else if (setup == u"folder")
            made = ::mkdir(name.constData(), 0700);
        else if (setup == u"link to pipe")
            made = ::symlink(pipe.constData(), name.constData());
        else if (setup == u"loop")
            made = ::symlink(name.constData(), name.constData());
        QCOMPARE(made, 0);
        const auto expected = [&](QString text) {
            return text.replace(u"PATH"_s, path).replace(u"DIR"_s, dir.path());
        };

        const auto replacement = RegularFile::replacementTarget(path);
        QCOMPARE(replacement ? *replacement : replacement.error().refusal(u"the file"_s, path),
            target.isEmpty() ? expected(refusal) : dir.filePath(target));
        QCOMPARE(RegularFile::checkReplaceable(path).hasValue(), opening.isEmpty());
        const auto opened = RegularFile::openForWriting(path, RegularFile::WriteMode::truncate);
        QCOMPARE(
            opened ? QString() : opened.error().refusal(u"the file"_s, path), expected(opening));
        if (opened) {
            QCOMPARE((*opened)->write("new"), 3);
            (*opened)->close();
            QCOMPARE(read(path), QByteArray("new"));
        } else {
            QCOMPARE(read(real.fileName()), QByteArray("kept")); // nothing written through a link
        }
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
        std::atomic<int> reported {1000};
        auto process
            = ChildProcess::launch({.program = u"/bin/sh"_s, .arguments = {u"-c"_s, script}},
                [&](int s) { reported = s; });
        QVERIFY(process.hasValue());
        QCOMPARE((*process)->waitForExit(), status);
        QTRY_COMPARE(reported.load(), status);
        QCOMPARE((*process)->exitStatus(), std::optional<int>(status));
    }

    void launchFailureIsASentence()
    {
        const auto process = ChildProcess::launch({.program = u"/nonexistent/wine"_s});
        QVERIFY(!process.hasValue());
        QCOMPARE(
            process.error(), u"Couldn't start “/nonexistent/wine”: No such file or directory."_s);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
