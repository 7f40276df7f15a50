#include "platform/ChildProcess.h"
#include "platform/LaunchLog.h"
#include "platform/RegularFile.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What `seq 1 COUNT` prints, to compare the kept parts with.
QByteArray numbers(int count)
{
    QByteArray out;
    for (int n = 1; n <= count; ++n)
        out += QByteArray::number(n) + '\n';
    return out;
}

std::shared_ptr<ChildProcess> shell(const QString &script, int outputFd)
{
    auto started = ChildProcess::launch({.program = u"/bin/sh"_s,
        .arguments = {u"-c"_s, script},
        .environment = {{u"PATH"_s, u"/usr/bin:/bin"_s}},
        .outputFd = outputFd});
    return started ? *started : nullptr;
}

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(!LaunchLog::keeperPath().isEmpty(), "no log keeper"); }

    // Far more output than the cap keeps its first half, a note of what was left out, and the
    // latest output; less than the cap is kept whole. `released` lets the log go (as a window that
    // quits does) while the program still writes: the keeper holds the cap on its own.
    void keepsStartAndLatestOutput_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("released");
        QTest::newRow("under the cap") << 1000 << false;
        QTest::newRow("far over the cap") << 400000 << false;
        QTest::newRow("over the cap after the log is let go") << 400000 << true;
    }
    void keepsStartAndLatestOutput()
    {
        QFETCH(int, lines);
        QFETCH(bool, released);
        constexpr qint64 cap = 64 * 1024;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"run.log"_s);
        QFile stale(path); // what an earlier launch left is replaced
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("stale") == 5);
        stale.close();
        auto log = LaunchLog::create(path, cap);
        QVERIFY(log && (*log)->isBounded());
        const auto writer
            = shell(released ? u"sleep 0.2; seq 1 %1"_s.arg(lines) : u"seq 1 %1"_s.arg(lines),
                (*log)->fd());
        QVERIFY(writer);
        (*log)->closeForChildren();
        if (released)
            log->reset();
        writer->waitForExit();
        const QByteArray all = numbers(lines);
        if (!released)
            (*log)->settle(5s);
        if (all.size() <= cap) {
            QCOMPARE(readAll(path), all);
            return;
        }
        const qint64 head = cap / 2;
        const QByteArray note = "\n[Quillmere left out ";
        QTRY_VERIFY(readAll(path).endsWith(all.right(1000)) && readAll(path).contains(note));
        const QByteArray kept = readAll(path);
        QVERIFY2(kept.size() <= cap, QByteArray::number(kept.size()).constData());
        QCOMPARE(kept.left(head), all.left(head));
        const qsizetype noteEnd = kept.indexOf('\n', head + 1) + 1;
        const QByteArray tail = kept.mid(noteEnd);
        QVERIFY(tail.size() > cap / 3);
        QVERIFY(all.endsWith(tail));
        QCOMPARE(kept.mid(head, noteEnd - head),
            note + QByteArray::number(all.size() - head - tail.size())
                + " bytes of output here to keep this log under 64 KiB.]\n");
    }

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
            QCOMPARE(readAll(path), QByteArray("new"));
        } else {
            QCOMPARE(
                readAll(real.fileName()), QByteArray("kept")); // nothing written through a link
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
