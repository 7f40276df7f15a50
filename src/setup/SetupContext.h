#pragma once

#include "setup/RuntimeDiscovery.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class DesktopServices;
class UserDefaults;

// What kind of machine the setup prepares: the probes it reads and whether it installs the
// pinned macOS downloads or points the user at the system's packages.
struct SetupSystem
{
    enum class Kind { macOS, linuxDesktop };

    Kind kind = Kind::macOS;
    QString machineName; // "arm64" on Apple silicon
    QString rosettaRuntimePath; // exists once Rosetta is installed
    QStringList gstreamerPaths; // GStreamer counts as installed when any of them exists

    bool isAppleSilicon() const { return kind == Kind::macOS && machineName == u"arm64"; }
    bool usesPinnedDownloads() const { return kind == Kind::macOS; }

    static SetupSystem forMac(const QString &machineName);
    static SetupSystem forLinux();
    static SetupSystem current();
};

// The pinned downloads and the hosts they must come from.
struct SetupSources
{
    QUrl wineArchive;
    QString wineFileName;
    QString wineSHA256;
    QUrl wineSourcePage;
    QUrl gstreamerPackage;
    QString gstreamerFileName;
    QString gstreamerSHA256;
    QUrl steamInstaller;
    QString steamStoreHost; // the installer may come from exactly this host...
    QString steamCDNDomain; // ...or from any host ending in "." + this domain
    QString tar = QStringLiteral("/usr/bin/tar");

    static SetupSources pinned();
};

// Everything the setup reads from or writes to outside itself; tests swap each part.
struct SetupContext
{
    QString dataFolder; // holds Runtimes, Downloads, Prefixes and Logs
    DiscoveryPlaces places;
    SetupSystem system;
    SetupSources sources;
    std::shared_ptr<UserDefaults> defaults;
    std::shared_ptr<DesktopServices> desktop;

    QString runtimeFolder() const;

    static SetupContext standard(
        std::shared_ptr<UserDefaults> defaults, std::shared_ptr<DesktopServices> desktop);
};
