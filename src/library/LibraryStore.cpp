#include "LibraryStore.h"

#include "library/LibraryFile.h"
#include "platform/RegularFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

using namespace Qt::StringLiterals;

namespace {

// One sentence; it names the path when the message has no saved file to point at.
QString unreadableReason(const QString &file, const RegularFile::Failure &failure)
{
    const FileKind &kind = failure.kind;
    if (kind.kind != FileKind::Kind::regular)
        return kind.refusal(u"the library file"_s, file);
    if (failure.tooLarge) {
        return u"The file is larger than %1 MiB, far more than any library needs."_s.arg(
            LibraryStore::maximumFileSize >> 20);
    }
    return kind.systemError + u'.';
}

} // namespace

void applyChanges(
    QList<GameEntry> &entries, const QList<LibraryChange> &changes, QList<GameEntry> *refused)
{
    for (const LibraryChange &change : changes) {
        const auto found = std::find_if(entries.begin(), entries.end(),
            [&](const GameEntry &entry) { return entry.id == change.entry.id; });
        switch (change.kind) {
        case LibraryChange::Kind::add:
            if (found != entries.end())
                *found = change.entry;
            else
                entries.append(change.entry);
            break;
        case LibraryChange::Kind::update:
            // An entry removed elsewhere stays removed: an edit does not bring it back.
            if (found != entries.end())
                *found = change.entry;
            else if (refused)
                refused->append(change.entry);
            break;
        case LibraryChange::Kind::remove:
            if (found != entries.end())
                entries.erase(found);
            break;
        }
    }
}

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
    // This version is seen either way: after a failure, a later change goes on from the last
    // good list.
    m_stamp = stamp;
    auto bytes = RegularFile::read(file, maximumFileSize);
    if (!bytes && !bytes.error().kind.exists()) {
        m_entries.clear();
        return QList<GameEntry>();
    }
    ReadFailure failure;
    if (bytes) {
        auto decoded = LibraryFile::decode(*bytes);
        if (decoded) {
            m_entries = *decoded;
            m_protectUnreadableFile = false;
            return *decoded;
        }
        failure.reason = decoded.error();
        // Every later save writes the whole list, which would replace the unreadable file with
        // a shorter one. Keep a copy aside and name it, so the user's data is never lost.
        failure.keptAt = setAsideUnreadableFile(*bytes);
    } else {
        failure.reason = unreadableReason(file, bytes.error());
    }
    if (failure.keptAt.isEmpty()) {
        // Nothing was copied, so what is there stays untouched until the user moves it.
        m_protectUnreadableFile = true;
        if (bytes || bytes.error().kind.kind == FileKind::Kind::regular)
            failure.keptAt = file;
    }
    return unexpected(failure);
}

QString LibraryStore::setAsideUnreadableFile(const QByteArray &bytes)
{
    const QDir folder(m_dataFolder);
    // The same unreadable bytes need one copy, not one per start.
    const QStringList earlier
        = folder.entryList({u"library-unreadable-*.json"_s}, QDir::Files, QDir::Name);
    for (const QString &name : earlier) {
        QString copy = folder.filePath(name);
        if (QFileInfo(copy).size() != bytes.size())
            continue;
        const auto copied = RegularFile::read(copy, maximumFileSize);
        if (copied && *copied == bytes)
            return copy;
    }
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = attempt == 1
            ? u"library-unreadable-%1.json"_s.arg(stamp)
            : u"library-unreadable-%1-%2.json"_s.arg(stamp).arg(attempt);
        // The bytes that were read, not the file again: it may have changed since.
        QFile copy(folder.filePath(name));
        if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (FileKind::of(copy.fileName()).exists())
                continue;
            return {};
        }
        if (copy.write(bytes) == bytes.size() && copy.flush())
            return copy.fileName();
        copy.remove();
        return {};
    }
    return {};
}

Expected<void, QString> LibraryStore::canWrite()
{
    QLockFile lock(lockPath());
    return beginWrite(lock);
}

void LibraryStore::stopWaitingAt(std::chrono::steady_clock::time_point deadline)
{
    m_stopWaitingAt = deadline.time_since_epoch().count();
}

Expected<void, QString> LibraryStore::takeLock(QLockFile &lock)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point patience = Clock::now() + std::chrono::milliseconds(lockTimeoutMs);
    for (;;) {
        // Examined without opening it: the lock reads a file it finds there, and a pipe would
        // hold it forever, a folder for as long as it waits.
        const QString path = lockPath();
        const FileKind found = FileKind::itself(path);
        if (found.exists() && found.kind != FileKind::Kind::regular)
            return unexpected(found.refusal(u"the library's lock file"_s, path));
        const Clock::time_point quitting {Clock::duration(m_stopWaitingAt.load())};
        const Clock::time_point until = std::min(patience, quitting);
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        // In short steps, so that quitting ends a wait under way.
        if (lock.tryLock(static_cast<int>(std::clamp<qint64>(left, 0, 100))))
            return {};
        if (lock.error() != QLockFile::LockFailedError) {
            // A read-only or full data folder: the lock file itself can't be made.
            return unexpected(u"Quillmere can't write in the folder “"_s + m_dataFolder
                + u"”, so this change wasn't saved."_s);
        }
        if (Clock::now() < until)
            continue;
        if (quitting < patience)
            return unexpected(
                u"Another Quillmere window or command still had the library locked."_s);
        return unexpected(u"Another Quillmere window or command kept the library locked for "
                          "more than fifteen seconds, so this change wasn't saved. Try "
                          "again."_s);
    }
}

Expected<void, QString> LibraryStore::beginWrite(QLockFile &lock)
{
    if (!QDir().mkpath(m_dataFolder))
        return unexpected(u"Quillmere couldn't create the folder “"_s + m_dataFolder + u"”."_s);
    if (auto locked = takeLock(lock); !locked)
        return locked;
    // Another process may have written since: its changes are the base for ours.
    if (hasChangedOnDisk()) {
        // An unreadable file is set aside and the last good list stays; the save that
        // replaces it says so.
        auto reread = read();
        if (reread)
            m_unreported.reset();
        else if (!m_protectUnreadableFile)
            m_unreported = reread.error();
    }
    const QString file = path();
    // Not followed: a link to nothing is protected as much as what it stands for.
    if (m_protectUnreadableFile && FileKind::of(file).exists()) {
        return unexpected(u"The unreadable library file at “"_s + file
            + u"” couldn't be copied aside, so Quillmere won't replace it. Move it elsewhere to "
              "save again."_s);
    }
    return {};
}

Expected<LibraryStore::Applied, QString> LibraryStore::apply(const QList<LibraryChange> &changes)
{
    QLockFile lock(lockPath());
    if (auto ready = beginWrite(lock); !ready)
        return unexpected(ready.error());
    const QString file = path();
    Applied applied {m_entries, {}, {}};
    QList<GameEntry> &list = applied.entries;
    applyChanges(list, changes, &applied.refusedUpdates);
    if (list == m_entries && QFileInfo::exists(file))
        return applied;
    auto written
        = LibraryFile::write(file, LibraryFile::encode(list, LibraryFile::Keys::withUnknown));
    if (!written)
        return unexpected(written.error());
    // Stamped under the lock, so no other writer can come between the rename and this.
    m_stamp = FileStamp::of(file);
    m_entries = list;
    m_protectUnreadableFile = false;
    applied.replacedUnreadable = std::exchange(m_unreported, std::nullopt);
    return applied;
}
