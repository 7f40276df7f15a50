// bench-report BUILD_DIR WORK_DIR: runs every benchmark and prints the performance table.
#include "Measure.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

#include <cstdio>
#include <ctime>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString g_build;
QString g_work;

QString tool(const QString &name)
{
    return g_build + u"/bench/"_s + name;
}

// "key value" lines of a program's output.
QHash<QString, double> values(const QByteArray &output)
{
    QHash<QString, double> out;
    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            out.insert(QString::fromLatin1(parts.at(0)), parts.at(1).toDouble());
    }
    return out;
}

void row(const QString &figure, const QString &measured, const QString &target, const char *status)
{
    std::printf("| %s | %s | %s | %s |\n", qPrintable(figure), qPrintable(measured),
        qPrintable(target), status);
    std::fflush(stdout);
}

void row(const QString &figure, const QString &measured, const QString &target, bool met)
{
    row(figure, measured, target, met ? "met" : "NOT met");
}

QString number(double value, int decimals = 2)
{
    return QString::number(value, 'f', decimals);
}

// One of bench-core's Google Benchmarks, alone in a process so that its peak memory is its own.
struct Benchmarked
{
    Measured run;
    QJsonObject result; // the median of the repetitions, or the only run
    double ms = -1; // wall time per iteration; -1 when it failed
};

Benchmarked benchmarked(const QString &name, int repetitions = 3)
{
    QStringList command {tool(u"bench-core"_s), u"--work="_s + g_work,
        u"--benchmark_filter=^"_s + name + u"(/|$)"_s, u"--benchmark_format=json"_s};
    if (repetitions > 1) {
        command << u"--benchmark_repetitions=%1"_s.arg(repetitions)
                << u"--benchmark_report_aggregates_only=true"_s;
    }
    Benchmarked out {measure(command), {}, -1};
    const QJsonArray all = QJsonDocument::fromJson(out.run.output)[u"benchmarks"_s].toArray();
    for (const QJsonValue &value : all) {
        const QJsonObject result = value.toObject();
        if (repetitions > 1 && result[u"aggregate_name"_s].toString() != u"median"_s)
            continue;
        out.result = result;
        if (result[u"error_occurred"_s].toBool())
            break;
        const QHash<QString, double> perMs {
            {u"ns"_s, 1e-6}, {u"us"_s, 1e-3}, {u"ms"_s, 1}, {u"s"_s, 1e3}};
        out.ms = result[u"real_time"_s].toDouble() * perMs.value(result[u"time_unit"_s].toString());
        break;
    }
    return out;
}

void sha256()
{
    const QString file = g_work + u"/sha256.bin"_s;
    if (QFileInfo(file).size() != 1LL << 30)
        measure({u"sh"_s, u"-c"_s, u"head -c 1073741824 /dev/urandom > '"_s + file + u"'"_s});
    measure({u"cat"_s, file}); // warm the cache
    const double ours = benchmarked(u"sha256"_s).ms / 1000;
    const Measured system = medianOf(3, {u"sha256sum"_s, file});
    const double ratio = system.seconds / ours;
    row(u"SHA-256 of 1 GiB: throughput vs sha256sum"_s,
        number(1024 / ours, 0) + u" MB/s, "_s + number(ratio) + u"× ("_s
            + number(1024 / system.seconds, 0) + u" MB/s)"_s,
        u"≥ 2×"_s, ratio >= 2);
    QFile::remove(file);
}

