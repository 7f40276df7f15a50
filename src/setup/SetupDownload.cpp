#include "SetupDownload.h"

#include "setup/Downloads.h"

#include <QPointer>

void SetupDownload::setRunning(Step step, bool running)
{
    set(m_running[index(step)], running);
    set(m_isVerifying, false);
    set(m_progress, std::optional<double>());
}

QCoro::Task<SetupResult<QString>> SetupDownload::fetch(Step step, QNetworkAccessManager &network,
    QString dataFolder, QUrl url, QString fileName, QString sha256, std::function<void()> verifying,
    std::shared_ptr<Cancellation> cancellation)
{
    const SetupResult<QString> folder = Downloads::downloadDirectory(dataFolder);
    if (!folder)
        co_return unexpected(folder.error());
    QPointer<SetupDownload> self(this);
    auto onProgress = [self, step](qint64 written, qint64 expected) {
        if (!self || !self->isRunning(step) || self->m_isVerifying)
            return;
        std::optional<double> fraction;
        if (expected >= 1)
            fraction = std::min(1.0, static_cast<double>(written) / static_cast<double>(expected));
        self->set(self->m_progress, fraction);
    };
    auto onVerificationStarted = [self, verifying = std::move(verifying)] {
        if (!self)
            return;
        self->set(self->m_progress, std::optional<double>());
        self->set(self->m_isVerifying, true);
        verifying();
    };
    Downloads::VerifiedDownloadRequest request {
        url, fileName, sha256, *folder, onProgress, onVerificationStarted, std::move(cancellation)};
    // Named before co_await: GCC 12 may destroy temporaries of a co_await expression twice.
    auto downloading = Downloads::verifiedDownload(network, std::move(request));
    co_return co_await std::move(downloading);
}
