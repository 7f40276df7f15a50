#include "HttpGet.h"

#include <QCoroSignal>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

QNetworkAccessManager &HttpGet::sharedNetwork()
{
    static QNetworkAccessManager *network = new QNetworkAccessManager();
    return *network;
}

QCoro::Task<HttpAnswer> HttpGet::fetch(
    QNetworkAccessManager &network, QNetworkRequest request, int timeoutMs)
{
    request.setTransferTimeout(timeoutMs);
    QPointer<QNetworkReply> reply = network.get(request);
    if (!reply->isFinished())
        co_await qCoro(reply.data(), &QNetworkReply::finished);
    HttpAnswer answer;
    if (!reply)
        co_return answer;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    answer.status = status.isValid() ? status.toInt() : 0;
    answer.body = reply->readAll();
    // Errors below 200 are the connection's; above, the status tells what happened.
    if (reply->error() != QNetworkReply::NoError && (reply->error() < 200 || answer.status == 0))
        answer.failure = reply->errorString();
    reply->deleteLater();
    co_return answer;
}
