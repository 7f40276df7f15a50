// The measured steps, one per run so that the parent sees each step's own peak memory:
//   make-library N FOLDER | encode N | decode FILE | save FOLDER | sha256 FILE | search N
// Each prints the seconds (or milliseconds, for search) it measured.
#include "Samples.h"

#include "library/LibraryFile.h"
#include "library/LibraryModel.h"
#include "platform/UserDefaults.h"
#include "profiles/GameBrowser.h"
#include "profiles/GameProfileSearch.h"
#include "profiles/SteamGameCatalog.h"
#include "setup/Downloads.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void print(const char *name, double value)
{
    std::printf("%s %.6f\n", name, value);
}

int search(int count)
{
    const QList<GameCompatibilityProfile> profiles = Samples::profiles(count);
    const QHash<QString, SteamStoreGameData> storeGames;
    const QHash<QString, int> ranks = SteamGameCatalog::fallbackPopularityRanks();
    // Once per catalogue and chart: the order the sections show and the folded texts.
    QElapsedTimer indexing;
    indexing.start();
    GameProfileSearch::Index index(GameBrowser::sectionOrder(profiles, ranks));
    print("index_ms", indexing.nsecsElapsed() / 1e6);
    // Typing "counter strike" one key at a time, then deleting it again.
    const QString typed = u"counter strike"_s;
    std::vector<double> times;
    for (int i = 0; i <= typed.size() * 2; ++i) {
        const QString text = typed.left(i <= typed.size() ? i : typed.size() * 2 - i);
        QElapsedTimer timer;
        timer.start();
        const auto sections = GameBrowser::sectionsInOrder(index.matching(text), storeGames, ranks);
        const auto visible = GameBrowser::visibleProfiles(sections);
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (visible.size() > count)
            return 1;
    }
    std::sort(times.begin(), times.end());
    print("median_ms", times[times.size() / 2]);
    print("max_ms", times.back());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString mode = args.value(0);
    QElapsedTimer timer;
    if (mode == u"make-library"_s && args.size() == 3) {
        QDir().mkpath(args.at(2));
        const auto written = LibraryFile::write(QDir(args.at(2)).filePath(u"library.json"_s),
            LibraryFile::encode(Samples::entries(args.at(1).toInt())));
        return written ? 0 : 1;
    }
    if (mode == u"encode"_s && args.size() == 2) {
        const QList<GameEntry> entries = Samples::entries(args.at(1).toInt());
        timer.start();
        const QByteArray bytes = LibraryFile::encode(entries);
        print("seconds", timer.nsecsElapsed() / 1e9);
        return bytes.isEmpty() ? 1 : 0;
    }
    if (mode == u"decode"_s && args.size() == 2) {
        timer.start();
        QFile file(args.at(1));
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const auto decoded = LibraryFile::decode(file.readAll());
        print("seconds", timer.nsecsElapsed() / 1e9);
        return decoded ? 0 : 1;
    }
    if (mode == u"save"_s && args.size() == 2) {
        LibraryContext context {args.at(1),
            std::make_shared<UserDefaults>(QDir(args.at(1)).filePath(u"defaults.ini"_s)), nullptr,
            {}};
        LibraryModel model(context);
        GameEntry entry = Samples::entries(1).first();
        timer.start();
        model.add(entry); // one change: the whole file is written
        print("seconds", timer.nsecsElapsed() / 1e9);
        return model.errorMessage().isEmpty() ? 0 : 1;
    }
    if (mode == u"sha256"_s && args.size() == 2) {
        timer.start();
        const auto digest = Downloads::sha256(args.at(1));
        print("seconds", timer.nsecsElapsed() / 1e9);
        return digest ? 0 : 1;
    }
    if (mode == u"search"_s && args.size() == 2)
        return search(args.at(1).toInt());
    std::fputs("usage: bench-core make-library N FOLDER | encode N | decode FILE | save FOLDER | "
               "sha256 FILE | search N\n",
        stderr);
    return 2;
}
