#include "SteamLibraryFolders.h"

#include "games/GamesLog.h"
#include "games/SteamManifest.h"
#include "platform/RegularFile.h"
#include "platform/TextLines.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString manifestPath(const QString &steamApps, const QString &appID)
{
    return steamApps + u"/appmanifest_"_s + appID + u".acf"_s;
}

struct Listed
{
    QStringList paths; // unescaped
    // Steam rewrites the file while it runs: a half-written one must not pass for a short list.
    bool isWhole = false;
};

Listed listedPaths(const QString &text)
{
    Listed listed;
    int depth = 0;
    bool isBalanced = true;
    for (const QString &line : splitLines(text, Qt::SkipEmptyParts)) {
        const QString bare = line.trimmed();
        depth += bare == u"{" ? 1 : bare == u"}" ? -1 : 0;
        isBalanced = isBalanced && depth >= 0;
        const QStringList pieces = line.split(u'"');
        if (pieces.size() >= 4 && pieces.at(1) == u"path")
            listed.paths.append(pieces.at(3).trimmed().replace(u"\\\\"_s, u"\\"_s));
    }
    // Steam always lists its own folder, so a list without any is not whole either.
    listed.isWhole = isBalanced && depth == 0 && !listed.paths.isEmpty();
    return listed;
}

bool isSearchableFolder(const QString &path)
{
    if (path.isEmpty() || FileKind::of(path).kind != FileKind::Kind::folder)
        return false;
    const QFileInfo info(path);
    return info.isReadable() && info.isExecutable();
}

} // namespace

QString SteamLibraryFolders::steamRoot(const QString &prefixPath)
{
    return QDir(prefixPath).filePath(u"drive_c/Program Files (x86)/Steam"_s);
}

QString SteamLibraryFolders::hostPath(const QString &prefixPath, const QString &windowsPath)
{
    static const QRegularExpression drivePath(u"^([A-Za-z]):([\\\\/].*)?$"_s);
    static const QRegularExpression separators(u"[\\\\/]+"_s);
    const QRegularExpressionMatch match = drivePath.match(windowsPath);
    if (!match.hasMatch())
        return {};
    const QStringList parts = match.captured(2).split(separators, Qt::SkipEmptyParts);
    // A "..", once mapped, could step out of the drive the list means.
    if (parts.contains(u".."_s) || parts.contains(u"."_s))
        return {};
    const QString letter = match.captured(1).toLower();
    const QString drive = letter == u"c" ? u"drive_c"_s : u"dosdevices/"_s + letter + u':';
    return QDir::cleanPath(prefixPath + u'/' + drive + u'/' + parts.join(u'/'));
}

