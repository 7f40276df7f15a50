#include "MachineProbe.h"

#include "platform/UserDefaults.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

MachineProbe MachineProbe::of(const SetupContext &context)
{
    const SetupSystem &system = context.system;
    MachineProbe probe;
    probe.runtimes = RuntimeDiscovery::findRuntimes(context.places);
    probe.isRosettaAvailable
        = !system.isAppleSilicon() || QFileInfo::exists(system.rosettaRuntimePath);
    probe.isGStreamerInstalled = std::any_of(system.gstreamerPaths.cbegin(),
        system.gstreamerPaths.cend(), [](const QString &path) { return QFileInfo::exists(path); });
    return probe;
}

std::optional<DetectedWineRuntime> MachineProbe::runtime(const QString &selectedID) const
{
    for (const DetectedWineRuntime &found : runtimes) {
        if (found.winePath == selectedID)
            return found;
    }
    if (runtimes.isEmpty())
        return std::nullopt;
    return runtimes.first();
}

bool MachineProbe::requiresManualApproval(
    const std::optional<DetectedWineRuntime> &runtime, const SetupContext &context)
{
    if (!runtime || !runtime->bundlePath || !runtime->bundlePath->contains(u"/Quillmere/Runtimes/"))
        return false;
    return !RuntimeDiscovery::approvedRuntimePaths(*context.defaults).contains(runtime->winePath);
}

std::optional<DetectedWineRuntime> MachineProbe::readyRuntime(
    const SetupContext &context, const QString &selectedID) const
{
    auto found = runtime(selectedID);
    if (!found || !isRosettaAvailable || !isGStreamerInstalled
        || requiresManualApproval(found, context))
        return std::nullopt;
    return found;
}

QString MachineProbe::notReadyReason(const SetupContext &context, const QString &selectedID) const
{
    const bool packages = !context.system.usesPinnedDownloads();
    if (!isRosettaAvailable)
        return u"Rosetta isn't installed yet. Open Wine Setup in Quillmere to install it."_s;
    if (!isGStreamerInstalled) {
        return packages
            ? u"GStreamer isn't installed. Install it with your distribution's package manager (on "
              "Debian or Ubuntu: sudo apt install gstreamer1.0-plugins-base "
              "gstreamer1.0-plugins-good), then try again."_s
            : u"GStreamer isn't installed yet. Open Wine Setup in Quillmere to install it."_s;
    }
    const auto found = runtime(selectedID);
    if (!found) {
        return packages
            ? u"No Wine runtime was found. Install Wine with your distribution's package manager "
              u"(on "
              "Debian or Ubuntu: sudo apt install wine wine64), then try again."_s
            : u"No Wine runtime was found. Open Wine Setup in Quillmere to install one."_s;
    }
    if (requiresManualApproval(found, context))
        return u"The Wine app Quillmere installed still needs your approval in Finder. Open Wine "
               u"Setup in "
               "Quillmere to continue."_s;
    return {};
}
