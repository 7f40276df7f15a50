#include "TreeCopy.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

using namespace Qt::StringLiterals;

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// A descriptor closed when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

private:
    int m_fd;
};

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

class Copier
{
public:
    TreeCopy::Totals totals;
    TreeCopy::Failure failure;

    bool copyFolder(int from, int to, const QString &path, const QStringList &skipped)
    {
        // The listing gets its own descriptor: closedir closes it.
        DIR *listing = ::fdopendir(::dup(from));
        if (!listing)
            return fail(path, errno, true);
        bool ok = true;
        while (ok) {
            errno = 0;
            const dirent *item = ::readdir(listing);
            if (!item) {
                ok = errno == 0 || fail(path, errno, true);
                break;
            }
            const QByteArray name(item->d_name);
            if (name == "." || name == ".." || skipped.contains(QFile::decodeName(name)))
                continue;
            ok = copyItem(from, to, name, path + u'/' + QFile::decodeName(name));
        }
        ::closedir(listing);
        return ok;
    }

private:
    bool fail(const QString &path, int code, bool inSource)
    {
        failure = {u"Couldn't copy “%1”: %2."_s.arg(path, systemError(code)), inSource};
        return false;
    }

    bool copyItem(int from, int to, const QByteArray &name, const QString &path)
    {
        struct stat status
        {
        };
        if (::fstatat(from, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(path, errno, true);
        ++totals.entries;
        if (S_ISDIR(status.st_mode))
            return copySubfolder(from, to, name, path, status);
        if (S_ISLNK(status.st_mode))
            return copyLink(from, to, name, path, status);
        if (S_ISREG(status.st_mode))
            return copyFile(from, to, name, path);
        failure = {u"Couldn't copy “%1”: it isn't a file, a folder or a link."_s.arg(path), true};
        return false;
    }

    bool copySubfolder(
        int from, int to, const QByteArray &name, const QString &path, const struct stat &status)
    {
        const Descriptor source(::openat(from, name.constData(), folderFlags));
        if (!source.isOpen())
            return fail(path, errno, true);
        if (::mkdirat(to, name.constData(), 0700) != 0)
            return fail(path, errno, false);
        const Descriptor target(::openat(to, name.constData(), folderFlags));
        if (!target.isOpen())
            return fail(path, errno, false);
        if (!copyFolder(source.get(), target.get(), path, {}))
            return false;
        // Last, as filling the folder changed its time.
        const timespec times[2] = {status.st_atim, status.st_mtim};
        if (::fchmod(target.get(), status.st_mode & 07777) != 0
            || ::futimens(target.get(), times) != 0)
            return fail(path, errno, false);
        return true;
    }

    bool copyLink(
        int from, int to, const QByteArray &name, const QString &path, const struct stat &status)
    {
        QByteArray target(qsizetype(status.st_size) + 1, '\0');
        const ssize_t length = ::readlinkat(from, name.constData(), target.data(), target.size());
        // A link that changed length while we looked is not the tree we were asked to copy.
        if (length < 0 || length >= target.size())
            return fail(path, length < 0 ? errno : EAGAIN, true);
        target.truncate(length);
        if (::symlinkat(target.constData(), to, name.constData()) != 0)
            return fail(path, errno, false);
        const timespec times[2] = {status.st_atim, status.st_mtim};
        ::utimensat(to, name.constData(), times, AT_SYMLINK_NOFOLLOW); // a link's time is a nicety
        return true;
    }

    bool copyFile(int from, int to, const QByteArray &name, const QString &path)
    {
        // Non-blocking: a file swapped for a pipe after we looked can't hold the copy.
        const Descriptor source(
            ::openat(from, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat status
        {
        };
        if (!source.isOpen() || ::fstat(source.get(), &status) != 0)
            return fail(path, errno, true);
        if (!S_ISREG(status.st_mode))
            return fail(path, EAGAIN, true);
        const Descriptor target(::openat(to, name.constData(),
            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
        if (!target.isOpen())
            return fail(path, errno, false);
        const qint64 copied = copyContent(source.get(), target.get(), status.st_size);
        if (copied < 0)
            return fail(path, errno, false);
        totals.bytes += copied;
        const timespec times[2] = {status.st_atim, status.st_mtim};
        if (::fchmod(target.get(), status.st_mode & 07777) != 0
            || ::futimens(target.get(), times) != 0)
            return fail(path, errno, false);
        return true;
    }

    // The bytes copied, at most `size`; -1 with errno set on failure.
    static qint64 copyContent(int source, int target, qint64 size)
    {
        qint64 copied = 0;
#ifdef __linux__
        // A clone shares the blocks until either side changes them: no copying at all.
        if (::ioctl(target, FICLONE, source) == 0)
            return size;
        while (copied < size) {
            const ssize_t step
                = ::copy_file_range(source, nullptr, target, nullptr, size_t(size - copied), 0);
            if (step <= 0) {
                // Not across these file systems: read and write what is left.
                if (step < 0
                    && (errno == EXDEV || errno == EINVAL || errno == ENOSYS
                        || errno == EOPNOTSUPP))
                    break;
                return step < 0 ? -1 : copied;
            }
            copied += step;
        }
#endif
        QByteArray buffer(1 << 20, Qt::Uninitialized);
        while (copied < size) {
            const ssize_t got = ::read(source, buffer.data(), buffer.size());
            if (got <= 0)
                return got < 0 ? -1 : copied;
            for (ssize_t written = 0; written < got;) {
                const ssize_t step = ::write(target, buffer.constData() + written, got - written);
                if (step < 0)
                    return -1;
                written += step;
            }
            copied += got;
        }
        return copied;
    }
};

} // namespace

Expected<TreeCopy::Totals, TreeCopy::Failure> TreeCopy::copy(
    const QString &source, const QString &destination, const QStringList &skipped)
{
    Copier copier;
    const QByteArray to = QFile::encodeName(destination);
    const Descriptor from(::open(QFile::encodeName(source).constData(), folderFlags));
    struct stat status
    {
    };
    if (!from.isOpen() || ::fstat(from.get(), &status) != 0)
        return unexpected(
            Failure {u"Couldn't copy “%1”: %2."_s.arg(source, systemError(errno)), true});
    if (::mkdir(to.constData(), 0700) != 0)
        return unexpected(
            Failure {u"Couldn't create “%1”: %2."_s.arg(destination, systemError(errno)), false});
    const Descriptor target(::open(to.constData(), folderFlags));
    if (!target.isOpen())
        return unexpected(
            Failure {u"Couldn't open “%1”: %2."_s.arg(destination, systemError(errno)), false});
    if (!copier.copyFolder(from.get(), target.get(), source, skipped))
        return unexpected(copier.failure);
    if (::fchmod(target.get(), status.st_mode & 07777) != 0)
        return unexpected(
            Failure {u"Couldn't copy “%1”: %2."_s.arg(source, systemError(errno)), false});
    return copier.totals;
}

Expected<void, QString> TreeCopy::renameFolder(const QString &from, const QString &to)
{
    // rename() replaces an empty folder, refuses a non-empty one and replaces no link by a
    // folder, which is exactly the rule.
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return {};
    return unexpected(u"Couldn't rename “%1” to “%2”: %3."_s.arg(from, to, systemError(errno)));
}
