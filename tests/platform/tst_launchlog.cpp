#include "platform/ChildProcess.h"
#include "platform/LaunchLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

class TestLaunchLog : public QObject
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

    // Something other than a file at the log's place is refused at once; tst_cli's errors check
    // the same for a link and a named pipe, and that nothing is written through the link.
    void refusesWhatIsNotAFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("dangling link") << u"dangling"_s;
        QTest::newRow("folder") << u"folder"_s;
    }
    void refusesWhatIsNotAFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"run.log"_s);
        if (kind == u"dangling"_s)
            QVERIFY(QFile::link(dir.filePath(u"nothing"_s), path));
        else
            QVERIFY(QDir(dir.path()).mkdir(u"run.log"_s));
        const auto log = LaunchLog::create(path);
        QVERIFY(!log);
        QCOMPARE(log.error(),
            u"Quillmere won’t write the log “%1” because something other than a file is there. "
            "Move it away and try again."_s.arg(path));
        QVERIFY(!QFileInfo::exists(dir.filePath(u"nothing"_s)));
        QString whyNot;
        QVERIFY(!LaunchLog::openForReading(path, &whyNot));
        QVERIFY(!whyNot.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLaunchLog)
#include "tst_launchlog.moc"
