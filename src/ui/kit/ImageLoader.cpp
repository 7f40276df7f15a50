#include "ui/kit/ImageLoader.h"

#include "ui/kit/UiLog.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

using namespace Qt::StringLiterals;

ImageLoader &ImageLoader::shared()
{
    // Never destroyed: replies and decoding jobs may still report to it while the process ends.
    static ImageLoader *loader = new ImageLoader();
    Q_ASSERT(QThread::currentThread() == loader->thread());
    return *loader;
}

ImageLoader::ImageLoader()
    : m_network(new QNetworkAccessManager(this))
    , m_diskCache(new QNetworkDiskCache(this))
    , m_decoders(new QThreadPool(this))
    , m_images(memoryCacheKilobytes)
{
    // A pool of its own: long jobs elsewhere in the global pool must not hold up artwork.
    m_decoders->setMaxThreadCount(2);
    m_diskCache->setMaximumCacheSize(diskCacheBytes);
    m_diskCache->setCacheDirectory(
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + u"/artwork"_s);
    m_network->setCache(m_diskCache);
}

void ImageLoader::setCacheDirectory(const QString &path)
{
    m_diskCache->setCacheDirectory(path);
}

QString ImageLoader::cacheDirectory() const
{
    return m_diskCache->cacheDirectory();
}

std::optional<QImage> ImageLoader::cached(const QUrl &url) const
{
    if (const QImage *image = m_images.object(url))
        return *image;
    return std::nullopt;
}

void ImageLoader::load(const QUrl &url, QObject *context, std::function<void(const QImage &)> done)
{
    if (!context || !done)
        return;
    if (const std::optional<QImage> image = cached(url)) {
        // Queued on the context, so it is dropped if the context goes first.
        QMetaObject::invokeMethod(
            context, [done = std::move(done), image = *image] { done(image); },
            Qt::QueuedConnection);
        return;
    }
    // A failed address stays failed for this session: views rebuilt on every change would
    // otherwise ask for it again each time.
    if (!url.isValid() || url.isRelative() || m_failed.contains(url)) {
        QMetaObject::invokeMethod(
            context, [done = std::move(done)] { done(QImage()); }, Qt::QueuedConnection);
        return;
    }
    const bool alreadyFetching = m_waiting.contains(url);
    m_waiting[url].append(Waiter {context, std::move(done)});
    if (!alreadyFetching)
        fetch(url);
}

void ImageLoader::fetch(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
    QNetworkReply *reply = m_network->get(request);
    // A whole-request deadline (a per-byte one restarts with each byte a slow server sends),
    // and a size cap: header images are a few hundred KiB, so anything near the cap is not one.
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(timeoutMs);
    reply->setReadBufferSize(256 * 1024);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > maximumImageBytes || total > maximumImageBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, url] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status >= 300) {
            finish(url, QImage());
            return;
        }
        // Decoding a large JPEG takes long enough to stutter a scroll; it runs off the GUI
        // thread and only its result comes back.
        m_decoders->start([this, url, bytes = reply->readAll()] {
            QImage image = QImage::fromData(bytes);
            if (!image.isNull())
                image = image.convertToFormat(image.hasAlphaChannel()
                        ? QImage::Format_ARGB32_Premultiplied
                        : QImage::Format_RGB32);
            QMetaObject::invokeMethod(
                this, [this, url, image] { finish(url, image); }, Qt::QueuedConnection);
        });
    });
}

void ImageLoader::finish(const QUrl &url, const QImage &image)
{
    if (!image.isNull()) {
        m_images.insert(url, new QImage(image), qMax<qsizetype>(1, image.sizeInBytes() / 1024));
    } else {
        // The view keeps its placeholder; no one is told, so the log says why.
        qCInfo(uiLog) << "Dropped artwork that failed to load or decode:" << url.toDisplayString();
        m_failed.insert(url);
    }
    const QList<Waiter> waiters = m_waiting.take(url);
    for (const Waiter &waiter : waiters) {
        if (waiter.context)
            waiter.done(image);
    }
}
