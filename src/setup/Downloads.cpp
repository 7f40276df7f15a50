#include "Downloads.h"

#include "platform/Background.h"
#include "setup/Cancellation.h"
#include "setup/Sha256.h"

#include <QCoroSignal>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 hashPiece = 1024 * 1024;
// What the network layer may hold for us while the disk catches up.
constexpr qint64 readPiece = 1024 * 1024;
const QString partialPrefix = u"Quillmere-download-"_s;
const QString tooLarge
    = u"The download was larger than any file Quillmere needs and was stopped."_s;

// One HTTP download into a file, finished exactly once: by the server's answer, a failed
// connection, one of its limits, a cancellation, or the network object going away.
class FileDownload : public QObject
{
    Q_OBJECT

public:
    FileDownload(QNetworkAccessManager &network, const QNetworkRequest &request,
        const QString &folder, DownloadProgress onProgress,
        std::shared_ptr<Cancellation> cancellation, const DownloadLimits &limits)
        : m_folder(folder)
        , m_onProgress(std::move(onProgress))
        , m_cancellation(std::move(cancellation))
        , m_limits(limits)
    {
        m_file.setFileName(QDir(folder).filePath(Leftovers::temporaryName(partialPrefix)));
        // Unbuffered: every piece reaches the system as it arrives, so no write can fail
        // unseen when the file is closed.
        const bool opened = m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (opened)
            m_inUse = std::make_shared<const InUseMark>(m_file.fileName());
        if (!opened || !m_inUse->isHeld()) {
            finish(unexpected(RuntimeSetupError::system(
                u"Quillmere couldn't create a file for the download in “"_s + folder + u"”: "_s
                + (opened ? u"it was removed as soon as it was made"_s : m_file.errorString())
                + u'.')));
            return;
        }
        m_reply = network.get(request);
        m_reply->setReadBufferSize(readPiece);
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &FileDownload::checkAnnouncedSize);
        connect(m_reply, &QNetworkReply::readyRead, this, &FileDownload::store);
        connect(m_reply, &QNetworkReply::downloadProgress, this, &FileDownload::progress);
        connect(m_reply, &QNetworkReply::finished, this, &FileDownload::replyFinished);
        connect(m_reply, &QObject::destroyed, this,
            [this] { finish(unexpected(RuntimeSetupError::cancelled())); });
        if (m_cancellation)
            connect(m_cancellation.get(), &Cancellation::cancelled, this, &FileDownload::cancel);
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this,
            [this] { stop(u"The download took too long and was stopped."_s); });
        m_deadline.start(m_limits.deadlineMs);
        connect(&m_stallCheck, &QTimer::timeout, this, &FileDownload::checkStall);
        m_stallCheck.start(m_limits.stallWindowMs);
    }

    ~FileDownload() override
    {
        if (m_reply) {
            m_reply->disconnect(this);
            m_reply->abort();
            m_reply->deleteLater();
        }
        if (!m_result || !m_result->hasValue())
            m_file.remove();
    }

    bool isFinished() const { return m_result.has_value(); }
    SetupResult<DownloadedFile> result() const { return *m_result; }

Q_SIGNALS:
    void done();

