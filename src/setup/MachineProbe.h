#pragma once

#include "setup/DetectedWineRuntime.h"
#include "setup/SetupContext.h"

#include <QList>
#include <QString>

#include <optional>

// What the machine has for running Windows programs: the Wine runtimes found, Rosetta and
// GStreamer. Reads the file system only, never the network or a window: cheap enough to ask at
// every look, and safe on any thread.
struct MachineProbe
{
    QList<DetectedWineRuntime> runtimes;
    bool isRosettaAvailable = false;
    bool isGStreamerInstalled = false;

    static MachineProbe of(const SetupContext &context);

    // The runtime `selectedID` names, else the first one found.
    std::optional<DetectedWineRuntime> runtime(const QString &selectedID = {}) const;
    // Whether the Wine app Quillmere installed still waits for the user's approval in Finder.
    static bool requiresManualApproval(
        const std::optional<DetectedWineRuntime> &runtime, const SetupContext &context);
    // The runtime to run Windows programs with, or none while something is missing.
    std::optional<DetectedWineRuntime> readyRuntime(
        const SetupContext &context, const QString &selectedID = {}) const;
    // Why Wine isn't ready, in one sentence that says what to do; empty when it is.
    QString notReadyReason(const SetupContext &context, const QString &selectedID = {}) const;

    bool operator==(const MachineProbe &) const = default;
};
