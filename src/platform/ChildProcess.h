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

// A file opened for a child's output: created empty (replacing an earlier one), written only at
// its end, and closed when the last owner lets go. The child keeps its own copy of the descriptor.
class OutputFile
{
public:
    static Expected<std::shared_ptr<OutputFile>, QString> createEmpty(const QString &path);
    ~OutputFile();
    int fd() const { return m_fd; }

    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

private:
    explicit OutputFile(int fd)
        : m_fd(fd)
    {
    }
    int m_fd;
};
