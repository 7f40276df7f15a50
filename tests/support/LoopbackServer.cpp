#include "LoopbackServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

LoopbackServer::LoopbackServer()
{
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackServer::accept);
    m_server.listen(QHostAddress::LocalHost);
}

QUrl LoopbackServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

void LoopbackServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0 || socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            const QByteArray head = buffer->left(end);
            m_requestHeads.append(head);
            const QList<QByteArray> requestLine = head.split('\n').first().trimmed().split(' ');
            const QString target
                = requestLine.size() > 1 ? QString::fromLatin1(requestLine.at(1)) : QString();
            answer(socket, target);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LoopbackServer::answer(QTcpSocket *socket, const QString &target)
{
    const QString path = target.section(QLatin1Char('?'), 0, 0);
    m_counts[path] += 1;
    m_arrivals.append({target, m_finished});
    m_maxOpen = std::max(m_maxOpen, ++m_open);
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });

    const Response response = m_handlers.contains(path)
        ? m_handlers.value(path)(target)
        : m_routes.value(path, Response {.status = 404, .body = "no such route\n"});
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(response.delayMs, this, [this, guard, response] {
        if (!guard)
            return;
        if (response.hangUp) {
            close(guard);
            return;
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
        for (const auto &[name, value] : response.headers)
            head += name + ": " + value + "\r\n";
        if (response.sendLength && response.repeatUpTo <= 0)
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        guard->write(head);
        if (response.repeatUpTo > 0)
            sendRepeated(guard, response);
        else
            sendBody(guard, response, 0);
    });
}

void LoopbackServer::sendBody(QTcpSocket *socket, const Response &response, qsizetype offset)
{
    const qsizetype limit = response.closeAfter >= 0
        ? std::min(response.closeAfter, response.body.size())
        : response.body.size();
    const qsizetype piece = response.chunkSize > 0 ? response.chunkSize : limit - offset;
    const qsizetype length = std::min(piece, limit - offset);
    if (length > 0) {
        socket->write(response.body.mid(offset, length));
        m_bodyBytesSent += length;
    }
    if (offset + length >= limit) {
        close(socket);
        return;
    }
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(
        response.chunkDelayMs, this, [this, guard, response, next = offset + length] {
            if (guard)
                sendBody(guard, response, next);
        });
}

void LoopbackServer::sendRepeated(QTcpSocket *socket, const Response &response)
{
    // Written only as the socket drains, so what counts as sent is what the client could take.
    const QByteArray unit = response.body.isEmpty() ? QByteArray("x") : response.body;
    QByteArray piece = unit;
    while (piece.size() < 64 * 1024)
        piece += unit;
    auto remaining = std::make_shared<qint64>(response.repeatUpTo);
    auto refill = [this, socket, piece, remaining] {
        while (*remaining > 0 && socket->bytesToWrite() < piece.size()) {
            const qint64 length = std::min<qint64>(piece.size(), *remaining);
            socket->write(piece.constData(), length);
            m_bodyBytesSent += length;
            *remaining -= length;
            if (*remaining == 0)
                close(socket);
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, refill);
    refill();
}

void LoopbackServer::close(QTcpSocket *socket)
{
    ++m_finished;
    socket->flush();
    socket->disconnectFromHost();
}
