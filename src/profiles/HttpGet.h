#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QNetworkRequest>
#include <QString>

class QNetworkAccessManager;

// The answer to one GET: the status (0 when the server never answered), the body, and the
// network's own description of a failure.
struct HttpAnswer
{
    int status = 0;
    QByteArray body;
    QString failure;

    bool isSuccess() const { return failure.isEmpty() && status >= 200 && status <= 299; }
};

namespace HttpGet {

// The process's network access for the GUI thread, shared by the stateless clients.
QNetworkAccessManager &sharedNetwork();

QCoro::Task<HttpAnswer> fetch(
    QNetworkAccessManager &network, QNetworkRequest request, int timeoutMs);

} // namespace HttpGet
