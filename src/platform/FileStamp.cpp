#include "FileStamp.h"

#include <QFile>

#include <sys/stat.h>

namespace {

qint64 nanoseconds(const timespec &time)
{
    return static_cast<qint64>(time.tv_sec) * 1000000000LL + static_cast<qint64>(time.tv_nsec);
}

} // namespace

FileStamp FileStamp::of(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
#if defined(Q_OS_MACOS)
    const timespec &modified = info.st_mtimespec;
    const timespec &changed = info.st_ctimespec;
#else
    const timespec &modified = info.st_mtim;
    const timespec &changed = info.st_ctim;
#endif
    return {static_cast<qint64>(info.st_dev), static_cast<qint64>(info.st_ino),
        static_cast<qint64>(info.st_size), nanoseconds(modified), nanoseconds(changed)};
}
