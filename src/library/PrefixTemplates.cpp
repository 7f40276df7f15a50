#include "PrefixTemplates.h"

#include "library/LibraryLog.h"
#include "library/WineRuntime.h"
#include "platform/Leftovers.h"
#include "platform/RegularFile.h"
#include "platform/TreeCopy.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QUuid>

#include <optional>

using namespace Qt::StringLiterals;
using PrefixTemplates::WineBuild;

namespace {

const QString recordName = u"template.json"_s;
const QString prefixName = u"prefix"_s;
const QString makingPrefix = u".making-"_s;
const QString discardedPrefix = u".discarded-"_s;
const QString copyPrefix = u".quillmere-copy-"_s;

// Where an installation keeps wine.inf, from the folder of its wine binary: "bin" beside
// "share", or one level deeper, as Debian's lib/wine/wine64.
const QStringList wineInfPlaces = {u"../share/wine/wine.inf"_s, u"../../share/wine/wine.inf"_s};

// Debian's Wine writes here the name of the temporary folder its wineserver uses; a copy that
// kept it would share the template's. Without it, Wine picks a folder of the prefix's own.
const QStringList leftOutOfTemplates = {u"wineserver"_s};

constexpr int versionTimeLimitMs = 10000;

struct Record
{
    WineBuild build;
    TreeCopy::Totals totals;
};

QString keyOf(const WineBuild &build)
{
    const QString identity = build.wine + u'\n' + build.version + u'\n' + build.timestamp;
    return QString::fromLatin1(
        QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

QString installationStamp(const QString &realWine)
{
    const QDir binaries = QFileInfo(realWine).absoluteDir();
    for (const QString &place : wineInfPlaces) {
        const QFileInfo inf(binaries.filePath(place));
        if (inf.isFile())
            return QString::number(inf.lastModified().toSecsSinceEpoch());
    }
    return {};
}

std::optional<Record> recordOf(const QString &folder)
{
    const auto bytes = RegularFile::read(QDir(folder).filePath(recordName), 64 * 1024);
    if (!bytes)
        return std::nullopt;
    const QJsonObject json = QJsonDocument::fromJson(*bytes).object();
    Record record {{json[u"wine"_s].toString(), json[u"version"_s].toString(),
                       json[u"timestamp"_s].toString()},
        {json[u"entries"_s].toInteger(-1), json[u"bytes"_s].toInteger(-1)}};
    if (record.build.wine.isEmpty() || !record.build.isKnown() || record.totals.entries < 0)
        return std::nullopt;
    return record;
}

// A prefix whose stamp is not its installation's is updated by Wine at its first start, which
// takes as long as a boot: such a prefix is no use as a template.
bool agreesWithWine(const QString &prefix, const QString &timestamp)
{
    const auto stamp = RegularFile::read(QDir(prefix).filePath(u".update-timestamp"_s), 1024);
    return timestamp.isEmpty() || !stamp || stamp->trimmed() == timestamp.toUtf8();
}

std::optional<Record> usableRecord(const QString &folder, const WineBuild &build)
{
    auto record = recordOf(folder);
    const QString prefix = QDir(folder).filePath(prefixName);
    if (!record || record->build != build || !WineRuntime::isInitializedPrefix(prefix)
        || !agreesWithWine(prefix, build.timestamp))
        return std::nullopt;
    return record;
}

void removeFolder(const QString &path)
{
    if (!QDir(path).removeRecursively())
        qCInfo(libraryLog) << "Left a prefix template's folder in place; it couldn't be removed:"
                           << path;
}

// Moved aside first, so nobody starts copying a template that is half removed.
void discard(const QString &templates, const QString &folder)
{
    const QString aside = QDir(templates).filePath(Leftovers::temporaryName(discardedPrefix));
    if (TreeCopy::renameFolder(folder, aside))
        removeFolder(aside);
}

// A new prefix gives a program a new Windows installation, as wineboot would: its own
// machine identity rather than the template's.
bool freshMachineGuid(const QString &prefix)
{
    const QString path = QDir(prefix).filePath(u"system.reg"_s);
    const auto registry = RegularFile::read(path, qint64(256) << 20);
    if (!registry)
        return false;
    const QByteArray key = "\"MachineGuid\"=\"";
    const qsizetype start = registry->indexOf(key) + key.size();
    const QByteArray guid = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    if (start < key.size() || registry->mid(start + guid.size(), 1) != "\"")
        return true;
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.seek(start) && file.write(guid) == guid.size()
        && file.flush();
}

// The templates of builds that are gone: another build of the same wine, a wine that is no
// longer there or whose installation changed, and anything that isn't a template.
void prune(const QString &templates, const WineBuild &build)
{
    const QDir folder(templates);
    for (const QString &name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (name == keyOf(build))
            continue;
        const auto record = recordOf(folder.filePath(name));
        const QFileInfo wine(record ? record->build.wine : QString());
        if (!record || record->build.wine == build.wine || !wine.isFile() || !wine.isExecutable()
            || installationStamp(record->build.wine) != record->build.timestamp)
            discard(templates, folder.filePath(name));
    }
}

} // namespace

QString PrefixTemplates::folder(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(u"PrefixTemplates"_s);
}

WineBuild PrefixTemplates::buildOf(const GameEntry &entry)
{
    const QString wine = QFileInfo(entry.winePath).canonicalFilePath();
    if (wine.isEmpty())
        return {};
    QProcessEnvironment environment;
    const Environment variables = WineRuntime::baseEnvironment(entry);
    for (auto it = variables.cbegin(); it != variables.cend(); ++it)
        environment.insert(it.key(), it.value());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QFileInfo(wine).absolutePath());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(WineRuntime::absolutePath(entry.winePath), {u"--version"_s});
    if (!process.waitForFinished(versionTimeLimitMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    const QString version
        = QString::fromUtf8(process.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
    return {wine, version.left(200), installationStamp(wine)};
}

bool PrefixTemplates::copyTemplate(
    const QString &templates, const WineBuild &build, const QString &prefixPath)
{
    const QString source = QDir(templates).filePath(keyOf(build));
    const auto record = usableRecord(source, build);
    if (!record)
        return false;
    const QString prefix = WineRuntime::absolutePath(prefixPath);
    const QString parent = QFileInfo(prefix).absolutePath();
    Leftovers::removeUnmarked(parent, copyPrefix, Leftovers::Kind::folder);
    // Copied beside the prefix and renamed into place, so a copy cut short leaves no half
    // prefix where the entry's is.
    const QString temporary = QDir(parent).filePath(Leftovers::temporaryName(copyPrefix));
    const InUseMark mark(QDir().mkdir(temporary) ? temporary : QString());
    if (!mark.isHeld())
        return false;
    const QString copy = QDir(temporary).filePath(prefixName);
    const auto copied = TreeCopy::copy(QDir(source).filePath(prefixName), copy);
    bool ok = copied && *copied == record->totals;
    if (!copied)
        qCInfo(libraryLog) << "A prefix template couldn't be copied:" << copied.error().message;
    if ((copied && !ok) || (!copied && copied.error().inSource)) {
        qCInfo(libraryLog) << "Dropped a damaged prefix template:" << source;
        discard(templates, source);
    }
    if (ok && !freshMachineGuid(copy))
        ok = false;
    if (ok) {
        const auto moved = TreeCopy::renameFolder(copy, prefix);
        if (!moved)
            qCInfo(libraryLog) << moved.error();
        ok = moved.hasValue();
    }
    removeFolder(temporary);
    return ok;
}

void PrefixTemplates::keep(
    const QString &templates, const WineBuild &build, const QString &prefixPath)
{
    const QString target = QDir(templates).filePath(keyOf(build));
    if (!build.isKnown() || !QDir().mkpath(templates) || usableRecord(target, build)
        || !agreesWithWine(prefixPath, build.timestamp))
        return;
    Leftovers::removeUnmarked(templates, makingPrefix, Leftovers::Kind::folder);
    Leftovers::removeUnmarked(templates, discardedPrefix, Leftovers::Kind::folder);
    const QString making = QDir(templates).filePath(Leftovers::temporaryName(makingPrefix));
    const InUseMark mark(QDir().mkdir(making) ? making : QString());
    if (!mark.isHeld())
        return;
    const auto copied
        = TreeCopy::copy(prefixPath, QDir(making).filePath(prefixName), leftOutOfTemplates);
    QSaveFile record(QDir(making).filePath(recordName));
    const QJsonObject json {{u"wine"_s, build.wine}, {u"version"_s, build.version},
        {u"timestamp"_s, build.timestamp}, {u"entries"_s, copied ? copied->entries : -1},
        {u"bytes"_s, copied ? copied->bytes : -1}};
    if (!copied || !record.open(QIODevice::WriteOnly)
        || record.write(QJsonDocument(json).toJson()) < 0 || !record.commit()) {
        qCInfo(libraryLog) << "Couldn't keep a prefix template:"
                           << (copied ? record.errorString() : copied.error().message);
        removeFolder(making);
        return;
    }
    if (QFileInfo::exists(target))
        discard(templates, target); // another build's under the same name, or damaged
    // Another process may have kept one meanwhile; then ours goes.
    if (!TreeCopy::renameFolder(making, target))
        removeFolder(making);
    prune(templates, build);
}

QJsonArray PrefixTemplates::list(const QString &templates)
{
    QJsonArray out;
    const QDir folder(templates);
    for (const QString &name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const auto record = recordOf(folder.filePath(name));
        if (!record)
            continue;
        out.append(
            QJsonObject {{u"wine"_s, record->build.wine}, {u"build"_s, record->build.version},
                {u"timestamp"_s,
                    record->build.timestamp.isEmpty() ? QJsonValue() : record->build.timestamp},
                {u"path"_s, folder.filePath(name + u'/' + prefixName)},
                {u"bytes"_s, record->totals.bytes}});
    }
    return out;
}
