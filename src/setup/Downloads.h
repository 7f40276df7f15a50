#pragma once

#include "setup/RuntimeSetupError.h"

#include <QCoroTask>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class Cancellation;
class QNetworkAccessManager;
class QNetworkRequest;

// A finished HTTP download: the file (the caller owns it), the status and the address after
// redirects.
struct DownloadedFile
{
    QString temporaryPath;
    int httpStatus = 0;
    QUrl finalUrl;
};

using DownloadProgress = std::function<void(qint64 written, qint64 expected)>;

// Passes on progress at most once per whole percent when the size is known, every time when not.
class ProgressThrottle
{
public:
    bool shouldReport(qint64 written, qint64 expected);

private:
    int m_lastPercent = -1;
};

namespace Downloads {

// Downloads `request` into a new file in `temporaryFolder`. Any answer the server gives is a
// result (the caller checks the status); a failed connection, a time-out or a cancellation is
// an error. The result arrives exactly once.
QCoro::Task<SetupResult<DownloadedFile>> download(QNetworkAccessManager &network,
    QNetworkRequest request, QString temporaryFolder, DownloadProgress onProgress,
    std::shared_ptr<Cancellation> cancellation);

// "Downloads" in the application data folder, created when missing.
SetupResult<QString> downloadDirectory(const QString &dataFolder);

struct VerifiedDownloadRequest
{
    QUrl url;
    QString fileName;
    QString expectedSHA256; // 64 hexadecimal characters
    QString folder;
    DownloadProgress onProgress;
    std::function<void()> onVerificationStarted;
    std::shared_ptr<Cancellation> cancellation;
};

// The file `folder/fileName` with the expected digest: reused when already there, otherwise
// downloaded, checked (status, then SHA-256) and only then moved into place.
QCoro::Task<SetupResult<QString>> verifiedDownload(
    QNetworkAccessManager &network, VerifiedDownloadRequest request);

// The file's SHA-256 in lower-case hexadecimal, read in 1 MiB pieces. Blocks.
SetupResult<QString> sha256(const QString &path);

} // namespace Downloads
