#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkDiskCache;
class QThreadPool;

// Web images for the window: one network access with a disk cache shared by every view, and
// the most recently decoded images kept in memory, so a header image is fetched once per URL
// however many cards show it.
class ImageLoader : public QObject
{
    Q_OBJECT

public:
    static ImageLoader &shared();

    // Calls `done` on the GUI thread with the image, or a null image when it could not be
    // fetched or decoded, but only while `context` lives. Requests for a URL that is already
    // on its way wait for that one request. Never delivers before returning.
    void load(const QUrl &url, QObject *context, std::function<void(const QImage &)> done);
    std::optional<QImage> cached(const QUrl &url) const;

    // The folder of the disk cache; tests keep it in a temporary folder.
    void setCacheDirectory(const QString &path);
    QString cacheDirectory() const;

    static constexpr qint64 diskCacheBytes = 64 * 1024 * 1024;
    static constexpr int memoryCacheKilobytes = 48 * 1024;
    static constexpr int timeoutMs = 20000; // for the whole request
    static constexpr qint64 maximumImageBytes = 8 * 1024 * 1024;

private:
    ImageLoader();
    void fetch(const QUrl &url);
    void finish(const QUrl &url, const QImage &image);

    struct Waiter
    {
        QPointer<QObject> context;
        std::function<void(const QImage &)> done;
    };

    QNetworkAccessManager *m_network;
    QNetworkDiskCache *m_diskCache;
    QThreadPool *m_decoders;
    QHash<QUrl, QList<Waiter>> m_waiting;
    QSet<QUrl> m_failed;
    // Costs are kilobytes of decoded pixels, so a few large images cannot hold everything.
    mutable QCache<QUrl, QImage> m_images;
};
