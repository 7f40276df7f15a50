#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <numeric>

class QTcpSocket;

// A real HTTP/1.1 server on 127.0.0.1 for tests: canned statuses and bodies, redirects, slow,
// unsized, truncated and endless answers. It counts requests per path and how many were open at
// once.
class LoopbackServer : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool sendLength = true; // false: no Content-Length, the end of the body is the close
        qsizetype closeAfter = -1; // close the connection after this many body bytes
        int chunkSize = 0; // > 0: send the body in pieces...
        int chunkDelayMs = 0; // ...this far apart
        int delayMs = 0; // wait this long before answering at all
        bool hangUp = false; // close the connection without answering
        // > 0: an unsized body that repeats `body` (or "x") up to this many bytes, as fast as
        // the client takes it; the end of the body is the close.
        qint64 repeatUpTo = 0;
    };

    LoopbackServer();

    void route(const QString &path, const Response &response) { m_routes.insert(path, response); }
    // Answers every request for `path` from its full target (path and query).
    void handle(const QString &path, std::function<Response(const QString &target)> handler)
    {
        m_handlers.insert(path, std::move(handler));
    }
    void redirect(const QString &path, const QUrl &target, int status = 302)
    {
        route(path, {.status = status, .headers = {{"Location", target.toEncoded()}}});
    }
    QUrl url(const QString &path) const;

    int requestCount(const QString &path) const { return m_counts.value(path); }
    int totalRequests() const { return std::accumulate(m_counts.cbegin(), m_counts.cend(), 0); }
    int maxOpenRequests() const { return m_maxOpen; }
    QList<QByteArray> requestHeaders() const { return m_requestHeads; }
    // Every request's target with the number of answers sent in full before it arrived.
    QList<QPair<QString, int>> arrivals() const { return m_arrivals; }
    // Body bytes handed to the sockets so far, across all answers.
    qint64 bodyBytesSent() const { return m_bodyBytesSent; }

private:
    void accept();
    void answer(QTcpSocket *socket, const QString &target);
    void sendBody(QTcpSocket *socket, const Response &response, qsizetype offset);
    void sendRepeated(QTcpSocket *socket, const Response &response);
    void close(QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QString, Response> m_routes;
    QHash<QString, std::function<Response(const QString &)>> m_handlers;
    QList<QPair<QString, int>> m_arrivals;
    int m_finished = 0;
    QHash<QString, int> m_counts;
    QList<QByteArray> m_requestHeads;
    int m_open = 0;
    int m_maxOpen = 0;
    qint64 m_bodyBytesSent = 0;
};
