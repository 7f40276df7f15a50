#pragma once

#include "platform/Expected.h"

#include <QFile>
#include <QString>

#include <chrono>
#include <memory>

// The log of one launch: a fresh file that the children's standard output and error fill
// through a pipe read by quillmere-logkeeper, a small process of its own. The keeper holds the
// file to `cap` bytes (the first half of the output, a line saying how much was left out, the
// latest output), keeps doing so after the window has quit, and never blocks the game.
//
// The file is made anew at each launch (a new file, not the old one truncated), so a program of
// an earlier launch that still writes to its log never mixes into this one. Anything at the path
// that is not a regular file (a link, a pipe, a folder) is refused, never opened or followed.
// Where the keeper can't be found or started, the children write to the file directly, unbounded,
// as a log is better than none.
class LaunchLog
{
public:
    static constexpr qint64 defaultCap = qint64(16) << 20;

    static Expected<std::shared_ptr<LaunchLog>, QString> create(
        const QString &path, qint64 cap = defaultCap);
    ~LaunchLog();

    // What children get as standard output and error, until closeForChildren().
    int fd() const { return m_childFd; }
    // Our copy of the children's descriptor; call once every child that writes here started.
    void closeForChildren();
    // Waits up to `limit` until everything the children wrote so far is in the file. Blocks: call
    // it away from the GUI thread.
    void settle(std::chrono::milliseconds limit) const;
    bool isBounded() const { return m_controlFd >= 0; }

    // QUILLMERE_LOG_KEEPER when set, else quillmere-logkeeper beside this executable or in
    // ../libexec/quillmere; empty when there is none.
    static QString keeperPath();

    // The log at `path` for reading, never through a link and never waiting on a pipe; null with
    // an empty `whyNot` when there is none, or with the reason when it can't be read.
    static std::unique_ptr<QFile> openForReading(const QString &path, QString *whyNot);

    LaunchLog(const LaunchLog &) = delete;
    LaunchLog &operator=(const LaunchLog &) = delete;

private:
    LaunchLog() = default;

    int m_childFd = -1;
    int m_controlFd = -1; // our end of the keeper's question socket; -1 without a keeper
};
