#pragma once

#include <QList>
#include <QString>

class RuntimeSetupModel;

// What the Wine setup sheet shows for a model state, without its widgets: the sheet redraws
// from these on every change, and tests read them for any machine state.
namespace SetupPresentation {

struct IntroCard
{
    QString title;
    QString text;
    bool isReady = false;
};

struct RequirementRow
{
    QString title;
    QString detail;
    bool isReady = false;
    QString state;
};

// The leading part of an action button's label.
enum class Indicator { progress, spinner, symbol };

struct ActionLabel
{
    QString title;
    Indicator indicator = Indicator::symbol;
    QString symbol; // for `symbol`
    double progress = 0; // 0…1, for `progress`
    bool showsArrow = false;
};

struct MainButton
{
    bool isVisible = false;
    ActionLabel label;
    bool isEnabled = false;
    // Pressing records the approval instead of starting a run.
    bool continuesAfterApproval = false;
};

struct SteamCard
{
    bool isVisible = false;
    ActionLabel button;
    bool isEnabled = false;
};

struct RuntimeChoice
{
    QString name;
    QString winePath;
};

struct AdvancedOptions
{
    QString footnote; // set only when no runtime was found; replaces the picker
    QList<RuntimeChoice> runtimes;
    QString selectedWinePath; // empty: nothing selected
    bool canRevealRuntime = false; // the selected runtime is an app bundle
};

IntroCard introCard(const RuntimeSetupModel &model);
// Rosetta (macOS only), GStreamer, then the Wine runtime.
QList<RequirementRow> requirementRows(const RuntimeSetupModel &model);
MainButton mainButton(const RuntimeSetupModel &model);
SteamCard steamCard(const RuntimeSetupModel &model);
AdvancedOptions advancedOptions(const RuntimeSetupModel &model);

} // namespace SetupPresentation
