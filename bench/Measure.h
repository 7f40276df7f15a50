#pragma once

#include <QByteArray>
#include <QStringList>

// Runs a program to its end and reports its wall time, peak resident memory and output.
struct Measured
{
    double seconds = 0;
    long maxRssKiB = 0;
    int exitStatus = -1;
    QByteArray output;
};

Measured measure(const QStringList &command, const QString &outputFile = {});

// The median of a few runs of the same command, by time; the memory of that run.
Measured medianOf(int runs, const QStringList &command, const QString &outputFile = {});
