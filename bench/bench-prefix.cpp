// bench-prefix BUILD_DIR WORK_DIR: how long a new Wine prefix takes with the system's real Wine,
// as "key value" lines in seconds. `quillmere run` of a new program, from its start to its
// prefix being ready (its launch log appears) and to the program's output in that log: first
// of a Wine build (wineboot, then the build's template is kept), then from the template (the
// median of three). The reference is wineboot by hand in a fresh prefix, with the
// wait for its wineserver, as Quillmere ran it for every new prefix before.
// Prints nothing when real Wine or the Windows test program is missing.
#include "Measure.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const QString wine = u"/usr/bin/wine"_s;
const QString wineServer = u"/usr/bin/wineserver"_s;

struct Run
{
    double ready = -1; // the launch log appeared: the prefix is made and the program starts
    double output = -1; // the program's first line is in its launch log
};

Run runNew(const QString &quillmere, const QString &data, const QString &program)
{
    const QDir logs(data + u"/Quillmere/Logs"_s);
    const QStringList before = logs.entryList({u"*.log"_s}, QDir::Files);
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_DATA_HOME"_s, data);
    environment.insert(u"XDG_CONFIG_HOME"_s, data + u"/config"_s);
    run.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    run.start(quillmere, {u"run"_s, program});
    Run out;
    while (out.output < 0 && run.state() != QProcess::NotRunning) {
        for (const QString &name : logs.entryList({u"*.log"_s}, QDir::Files)) {
            if (before.contains(name) || name.startsWith(u"prefix-"_s))
                continue;
            const double now = clock.nsecsElapsed() / 1e9;
            out.ready = out.ready < 0 ? now : out.ready;
            QFile log(logs.filePath(name));
            if (log.open(QIODevice::ReadOnly) && log.readAll().contains("argsecho is running"))
                out.output = now;
        }
        QThread::msleep(10);
    }
    run.waitForFinished(-1);
    return out;
}

// Ends the wineserver of every prefix in `folder`, then removes the prefixes.
void stopAll(const QString &folder)
{
    for (const QFileInfo &prefix : QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        measure({u"env"_s, u"WINEPREFIX="_s + prefix.filePath(), wineServer, u"-k"_s});
        QDir(prefix.filePath()).removeRecursively();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 2) {
        std::fputs("usage: bench-prefix BUILD_DIR WORK_DIR\n", stderr);
        return 2;
    }
    const QString build = QDir(args.at(0)).absolutePath();
    const QString work = QDir(args.at(1)).absoluteFilePath(u"prefix"_s);
    const QString windowsProgram = build + u"/tests/argsecho.exe"_s;
    if (!QFileInfo(wine).isExecutable() || !QFile::exists(windowsProgram))
        return 0;
    QDir(work).removeRecursively();
    QDir().mkpath(work + u"/by-hand"_s);

    const Measured wineboot = measure(
        {u"env"_s, u"WINEPREFIX="_s + work + u"/by-hand/prefix"_s, u"WINEDEBUG=-all"_s, u"sh"_s,
            u"-c"_s, wine + u" wineboot --init >/dev/null 2>&1 && "_s + wineServer + u" -w"_s});
    std::printf("wineboot_s %.3f\n", wineboot.seconds);
    stopAll(work + u"/by-hand"_s);

    QList<Run> runs;
    for (int i = 0; i < 4; ++i) {
        const QString program = work + u"/programs/%1/hello.exe"_s.arg(i);
        QDir().mkpath(QFileInfo(program).absolutePath());
        QFile::copy(windowsProgram, program);
        runs << runNew(build + u"/src/app/quillmere"_s, work + u"/data"_s, program);
        // Each prefix takes hundreds of megabytes; the template stays.
        stopAll(work + u"/data/Quillmere/Prefixes"_s);
    }
    std::printf("first_ready_s %.3f\nfirst_output_s %.3f\n", runs[0].ready, runs[0].output);
    QList<Run> copies = runs.mid(1);
    std::sort(copies.begin(), copies.end(),
        [](const Run &a, const Run &b) { return a.output < b.output; });
    std::printf("copy_ready_s %.3f\ncopy_output_s %.3f\n", copies[1].ready, copies[1].output);

    QDir(work).removeRecursively();
    return 0;
}
