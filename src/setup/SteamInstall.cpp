// Installing the Windows Steam client: the installer, the prefix, Steam Setup itself.
#include "SteamSetup.h"

#include "library/PrefixTemplates.h"
#include "library/WineRuntime.h"
#include "platform/Background.h"
#include "setup/Downloads.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

QCoro::Task<std::optional<SteamSetup::Installation>> SteamSetup::install(
    QNetworkAccessManager &network, SetupSources sources, QString dataFolder,
    DetectedWineRuntime runtime, std::function<void(const QString &)> status,
    QPointer<QObject> owner)
{
    auto entryFor = [&](const QString &name, const QString &executable) {
        GameEntry entry;
        entry.name = name;
        entry.executablePath = executable;
        entry.prefixPath = prefixPath(dataFolder);
        entry.winePath = runtime.winePath;
        entry.wineServerPath = runtime.wineServerPath;
        return entry;
    };
    auto isInstalled = [&] {
        const QFileInfo steam(steamExecutable(dataFolder));
        return steam.isFile() && steam.isReadable();
    };
    auto failed = [](const QString &error) { return Installation {std::nullopt, {}, error}; };

    status(u"Preparing a Wine prefix for Steam…"_s);
    if (isInstalled()) {
        co_return Installation {entryFor(u"Steam"_s, steamExecutable(dataFolder)),
            u"Steam is already installed in Quillmere's Steam prefix."_s, {}};
    }
    const SetupResult<QString> folder = Downloads::downloadDirectory(dataFolder);
    if (!folder)
        co_return failed(folder.error().description());
    auto downloading = downloadSteamSetup(network, sources, *folder);
    const SetupResult<QString> installer = co_await std::move(downloading);
    if (!owner)
        co_return std::nullopt;
    if (!installer)
        co_return failed(installer.error().description());

    const GameEntry setupRun = entryFor(u"Steam Setup"_s, *installer);
    const QString log = setupLog(dataFolder);
    if (!WineRuntime::isInitializedPrefix(setupRun.prefixPath)) {
        status(u"Creating the Steam Wine prefix…"_s);
        auto creating = Background::onWorkerThread(
            [setupRun, log, templates = PrefixTemplates::folder(dataFolder)] {
                return WineRuntime::createPrefix(setupRun, log, templates);
            });
        const Result<void> prefix = co_await creating;
        if (!owner)
            co_return std::nullopt;
        if (!prefix)
            co_return failed(prefix.error().description());
    }

    status(u"Steam Setup is running in Wine. Complete its windows to install Steam."_s);
    const Result<ProcessHandle> process = WineRuntime::start(setupRun, log);
    if (!process)
        co_return failed(process.error().description());
    auto waiting
        = Background::onWorkerThread([handle = *process] { return handle->waitForExit(); });
    const int exitStatus = co_await waiting;
    if (!owner)
        co_return std::nullopt;
    if (isInstalled()) {
        co_return Installation {entryFor(u"Steam"_s, steamExecutable(dataFolder)),
            u"Steam is installed. Quillmere added it to your library."_s, {}};
    }
    co_return failed(RuntimeSetupError::install(
        u"Steam Setup closed before steam.exe appeared. If you completed the installation, "
        "choose Check again and retry. Setup log:\n"_s
        + log + u" (exit code "_s + QString::number(exitStatus) + u')')
                         .description());
}
