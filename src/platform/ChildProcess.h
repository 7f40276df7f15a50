#pragma once

#include "platform/Expected.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// A child process that outlives its handle and its parent: unlike QProcess, nothing here kills
// the child, so quitting the application never ends a game it started. A small watcher thread
// reaps the child and reports its exit status.
class ChildProcess
{
public:
    struct Command
    {
        QString program; // an absolute path; no search in PATH
        QStringList arguments; // after the program itself
        QMap<QString, QString> environment; // the complete environment; nothing is inherited
        QString workingDirectory; // empty: the parent's
        int outputFd = -1; // standard output and error; -1 discards them
        int inputFd = -1; // standard input; -1 reads nothing
        int controlFd = -1; // handed over as descriptor 3, when given
        // Runs on the watcher thread once the process has exited, before anyone learns so.
        std::function<void()> beforeExitIsKnown;
    };

    // Called once, on the watcher thread, with the exit status: the exit code, or minus the
    // signal number when a signal ended the process.
    using Termination = std::function<void(int status)>;

    static Expected<std::shared_ptr<ChildProcess>, QString> launch(
        const Command &command, Termination onTermination = {});

    // Blocks until the process has exited and returns its status.
    int waitForExit() const;
    // The same, for at most `limit`; nothing when the process is still running then.
    std::optional<int> waitForExit(std::chrono::milliseconds limit) const;
    std::optional<int> exitStatus() const;
    // Ends the process and its process group with SIGKILL unless it has already been reaped;
    // the watcher thread reaps it as usual, so it never lingers as a zombie.
    void kill() const;

    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    struct State;

private:
    explicit ChildProcess(std::shared_ptr<State> state);
    std::shared_ptr<State> m_state;
};
