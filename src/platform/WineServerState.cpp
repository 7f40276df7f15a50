#include "WineServerState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The temporary folder's name as some builds record it in the prefix: "wine-" and six letters
// or digits; anything else is not trusted as part of a path.
QString recordedTemporaryFolder(const QString &prefixPath)
{
    QFile record(QDir(prefixPath).filePath(u"wineserver"_s));
    if (!record.open(QIODevice::ReadOnly))
        return {};
    const QString name = QString::fromLatin1(record.read(64)).trimmed();
    static const QRegularExpression safe(u"^wine-[A-Za-z0-9]{1,32}$"_s);
    return safe.match(name).hasMatch() ? name : QString();
}

} // namespace

QString WineServerState::serverFolder(const QString &prefixPath)
{
    struct stat prefix
    {
    };
    if (::stat(QFile::encodeName(prefixPath).constData(), &prefix) != 0 || !S_ISDIR(prefix.st_mode))
        return {};
    const QString server = u"server-"_s + QString::number(quint64(prefix.st_dev), 16) + u'-'
        + QString::number(quint64(prefix.st_ino), 16);
    const QString recorded = recordedTemporaryFolder(prefixPath);
    if (recorded.isEmpty())
        return u"/tmp/.wine-"_s + QString::number(::getuid()) + u'/' + server;
    // Those builds put it in TMPDIR as the server saw it; ours is the best guess, /tmp the usual.
    const QString inOurs = QDir::tempPath() + u'/' + recorded + u'/' + server;
    return QFileInfo::exists(inOurs) ? inOurs : u"/tmp/"_s + recorded + u'/' + server;
}

bool WineServerState::isRunning(const QString &prefixPath)
{
    const QString folder = serverFolder(prefixPath);
    if (folder.isEmpty())
        return false;
    const QByteArray lock = QFile::encodeName(folder + u"/lock"_s);
    const int fd = ::open(lock.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info
    {
    };
    struct flock probe
    {
    };
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    // Only our own server counts: another user's lock file is not a session of ours.
    const bool held = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid()
        && ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return held;
}
