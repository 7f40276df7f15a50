#include "DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

using namespace Qt::StringLiterals;

bool DesktopNotification::show(const QString &summary, const QString &body)
{
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.Notifications"_s,
        u"/org/freedesktop/Notifications"_s, u"org.freedesktop.Notifications"_s, u"Notify"_s);
    // A server may read the body as markup, so a path with "<" or "&" is escaped to show as is.
    call << u"Quillmere"_s << 0u << u"org.quillmere.Quillmere"_s << summary << body.toHtmlEscaped()
         << QStringList() << QVariantMap() << -1;
    const QDBusMessage answer = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    return answer.type() == QDBusMessage::ReplyMessage;
}
