#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QNetworkRequest>
#include <QString>

class QNetworkAccessManager;

// The answer to one GET: the status (0 when the server never answered), the body, and the
// network's own description of a failure, or the limit that stopped it.
struct HttpAnswer
{
    enum class Exceeded { none, deadline, size };

    int status = 0;
    QByteArray body;
    QString failure;
    Exceeded exceeded = Exceeded::none;

    bool isSuccess() const
    {
        return exceeded == Exceeded::none && failure.isEmpty() && status >= 200 && status <= 299;
    }
};

namespace HttpGet {

// One GET that ends within `deadlineMs` counted from the start, however the server trickles,
// and holds at most `maximumBytes` of body (plus one read), counted after any decompression:
// a longer answer is cut off.
QCoro::Task<HttpAnswer> fetch(
    QNetworkAccessManager &network, QNetworkRequest request, int deadlineMs, qint64 maximumBytes);

} // namespace HttpGet