void library(const QString &quillmere)
{
    for (int count : {1000, 10000, 100000}) {
        const QString folder = g_work + u"/library-%1/Quillmere"_s.arg(count);
        measure({tool(u"bench-core"_s), u"make-library"_s, QString::number(count), folder});
        const QString file = folder + u"/library.json"_s;
        const QString size = u"/"_s + QString::number(count);
        const Benchmarked decode = benchmarked(u"decode"_s + size);
        const Benchmarked encode = benchmarked(u"encode"_s + size);
        const Benchmarked save = benchmarked(u"save"_s + size);
        row(u"library of %1: decode / encode / save one change"_s.arg(count),
            number(decode.ms, 1) + u" / "_s + number(encode.ms, 1) + u" / "_s + number(save.ms, 1)
                + u" ms; peak "_s + number(decode.run.maxRssKiB / 1024.0, 0) + u" / "_s
                + number(encode.run.maxRssKiB / 1024.0, 0) + u" / "_s
                + number(save.run.maxRssKiB / 1024.0, 0) + u" MiB"_s,
            u"no target"_s, decode.ms >= 0 && encode.ms >= 0 && save.ms >= 0 ? "" : "failed");
        if (count != 100000)
            continue;
        const QString environment = u"XDG_DATA_HOME="_s + g_work + u"/library-100000"_s;
        const Measured list = medianOf(
            3, {u"env"_s, environment, quillmere, u"list"_s, u"--json"_s}, g_work + u"/out.json"_s);
        const Measured jq = medianOf(3, {u"jq"_s, u"-c"_s, u"."_s, file}, g_work + u"/jq.json"_s);
        const double time = list.seconds / jq.seconds;
        const double memory = double(list.maxRssKiB) / jq.maxRssKiB;
        row(u"list --json, 100,000 entries vs jq -c ."_s,
            number(list.seconds, 2) + u" s, "_s + number(list.maxRssKiB / 1024.0, 0)
                + u" MiB (jq "_s + number(jq.seconds, 2) + u" s, "_s
                + number(jq.maxRssKiB / 1024.0, 0) + u" MiB): "_s + number(time) + u"× time, "_s
                + number(memory) + u"× memory"_s,
            u"≤ 0.7× time, ≤ 1× memory"_s, time <= 0.7 && memory <= 1.0);
    }
}

void search()
{
    QHash<int, double> medians;
    for (int count : {10000, 100000}) {
        const QJsonObject run = benchmarked(u"search/"_s + QString::number(count), 1).result;
        medians.insert(count, run[u"median_ms"_s].toDouble(-1));
        row(u"search + sections per keystroke, %1 profiles"_s.arg(count),
            number(medians.value(count), 3) + u" ms median, "_s
                + number(run[u"max_ms"_s].toDouble(-1), 3) + u" ms worst"_s,
            count == 10000 ? u"≤ 16 ms"_s : u"≤ 10× the 10,000 figure"_s,
            medians.value(count) >= 0
                && (count == 10000 ? medians.value(count) <= 16
                                   : medians.value(count) <= 10 * medians.value(10000)));
    }
}

Measured window(const QString &kind, const QString &folder)
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 t0 = qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
    return measure({tool(u"bench-window"_s), kind, folder, QString::number(t0)});
}

void startup(const QString &platform)
{
    const QString folder = g_work + u"/window/Quillmere"_s;
    measure({tool(u"bench-core"_s), u"make-library"_s, u"1000"_s, folder});
    QList<double> empty, ours, emptyRss, oursRss;
    for (int i = 0; i < 5; ++i) {
        const auto a = values(window(u"empty"_s, folder).output);
        const auto b = values(window(u"library"_s, folder).output);
        empty << a.value(u"first_paint_ms"_s);
        ours << b.value(u"first_paint_ms"_s);
        emptyRss << a.value(u"rss_kib"_s);
        oursRss << b.value(u"rss_kib"_s);
    }
    for (QList<double> *list : {&empty, &ours, &emptyRss, &oursRss})
        std::sort(list->begin(), list->end());
    const double paint = ours[2] / empty[2];
    const double memory = oursRss[2] / emptyRss[2];
    row(u"window start to first paint, 1,000 entries vs an empty Qt window ("_s + platform + u')',
        number(ours[2], 0) + u" ms vs "_s + number(empty[2], 0) + u" ms: "_s + number(paint)
            + u"×"_s,
        u"≤ 1.5×"_s, paint <= 1.5);
    row(u"resident memory 2 s after start ("_s + platform + u')',
        number(oursRss[2] / 1024, 0) + u" MiB vs "_s + number(emptyRss[2] / 1024, 0) + u" MiB: "_s
            + number(memory) + u"×"_s,
        u"≤ 1.5×"_s, memory <= 1.5);
}

// The same figures on a real X server, when Xvfb is installed.
void startupUnderXvfb()
{
    const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_s);
    if (xvfb.isEmpty()) {
        std::printf("(Xvfb is not installed: the window figures are offscreen only)\n");
        return;
    }
    const QString display = u":%1"_s.arg(90 + getpid() % 9);
    QProcess server;
    server.start(
        xvfb, {display, u"-screen"_s, u"0"_s, u"1280x1024x24"_s, u"-nolisten"_s, u"tcp"_s});
    const QString socket = u"/tmp/.X11-unix/X"_s + display.mid(1);
    for (int i = 0; i < 100 && !QFileInfo::exists(socket); ++i)
        QThread::msleep(50);
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("DISPLAY", display.toLocal8Bit());
    startup(u"Xvfb"_s);
    qputenv("QT_QPA_PLATFORM", platform);
    server.terminate();
    server.waitForFinished(5000);
}

