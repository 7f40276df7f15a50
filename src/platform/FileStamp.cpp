#include "FileStamp.h"

#include <QFile>

#include <sys/stat.h>

FileStamp FileStamp::of(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
#if defined(Q_OS_MACOS)
    const qint64 seconds = info.st_mtimespec.tv_sec;
    const qint64 nanoseconds = info.st_mtimespec.tv_nsec;
#else
    const qint64 seconds = info.st_mtim.tv_sec;
    const qint64 nanoseconds = info.st_mtim.tv_nsec;
#endif
    return {static_cast<qint64>(info.st_dev), static_cast<qint64>(info.st_ino),
        static_cast<qint64>(info.st_size), seconds * 1000000000LL + nanoseconds};
}
