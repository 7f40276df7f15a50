#include "SameUser.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace SameUser {

UserID current()
{
    return ::getuid();
}

QString folderProblem(const QString &folder, UserID user)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return u"doesn’t exist"_s;
    if (S_ISLNK(info.st_mode))
        return u"is a link"_s;
    if (!S_ISDIR(info.st_mode))
        return u"isn’t a folder"_s;
    if (info.st_uid != user)
        return u"belongs to another user"_s;
    if ((info.st_mode & 077) != 0)
        return u"is open to other users"_s;
    return {};
}

QString privateFolder(const QString &runtimeFolder, const QString &temporaryFolder, UserID user)
{
    if (QDir::isAbsolutePath(runtimeFolder) && folderProblem(runtimeFolder, user).isEmpty())
        return QDir::cleanPath(runtimeFolder);
    return QDir(temporaryFolder).filePath(u"quillmere-%1"_s.arg(user));
}

QString makePrivateFolder(const QString &folder, UserID user)
{
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return u"can’t be made"_s;
    return folderProblem(folder, user);
}

bool holdsNonSocket(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISSOCK(info.st_mode);
}

std::optional<UserID> peer(qintptr socketDescriptor)
{
#if defined(Q_OS_LINUX)
    struct ucred credentials
    {
    };
    socklen_t size = sizeof credentials;
    if (::getsockopt(
            static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size)
            != 0
        || size != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
#else
    uid_t uid = 0;
    gid_t gid = 0;
    if (::getpeereid(static_cast<int>(socketDescriptor), &uid, &gid) != 0)
        return std::nullopt;
    return uid;
#endif
}

bool trusts(std::optional<UserID> peer, UserID user)
{
    return peer == user;
}

} // namespace SameUser