void stalls(const QString &downloadMiB)
{
    const auto found = values(measure({tool(u"bench-stall"_s), downloadMiB}).output);
    const QList<QPair<QString, QString>> names
        = {{u"download_extract_ms"_s, u"%1 MiB verified download + tar"_s.arg(downloadMiB)},
            {u"wineboot_ms"_s, u"wineboot"_s}, {u"wineserver_stop_ms"_s, u"wineserver -k"_s},
            {u"save_100k_ms"_s, u"saving 100,000 entries"_s}};
    for (const auto &[key, label] : names) {
        row(u"longest GUI stall: "_s + label, number(found.value(key, -1), 1) + u" ms"_s,
            u"≤ 50 ms"_s, found.contains(key) && found.value(key) <= 50);
    }
}

// A program that prints 1 GiB as fast as it can: its time with its output going straight to a
// file, and through the log keeper with the launch log's cap, and the log's size afterwards.
void launchLog()
{
    const QString log = g_work + u"/launch.log"_s;
    const QString keeper = g_build + u"/src/app/quillmere-logkeeper"_s;
    const QString print = u"head -c 1073741824 /dev/zero"_s;
    const Measured direct = medianOf(3, {u"sh"_s, u"-c"_s, print + u" > '"_s + log + u"'"_s});
    const Measured kept = medianOf(
        3, {u"sh"_s, u"-c"_s, print + u" | '"_s + keeper + u"' 16777216 > '"_s + log + u"'"_s});
    const double size = QFileInfo(log).size() / 1048576.0;
    const double slower = kept.seconds / direct.seconds;
    row(u"1 GiB of program output: time without / with the log cap, log size"_s,
        number(direct.seconds) + u" s / "_s + number(kept.seconds) + u" s ("_s + number(slower)
            + u"×), "_s + number(size, 1) + u" MiB"_s,
        u"≤ 16 MiB"_s, kept.exitStatus == 0 && size <= 16);
    QFile::remove(log);
}

// A new program's prefix with real Wine: the first of a Wine build is booted as before and
// kept as the build's template; later ones are copies of it.
void prefixes()
{
    const auto found = values(measure({tool(u"bench-prefix"_s), g_build, g_work}).output);
    if (!found.contains(u"copy_output_s"_s)) {
        std::printf("(real Wine or the Windows test program is missing: no prefix figures)\n");
        return;
    }
    const double first = found.value(u"first_output_s"_s);
    const double copy = found.value(u"copy_output_s"_s);
    row(u"quillmere run of a new program, real Wine, to its output: first of a Wine build / "
        "from its template"_s,
        number(first, 1) + u" s / "_s + number(copy, 1) + u" s: "_s + number(copy / first) + u"×"_s,
        u"≤ 0.25×"_s, copy > 0 && copy <= 0.25 * first);
    const double ready = found.value(u"copy_ready_s"_s);
    row(u"new prefix ready for the program: from the template / first of a build / wineboot "
        "and wineserver -w by hand"_s,
        number(ready, 2) + u" s / "_s + number(found.value(u"first_ready_s"_s), 1) + u" s / "_s
            + number(found.value(u"wineboot_s"_s), 1) + u" s"_s,
        u"≤ 2 s"_s, ready > 0 && ready <= 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 2) {
        std::fputs("usage: bench-report BUILD_DIR WORK_DIR [DOWNLOAD_MIB]\n", stderr);
        return 2;
    }
    g_build = QDir(args.at(0)).absolutePath();
    g_work = QDir(args.at(1)).absolutePath();
    QDir().mkpath(g_work);
    std::printf("| Figure | Measured | Target | |\n|---|---|---|---|\n");
    sha256();
    library(g_build + u"/src/app/quillmere"_s);
    search();
    launchLog();
    startup(u"offscreen"_s);
    startupUnderXvfb();
    stalls(args.value(2, u"500"_s));
    prefixes();
    return 0;
}
