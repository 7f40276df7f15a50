#include "LaunchLog.h"

#include "platform/ChildProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Both ends close on exec from the start, so no child started meanwhile by another thread
// holds the game's pipe open.
bool makePipe(int (&fds)[2])
{
#if defined(Q_OS_LINUX)
    return ::pipe2(fds, O_CLOEXEC) == 0;
#else
    const auto closeOnExec = [](int fd) { return ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0; };
    return ::pipe(fds) == 0 && closeOnExec(fds[0]) && closeOnExec(fds[1]);
#endif
}

bool makeSocketPair(int (&fds)[2])
{
#if defined(Q_OS_LINUX)
    return ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0;
#else
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return false;
    const auto closeOnExec = [](int fd) { return ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0; };
    const int on = 1;
    ::setsockopt(fds[0], SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
    return closeOnExec(fds[0]) && closeOnExec(fds[1]);
#endif
}

void closeAll(std::initializer_list<int> fds)
{
    for (const int fd : fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

// A new, empty regular file at `path`: the old log is unlinked rather than truncated, and
// whatever else is there is refused without being opened.
Expected<int, QString> createFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status
    {
    };
    if (::lstat(name.constData(), &status) == 0) {
        if (!S_ISREG(status.st_mode))
            return unexpected(u"Quillmere won’t write the log “%1” because something other than "
                              "a file is there. Move it away and try again."_s.arg(path));
        if (::unlink(name.constData()) != 0 && errno != ENOENT)
            return unexpected(
                u"Couldn't create the log file “%1”: %2."_s.arg(path, systemError(errno)));
    }
    const int fd
        = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return unexpected(
            u"Couldn't create the log file “%1”: %2."_s.arg(path, systemError(errno)));
    return fd;
}

} // namespace

QString LaunchLog::keeperPath()
{
    QString named = qEnvironmentVariable("QUILLMERE_LOG_KEEPER");
    if (!named.isEmpty())
        return named;
    if (!QCoreApplication::instance())
        return {};
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString &candidate : {here.filePath(u"quillmere-logkeeper"_s),
             here.filePath(u"../libexec/quillmere/quillmere-logkeeper"_s)}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    return {};
}

Expected<std::shared_ptr<LaunchLog>, QString> LaunchLog::create(const QString &path, qint64 cap)
{
    auto file = createFile(path);
    if (!file)
        return unexpected(file.error());
    std::shared_ptr<LaunchLog> log(new LaunchLog);
    const QString keeper = keeperPath();
    int pipe[2] = {-1, -1};
    int control[2] = {-1, -1};
    if (keeper.isEmpty() || !makePipe(pipe) || !makeSocketPair(control)) {
        closeAll({pipe[0], pipe[1], control[0], control[1]});
        log->m_childFd = *file;
        return log;
    }
    ChildProcess::Command command;
    command.program = keeper;
    command.arguments = {QString::number(cap)};
    command.workingDirectory = u"/"_s;
    command.inputFd = pipe[0];
    command.outputFd = *file;
    command.controlFd = control[1];
    const auto started = ChildProcess::launch(command);
    closeAll({pipe[0], control[1]});
    if (!started) {
        closeAll({pipe[1], control[0]});
        log->m_childFd = *file;
        return log;
    }
    ::close(*file);
    log->m_childFd = pipe[1];
    log->m_controlFd = control[0];
    return log;
}

LaunchLog::~LaunchLog()
{
    closeAll({m_childFd, m_controlFd});
}

void LaunchLog::closeForChildren()
{
    closeAll({m_childFd});
    m_childFd = -1;
}

void LaunchLog::settle(std::chrono::milliseconds limit) const
{
    if (m_controlFd < 0)
        return;
#if defined(Q_OS_LINUX)
    const int flags = MSG_NOSIGNAL;
#else
    const int flags = 0;
#endif
    if (::send(m_controlFd, "?", 1, flags) != 1)
        return;
    pollfd answer {m_controlFd, POLLIN, 0};
    if (::poll(&answer, 1, static_cast<int>(limit.count())) == 1) {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_controlFd, &byte, 1);
    }
}

std::unique_ptr<QFile> LaunchLog::openForReading(const QString &path, QString *whyNot)
{
    const int fd = ::open(
        QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const int openError = errno;
    if (fd < 0) {
        // O_NOFOLLOW fails a link with ELOOP.
        *whyNot = openError == ENOENT ? QString()
            : openError == ELOOP      ? u"it is a link, not a file"_s
                                      : systemError(openError);
        return nullptr;
    }
    struct stat status
    {
    };
    auto file = std::make_unique<QFile>();
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
        || !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *whyNot = u"it is not a regular file"_s;
        return nullptr;
    }
    return file;
}
