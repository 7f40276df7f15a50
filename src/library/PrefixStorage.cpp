#include "PrefixStorage.h"

#include "library/LibraryLog.h"
#include "platform/Background.h"
#include "platform/Leftovers.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include <ftw.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

thread_local qint64 walked = 0;

int addBlocks(const char *, const struct stat *info, int kind, struct FTW *)
{
    if (kind == FTW_F || kind == FTW_D || kind == FTW_DP)
        walked += qint64(info->st_blocks) * 512;
    return 0;
}

QString prefixesFolder(const QString &dataFolder)
{
    return QDir::cleanPath(QDir(dataFolder).absoluteFilePath(u"Prefixes"_s));
}

} // namespace

PrefixStorage::PrefixStorage(QString dataFolder, QObject *parent)
    : QObject(parent)
    , m_dataFolder(std::move(dataFolder))
{
}

std::optional<qint64> PrefixStorage::bytes(const QString &prefix) const
{
    const auto known = m_bytes.constFind(QDir::cleanPath(prefix));
    return known == m_bytes.cend() ? std::nullopt : std::optional(*known);
}

void PrefixStorage::measure(const QString &prefix)
{
    const QString key = QDir::cleanPath(prefix);
    if (key.isEmpty() || m_bytes.contains(key) || m_measuring.contains(key))
        return;
    m_measuring.insert(key);
    Background::run(
        this, [key] { return measureNow(key); },
        [this, key](qint64 bytes) {
            // Forgotten meanwhile: the figure may be stale already.
            if (!m_measuring.remove(key))
                return;
            m_bytes.insert(key, bytes);
            Q_EMIT changed();
        });
}

void PrefixStorage::forget(const QString &prefix)
{
    const QString key = QDir::cleanPath(prefix);
    m_measuring.remove(key);
    if (m_bytes.remove(key))
        Q_EMIT changed();
}

qint64 PrefixStorage::measureNow(const QString &prefix)
{
    walked = 0;
    ::nftw(QFile::encodeName(prefix).constData(), addBlocks, 32, FTW_PHYS);
    return walked;
}

bool PrefixStorage::isDeletable(
    const QString &dataFolder, const GameEntry &entry, const QList<GameEntry> &entries)
{
    const QString prefix = QDir::cleanPath(QDir(dataFolder).absoluteFilePath(entry.prefixPath));
    const QString own = prefixesFolder(dataFolder);
    if (QFileInfo(prefix).path() != own || !QFileInfo(prefix).fileName().startsWith(u"Direct-"_s))
        return false;
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(prefix).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    return std::none_of(entries.cbegin(), entries.cend(), [&](const GameEntry &other) {
        return other.id != entry.id && QDir::cleanPath(other.prefixPath) == prefix;
    });
}

void PrefixStorage::remove(const QString &prefix, std::function<void(const Outcome &)> moved)
{
    static const QString deleting = u".Deleting-"_s;
    const QString folder = prefixesFolder(m_dataFolder);
    const QString aside = QDir(folder).filePath(Leftovers::temporaryName(deleting));
    Background::run(
        this,
        [prefix, folder, aside] {
            // What a deletion cut short by a crash or a quit left behind goes first.
            Leftovers::removeUnmarked(folder, deleting, Leftovers::Kind::folder);
            // One rename: from here on the prefix is gone for Wine and for the library.
            if (!QDir().rename(prefix, aside))
                return false;
            const InUseMark mark(aside);
            // Links inside are removed, never followed.
            if (!QDir(aside).removeRecursively())
                qCWarning(libraryLog) << "a deleted prefix couldn't be removed whole:" << aside;
            return true;
        },
        [this, prefix, moved = std::move(moved)](bool wasMoved) {
            forget(prefix);
            moved(wasMoved ? Outcome {}
                           : Outcome::error(u"Quillmere couldn’t delete the prefix “"_s + prefix
                               + u"”, so the entry stays in the library."_s));
        });
}

QString PrefixStorage::byteText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 0, QLocale::DataSizeSIFormat);
}
