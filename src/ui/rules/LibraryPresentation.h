#pragma once

#include "library/PlayTimes.h"
#include "profiles/GameCompatibilityProfile.h"

#include <QList>
#include <QString>

#include <optional>

// The texts and the matched profile the library row and the detail pane show for an entry.
namespace LibraryPresentation {

// The first profile, in catalogue order, whose name equals `entryName` ignoring letter case
// the way the user's language does.
std::optional<GameCompatibilityProfile> matchedProfile(
    const QString &entryName, const QList<GameCompatibilityProfile> &profiles);

QString rowState(bool isRunning); // "Running" / "Wine app"
QString detailSubtitle(const std::optional<GameCompatibilityProfile> &matched);
QString statusText(bool isRunning);
QString statusSymbol(bool isRunning);
QString removalMessage(const QString &entryName);
QString deletionMessage(const QString &entryName, const QString &prefix, const QString &size);
// "Played 3 h 12 min · Last played today"; empty for an entry never played. `now` is local.
QString playLine(const PlayRecord &record, const QDateTime &now);
// The entry's menu item for its applications-menu shortcut.
QString menuShortcutAction(bool inMenu);
QString menuShortcutSymbol(bool inMenu);

} // namespace LibraryPresentation
