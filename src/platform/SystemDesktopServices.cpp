#include "SystemDesktopServices.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>

using namespace Qt::StringLiterals;

bool SystemDesktopServices::openFile(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool SystemDesktopServices::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool SystemDesktopServices::openApplication(const QString &path)
{
#ifdef Q_OS_MACOS
    return QProcess::startDetached(u"/usr/bin/open"_s, {u"-a"_s, path});
#else
    if (QFileInfo(path).isExecutable() && QFileInfo(path).isFile())
        return QProcess::startDetached(path, {});
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

void SystemDesktopServices::revealInFileManager(
    const QStringList &paths, std::function<void()> failed)
{
    if (paths.isEmpty())
        return;
#ifdef Q_OS_MACOS
    if (!QProcess::startDetached(u"/usr/bin/open"_s, QStringList {u"-R"_s} + paths))
        failed();
#else
    QStringList uris;
    for (const QString &path : paths)
        uris.append(QUrl::fromLocalFile(path).toString());
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.FileManager1"_s,
        u"/org/freedesktop/FileManager1"_s, u"org.freedesktop.FileManager1"_s, u"ShowItems"_s);
    call << uris << QString();
    // Without a file manager on the session bus, opening the folder is the closest thing.
    // The call is asynchronous so a slow bus never stalls the window.
    auto openFolder = [folder = QUrl::fromLocalFile(QFileInfo(paths.first()).absolutePath()),
                          failed = std::move(failed)] {
        if (!QDesktopServices::openUrl(folder))
            failed();
    };
    const QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, 2000);
    if (pending.isFinished()) {
        if (pending.isError())
            openFolder();
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(pending);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
        [openFolder](QDBusPendingCallWatcher *finished) {
            if (finished->isError())
                openFolder();
            finished->deleteLater();
        });
#endif
}

void SystemDesktopServices::copyToClipboard(const QString &text)
{
    if (auto *clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}
