#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

FileKind::Kind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Kind::regular;
    if (S_ISDIR(mode))
        return FileKind::Kind::folder;
    if (S_ISFIFO(mode))
        return FileKind::Kind::namedPipe;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileKind::Kind::device;
    if (S_ISSOCK(mode))
        return FileKind::Kind::socket;
    return FileKind::Kind::other;
}

FileKind systemFailure(FileKind kind, int error, bool examined)
{
    if (!examined)
        kind.kind = FileKind::Kind::unknown;
    kind.systemError = qt_error_string(error);
    return kind;
}

QString phrase(FileKind::Kind kind)
{
    switch (kind) {
    case FileKind::Kind::folder:
        return u"a folder"_s;
    case FileKind::Kind::namedPipe:
        return u"a named pipe"_s;
    case FileKind::Kind::device:
        return u"a device"_s;
    case FileKind::Kind::socket:
        return u"a socket"_s;
    case FileKind::Kind::link:
        return u"a symbolic link"_s;
    default:
        return u"a special file"_s;
    }
}

// The next step along a link, as the system takes it: relative to the link's folder.
QString linkStep(const QString &link)
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t size = ::readlink(
        QFile::encodeName(link).constData(), target.data(), static_cast<size_t>(target.size()));
    if (size < 0 || size >= target.size())
        return {};
    const QString step = QFile::decodeName(target.left(size));
    return step.startsWith(u'/') ? step : QFileInfo(link).absolutePath() + u'/' + step;
}

} // namespace

FileKind FileKind::of(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    FileKind result;
    struct stat info
    {
    };
    if (::lstat(name.constData(), &info) != 0) {
        // Only a path that is certainly not there is missing; anything else is not known.
        if (errno == ENOENT || errno == ENOTDIR)
            return result;
        return systemFailure(result, errno, false);
    }
    if (S_ISLNK(info.st_mode)) {
        result.isLink = true;
        result.linkTarget = QFileInfo(path).symLinkTarget();
        if (::stat(name.constData(), &info) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                result.kind = Kind::danglingLink;
            else if (errno == ELOOP)
                result.kind = Kind::loopingLink;
            else
                return systemFailure(result, errno, false);
            return result;
        }
    }
    result.kind = kindOf(info.st_mode);
    if (result.kind == Kind::regular)
        result.size = static_cast<qint64>(info.st_size);
    return result;
}

FileKind FileKind::itself(const QString &path)
{
    FileKind result;
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return result;
        return systemFailure(result, errno, false);
    }
    if (S_ISLNK(info.st_mode)) {
        result.kind = Kind::link;
        result.isLink = true;
        result.linkTarget = QFileInfo(path).symLinkTarget();
        return result;
    }
    result.kind = kindOf(info.st_mode);
    if (result.kind == Kind::regular)
        result.size = static_cast<qint64>(info.st_size);
    return result;
}

QString FileKind::refusal(const QString &role, const QString &path) const
{
    const QString named = role + u" “"_s + path + u"”"_s;
    if (kind == Kind::unknown || kind == Kind::missing || kind == Kind::regular)
        return u"Quillmere couldn't look at %1: %2."_s.arg(named, systemError);
    const QString subject = named.at(0).toUpper() + named.mid(1);
    switch (kind) {
    case Kind::danglingLink:
        return subject + u" links to “%1”, which doesn't exist."_s.arg(linkTarget);
    case Kind::loopingLink:
        return subject + u" is a link in a loop that never reaches a file."_s;
    default:
        if (isLink && kind != Kind::link) {
            return subject
                + u" links to “%1”, which is %2, not a regular file."_s.arg(
                    linkTarget, phrase(kind));
        }
        return subject + u" is %1, not a regular file."_s.arg(phrase(kind));
    }
}

Expected<QByteArray, RegularFile::Failure> RegularFile::read(const QString &path, qint64 limit)
{
    FileKind kind = FileKind::of(path);
    if (kind.kind != FileKind::Kind::regular)
        return unexpected(Failure {kind});
    if (kind.size > limit)
        return unexpected(Failure {kind, true});
    // Not blocking, in case a pipe took the file's place since it was examined.
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return unexpected(Failure {systemFailure(kind, errno, true)});
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer {fd};
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return unexpected(Failure {systemFailure(kind, errno, true)});
    if (!S_ISREG(info.st_mode)) {
        kind.kind = kindOf(info.st_mode);
        return unexpected(Failure {kind});
    }

    QByteArray bytes;
    bytes.reserve(std::min<qint64>(info.st_size, limit) + 1);
    constexpr qint64 chunk = 64 * 1024;
    qint64 total = 0;
    // One byte past the limit is enough to know the file is too large.
    while (total <= limit) {
        const qint64 wanted = std::min(chunk, limit + 1 - total);
        bytes.resize(total + wanted);
        const ssize_t got = ::read(fd, bytes.data() + total, static_cast<size_t>(wanted));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return unexpected(Failure {systemFailure(kind, errno, true)});
        if (got == 0)
            break;
        total += got;
    }
    bytes.resize(total);
    if (total > limit) {
        kind.size = total;
        return unexpected(Failure {kind, true});
    }
    return bytes;
}

Expected<QString, FileKind> RegularFile::replacementTarget(const QString &path)
{
    QString target = path;
    // As many links as the system itself follows before it calls them a loop.
    for (int depth = 0; depth <= 40; ++depth) {
        const FileKind here = FileKind::itself(target);
        if (here.kind == FileKind::Kind::missing || here.kind == FileKind::Kind::regular)
            return target;
        if (here.kind != FileKind::Kind::link)
            break;
        target = linkStep(target);
        if (target.isEmpty())
            break;
    }
    FileKind found = FileKind::of(path);
    if (found.kind == FileKind::Kind::regular || found.kind == FileKind::Kind::missing) {
        found.kind = FileKind::Kind::unknown;
        found.systemError = u"it changed while it was examined"_s;
    }
    return unexpected(found);
}

Expected<void, FileKind> RegularFile::checkReplaceable(const QString &path)
{
    FileKind here = FileKind::itself(path);
    if (here.kind == FileKind::Kind::missing || here.kind == FileKind::Kind::regular)
        return {};
    return unexpected(here);
}

Expected<std::unique_ptr<QFile>, FileKind> RegularFile::openForWriting(
    const QString &path, WriteMode mode)
{
    FileKind kind = FileKind::itself(path);
    if (kind.kind != FileKind::Kind::missing && kind.kind != FileKind::Kind::regular)
        return unexpected(kind);
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC
        | (mode == WriteMode::append ? O_APPEND : 0);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
    if (fd < 0) {
        // A link or a pipe without a reader took its place since it was examined.
        const int error = errno;
        const FileKind now = FileKind::itself(path);
        if (error == ELOOP || error == ENXIO)
            return unexpected(now);
        return unexpected(systemFailure(now, error, true));
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return unexpected(systemFailure(kind, error, false));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        kind.kind = kindOf(info.st_mode);
        return unexpected(kind);
    }
    if ((mode == WriteMode::truncate && ::ftruncate(fd, 0) != 0)
        || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        return unexpected(systemFailure(kind, error, true));
    }
    auto file = std::make_unique<QFile>(path);
    const QIODevice::OpenMode openMode = QIODevice::WriteOnly
        | (mode == WriteMode::append ? QIODevice::Append : QIODevice::NotOpen);
    if (!file->open(fd, openMode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        kind.kind = FileKind::Kind::unknown;
        kind.systemError = file->errorString();
        return unexpected(kind);
    }
    return file;
}
