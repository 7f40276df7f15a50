#include "HttpGet.h"

#include <QCoroSignal>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

namespace {

// How much the network layer may hold for us before it stops reading from the socket, so a
// body that runs past the limit is never buffered far beyond it. Small, because a compressed
// piece may unpack to a thousand times its size.
constexpr qint64 readPiece = 16 * 1024;

// One GET with its limits, ended exactly once: by the server's answer, a failed connection,
// the deadline or too large a body.
class BoundedGet : public QObject
{
    Q_OBJECT

public:
    BoundedGet(QNetworkAccessManager &network, const QNetworkRequest &request, int deadlineMs,
        qint64 maximumBytes)
        : m_maximumBytes(maximumBytes)
    {
        // Qt's own check against compression bombs fails the reply without ever finishing it
        // (Qt 6.4), so the request waited for its deadline; the size limit here counts the
        // unpacked bytes as they arrive anyway.
        QNetworkRequest bounded(request);
        bounded.setDecompressedSafetyCheckThreshold(-1);
        m_reply = network.get(bounded);
        m_reply->setReadBufferSize(readPiece);
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &BoundedGet::checkAnnouncedSize);
        connect(m_reply, &QNetworkReply::readyRead, this, &BoundedGet::take);
        connect(m_reply, &QNetworkReply::finished, this, &BoundedGet::replyFinished);
        connect(m_reply, &QObject::destroyed, this, [this] { finish(); });
        m_deadline.setSingleShot(true);
        connect(
            &m_deadline, &QTimer::timeout, this, [this] { stop(HttpAnswer::Exceeded::deadline); });
        m_deadline.start(deadlineMs);
        if (m_reply->isFinished())
            replyFinished();
    }

    ~BoundedGet() override
    {
        if (m_reply) {
            m_reply->disconnect(this);
            m_reply->abort();
            m_reply->deleteLater();
        }
    }

    bool isFinished() const { return m_finished; }
    HttpAnswer answer() const { return m_answer; }

Q_SIGNALS:
    void done();

private:
    void checkAnnouncedSize()
    {
        bool known = false;
        const qint64 announced
            = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && announced > m_maximumBytes)
            stop(HttpAnswer::Exceeded::size);
    }

    void take()
    {
        if (!m_reply || !m_reply->isOpen() || m_answer.exceeded != HttpAnswer::Exceeded::none)
            return;
        m_answer.body += m_reply->readAll();
        if (m_answer.body.size() > m_maximumBytes)
            stop(HttpAnswer::Exceeded::size);
    }

    void stop(HttpAnswer::Exceeded why)
    {
        if (m_finished || m_answer.exceeded != HttpAnswer::Exceeded::none)
            return;
        m_answer.exceeded = why;
        m_answer.body.clear();
        m_answer.body.squeeze();
        m_reply->abort(); // finishes the reply, which ends this request
    }

    void replyFinished()
    {
        take();
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        m_answer.status = status.isValid() ? status.toInt() : 0;
        const QNetworkReply::NetworkError error = m_reply->error();
        // Errors below 200 are the connection's; above, the status tells what happened.
        if (m_answer.exceeded == HttpAnswer::Exceeded::none && error != QNetworkReply::NoError
            && (error < 200 || m_answer.status == 0))
            m_answer.failure = m_reply->errorString();
        finish();
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_deadline.stop();
        // Resume the caller from the event loop, never from inside the reply's own signal.
        QTimer::singleShot(0, this, [this] { Q_EMIT done(); });
    }

    qint64 m_maximumBytes;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    HttpAnswer m_answer;
    bool m_finished = false;
};

} // namespace

QCoro::Task<HttpAnswer> HttpGet::fetch(
    QNetworkAccessManager &network, QNetworkRequest request, int deadlineMs, qint64 maximumBytes)
{
    BoundedGet get(network, request, deadlineMs, maximumBytes);
    if (!get.isFinished())
        co_await qCoro(&get, &BoundedGet::done);
    co_return get.answer();
}

#include "HttpGet.moc"
