#include "Measure.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

Measured measure(const QStringList &command, const QString &outputFile)
{
    std::vector<QByteArray> storage;
    for (const QString &part : command)
        storage.push_back(part.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &part : storage)
        argv.push_back(part.data());
    argv.push_back(nullptr);

    const QByteArray outPath
        = outputFile.isEmpty() ? QByteArray("/dev/null") : outputFile.toLocal8Bit();
    const QByteArray capture = QByteArray("/tmp/quillmere-bench-") + QByteArray::number(getpid());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1,
        outputFile.isEmpty() ? capture.constData() : outPath.constData(),
        O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Measured result;
    QElapsedTimer timer;
    timer.start();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return result;
    }
    int status = 0;
    rusage usage {};
    wait4(child, &status, 0, &usage);
    result.seconds = timer.nsecsElapsed() / 1e9;
    result.maxRssKiB = usage.ru_maxrss;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    posix_spawn_file_actions_destroy(&actions);
    if (outputFile.isEmpty()) {
        QFile out(QString::fromLocal8Bit(capture));
        if (out.open(QIODevice::ReadOnly) && out.size() < 1 << 20)
            result.output = out.readAll();
        out.remove();
    }
    return result;
}

Measured medianOf(int runs, const QStringList &command, const QString &outputFile)
{
    std::vector<Measured> all;
    for (int i = 0; i < runs; ++i)
        all.push_back(measure(command, outputFile));
    std::sort(all.begin(), all.end(),
        [](const Measured &a, const Measured &b) { return a.seconds < b.seconds; });
    return all[all.size() / 2];
}
