// Starts background work as the application does, quits while it is under way, and ends as
// main() does; tst_quitting checks how it ends and what it leaves behind.
//   quitting-app wineboot DATA_FOLDER EXE WINE WINESERVER FILE  (quits once FILE exists)
//   quitting-app tar ARCHIVE RUNTIME_FOLDER TAR
//   quitting-app download FOLDER
#include "library/LibraryModel.h"
#include "platform/Background.h"
#include "platform/UserDefaults.h"
#include "setup/Downloads.h"
#include "setup/WineInstaller.h"
#include "support/LoopbackServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTimer>

#include <cstdio>

namespace {

QCoro::Task<> install(QString archive, QString runtimes, QString tar)
{
    auto unpacking = Background::onWorkerThread(
        [=] { return WineInstaller::installWineArchive(archive, runtimes, tar); });
    const auto installed = co_await unpacking;
    std::puts(installed ? "installed" : "failed"); // never, once the application has quit
}

QCoro::Task<> download(QNetworkAccessManager &network, Downloads::VerifiedDownloadRequest request)
{
    auto downloading = Downloads::verifiedDownload(network, std::move(request));
    const auto file = co_await std::move(downloading);
    std::puts(file ? "downloaded" : "failed");
}

// Like the window: the models live in here and are gone before the pool finishes.
int runScenario(QCoreApplication &app, const QStringList &arguments)
{
    const QString mode = arguments.value(1);
    std::unique_ptr<LibraryModel> model;
    QNetworkAccessManager network;
    LoopbackServer server;
    std::optional<QCoro::Task<>> task;
    QTimer poll;
    if (mode == QStringLiteral("wineboot") && arguments.size() == 7) {
        const QString folder = arguments.at(2);
        model = std::make_unique<LibraryModel>(LibraryContext {folder,
            std::make_shared<UserDefaults>(QDir(folder).filePath(QStringLiteral("defaults.ini"))),
            nullptr, {}});
        model->launchExecutable(arguments.at(3), WineBinaries {arguments.at(4), arguments.at(5)});
        QObject::connect(&poll, &QTimer::timeout, &app, [&app, file = arguments.at(6)] {
            if (QFileInfo::exists(file))
                app.quit();
        });
        poll.start(20);
    } else if (mode == QStringLiteral("tar") && arguments.size() == 5) {
        task.emplace(install(arguments.at(2), arguments.at(3), arguments.at(4)));
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    } else if (mode == QStringLiteral("download") && arguments.size() == 3) {
        server.route(QStringLiteral("/wine.tar.xz"),
            {.body = QByteArray(1 << 20, 'x'), .chunkSize = 4096, .chunkDelayMs = 50});
        Downloads::VerifiedDownloadRequest request {
            .url = server.url(QStringLiteral("/wine.tar.xz")),
            .fileName = QStringLiteral("wine.tar.xz"),
            .expectedSHA256 = QString(64, u'0'),
            .folder = arguments.at(2),
            .onProgress = [&app](qint64 written, qint64) {
                if (written > 0)
                    app.quit();
            }};
        task.emplace(download(network, std::move(request)));
    } else {
        std::fputs("usage: quitting-app wineboot|tar|download ARGUMENTS\n", stderr);
        return 2;
    }
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Background::Pool pool;
    return pool.finish(runScenario(app, QCoreApplication::arguments()));
}
