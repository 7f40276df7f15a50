#pragma once

#include "platform/Leftovers.h"
#include "setup/RuntimeSetupError.h"

#include <QCoroTask>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class Cancellation;
class QNetworkAccessManager;
class QNetworkRequest;

// A finished HTTP download: the file (the caller owns it), the status, the address after
// redirects, and the SHA-256 of the body as it was written.
struct DownloadedFile
{
    QString temporaryPath;
    int httpStatus = 0;
    QUrl finalUrl;
    QString sha256;
    std::shared_ptr<const InUseMark> inUse; // keeps the leftover sweep away while this lives
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

// What stops a download that would otherwise never end. The pinned files are a few hundred
// MB, so a whole-download deadline short enough to notice a trickling server would cut off
// slow but honest connections; a stall rule catches the trickle instead.
struct DownloadLimits
{
    // Each window must bring at least this much: a minute with under 256 KiB (about 4 KB/s,
    // under even 2G mobile data) is a stalled server, not a slow line.
    int stallWindowMs = 60 * 1000;
    qint64 minimumBytesPerWindow = 256 * 1024;
    // Several times the largest pinned file: an endless body stops before it fills the disk.
    qint64 maximumBytes = qint64(2) * 1024 * 1024 * 1024;
    // The last resort against a server that trickles just above the stall rule; long enough
    // for a file of several hundred MB at about 100 kbit/s.
    int deadlineMs = 8 * 60 * 60 * 1000;
};

namespace Downloads {

// Downloads `request` into a new file in `temporaryFolder`. Any answer the server gives is a
// result (the caller checks the status); a failed connection, a broken limit or a
// cancellation is an error. The result arrives exactly once.
QCoro::Task<SetupResult<DownloadedFile>> download(QNetworkAccessManager &network,
    QNetworkRequest request, QString temporaryFolder, DownloadProgress onProgress,
    std::shared_ptr<Cancellation> cancellation, DownloadLimits limits = {});

// "Downloads" in the application data folder, created when missing.
SetupResult<QString> downloadDirectory(const QString &dataFolder);

// Removes the partial downloads that an interrupted run left in "Downloads". Blocks.
void removeLeftovers(const QString &dataFolder);

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
    QNetworkAccessManager &network, VerifiedDownloadRequest request, DownloadLimits limits = {});

// The file's SHA-256 in lower-case hexadecimal, read in 1 MiB pieces. Blocks.
SetupResult<QString> sha256(const QString &path);

} // namespace Downloads
