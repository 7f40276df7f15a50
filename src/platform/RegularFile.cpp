#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
