#include "ui/rules/SetupPresentation.h"

#include "ui/rules/PlatformWording.h"

#include "setup/RuntimeSetupModel.h"

using namespace Qt::StringLiterals;

namespace SetupPresentation {

namespace {

bool isWaitingForApproval(const RuntimeSetupModel &model)
{
    return model.automaticSetupPause() == AutomaticSetupPause::wineApproval;
}

bool isWorking(const RuntimeSetupModel &model)
{
    return model.isPreparingWine() || model.isDownloadingWine() || model.isDownloadingGStreamer();
}

} // namespace

IntroCard introCard(const RuntimeSetupModel &model)
{
    using PlatformWording::text;
    if (isWaitingForApproval(model)) {
        return {text(u"Approve Wine in Finder"_s),
            text(u"Control-click the Wine app in Finder, choose Open, and confirm. Then return "
                 "here and continue."_s),
            false};
    }
    if (model.isReadyForWindowsApps()) {
        return {u"Ready for Windows apps"_s,
            text(u"Wine and its required components are ready on this Mac."_s), true};
    }
    return {u"Set up Wine automatically"_s,
        text(u"Quillmere checks what's installed, downloads missing components, and guides any "
             "macOS approval."_s),
        false};
}

QList<RequirementRow> requirementRows(const RuntimeSetupModel &model)
{
    using PlatformWording::text;
    QList<RequirementRow> rows;
    // Rosetta is a Mac matter; elsewhere the row would only confuse.
    if (PlatformWording::isMac()) {
        if (model.context().system.isAppleSilicon()) {
            const bool available = model.isRosettaAvailable();
            rows.append({u"Rosetta"_s, text(u"Needed to run the Wine build on Apple silicon."_s),
                available, available ? u"Ready"_s : u"Needed"_s});
        } else {
            rows.append(
                {u"Rosetta"_s, text(u"Not needed on this Intel Mac."_s), true, u"Not needed"_s});
        }
    }

    QString gstreamerState = text(u"Automatic"_s);
    if (model.isGStreamerInstalled())
        gstreamerState = u"Ready"_s;
    else if (model.automaticSetupPause() == AutomaticSetupPause::gstreamer)
        gstreamerState = text(u"Finish Installer"_s);
    rows.append({u"GStreamer"_s, u"Required support files for Wine."_s,
        model.isGStreamerInstalled(), gstreamerState});

    const auto runtime = model.selectedRuntime();
    if (isWaitingForApproval(model)) {
        rows.append({u"Wine runtime"_s,
            text(u"Control-click Wine in Finder, choose Open, confirm, then continue here."_s),
            false, text(u"Approve in Finder"_s)});
    } else if (runtime) {
        rows.append({u"Wine runtime"_s, runtime->name, true, u"Ready"_s});
    } else {
        rows.append(
            {u"Wine runtime"_s, text(u"Quillmere installs Wine when no runtime is found."_s), false,
                text(u"Automatic"_s)});
    }
    return rows;
}

MainButton mainButton(const RuntimeSetupModel &model)
{
    MainButton button;
    button.isVisible = !model.isReadyForWindowsApps();
    const bool working = isWorking(model);
    button.isEnabled = !working;
    button.continuesAfterApproval = isWaitingForApproval(model);

    ActionLabel &label = button.label;
    label.title = model.nextSetupActionTitle();
    label.showsArrow = !working;
    if (const auto progress = model.downloadProgress()) {
        label.indicator = Indicator::progress;
        label.progress = *progress;
    } else if (working) {
        label.indicator = Indicator::spinner;
    } else {
        label.indicator = Indicator::symbol;
        label.symbol = u"wand.and.stars"_s;
    }
    return button;
}

SteamCard steamCard(const RuntimeSetupModel &model)
{
    SteamCard card;
    card.isVisible = model.isReadyForWindowsApps();
    card.isEnabled = !model.isInstallingSteam();
    if (model.isInstallingSteam())
        card.button = {u"Installing Steam…"_s, Indicator::spinner, {}, 0, false};
    else
        card.button = {u"Install Steam"_s, Indicator::symbol, u"square.and.arrow.down"_s, 0, false};
    return card;
}

AdvancedOptions advancedOptions(const RuntimeSetupModel &model)
{
    AdvancedOptions options;
    if (model.runtimes().isEmpty()) {
        options.footnote = PlatformWording::text(
            u"No existing Wine runtime was found. Quillmere will install one when you start "
            "setup."_s);
        return options;
    }
    for (const DetectedWineRuntime &runtime : model.runtimes())
        options.runtimes.append({runtime.name, runtime.winePath});
    if (const auto selected = model.selectedRuntime()) {
        options.selectedWinePath = selected->winePath;
        options.canRevealRuntime = selected->bundlePath.has_value();
    }
    return options;
}

} // namespace SetupPresentation
