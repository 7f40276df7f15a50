// The setup model's install steps: GStreamer, Wine and the Windows Steam client.
#include "RuntimeSetupModel.h"

#include "platform/Background.h"
#include "platform/DesktopServices.h"
#include "setup/Cancellation.h"
#include "setup/SteamSetup.h"
#include "setup/WineInstaller.h"

#include <QPointer>

using namespace Qt::StringLiterals;

QCoro::Task<SetupResult<QString>> RuntimeSetupModel::downloadPinned(SetupDownload::Step step,
    QUrl url, QString fileName, QString sha256, QString verifyingSentence,
    std::shared_ptr<Cancellation> cancellation)
{
    QPointer<RuntimeSetupModel> self(this);
    auto downloading = m_download.fetch(
        step, *m_network, m_context.dataFolder, url, fileName, sha256,
        [self, verifyingSentence] {
            if (self)
                self->setStatusMessage(verifyingSentence);
        },
        std::move(cancellation));
    co_return co_await std::move(downloading);
}

void RuntimeSetupModel::reportStepFailure(
    const RuntimeSetupError &error, const Cancellation &cancellation)
{
    if (error.isCancelled() || cancellation.isCancelled())
        return;
    setErrorMessage(error.description());
    setStatusMessage({});
}

QCoro::Task<> RuntimeSetupModel::installGStreamer()
{
    if (isDownloadingGStreamer())
        co_return;
    if (!m_context.system.usesPinnedDownloads()) {
        // The macOS package is no use here; the distribution has its own.
        setStatusMessage(
            u"Install GStreamer with your distribution's package manager (on Debian or "
            "Ubuntu: sudo apt install gstreamer1.0-plugins-base gstreamer1.0-plugins-good), "
            "then return here; Quillmere will continue setup."_s);
        co_return;
    }
    QPointer<RuntimeSetupModel> self(this);
    const std::shared_ptr<Cancellation> cancellation = currentCancellation();
    m_download.begin(SetupDownload::Step::gstreamer);
    setStatusMessage(u"Downloading GStreamer (1.28.7)…"_s);

    const SetupSources &sources = m_context.sources;
    auto downloading = downloadPinned(SetupDownload::Step::gstreamer, sources.gstreamerPackage,
        sources.gstreamerFileName, sources.gstreamerSHA256, u"Verifying GStreamer (1.28.7)…"_s,
        cancellation);
    SetupResult<QString> outcome = co_await std::move(downloading);
    if (!self)
        co_return;
    if (outcome && !m_context.desktop->openFile(*outcome)) {
        outcome = unexpected(RuntimeSetupError::install(u"The verified package is saved here:\n"_s
            + *outcome + u"\nOpen it in Finder to continue."_s));
    }
    if (outcome) {
        setStatusMessage(
            u"Installer is open. Complete the GStreamer installation, then choose Check "
            "again. macOS may ask for an administrator password."_s);
    } else {
        reportStepFailure(outcome.error(), *cancellation);
    }
    m_download.end(SetupDownload::Step::gstreamer);
}

QCoro::Task<> RuntimeSetupModel::installWine()
{
    if (isDownloadingWine())
        co_return;
    if (!m_context.system.usesPinnedDownloads()) {
        setStatusMessage(
            u"Install Wine with your distribution's package manager (on Debian or Ubuntu: "
            "sudo apt install wine wine64), then choose Install Wine again."_s);
        co_return;
    }
    QPointer<RuntimeSetupModel> self(this);
    const std::shared_ptr<Cancellation> cancellation = currentCancellation();
    m_download.begin(SetupDownload::Step::wine);
    setStatusMessage(u"Downloading Wine (11.18)…"_s);

    const SetupSources &sources = m_context.sources;
    SetupResult<DetectedWineRuntime> installed = unexpected(RuntimeSetupError::cancelled());
    auto downloading = downloadPinned(SetupDownload::Step::wine, sources.wineArchive,
        sources.wineFileName, sources.wineSHA256, u"Verifying Wine (11.18)…"_s, cancellation);
    const SetupResult<QString> archive = co_await std::move(downloading);
    if (!self)
        co_return;
    if (archive) {
        setStatusMessage(u"Checking the Wine archive…"_s);
        // Unpacking hundreds of megabytes with tar takes a while; the window keeps painting.
        auto unpacking = Background::onWorkerThread(
            [archive = *archive, runtimes = m_context.runtimeFolder(), tar = sources.tar] {
                return WineInstaller::installWineArchive(archive, runtimes, tar);
            });
        installed = co_await unpacking;
        if (!self)
            co_return;
    } else {
        installed = unexpected(archive.error());
    }

    if (installed) {
        refresh();
        setSelectedRuntimeID(installed->winePath);
        setStatusMessage(u"Wine is installed. Approve the Wine app in Finder before using it."_s);
    } else {
        reportStepFailure(installed.error(), *cancellation);
    }
    m_download.end(SetupDownload::Step::wine);
}

void RuntimeSetupModel::openWineSource()
{
    if (!m_context.desktop->openUrl(m_context.sources.wineSourcePage))
        setErrorMessage(
            DesktopServices::cannotOpen(m_context.sources.wineSourcePage.toDisplayString()));
}

QCoro::Task<std::optional<GameEntry>> RuntimeSetupModel::installSteam()
{
    if (m_isInstallingSteam)
        co_return std::nullopt;
    const auto runtime = selectedRuntime();
    if (!m_machine.isRosettaAvailable || !m_machine.isGStreamerInstalled || !runtime) {
        setErrorMessage(
            u"Finish the Rosetta and GStreamer requirements and choose a Wine runtime before "
            "installing Steam."_s);
        co_return std::nullopt;
    }
    QPointer<RuntimeSetupModel> self(this);
    set(m_isInstallingSteam, true);
    auto installing = SteamSetup::install(
        *m_network, m_context.sources, m_context.dataFolder, *runtime,
        [self](const QString &status) {
            if (self)
                self->setStatusMessage(status);
        },
        QPointer<QObject>(this));
    const std::optional<SteamSetup::Installation> done = co_await std::move(installing);
    if (!self || !done)
        co_return std::nullopt;
    if (!done->error.isEmpty())
        setErrorMessage(done->error);
    setStatusMessage(done->status);
    set(m_isInstallingSteam, false);
    co_return done->entry;
}
