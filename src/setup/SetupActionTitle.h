#pragma once

#include <QString>

#include <optional>

// Where the automatic setup waits for the user.
enum class AutomaticSetupPause { rosetta, gstreamer, wineApproval };

// What the setup window's main button depends on.
struct SetupActionState
{
    bool isDownloadingGStreamer = false;
    bool isDownloadingWine = false;
    bool isVerifyingDownload = false;
    std::optional<double> downloadProgress;
    bool isPreparingWine = false;
    std::optional<AutomaticSetupPause> pause;
    bool isAppleSilicon = false;
    bool isRosettaAvailable = true;
    bool isGStreamerInstalled = false;
    bool hasRuntime = false;
    bool hasGStreamerInstaller = true; // false where the system's packages provide GStreamer
};

// The title of the setup window's main button: the first condition that holds wins.
QString setupActionTitle(const SetupActionState &state);
