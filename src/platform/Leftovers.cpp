#include "Leftovers.h"

#include "platform/PlatformLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

InUseMark::InUseMark(const QString &path)
{
    // Non-blocking, so a FIFO under one of our names can't hold the sweep.
    const int descriptor = ::open(
        QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return;
    struct stat status
    {
    };
    // A path removed between its opening and its lock is not worth marking.
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0 || ::fstat(descriptor, &status) != 0
        || status.st_nlink == 0) {
        ::close(descriptor);
        return;
    }
    m_descriptor = descriptor;
}

InUseMark::InUseMark(InUseMark &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
{
}

InUseMark &InUseMark::operator=(InUseMark &&other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

InUseMark::~InUseMark()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

QString Leftovers::temporaryName(const QString &prefix)
{
    return prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

void Leftovers::removeUnmarked(const QString &folder, const QString &prefix, Kind kind)
{
    const QDir dir(folder);
    const QStringList names
        = dir.entryList({prefix + u'*'}, QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QString rest = name.mid(prefix.size());
        const QUuid uuid = QUuid::fromString(rest);
        if (!name.startsWith(prefix) || uuid.isNull()
            || rest != uuid.toString(QUuid::WithoutBraces).toUpper())
            continue;
        const QString path = dir.filePath(name);
        const QFileInfo info(path);
        if (info.isSymLink() || (kind == Kind::folder ? !info.isDir() : !info.isFile()))
            continue;
        // Held while removing: a step that made this very entry a moment ago then fails to
        // mark it, and knows.
        const InUseMark mark(path);
        if (!mark.isHeld())
            continue;
        // Links inside are removed, never followed.
        const bool removed
            = kind == Kind::folder ? QDir(path).removeRecursively() : QFile::remove(path);
        if (!removed)
            qCInfo(platformLog) << "Left a leftover in place; it couldn't be removed:" << path;
    }
}