private:
    void store()
    {
        if (!m_reply->isOpen() || !m_limitBroken.isEmpty())
            return; // aborted
        const QByteArray data = m_reply->readAll();
        m_written += data.size();
        if (m_written > m_limits.maximumBytes) {
            stop(tooLarge);
        } else if (!writeAll(data)) {
            m_writeError = saveFailure();
            m_reply->abort();
        } else {
            m_hash.add(data); // hashed as it arrives, so the file is never read back
        }
    }

    // A short write is followed by another, so the system says why the rest was refused.
    bool writeAll(QByteArrayView data)
    {
        while (!data.isEmpty()) {
            const qint64 written = m_file.write(data.data(), data.size());
            if (written <= 0)
                return false;
            data = data.sliced(written);
        }
        return true;
    }

    QString saveFailure() const
    {
        // Qt reports a full disk, and only that, as a resource error of a write.
        if (m_file.error() == QFileDevice::ResourceError)
            return u"Quillmere couldn’t save the download: there is not enough free space on “"_s
                + m_folder + u"”."_s;
        return u"Quillmere couldn’t save the download: "_s + m_file.errorString() + u'.';
    }

    void checkAnnouncedSize()
    {
        bool known = false;
        const qint64 announced
            = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && announced > m_limits.maximumBytes)
            stop(tooLarge);
    }

    // Counted over whole windows from the start, so a server that sends one byte a second is
    // stopped within two windows at most.
    void checkStall()
    {
        if (m_written - m_writtenAtWindowStart < m_limits.minimumBytesPerWindow)
            stop(u"The download stalled and was stopped."_s);
        m_writtenAtWindowStart = m_written;
    }

    // Ends the download for a broken limit, said in `sentence`.
    void stop(const QString &sentence)
    {
        if (m_result || !m_limitBroken.isEmpty() || !m_reply)
            return;
        m_limitBroken = sentence;
        m_reply->abort();
    }

    void progress(qint64 written, qint64 expected)
    {
        if (m_onProgress && m_throttle.shouldReport(written, expected))
            m_onProgress(written, expected);
    }

    void cancel()
    {
        m_cancelled = true;
        if (m_reply)
            m_reply->abort();
    }

    void replyFinished()
    {
        store();
        m_file.close();
        if (m_writeError.isEmpty() && m_file.error() != QFileDevice::NoError)
            m_writeError = saveFailure();
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError error = m_reply->error();
        // Errors below 200 are the connection's; above, the server answered with a status.
        const bool connectionFailed = error != QNetworkReply::NoError && error < 200;
        if (m_cancelled) {
            finish(unexpected(RuntimeSetupError::cancelled()));
        } else if (!m_writeError.isEmpty()) {
            finish(unexpected(RuntimeSetupError::system(m_writeError)));
        } else if (!m_limitBroken.isEmpty()) {
            finish(unexpected(RuntimeSetupError::download(m_limitBroken)));
        } else if (!status.isValid() && error == QNetworkReply::RemoteHostClosedError) {
            finish(unexpected(RuntimeSetupError::download(
                u"The download finished without a server response."_s)));
        } else if (connectionFailed || !status.isValid()) {
            finish(unexpected(RuntimeSetupError::download(
                u"The connection failed ("_s + m_reply->errorString() + u")."_s)));
        } else if (endedEarly()) {
            finish(unexpected(RuntimeSetupError::download(
                u"The connection failed (the server closed it before the whole file arrived)."_s)));
        } else {
            finish(DownloadedFile {
                m_file.fileName(), status.toInt(), m_reply->url(), m_hash.hex(), m_inUse});
        }
    }

    // Qt sometimes reports a body cut short of its announced length as a clean finish; that
    // is a broken connection, not a file that fails its digest.
    bool endedEarly() const
    {
        const QByteArray encoding = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
        if (!encoding.isEmpty() && encoding != "identity")
            return false; // the announced length counts the encoded bytes
        bool known = false;
        const qint64 announced
            = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        return known && m_written < announced;
    }

    void finish(SetupResult<DownloadedFile> result)
    {
        if (m_result)
            return;
        m_result = std::move(result);
        m_deadline.stop();
        m_stallCheck.stop();
        // Resume the waiting step from the event loop, never from inside whatever ended the
        // download: that may be the destructor of the model the step belongs to.
        QTimer::singleShot(0, this, [this] { Q_EMIT done(); });
    }

    QString m_folder;
    DownloadProgress m_onProgress;
    std::shared_ptr<Cancellation> m_cancellation;
    DownloadLimits m_limits;
    QPointer<QNetworkReply> m_reply;
    QFile m_file;
    std::shared_ptr<const InUseMark> m_inUse;
    QTimer m_deadline;
    QTimer m_stallCheck;
    ProgressThrottle m_throttle;
    Sha256 m_hash;
    QString m_writeError; // the sentence of a failed write or close
    qint64 m_written = 0;
    qint64 m_writtenAtWindowStart = 0;
    bool m_cancelled = false;
    QString m_limitBroken; // the sentence of the limit that stopped the download
    std::optional<SetupResult<DownloadedFile>> m_result;
};

void removeQuietly(const QString &path)
{
    QFile::remove(path);
}

} // namespace

bool ProgressThrottle::shouldReport(qint64 written, qint64 expected)
{
    if (expected < 1)
        return true;
    const int percent = static_cast<int>(
        std::trunc(static_cast<double>(written) / static_cast<double>(expected) * 100.0));
    if (percent == m_lastPercent)
        return false;
    m_lastPercent = percent;
    return true;
}

