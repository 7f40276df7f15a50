#include "ui/library/ProgramIcons.h"

#include "library/GameEntry.h"
#include "platform/Background.h"
#include "platform/WindowsIcon.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

struct Found
{
    QString version; // empty: there is no file
    QImage image; // null: it has no icon
};

// On a worker: the cached image of this version of the file, else the one read from it, which
// then replaces the cached image of an earlier version.
Found find(const QString &folder, const QString &path, int pixels)
{
    Found found {WindowsIcon::versionKey(path), {}};
    if (found.version.isEmpty())
        return found;
    const QString stem
        = QString::fromLatin1(
              QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(24))
        + u'-' + QString::number(pixels) + u'-';
    const QString cached = QDir(folder).filePath(stem + found.version + u".png"_s);
    if (found.image.load(cached, "PNG") && found.image.width() <= pixels
        && found.image.height() <= pixels)
        return found;
    const std::optional<WindowsIcon::Image> icon = WindowsIcon::fromFile(path, pixels);
    found.image = icon ? QImage::fromData(icon->bytes, icon->format.constData()) : QImage();
    if (found.image.isNull())
        return found;
    if (found.image.width() > pixels || found.image.height() > pixels)
        found.image
            = found.image.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    found.image = found.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Without the cache the icon is read again next time; nothing else is lost.
    QSaveFile file(cached);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly)
        || !found.image.save(&file, "PNG") || !file.commit())
        return found;
    const QDir cache(folder);
    for (const QString &earlier : cache.entryList({stem + u"*.png"_s}, QDir::Files)) {
        if (cache.filePath(earlier) != cached)
            QFile::remove(cache.filePath(earlier));
    }
    return found;
}

} // namespace

ProgramIcons::ProgramIcons(QString folder, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(folder))
{
}

ProgramIcons &ProgramIcons::shared()
{
    static ProgramIcons *const icons = new ProgramIcons(
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + u"/icons"_s);
    return *icons;
}

bool ProgramIcons::showsProgramIcon(const GameEntry &entry)
{
    return !entry.launchesSteamGame();
}

QImage ProgramIcons::icon(const QString &executablePath, int pixels)
{
    const Key key(executablePath, pixels);
    const auto known = m_known.constFind(key);
    if (known != m_known.cend())
        return known->image;
    look(key);
    return {};
}

void ProgramIcons::refresh(const QString &executablePath)
{
    for (auto known = m_known.cbegin(); known != m_known.cend(); ++known) {
        if (known.key().first == executablePath)
            look(known.key());
    }
}

void ProgramIcons::look(const Key &key)
{
    if (key.first.isEmpty() || m_looking.contains(key))
        return;
    m_looking.insert(key);
    Background::run(
        this, [folder = m_folder, key] { return find(folder, key.first, key.second); },
        [this, key](const Found &found) {
            m_looking.remove(key);
            const auto known = m_known.constFind(key);
            const bool changed
                = known == m_known.cend() ? !found.image.isNull() : known->version != found.version;
            m_known.insert(key, {found.version, found.image});
            if (changed)
                Q_EMIT iconChanged(key.first);
        });
}
