#include "ChildProcess.h"

#include <QFile>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

struct ChildProcess::State
{
    pid_t pid = -1;
    mutable std::mutex mutex;
    mutable std::condition_variable exited;
    std::optional<int> status;
};

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

int statusFromWait(int raw)
{
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw))
        return -WTERMSIG(raw);
    return -1;
}

// Owns the C strings handed to posix_spawn.
class CStringList
{
public:
    void append(const QByteArray &bytes) { m_storage.push_back(bytes); }
    std::vector<char *> pointers()
    {
        std::vector<char *> out;
        out.reserve(m_storage.size() + 1);
        for (QByteArray &bytes : m_storage)
            out.push_back(bytes.data());
        out.push_back(nullptr);
        return out;
    }

private:
    std::vector<QByteArray> m_storage;
};

class SpawnSetup
{
public:
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

} // namespace

ChildProcess::ChildProcess(std::shared_ptr<State> state)
    : m_state(std::move(state))
{
}

Expected<std::shared_ptr<ChildProcess>, QString> ChildProcess::launch(
    const Command &command, Termination onTermination)
{
    const QByteArray program = QFile::encodeName(command.program);
    CStringList argv;
    argv.append(program);
    for (const QString &argument : command.arguments)
        argv.append(QFile::encodeName(argument));
    CStringList envp;
    for (auto it = command.environment.cbegin(); it != command.environment.cend(); ++it)
        envp.append(QFile::encodeName(it.key()) + '=' + QFile::encodeName(it.value()));

    SpawnSetup setup;
    if (command.inputFd >= 0)
        posix_spawn_file_actions_adddup2(&setup.actions, command.inputFd, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // Our descriptors close on exec, and a dup2 onto itself would keep that flag: a control
    // descriptor that already is 3 goes through a copy.
    int controlCopy = -1;
    if (command.controlFd == 3)
        controlCopy = ::fcntl(3, F_DUPFD_CLOEXEC, 4);
    if (command.controlFd >= 0) {
        posix_spawn_file_actions_adddup2(
            &setup.actions, controlCopy >= 0 ? controlCopy : command.controlFd, 3);
    }
    if (command.outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&setup.actions, command.outputFd, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&setup.actions, command.outputFd, STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    const QByteArray workingDirectory = QFile::encodeName(command.workingDirectory);
    if (!workingDirectory.isEmpty())
        posix_spawn_file_actions_addchdir_np(&setup.actions, workingDirectory.constData());

    // Default signal handling, nothing blocked, and a process group of its own so a Ctrl-C in
    // the terminal that started us does not reach the game.
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t allSignals;
    sigfillset(&allSignals);
    posix_spawnattr_setsigmask(&setup.attributes, &noSignals);
    posix_spawnattr_setsigdefault(&setup.attributes, &allSignals);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setflags(
        &setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    auto state = std::make_shared<State>();
    std::vector<char *> args = argv.pointers();
    std::vector<char *> env = envp.pointers();
    const int failure = posix_spawn(&state->pid, program.constData(), &setup.actions,
        &setup.attributes, args.data(), env.data());
    if (controlCopy >= 0)
        ::close(controlCopy);
    if (failure != 0) {
        return unexpected(u"Couldn't start “%1”: %2."_s.arg(command.program, systemError(failure)));
    }

    std::thread([state, beforeExitIsKnown = command.beforeExitIsKnown,
                    onTermination = std::move(onTermination)] {
        // Wait without reaping first, then reap under the lock: until `status` is set the pid
        // still names our child (or its zombie), so kill() can never hit a recycled pid.
        siginfo_t info {};
        int waited = -1;
        do {
            waited = waitid(P_PID, static_cast<id_t>(state->pid), &info, WEXITED | WNOWAIT);
        } while (waited < 0 && errno == EINTR);
        if (beforeExitIsKnown)
            beforeExitIsKnown();
        int status = -1;
        {
            std::lock_guard lock(state->mutex);
            int raw = 0;
            pid_t reaped = -1;
            do {
                reaped = waitpid(state->pid, &raw, 0);
            } while (reaped < 0 && errno == EINTR);
            if (reaped == state->pid)
                status = statusFromWait(raw);
            state->status = status;
        }
        state->exited.notify_all();
        if (onTermination)
            onTermination(status);
    }).detach();

    return std::shared_ptr<ChildProcess>(new ChildProcess(std::move(state)));
}

int ChildProcess::waitForExit() const
{
    std::unique_lock lock(m_state->mutex);
    m_state->exited.wait(lock, [this] { return m_state->status.has_value(); });
    return *m_state->status;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit) const
{
    std::unique_lock lock(m_state->mutex);
    m_state->exited.wait_for(lock, limit, [this] { return m_state->status.has_value(); });
    return m_state->status;
}

void ChildProcess::kill() const
{
    std::lock_guard lock(m_state->mutex);
    if (!m_state->status)
        ::kill(-m_state->pid, SIGKILL); // its own process group, made at launch
}

std::optional<int> ChildProcess::exitStatus() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->status;
}