std::optional<QString> SteamLibraryFolders::readText(const QString &path)
{
    // A manifest or a list is a few kilobytes; a pipe or a device in its place is never opened.
    const auto bytes = RegularFile::read(path, qint64(1) << 20);
    if (!bytes) {
        if (FileKind::of(path).kind != FileKind::Kind::missing)
            qCInfo(gamesLog) << "Passed over a Steam file that can't be read:" << path;
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(*bytes);
    if (decoder.hasError()) {
        qCInfo(gamesLog) << "Passed over a Steam file that isn't UTF-8:" << path;
        return std::nullopt;
    }
    return text;
}

QStringList SteamLibraryFolders::listFiles() const
{
    return {m_root + u"/steamapps/libraryfolders.vdf"_s, m_root + u"/config/libraryfolders.vdf"_s};
}

SteamLibraryFolders SteamLibraryFolders::read(const QString &prefixPath)
{
    SteamLibraryFolders result;
    result.m_root = steamRoot(prefixPath);
    QStringList windowsPaths = {u"C:\\Program Files (x86)\\Steam"_s};
    for (const QString &list : result.listFiles()) {
        if (!FileKind::of(list).exists())
            continue;
        const auto text = readText(list);
        const Listed listed = text ? listedPaths(*text) : Listed {};
        windowsPaths += listed.paths;
        result.m_isListReadable = result.m_isListReadable && listed.isWhole;
    }
    QStringList seen;
    for (const QString &windowsPath : std::as_const(windowsPaths)) {
        const QString host = hostPath(prefixPath, windowsPath);
        const QString apps = host.isEmpty() ? QString() : host + u"/steamapps"_s;
        const QString key = apps.isEmpty() ? windowsPath : apps;
        if (seen.contains(key))
            continue;
        seen.append(key);
        result.m_folders.append({windowsPath, apps, isSearchableFolder(apps)});
    }
    return result;
}

SteamLibraryFolders::State SteamLibraryFolders::stateOf(
    const QString &manifest, const QString &appID, const QString &steamApps)
{
    const auto value
        = [&manifest](const QString &key) { return SteamManifest::value(key, manifest); };
    const auto flags = SteamManifest::decimalInteger(value(u"StateFlags"_s));
    const auto remaining = SteamManifest::decimalInteger(value(u"BytesToDownload"_s));
    const auto folder = value(u"installdir"_s);
    const bool complete = value(u"appid"_s) == appID && flags == 4 && folder && !folder->isEmpty()
        && *folder != u"." && *folder != u".." && !folder->contains(u'/')
        && !(remaining && *remaining > 0);
    if (complete) {
        const QDir installed(steamApps + u"/common/"_s + *folder);
        if (installed.exists()
            && !installed
                    .entryList(
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                    .isEmpty())
            return State::installed;
    }
    // Any flag beyond "uninstalled" and "fully installed" is Steam at work on the game.
    const bool busy = (flags && (*flags & ~qlonglong(5)) != 0) || (remaining && *remaining > 0);
    if (!busy)
        return State::notInstalled;
    return flags && (*flags & 4) ? State::updating : State::downloading;
}

std::optional<SteamLibraryFolders::Manifest> SteamLibraryFolders::manifestIn(
    const Folder &folder, const QString &appID) const
{
    if (!folder.isReadable)
        return std::nullopt;
    const auto text = readText(manifestPath(folder.steamApps, appID));
    if (!text || SteamManifest::value(u"appid"_s, *text) != appID)
        return std::nullopt;
    return Manifest {appID, SteamManifest::value(u"name"_s, *text).value_or(QString()),
        stateOf(*text, appID, folder.steamApps), folder.steamApps};
}

std::optional<SteamLibraryFolders::Manifest> SteamLibraryFolders::manifest(
    const QString &appID) const
{
    for (const Folder &folder : m_folders) {
        if (auto found = manifestIn(folder, appID))
            return found;
    }
    return std::nullopt;
}

bool SteamLibraryFolders::isInstalled(const QString &appID) const
{
    const auto found = manifest(appID);
    return found && found->state == State::installed;
}

SteamLibraryFolders::Presence SteamLibraryFolders::presence(const QString &appID) const
{
    bool isCertain = m_isListReadable;
    for (const Folder &folder : m_folders) {
        if (!folder.isReadable) {
            isCertain = false;
            continue;
        }
        const QString path = manifestPath(folder.steamApps, appID);
        // Missing only when the folder could be searched for it.
        if (!FileKind::of(path).exists())
            continue;
        const auto text = readText(path);
        if (!text)
            isCertain = false;
        else if (SteamManifest::value(u"appid"_s, *text) == appID)
            return Presence::found;
    }
    return isCertain ? Presence::gone : Presence::unknown;
}

QList<SteamLibraryFolders::Manifest> SteamLibraryFolders::manifests() const
{
    static const QRegularExpression fileName(u"^appmanifest_([0-9]+)\\.acf$"_s);
    QList<Manifest> found;
    for (const Folder &folder : m_folders) {
        if (!folder.isReadable)
            continue;
        QStringList appIDs;
        const QStringList names
            = QDir(folder.steamApps)
                  .entryList({u"appmanifest_*.acf"_s}, QDir::Files | QDir::System | QDir::Hidden);
        for (const QString &name : names) {
            const QRegularExpressionMatch match = fileName.match(name);
            if (match.hasMatch())
                appIDs.append(match.captured(1));
        }
        std::sort(appIDs.begin(), appIDs.end(), [](const QString &a, const QString &b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        for (const QString &appID : std::as_const(appIDs)) {
            if (auto manifest = manifestIn(folder, appID))
                found.append(*manifest);
        }
    }
    return found;
}
