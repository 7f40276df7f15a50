#include "WineInstaller.h"

#include "platform/Leftovers.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

const QString stagingPrefix = u".install-"_s;
const QString wineBinary = u"Contents/Resources/wine/bin/wine"_s;
const QString wineServerBinary = u"Contents/Resources/wine/bin/wineserver"_s;

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

bool hasBinaries(const QString &bundle)
{
    const QDir dir(bundle);
    return isExecutableFile(dir.filePath(wineBinary))
        && isExecutableFile(dir.filePath(wineServerBinary));
}

RuntimeSetupError unexpectedLayout()
{
    return RuntimeSetupError::archive(
        u"The Wine archive did not contain the expected Wine Devel.app bundle."_s);
}

} // namespace

SetupResult<QString> WineInstaller::runTar(const QString &tar, const QStringList &arguments)
{
    // Blocking is fine here: the setup runs this on a worker thread, the tests directly.
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tar, arguments);
    if (!process.waitForStarted(-1))
        return unexpected(RuntimeSetupError::system(
            u"Quillmere couldn't start “"_s + tar + u"”: "_s + process.errorString() + u'.'));
    process.waitForFinished(-1);
    const QByteArray raw = process.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString output = decoder.decode(raw);
    if (decoder.hasError())
        output.clear();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return output;
    return unexpected(RuntimeSetupError::archive(
        output.trimmed().isEmpty() ? u"The Wine archive could not be read."_s : output));
}

bool WineInstaller::isExpectedListing(const QString &listing)
{
    const QStringList lines = listing.split(u'\n', Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return false;
    const QString bundle = QLatin1StringView(bundleName);
    bool hasContent = false;
    for (const QString &line : lines) {
        if (line.startsWith(u'/'))
            return false;
        const QStringList components = line.split(u'/', Qt::SkipEmptyParts);
        if (components.isEmpty() || components.first() != bundle || components.contains(u".."_s))
            return false;
        hasContent = hasContent || line.startsWith(bundle + u'/');
    }
    return hasContent;
}

SetupResult<DetectedWineRuntime> WineInstaller::installWineArchive(
    const QString &archive, const QString &runtimeFolder, const QString &tar)
{
    auto cannotCreate = [](const QString &folder) {
        return unexpected(RuntimeSetupError::system(u"Quillmere couldn't create the folder “"_s
            + folder + u"”. Check that the disk is writable."_s));
    };
    if (!QDir().mkpath(runtimeFolder))
        return cannotCreate(runtimeFolder);
    const QString staging = QDir(runtimeFolder).filePath(Leftovers::temporaryName(stagingPrefix));
    if (!QDir().mkpath(staging))
        return cannotCreate(staging);
    const InUseMark inUse(staging); // held until the staging folder is gone
    if (!inUse.isHeld())
        return cannotCreate(staging);
    const auto removeStaging = qScopeGuard([&] { QDir(staging).removeRecursively(); });

    const SetupResult<QString> listing = runTar(tar, {u"-tJf"_s, archive});
    if (!listing)
        return unexpected(listing.error());
    if (!isExpectedListing(*listing))
        return unexpected(unexpectedLayout());

    const SetupResult<QString> extracted = runTar(tar, {u"-xJf"_s, archive, u"-C"_s, staging});
    if (!extracted)
        return unexpected(extracted.error());
    const QString bundle = QDir(staging).filePath(QLatin1StringView(bundleName));
    if (!hasBinaries(bundle))
        return unexpected(RuntimeSetupError::archive(
            u"Wine was extracted, but its wine and wineserver binaries were not found."_s));

    const QString destination
        = QDir(runtimeFolder).filePath(QLatin1StringView(installedBundleName));
    if (!QFileInfo(destination).exists() && !QFileInfo(destination).isSymLink()) {
        if (!QDir().rename(bundle, destination))
            return unexpected(RuntimeSetupError::system(
                u"Quillmere couldn't move Wine to “"_s + destination + u"”."_s));
    } else if (!hasBinaries(destination)) {
        return unexpected(
            RuntimeSetupError::install(u"An incomplete Quillmere runtime already exists at:\n"_s
                + destination + u"\nRemove that folder in Finder and try again."_s));
    }

    const QDir installed(destination);
    return DetectedWineRuntime {QLatin1StringView(installedRuntimeName).toString(),
        installed.filePath(wineBinary), installed.filePath(wineServerBinary), destination};
}

void WineInstaller::removeLeftovers(const QString &runtimeFolder)
{
    Leftovers::removeUnmarked(runtimeFolder, stagingPrefix, Leftovers::Kind::folder);
}
