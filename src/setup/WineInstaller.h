#pragma once

#include "setup/DetectedWineRuntime.h"
#include "setup/RuntimeSetupError.h"

#include <QString>
#include <QStringList>

// Unpacks the pinned Wine archive into the application's runtime folder. Every function here
// blocks while tar runs: call them away from the GUI thread.
namespace WineInstaller {

inline constexpr char bundleName[] = "Wine Devel.app";
inline constexpr char installedBundleName[] = "Wine Devel 11.18.app";
inline constexpr char installedRuntimeName[] = "Wine Devel 11.18 (Quillmere)";

// Runs tar with exactly these arguments and returns what it printed. Blocks until tar ends.
SetupResult<QString> runTar(const QString &tar, const QStringList &arguments);

// Checks the archive's listing, extracts it into a staging folder inside `runtimeFolder`,
// and moves the bundle into place. An incomplete earlier install is never touched. Blocks while
// tar runs: call it away from the GUI thread.
SetupResult<DetectedWineRuntime> installWineArchive(const QString &archive,
    const QString &runtimeFolder, const QString &tar = QStringLiteral("/usr/bin/tar"));

// Removes the staging folders that an interrupted install left in `runtimeFolder`. Blocks: a
// partial Wine is hundreds of megabytes.
void removeLeftovers(const QString &runtimeFolder);

// True when every line of a tar listing lies inside "Wine Devel.app" without ".." or a leading
// "/", and the bundle has content.
bool isExpectedListing(const QString &listing);

} // namespace WineInstaller
