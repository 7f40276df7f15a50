#include "LibraryStore.h"

#include "library/LibraryFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

using namespace Qt::StringLiterals;

LibraryStore::LibraryStore(QString dataFolder)
    : m_dataFolder(std::move(dataFolder))
{
}

QString LibraryStore::path() const
{
    return QDir(m_dataFolder).filePath(u"library.json"_s);
}

QString LibraryStore::lockPath() const
{
    return QDir(m_dataFolder).filePath(u"library.json.lock"_s);
}

bool LibraryStore::hasChangedOnDisk() const
{
    return FileStamp::of(path()) != m_stamp;
}

Expected<QList<GameEntry>, LibraryStore::ReadFailure> LibraryStore::read()
{
    const QString file = path();
    const FileStamp stamp = FileStamp::of(file);
    if (!QFileInfo::exists(file)) {
        m_stamp = stamp;
        m_entries.clear();
        return QList<GameEntry>();
    }
    QString reason;
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        reason = input.errorString() + u'.';
    } else {
        auto decoded = LibraryFile::decode(input.readAll());
        if (decoded) {
            m_stamp = stamp;
            m_entries = *decoded;
            m_protectUnreadableFile = false;
            return *decoded;
        }
        reason = decoded.error();
    }
    // Every later save writes the whole list, which would replace the unreadable file with a
    // shorter one. Keep a copy aside and name it, so the user's data is never lost.
    QString keptAt = setAsideUnreadableFile();
    if (keptAt.isEmpty()) {
        m_protectUnreadableFile = true;
        keptAt = file;
    }
    // This version is now seen: a later change goes on from the last good list.
    m_stamp = stamp;
    return unexpected(ReadFailure {reason, keptAt});
}

QString LibraryStore::setAsideUnreadableFile()
{
    QFile original(path());
    if (!original.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = original.readAll();
    original.close();
    const QDir folder(m_dataFolder);
    // The same unreadable bytes need one copy, not one per start.
    const QStringList earlier
        = folder.entryList({u"library-unreadable-*.json"_s}, QDir::Files, QDir::Name);
    for (const QString &name : earlier) {
        QFile copy(folder.filePath(name));
        if (copy.size() == bytes.size() && copy.open(QIODevice::ReadOnly)
            && copy.readAll() == bytes)
            return copy.fileName();
    }
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = attempt == 1
            ? u"library-unreadable-%1.json"_s.arg(stamp)
            : u"library-unreadable-%1-%2.json"_s.arg(stamp).arg(attempt);
        const QString copy = folder.filePath(name);
        if (QFileInfo::exists(copy))
            continue;
        // QFile::copy never replaces an existing file.
        return QFile::copy(path(), copy) ? copy : QString();
    }
    return {};
}

Expected<LibraryStore::Applied, QString> LibraryStore::apply(const QList<LibraryChange> &changes)
{
    if (!QDir().mkpath(m_dataFolder))
        return unexpected(u"Quillmere couldn't create the folder “"_s + m_dataFolder + u"”."_s);
    QLockFile lock(lockPath());
    if (!lock.tryLock(lockTimeoutMs)) {
        if (lock.error() == QLockFile::LockFailedError) {
            return unexpected(u"Another Quillmere window or command kept the library locked for "
                              "more than five seconds, so this change wasn't saved. Try again."_s);
        }
        // A read-only or full data folder: the lock file itself can't be made.
        return unexpected(u"Quillmere can't write in the folder “"_s + m_dataFolder
            + u"”, so this change wasn't saved."_s);
    }
    // Another process may have written since: its changes are the base for ours.
    if (hasChangedOnDisk())
        static_cast<void>(read()); // an unreadable file is set aside; the last good list stays
    const QString file = path();
    if (m_protectUnreadableFile && QFileInfo::exists(file)) {
        return unexpected(u"The unreadable library file at “"_s + file
            + u"” couldn't be copied aside, so Quillmere won't replace it. Move it elsewhere to "
              "save again."_s);
    }

    Applied applied {m_entries, {}};
    QList<GameEntry> &list = applied.entries;
    for (const LibraryChange &change : changes) {
        const auto found = std::find_if(list.begin(), list.end(),
            [&](const GameEntry &entry) { return entry.id == change.entry.id; });
        switch (change.kind) {
        case LibraryChange::Kind::add:
            if (found != list.end())
                *found = change.entry;
            else
                list.append(change.entry);
            break;
        case LibraryChange::Kind::update:
            // An entry removed elsewhere stays removed: an edit does not bring it back.
            if (found != list.end())
                *found = change.entry;
            else
                applied.refusedUpdates.append(change.entry);
            break;
        case LibraryChange::Kind::remove:
            if (found != list.end())
                list.erase(found);
            break;
        }
    }
    if (list == m_entries && QFileInfo::exists(file))
        return applied;
    auto written = LibraryFile::write(file, LibraryFile::encode(list));
    if (!written)
        return unexpected(written.error());
    // Stamped under the lock, so no other writer can come between the rename and this.
    m_stamp = FileStamp::of(file);
    m_entries = list;
    m_protectUnreadableFile = false;
    return applied;
}
