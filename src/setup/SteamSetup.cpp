#include "SteamSetup.h"

#include "setup/Downloads.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

QString SteamSetup::prefixPath(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(u"Prefixes/Steam"_s);
}

QString SteamSetup::steamExecutable(const QString &dataFolder)
{
    return QDir(prefixPath(dataFolder)).filePath(u"drive_c/Program Files (x86)/Steam/steam.exe"_s);
}

QString SteamSetup::setupLog(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(u"Logs/steam-setup.log"_s);
}

bool SteamSetup::isAcceptedOrigin(
    const QString &host, const QString &storeHost, const QString &cdnDomain)
{
    if (host.isEmpty())
        return false;
    return host == storeHost || (!cdnDomain.isEmpty() && host.endsWith(u'.' + cdnDomain));
}

SetupResult<bool> SteamSetup::isWindowsExecutable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unexpected(RuntimeSetupError::system(
            u"Quillmere couldn't read “"_s + path + u"”: "_s + file.errorString() + u'.'));
    return file.read(2) == "MZ";
}

QCoro::Task<SetupResult<QString>> SteamSetup::downloadSteamSetup(
    QNetworkAccessManager &network, const SetupSources &sources, QString folder)
{
    const QString target = QDir(folder).filePath(u"SteamSetup.exe"_s);
    QFile::remove(target);
    QNetworkRequest request(sources.steamInstaller);
    auto downloading = Downloads::download(network, request, folder, {}, nullptr);
    const SetupResult<DownloadedFile> downloaded = co_await std::move(downloading);
    if (!downloaded)
        co_return unexpected(downloaded.error());
    const QString temporary = downloaded->temporaryPath;
    auto cleanup = qScopeGuard([&] { QFile::remove(temporary); });

    const bool goodStatus = downloaded->httpStatus >= 200 && downloaded->httpStatus <= 299;
    if (!goodStatus
        || !isAcceptedOrigin(
            downloaded->finalUrl.host(), sources.steamStoreHost, sources.steamCDNDomain))
        co_return unexpected(RuntimeSetupError::download(
            u"Steam Setup did not come from Valve's Steam website or CDN."_s));
    const SetupResult<bool> executable = isWindowsExecutable(temporary);
    if (!executable)
        co_return unexpected(executable.error());
    if (!*executable)
        co_return unexpected(RuntimeSetupError::download(
            u"The Steam Setup download was not a Windows executable."_s));
    if (!QFile::rename(temporary, target))
        co_return unexpected(RuntimeSetupError::system(
            u"Quillmere couldn't move the download to “"_s + target + u"”."_s));
    cleanup.dismiss();
    co_return target;
}