QCoro::Task<SetupResult<DownloadedFile>> Downloads::download(QNetworkAccessManager &network,
    QNetworkRequest request, QString temporaryFolder, DownloadProgress onProgress,
    std::shared_ptr<Cancellation> cancellation, DownloadLimits limits)
{
    if (cancellation && cancellation->isCancelled())
        co_return unexpected(RuntimeSetupError::cancelled());
    FileDownload job(
        network, request, temporaryFolder, std::move(onProgress), std::move(cancellation), limits);
    if (!job.isFinished())
        co_await qCoro(&job, &FileDownload::done);
    co_return job.result();
}

SetupResult<QString> Downloads::downloadDirectory(const QString &dataFolder)
{
    const QString folder = QDir(dataFolder).filePath(u"Downloads"_s);
    if (!QDir().mkpath(folder))
        return unexpected(RuntimeSetupError::system(u"Quillmere couldn't create the folder “"_s
            + folder + u"”. Check that the disk is writable."_s));
    return folder;
}

void Downloads::removeLeftovers(const QString &dataFolder)
{
    Leftovers::removeUnmarked(
        QDir(dataFolder).filePath(u"Downloads"_s), partialPrefix, Leftovers::Kind::file);
}

SetupResult<QString> Downloads::sha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unexpected(RuntimeSetupError::system(
            u"Quillmere couldn't read “"_s + path + u"”: "_s + file.errorString() + u'.'));
    Sha256 hash;
    QByteArray piece(hashPiece, Qt::Uninitialized);
    for (;;) {
        const qint64 read = file.read(piece.data(), hashPiece);
        if (read < 0)
            return unexpected(RuntimeSetupError::system(
                u"Quillmere couldn't read “"_s + path + u"”: "_s + file.errorString() + u'.'));
        if (read == 0)
            break;
        hash.add(QByteArrayView(piece.constData(), read));
    }
    return hash.hex();
}

QCoro::Task<SetupResult<QString>> Downloads::verifiedDownload(
    QNetworkAccessManager &network, VerifiedDownloadRequest request, DownloadLimits limits)
{
    const QString target = QDir(request.folder).filePath(request.fileName);
    auto verificationStarted = [&] {
        if (request.onVerificationStarted)
            request.onVerificationStarted();
    };
    // Hashing a file already on disk reads hundreds of megabytes: never on the GUI thread.
    // (Awaiters and coroutine calls are made into named objects before co_await: GCC 12 may
    // destroy temporaries inside a co_await expression twice.)
    auto digestOf = [](const QString &path) {
        return Background::onWorkerThread([path] { return sha256(path); });
    };

    if (QFileInfo::exists(target)) {
        verificationStarted();
        auto hashing = digestOf(target);
        const SetupResult<QString> existing = co_await hashing;
        if (!existing)
            co_return unexpected(existing.error());
        if (existing->compare(request.expectedSHA256, Qt::CaseInsensitive) == 0)
            co_return target;
    }
    removeQuietly(target);

    QNetworkRequest httpRequest(request.url);
    auto downloading = download(
        network, httpRequest, request.folder, request.onProgress, request.cancellation, limits);
    const SetupResult<DownloadedFile> downloaded = co_await std::move(downloading);
    if (!downloaded)
        co_return unexpected(downloaded.error());
    const QString temporary = downloaded->temporaryPath;
    const auto cleanup = qScopeGuard([&] { removeQuietly(temporary); });

    if (downloaded->httpStatus < 200 || downloaded->httpStatus > 299)
        co_return unexpected(RuntimeSetupError::download(
            u"The download server did not return the requested file."_s));
    verificationStarted();
    if (downloaded->sha256.compare(request.expectedSHA256, Qt::CaseInsensitive) != 0)
        co_return unexpected(RuntimeSetupError::integrity(request.fileName));
    // The temporary file sits in the same folder, so this is a rename, not a copy.
    if (!QFile::rename(temporary, target))
        co_return unexpected(RuntimeSetupError::system(
            u"Quillmere couldn't move the download to “"_s + target + u"”."_s));
    co_return target;
}

#include "Downloads.moc"
