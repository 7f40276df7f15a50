// The core's in-process figures, measured with Google Benchmark:
//   sha256      SHA-256 of WORK/sha256.bin (1 GiB)
//   decode/N    reading WORK/library-N/Quillmere/library.json, N = 1,000, 10,000 or 100,000
//   encode/N    a library of N entries made into the file's bytes
//   save/N      one change to that library, which writes the whole file
//   search/N    search and sections per keystroke over N profiles, N = 10,000 or 100,000
// Usage: bench-core [--work=DIR] [--benchmark_filter=REGEX] [other --benchmark_* flags]
// Inputs missing from WORK (a temporary folder by default) are made before their benchmark runs.
// bench-report makes them beforehand and runs one benchmark per process, so that each has its
// own peak memory. `bench-core make-library N FOLDER` writes N sample entries to the library
// file in FOLDER.
#include "Samples.h"

#include "library/LibraryFile.h"
#include "library/LibraryModel.h"
#include "platform/UserDefaults.h"
#include "profiles/GameBrowser.h"
#include "profiles/GameProfileSearch.h"
#include "profiles/SteamGameCatalog.h"
#include "setup/Downloads.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QString g_work;

bool makeLibrary(int count, const QString &folder)
{
    QDir().mkpath(folder);
    return bool(LibraryFile::write(
        QDir(folder).filePath(u"library.json"_s), LibraryFile::encode(Samples::entries(count))));
}

QString libraryFolder(int count)
{
    const QString folder = g_work + u"/library-%1/Quillmere"_s.arg(count);
    if (!QFileInfo::exists(folder + u"/library.json"_s))
        makeLibrary(count, folder);
    return folder;
}

void sha256(benchmark::State &state)
{
    const QString file = g_work + u"/sha256.bin"_s;
    if (!QFileInfo::exists(file)) {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write the file to hash");
            return;
        }
        std::vector<quint32> block(1 << 18); // 1 MiB
        for (int i = 0; i < 1024; ++i) {
            QRandomGenerator::global()->fillRange(block.data(), block.size());
            out.write(reinterpret_cast<const char *>(block.data()), 1 << 20);
        }
    }
    for (auto _ : state) {
        const auto digest = Downloads::sha256(file);
        if (!digest)
            state.SkipWithError("hashing failed");
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(file).size());
}

void decode(benchmark::State &state)
{
    const QString file = libraryFolder(int(state.range(0))) + u"/library.json"_s;
    for (auto _ : state) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot read the library");
            break;
        }
        const auto decoded = LibraryFile::decode(in.readAll());
        if (!decoded)
            state.SkipWithError("the library does not decode");
        benchmark::DoNotOptimize(decoded);
    }
}

void encode(benchmark::State &state)
{
    const QList<GameEntry> entries = Samples::entries(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(LibraryFile::encode(entries));
}

// One change writes the whole file; taking the entry out again (not timed) keeps the library at
// its size from one iteration to the next.
void save(benchmark::State &state)
{
    const QString folder = libraryFolder(int(state.range(0)));
    LibraryContext context {folder,
        std::make_shared<UserDefaults>(QDir(folder).filePath(u"defaults.ini"_s)), nullptr, {}};
    LibraryModel model(context);
    const GameEntry entry = Samples::entries(1).first();
    for (auto _ : state) {
        model.add(entry);
        state.PauseTiming();
        model.remove(entry);
        state.ResumeTiming();
    }
    if (!model.errorMessage().isEmpty())
        state.SkipWithError(qPrintable(model.errorMessage()));
}

// Typing "counter strike" one key at a time, then deleting it again, over and over; each
// iteration is one keystroke, timed by hand so that the median and the worst can be told.
const QString typed = u"counter strike"_s;
constexpr int keystrokes = 29; // the empty search, 14 keys typed, 14 deleted
void search(benchmark::State &state)
{
    const QList<GameCompatibilityProfile> profiles = Samples::profiles(int(state.range(0)));
    const QHash<QString, SteamStoreGameData> storeGames;
    const QHash<QString, int> ranks = SteamGameCatalog::fallbackPopularityRanks();
    // Once per catalogue and chart: the order the sections show and the folded texts.
    QElapsedTimer indexing;
    indexing.start();
    GameProfileSearch::Index index(GameBrowser::sectionOrder(profiles, ranks));
    const double indexMs = indexing.nsecsElapsed() / 1e6;
    std::vector<double> times;
    int key = 0;
    for (auto _ : state) {
        const auto i = qsizetype(key++ % keystrokes);
        const QString text = typed.left(i <= typed.size() ? i : typed.size() * 2 - i);
        QElapsedTimer timer;
        timer.start();
        const auto sections = GameBrowser::sectionsInOrder(index.matching(text), storeGames, ranks);
        const auto visible = GameBrowser::visibleProfiles(sections);
        const double seconds = timer.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        times.push_back(seconds * 1000);
        if (visible.size() > profiles.size())
            state.SkipWithError("more profiles shown than there are");
    }
    std::sort(times.begin(), times.end());
    state.counters["index_ms"] = indexMs;
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["max_ms"] = times.back();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "make-library") == 0)
        return makeLibrary(QByteArray(argv[2]).toInt(), QString::fromLocal8Bit(argv[3])) ? 0 : 1;

    benchmark::Initialize(&argc, argv);
    QTemporaryDir temporary;
    g_work = temporary.path();
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--work=", 7) == 0)
            g_work = QDir(QString::fromLocal8Bit(argv[i] + 7)).absolutePath();
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    QDir().mkpath(g_work);

    benchmark::RegisterBenchmark("sha256", sha256)->Unit(benchmark::kMillisecond);
    using Function = void (*)(benchmark::State &);
    for (const auto &[name, function] : {std::pair<const char *, Function> {"decode", decode},
             {"encode", encode}, {"save", save}}) {
        benchmark::RegisterBenchmark(name, function)
            ->Arg(1000)
            ->Arg(10000)
            ->Arg(100000)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("search", search)
        ->Arg(10000)
        ->Arg(100000)
        ->Iterations(keystrokes * 10)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
