#include "SetupActionTitle.h"

#include <cmath>

using namespace Qt::StringLiterals;

QString setupActionTitle(const SetupActionState &state)
{
    auto downloading = [&state](const QString &what) -> QString {
        if (state.isVerifyingDownload)
            return u"Verifying "_s + what + u"…"_s;
        if (!state.downloadProgress)
            return u"Downloading "_s + what + u"…"_s;
        // A hair of tolerance so that 0.29 shows 29, not 28.99999… truncated to 28.
        const int percent = static_cast<int>(std::floor(*state.downloadProgress * 100.0 + 1e-9));
        return u"Downloading "_s + what + u"… "_s + QString::number(percent) + u'%';
    };
    if (state.isDownloadingGStreamer)
        return downloading(u"GStreamer"_s);
    if (state.isDownloadingWine)
        return downloading(u"Wine"_s);
    if (state.isPreparingWine)
        return u"Preparing Wine…"_s;
    switch (state.pause.value_or(AutomaticSetupPause::rosetta)) {
    case AutomaticSetupPause::rosetta:
        if (state.pause)
            return u"Continue Rosetta Setup"_s;
        break;
    case AutomaticSetupPause::gstreamer:
        // Without an installer to open, the button only looks again.
        return state.hasGStreamerInstaller ? u"Open GStreamer Installer"_s
                                           : u"Check for GStreamer Again"_s;
    case AutomaticSetupPause::wineApproval:
        return u"Continue after Approval"_s;
    }
    if (state.isAppleSilicon && !state.isRosettaAvailable)
        return u"Set Up Rosetta"_s;
    if (!state.isGStreamerInstalled)
        return u"Install Required Components"_s;
    if (state.hasRuntime)
        return u"Check Setup"_s;
    return u"Install Wine"_s;
}
