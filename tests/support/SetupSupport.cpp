#include "SetupSupport.h"

#include "platform/UserDefaults.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace TestSupport {

static void writeScript(const QString &path, const QString &target)
{
    writeFile(path, "#!/bin/sh\nexec '" + target.toUtf8() + "' \"$@\"\n");
    QFile::setPermissions(
        path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

void installFakeRuntime(const QString &binFolder)
{
    writeScript(binFolder + QStringLiteral("/wine"), fakeWine());
    writeScript(binFolder + QStringLiteral("/wineserver"), fakeWineServer());
}

QString buildWineArchive(const QString &path, ArchiveLayout layout, qsizetype padding)
{
    QTemporaryDir tree;
    const QString bundle = tree.filePath(QStringLiteral("Wine Devel.app"));
    const QString bin = bundle + QStringLiteral("/Contents/Resources/wine/bin");
    installFakeRuntime(bin);
    if (layout == ArchiveLayout::missingWineServer)
        QFile::remove(bin + QStringLiteral("/wineserver"));
    if (layout == ArchiveLayout::extraTopLevelFile)
        writeFile(tree.filePath(QStringLiteral("README")), "extra");
    if (padding > 0) {
        QByteArray noise(padding, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(
            reinterpret_cast<quint32 *>(noise.data()), padding / 4);
        writeFile(bundle + QStringLiteral("/Contents/Resources/padding.bin"), noise);
    }

    QStringList arguments {QStringLiteral("-cJf"), path, QStringLiteral("-C"), tree.path()};
    if (layout == ArchiveLayout::dotDotInside)
        arguments << QStringLiteral("--transform")
                  << QStringLiteral("s,^Wine Devel.app/Contents/Resources/wine/bin/wine$,"
                                    "Wine Devel.app/Contents/../../escaped,");
    if (layout == ArchiveLayout::dotSlashPrefix)
        arguments << QStringLiteral("./Wine Devel.app");
    else
        arguments << QDir(tree.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QProcess tar;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(
        QStringLiteral("XZ_OPT"), QStringLiteral("-0")); // fast; size is not the point
    tar.setProcessEnvironment(environment);
    tar.start(QStringLiteral("tar"), arguments);
    tar.waitForFinished(-1);
    if (tar.exitCode() != 0)
        qWarning("tar failed: %s", tar.readAllStandardError().constData());
    return path;
}

QString sha256Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

SetupContext setupContext(
    const Sandbox &sandbox, const LoopbackServer &server, const SetupSystem &system)
{
    SetupContext context;
    context.dataFolder = sandbox.path(QStringLiteral("Quillmere"));
    context.places.bundleFolders = {context.runtimeFolder()};
    context.system = system;
    context.sources.wineArchive = server.url(QStringLiteral("/wine.tar.xz"));
    context.sources.wineFileName = QStringLiteral("wine-devel-11.18-osx64.tar.xz");
    context.sources.wineSourcePage = server.url(QStringLiteral("/releases/tag/11.18"));
    context.sources.gstreamerPackage = server.url(QStringLiteral("/gstreamer.pkg"));
    context.sources.gstreamerFileName = QStringLiteral("gstreamer-1.0-1.28.7-universal.pkg");
    context.sources.steamInstaller = server.url(QStringLiteral("/client/installer/SteamSetup.exe"));
    context.sources.steamStoreHost = QStringLiteral("127.0.0.1");
    context.sources.steamCDNDomain = QStringLiteral("steamcdn.test");
    context.defaults
        = std::make_shared<UserDefaults>(sandbox.path(QStringLiteral("setup-defaults.ini")));
    context.desktop = sandbox.desktop;
    return context;
}

SetupContext machineContext(const Sandbox &sandbox, const LoopbackServer &server,
    const QString &machine, bool gstreamer, bool wine)
{
    SetupSystem system = machine == QStringLiteral("linux") ? SetupSystem::forLinux()
                                                            : SetupSystem::forMac(machine);
    system.rosettaRuntimePath = sandbox.path(QStringLiteral("probe/libRosettaRuntime"));
    system.gstreamerPaths = {sandbox.path(QStringLiteral("probe/GStreamer"))};
    if (gstreamer)
        writeFile(system.gstreamerPaths.first(), "");
    SetupContext context = setupContext(sandbox, server, system);
    if (wine) {
        installFakeRuntime(sandbox.path(QStringLiteral("homebrew/bin")));
        context.places.binaries = {{sandbox.path(QStringLiteral("homebrew/bin/wine")), {}}};
    }
    return context;
}

} // namespace TestSupport
