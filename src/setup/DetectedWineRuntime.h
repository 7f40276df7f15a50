#pragma once

#include "library/WineRuntime.h"

#include <QHash>
#include <QString>

#include <optional>

// A Wine installation found on disk; identified by `winePath`.
struct DetectedWineRuntime
{
    QString name;
    QString winePath; // links resolved, path standardised
    QString wineServerPath; // beside `winePath`
    std::optional<QString> bundlePath; // the innermost ".app" folder holding `winePath`

    WineBinaries binaries() const { return {winePath, wineServerPath}; }

    bool operator==(const DetectedWineRuntime &) const = default;
};

inline size_t qHash(const DetectedWineRuntime &runtime, size_t seed = 0)
{
    return qHashMulti(seed, runtime.name, runtime.winePath, runtime.wineServerPath,
        runtime.bundlePath.value_or(QString()), runtime.bundlePath.has_value());
}
