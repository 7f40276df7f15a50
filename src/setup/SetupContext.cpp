#include "SetupContext.h"

#include "platform/AppData.h"
#include "platform/MachineInfo.h"

#include <QDir>

using namespace Qt::StringLiterals;

SetupSystem SetupSystem::forMac(const QString &machineName)
{
    return {Kind::macOS, machineName, u"/Library/Apple/usr/libexec/oah/libRosettaRuntime"_s,
        {u"/Library/Frameworks/GStreamer.framework/Versions/Current"_s}};
}

SetupSystem SetupSystem::forLinux()
{
    // The GStreamer 1.0 core library where distributions install it.
    QStringList libraries;
    for (const QString &folder : {u"/usr/lib/x86_64-linux-gnu"_s, u"/usr/lib/aarch64-linux-gnu"_s,
             u"/usr/lib/i386-linux-gnu"_s, u"/usr/lib64"_s, u"/usr/lib"_s})
        libraries << folder + u"/libgstreamer-1.0.so.0"_s;
    return {Kind::linuxDesktop, MachineInfo::machineName(), QString(), libraries};
}

SetupSystem SetupSystem::current()
{
#ifdef Q_OS_MACOS
    return forMac(MachineInfo::machineName());
#else
    return forLinux();
#endif
}

SetupSources SetupSources::pinned()
{
    SetupSources sources;
    sources.wineArchive = QUrl(
        u"https://github.com/Gcenx/macOS_Wine_builds/releases/download/11.18/wine-devel-11.18-osx64.tar.xz"_s);
    sources.wineFileName = u"wine-devel-11.18-osx64.tar.xz"_s;
    sources.wineSHA256 = u"aa0ea4c82e636ae7bca2076387cb0a5affa26509ad13f119ecd0d62bd7ba6f82"_s;
    sources.wineSourcePage
        = QUrl(u"https://github.com/Gcenx/macOS_Wine_builds/releases/tag/11.18"_s);
    sources.gstreamerPackage = QUrl(
        u"https://gstreamer.freedesktop.org/data/pkg/osx/1.28.7/gstreamer-1.0-1.28.7-universal.pkg"_s);
    sources.gstreamerFileName = u"gstreamer-1.0-1.28.7-universal.pkg"_s;
    sources.gstreamerSHA256 = u"529fdf4a4027d942e59b5b3564f6400adaa008f63ce5f3fed4ffe35d73911994"_s;
    sources.steamInstaller
        = QUrl(u"https://cdn.cloudflare.steamstatic.com/client/installer/SteamSetup.exe"_s);
    sources.steamStoreHost = u"store.steampowered.com"_s;
    sources.steamCDNDomain = u"steamstatic.com"_s;
    return sources;
}

QString SetupContext::runtimeFolder() const
{
    return QDir(dataFolder).filePath(u"Runtimes"_s);
}

SetupContext SetupContext::standard(
    std::shared_ptr<UserDefaults> defaults, std::shared_ptr<DesktopServices> desktop)
{
    const QString dataFolder = AppData::defaultFolder();
    return {dataFolder, DiscoveryPlaces::standard(dataFolder), SetupSystem::current(),
        SetupSources::pinned(), std::move(defaults), std::move(desktop)};
}
