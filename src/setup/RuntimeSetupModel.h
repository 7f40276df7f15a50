#pragma once

#include "library/GameEntry.h"
#include "setup/DetectedWineRuntime.h"
#include "setup/MachineProbe.h"
#include "setup/RuntimeSetupError.h"
#include "setup/SetupActionTitle.h"
#include "setup/SetupContext.h"
#include "setup/SetupDownload.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class Cancellation;
class QNetworkAccessManager;

// The state behind the Wine setup window: what the machine has, the chosen runtime, running
// downloads, and the automatic setup that walks from a bare machine to a ready Wine. One model
// per opening of the window. Every published property notifies through `changed`.
class RuntimeSetupModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<DetectedWineRuntime> runtimes READ runtimes NOTIFY changed)
    Q_PROPERTY(
        QString selectedRuntimeID READ selectedRuntimeID WRITE setSelectedRuntimeID NOTIFY changed)
    Q_PROPERTY(bool isRosettaAvailable READ isRosettaAvailable NOTIFY changed)
    Q_PROPERTY(bool isGStreamerInstalled READ isGStreamerInstalled NOTIFY changed)
    Q_PROPERTY(bool isDownloadingWine READ isDownloadingWine NOTIFY changed)
    Q_PROPERTY(bool isDownloadingGStreamer READ isDownloadingGStreamer NOTIFY changed)
    Q_PROPERTY(bool isVerifyingDownload READ isVerifyingDownload NOTIFY changed)
    Q_PROPERTY(std::optional<double> downloadProgress READ downloadProgress NOTIFY changed)
    Q_PROPERTY(bool isInstallingSteam READ isInstallingSteam NOTIFY changed)
    Q_PROPERTY(bool isPreparingWine READ isPreparingWine NOTIFY changed)
    Q_PROPERTY(QString statusMessage READ statusMessage WRITE setStatusMessage NOTIFY changed)
    Q_PROPERTY(QString errorMessage READ errorMessage WRITE setErrorMessage NOTIFY changed)

public:
    explicit RuntimeSetupModel(SetupContext context, QObject *parent = nullptr);
    ~RuntimeSetupModel() override;

    const QList<DetectedWineRuntime> &runtimes() const { return m_machine.runtimes; }
    QString selectedRuntimeID() const { return m_selectedRuntimeID; } // empty: none
    void setSelectedRuntimeID(const QString &winePath);
    bool isRosettaAvailable() const { return m_machine.isRosettaAvailable; }
    bool isGStreamerInstalled() const { return m_machine.isGStreamerInstalled; }
    bool isDownloadingWine() const { return m_download.isRunning(SetupDownload::Step::wine); }
    bool isDownloadingGStreamer() const
    {
        return m_download.isRunning(SetupDownload::Step::gstreamer);
    }
    bool isVerifyingDownload() const { return m_download.isVerifying(); }
    std::optional<double> downloadProgress() const { return m_download.progress(); }
    bool isInstallingSteam() const { return m_isInstallingSteam; }
    bool isPreparingWine() const { return m_isPreparingWine; }
    QString statusMessage() const { return m_statusMessage; }
    void setStatusMessage(const QString &message);
    QString errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const QString &message);

    std::optional<AutomaticSetupPause> automaticSetupPause() const { return m_pause; }
    bool isAutomaticSetupActive() const { return m_isAutomaticSetupActive; }
    const SetupContext &context() const { return m_context; }

    void refresh();
    std::optional<DetectedWineRuntime> selectedRuntime() const;
    bool isReadyForWindowsApps() const;
    QString nextSetupActionTitle() const;

    QCoro::Task<> prepareWineAutomatically();
    QCoro::Task<> resumeAutomaticSetupAfterSystemStep();
    void continueAfterWineApproval();
    void revealSelectedRuntime();
    void openRosettaInstructions();

    QCoro::Task<> installGStreamer();
    QCoro::Task<> installWine();
    // The Steam library entry on success; failures end in `errorMessage`.
    QCoro::Task<std::optional<GameEntry>> installSteam();
    void openWineSource();

    // Stops the download that a running step waits for; the step ends without an alert.
    void cancel();

    // The runtime to launch an executable with directly, or none while Wine isn't ready, from
    // this model's state (MachineProbe answers the same without a model).
    std::optional<DetectedWineRuntime> readyRuntime() const;
    // Why Wine isn't ready, in one sentence that says what to do; empty when it is.
    QString notReadyReason() const;

Q_SIGNALS:
    void changed();

private:
    template <class T> void set(T &member, const T &value)
    {
        if (member == value)
            return;
        member = value;
        Q_EMIT changed();
    }
    bool isAppleSilicon() const { return m_context.system.isAppleSilicon(); }
    std::shared_ptr<Cancellation> currentCancellation();
    // Downloads and verifies one pinned file; the status says so while it is verified.
    QCoro::Task<SetupResult<QString>> downloadPinned(SetupDownload::Step step, QUrl url,
        QString fileName, QString sha256, QString verifyingSentence,
        std::shared_ptr<Cancellation> cancellation);
    // Shows a failed step's sentence, unless the step was cancelled.
    void reportStepFailure(const RuntimeSetupError &error, const Cancellation &cancellation);

    SetupContext m_context;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::shared_ptr<Cancellation> m_cancellation;

    MachineProbe m_machine;
    QString m_selectedRuntimeID;
    SetupDownload m_download;
    bool m_isInstallingSteam = false;
    bool m_isPreparingWine = false;
    QString m_statusMessage;
    QString m_errorMessage;

    std::optional<AutomaticSetupPause> m_pause;
    bool m_isAutomaticSetupActive = false;
};
