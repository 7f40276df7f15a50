#include "RuntimeSetupModel.h"

#include "platform/Background.h"
#include "platform/DesktopServices.h"
#include "platform/UserDefaults.h"
#include "setup/Cancellation.h"
#include "setup/Downloads.h"
#include "setup/WineInstaller.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace {
const QString approvalSteps
    = u"In Finder, Control-click the Wine app, choose Open, and confirm the macOS prompt. "_s;
} // namespace

RuntimeSetupModel::RuntimeSetupModel(SetupContext context, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
    , m_network(std::make_unique<QNetworkAccessManager>())
{
    // What an interrupted setup left behind goes when the setup opens again; a partial Wine
    // takes a while to remove, so never on this thread.
    Background::Pool::start([data = m_context.dataFolder, runtimes = m_context.runtimeFolder()] {
        Downloads::removeLeftovers(data);
        WineInstaller::removeLeftovers(runtimes);
    });
    connect(&m_download, &SetupDownload::changed, this, &RuntimeSetupModel::changed);
    refresh();
}

RuntimeSetupModel::~RuntimeSetupModel()
{
    // A step still waiting on a download ends quietly; its coroutine sees the model gone.
    if (m_cancellation)
        m_cancellation->cancel();
}

void RuntimeSetupModel::setSelectedRuntimeID(const QString &winePath)
{
    set(m_selectedRuntimeID, winePath);
}

void RuntimeSetupModel::setStatusMessage(const QString &message)
{
    set(m_statusMessage, message);
}

void RuntimeSetupModel::setErrorMessage(const QString &message)
{
    set(m_errorMessage, message);
}

std::shared_ptr<Cancellation> RuntimeSetupModel::currentCancellation()
{
    if (!m_cancellation || m_cancellation->isCancelled())
        m_cancellation = std::make_shared<Cancellation>();
    return m_cancellation;
}

void RuntimeSetupModel::cancel()
{
    if (m_cancellation)
        m_cancellation->cancel();
}

void RuntimeSetupModel::refresh()
{
    const QString remembered = m_selectedRuntimeID;
    set(m_machine, MachineProbe::of(m_context));
    const bool stillThere = std::any_of(m_machine.runtimes.cbegin(), m_machine.runtimes.cend(),
        [&](const DetectedWineRuntime &r) { return r.winePath == remembered; });
    setSelectedRuntimeID(stillThere        ? remembered
            : m_machine.runtimes.isEmpty() ? QString()
                                           : m_machine.runtimes.first().winePath);
}

std::optional<DetectedWineRuntime> RuntimeSetupModel::selectedRuntime() const
{
    return m_machine.runtime(m_selectedRuntimeID);
}

bool RuntimeSetupModel::isReadyForWindowsApps() const
{
    return readyRuntime().has_value() && m_pause != AutomaticSetupPause::wineApproval;
}

QString RuntimeSetupModel::nextSetupActionTitle() const
{
    return setupActionTitle({isDownloadingGStreamer(), isDownloadingWine(), isVerifyingDownload(),
        downloadProgress(), m_isPreparingWine, m_pause, isAppleSilicon(),
        m_machine.isRosettaAvailable, m_machine.isGStreamerInstalled, selectedRuntime().has_value(),
        m_context.system.usesPinnedDownloads()});
}

void RuntimeSetupModel::openRosettaInstructions()
{
    const QString terminal = u"/System/Applications/Utilities/Terminal.app"_s;
    m_context.desktop->copyToClipboard(u"softwareupdate --install-rosetta"_s);
    if (!m_context.desktop->openApplication(terminal)) {
        setErrorMessage(DesktopServices::cannotOpen(terminal));
        return;
    }
    setStatusMessage(
        u"Terminal is open and the Rosetta command is copied. Paste it, accept Apple's "
        "license, then return here; Quillmere will continue setup."_s);
}

void RuntimeSetupModel::revealSelectedRuntime()
{
    const auto runtime = selectedRuntime();
    if (!runtime || !runtime->bundlePath) {
        setErrorMessage(
            u"This Wine installation is a command-line runtime and has no app bundle to "
            "approve in Finder."_s);
        return;
    }
    m_context.desktop->revealInFileManager(
        {*runtime->bundlePath}, [self = QPointer(this), bundle = *runtime->bundlePath] {
            if (self)
                self->setErrorMessage(DesktopServices::cannotReveal(bundle));
        });
    setStatusMessage(approvalSteps + u"Then choose Check again here."_s);
}

QCoro::Task<> RuntimeSetupModel::prepareWineAutomatically()
{
    if (m_pause == AutomaticSetupPause::wineApproval) {
        revealSelectedRuntime();
        co_return;
    }
    if (m_isPreparingWine)
        co_return;
    QPointer<RuntimeSetupModel> self(this);
    set(m_isPreparingWine, true);
    m_isAutomaticSetupActive = true;
    setErrorMessage({});
    refresh();

    if (!m_machine.isRosettaAvailable) {
        m_pause = AutomaticSetupPause::rosetta;
        openRosettaInstructions();
        set(m_isPreparingWine, false);
        co_return;
    }
    if (m_pause == AutomaticSetupPause::rosetta)
        m_pause.reset();

    if (!m_machine.isGStreamerInstalled) {
        const std::shared_ptr<Cancellation> cancellation = currentCancellation();
        co_await installGStreamer();
        if (!self)
            co_return;
        if (m_errorMessage.isEmpty() && !cancellation->isCancelled())
            m_pause = AutomaticSetupPause::gstreamer;
        set(m_isPreparingWine, false);
        co_return;
    }
    if (m_pause == AutomaticSetupPause::gstreamer)
        m_pause.reset();

    if (!selectedRuntime()) {
        co_await installWine();
        if (!self)
            co_return;
        if (!m_errorMessage.isEmpty() || !selectedRuntime()) {
            set(m_isPreparingWine, false);
            co_return;
        }
    }

    if (MachineProbe::requiresManualApproval(selectedRuntime(), m_context)) {
        m_pause = AutomaticSetupPause::wineApproval;
        revealSelectedRuntime();
        setStatusMessage(approvalSteps + u"Then return here and continue after approval."_s);
        set(m_isPreparingWine, false);
        co_return;
    }

    m_pause.reset();
    m_isAutomaticSetupActive = false;
    setStatusMessage(u"Wine and its required components are ready for Windows apps."_s);
    set(m_isPreparingWine, false);
}

QCoro::Task<> RuntimeSetupModel::resumeAutomaticSetupAfterSystemStep()
{
    if (!m_isAutomaticSetupActive || m_isPreparingWine)
        co_return;
    refresh();
    const bool rosettaDone
        = m_pause == AutomaticSetupPause::rosetta && m_machine.isRosettaAvailable;
    const bool gstreamerDone
        = m_pause == AutomaticSetupPause::gstreamer && m_machine.isGStreamerInstalled;
    if (!rosettaDone && !gstreamerDone)
        co_return;
    m_pause.reset();
    co_await prepareWineAutomatically();
}

void RuntimeSetupModel::continueAfterWineApproval()
{
    if (m_pause != AutomaticSetupPause::wineApproval)
        return;
    if (const auto runtime = selectedRuntime())
        RuntimeDiscovery::approveRuntime(*m_context.defaults, runtime->winePath);
    m_pause.reset();
    m_isAutomaticSetupActive = false;
    setStatusMessage(u"Wine setup is complete. You can now add Windows apps or install Steam."_s);
    Q_EMIT changed(); // the pause is not published, but the title and readiness follow it
}

QString RuntimeSetupModel::notReadyReason() const
{
    return m_machine.notReadyReason(m_context, m_selectedRuntimeID);
}

std::optional<DetectedWineRuntime> RuntimeSetupModel::readyRuntime() const
{
    // A pause is not consulted: for a fresh model the approval list alone decides.
    return m_machine.readyRuntime(m_context, m_selectedRuntimeID);
}
