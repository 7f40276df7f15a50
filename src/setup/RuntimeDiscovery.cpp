#include "RuntimeDiscovery.h"

#include "platform/UserDefaults.h"
#include "setup/SetupLog.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Items of a folder in the order the file system gives them; nothing when it can't be listed.
QStringList listing(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
}

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString resolved(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

QString lastComponent(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString withoutExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

} // namespace

DiscoveryPlaces DiscoveryPlaces::standard(const QString &dataFolder)
{
    const QString home = QDir::homePath();
    DiscoveryPlaces places;
    places.binaries = {{u"/opt/homebrew/bin/wine"_s, {}}, {u"/usr/local/bin/wine"_s, {}},
        {u"/opt/local/bin/wine"_s, {}}};
#ifndef Q_OS_MACOS
    // Where distributions and WineHQ's packages put Wine, named the way people know them.
    places.binaries[1].name = u"Wine in /usr/local"_s;
    places.binaries += {{u"/usr/bin/wine"_s, u"System Wine"_s},
        {u"/opt/wine-stable/bin/wine"_s, u"WineHQ Stable"_s},
        {u"/opt/wine-devel/bin/wine"_s, u"WineHQ Devel"_s},
        {u"/opt/wine-staging/bin/wine"_s, u"WineHQ Staging"_s}};
#endif
    places.bundleFolders = {QDir(dataFolder).filePath(u"Runtimes"_s), u"/Applications"_s,
        QDir(home).filePath(u"Applications"_s)};
    places.gamesFolder = QDir(home).filePath(u"Library/Application Support/Game Library/Games"_s);
    return places;
}

QStringList RuntimeDiscovery::wineBinaries(const QString &folder)
{
    QStringList candidates;
    for (const QString &item : listing(folder)) {
        if (QFileInfo(item).suffix() != u"app" && !item.startsWith(u"engine-"))
            continue;
        const QDir dir(QDir(folder).filePath(item));
        candidates << dir.filePath(u"Contents/Resources/wine/bin/wine"_s)
                   << dir.filePath(u"Contents/Resources/bin/wine"_s) << dir.filePath(u"bin/wine"_s);
    }
    return candidates;
}

QStringList RuntimeDiscovery::existingLibraryWineBinaries(const QString &gamesFolder)
{
    QStringList candidates;
    for (const QString &game : listing(gamesFolder)) {
        const QString gameFolder = QDir(gamesFolder).filePath(game);
        for (const QString &inner : listing(gameFolder)) {
            if (inner.startsWith(u"engine-"))
                candidates << QDir(gameFolder).filePath(inner + u"/bin/wine"_s);
        }
    }
    return candidates;
}

std::optional<QString> RuntimeDiscovery::containingAppBundle(const QString &path)
{
    QString folder = QFileInfo(path).path();
    while (folder != u"/" && !folder.isEmpty() && folder != u".") {
        if (QFileInfo(folder).suffix() == u"app")
            return folder;
        folder = QFileInfo(folder).path();
    }
    return std::nullopt;
}

void RuntimeDiscovery::sortRuntimes(QList<DetectedWineRuntime> &runtimes)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(runtimes.begin(), runtimes.end(),
        [&](const DetectedWineRuntime &a, const DetectedWineRuntime &b) {
            const bool aOwn = a.name.contains(u"Quillmere");
            const bool bOwn = b.name.contains(u"Quillmere");
            if (aOwn != bOwn)
                return aOwn;
            return collator.compare(a.name, b.name) < 0;
        });
}

QList<DetectedWineRuntime> RuntimeDiscovery::findRuntimes(const DiscoveryPlaces &places)
{
    QList<RuntimeCandidate> candidates = places.binaries;
    for (const QString &folder : places.bundleFolders) {
        for (const QString &wine : wineBinaries(folder))
            candidates.append({wine, {}});
    }
    for (const QString &wine : existingLibraryWineBinaries(places.gamesFolder))
        candidates.append({wine, {}});

    QSet<QString> seen;
    QList<DetectedWineRuntime> runtimes;
    for (const RuntimeCandidate &candidate : candidates) {
        const QString wine = resolved(candidate.winePath);
        const QString server = QDir(QFileInfo(wine).path()).filePath(u"wineserver"_s);
        if (seen.contains(wine))
            continue; // the first occurrence wins
        seen.insert(wine);
        if (!isExecutableFile(wine) || !isExecutableFile(server)) {
            // Most candidates are simply not there; one that is but can't run is worth a line.
            if (QFileInfo::exists(wine))
                qCInfo(setupLog) << "Passed over a Wine without a runnable wine and wineserver:"
                                 << wine;
            continue;
        }
        DetectedWineRuntime runtime;
        runtime.winePath = wine;
        runtime.wineServerPath = server;
        runtime.bundlePath = containingAppBundle(wine);
        if (runtime.bundlePath)
            runtime.name = withoutExtension(lastComponent(*runtime.bundlePath));
        else if (!candidate.name.isEmpty())
            runtime.name = candidate.name;
        else
            runtime.name = lastComponent(QFileInfo(QFileInfo(wine).path()).path());
        runtimes.append(runtime);
    }
    sortRuntimes(runtimes);
    return runtimes;
}

QStringList RuntimeDiscovery::approvedRuntimePaths(const UserDefaults &defaults)
{
    return defaults.stringArray(QLatin1StringView(approvedRuntimePathsKey));
}

void RuntimeDiscovery::approveRuntime(UserDefaults &defaults, const QString &winePath)
{
    QStringList approved = approvedRuntimePaths(defaults);
    if (approved.contains(winePath))
        return;
    approved.append(winePath);
    defaults.setStringArray(QLatin1StringView(approvedRuntimePathsKey), approved);
}
