// bench-stall [DOWNLOAD_MIB]: the GUI thread's longest stall — the worst lateness of a 5 ms
// timer — while the slow work of the program runs: a verified Wine download from a loopback
// server and its extraction with tar, wineboot and wineserver -k through the fake Wine, and a
// save of a 100,000-entry library.
#include "Samples.h"

#include "library/LibraryFile.h"
#include "library/LibraryModel.h"
#include "setup/RuntimeSetupModel.h"
#include "support/SetupSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

class StallMeter
{
public:
    StallMeter()
    {
        m_timer.setInterval(5);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double late = m_clock.nsecsElapsed() / 1e6 - 5.0;
            m_worst = std::max(m_worst, late);
            m_clock.restart();
        });
    }
    void start()
    {
        m_worst = 0;
        m_clock.start();
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return m_worst;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_worst = 0;
};

void waitUntil(const std::function<bool()> &done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(20);
    loop.exec();
}

void report(const char *name, double ms)
{
    std::printf("%s %.1f\n", name, ms);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qsizetype downloadMiB = argc > 1 ? QByteArray(argv[1]).toLongLong() : 500;
    StallMeter meter;

    {
        Sandbox sandbox;
        LoopbackServer server;
        const QString archive = buildWineArchive(
            sandbox.path(u"wine.tar.xz"_s), ArchiveLayout::good, downloadMiB * 1024 * 1024);
        const QByteArray bytes = readFile(archive);
        server.route(u"/wine.tar.xz"_s, {200, bytes});
        SetupContext context = setupContext(sandbox, server, SetupSystem::forMac(u"x86_64"_s));
        context.sources.wineSHA256 = sha256Hex(bytes);
        RuntimeSetupModel setup(context);
        meter.start();
        awaitTask([](RuntimeSetupModel &model) -> QCoro::Task<int> {
            co_await model.installWine();
            co_return 0;
        }(setup));
        report("download_extract_ms", meter.stop());
        if (!setup.errorMessage().isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(setup.errorMessage()));
    }
    {
        Sandbox sandbox;
        LibraryContext context = sandbox.context();
        context.saveInBackground = true;
        auto library = std::make_unique<LibraryModel>(context);
        const QString program = sandbox.path(u"Setup.exe"_s);
        writeFile(program, "MZ");
        qputenv("FAKE_WINEBOOT_REGISTRY", "late");
        meter.start();
        library->launchExecutable(program, {fakeWine(), fakeWineServer()});
        waitUntil([&] { return library->preparingExecutable().isEmpty(); });
        report("wineboot_ms", meter.stop());
        qunsetenv("FAKE_WINEBOOT_REGISTRY");

        const GameEntry entry = sandbox.readyEntry(u"Game"_s);
        library->add(entry);
        bool stopped = false;
        QObject::connect(library.get(), &LibraryModel::stopFinished, [&] { stopped = true; });
        meter.start();
        library->stop(entry);
        waitUntil([&] { return stopped; });
        report("wineserver_stop_ms", meter.stop());
    }
    {
        Sandbox sandbox;
        QDir().mkpath(sandbox.dataFolder());
        static_cast<void>(LibraryFile::write(sandbox.dataFolder() + u"/library.json"_s,
            LibraryFile::encode(Samples::entries(100000))));
        LibraryContext context = sandbox.context();
        context.saveInBackground = true; // as the window saves
        auto library = std::make_unique<LibraryModel>(context);
        const QString file = library->libraryPath();
        const qint64 before = QFileInfo(file).size();
        meter.start();
        library->add(Samples::entries(1).first());
        waitUntil([&] { return QFileInfo(file).size() > before; });
        report("save_100k_ms", meter.stop());
    }
    return 0;
}
