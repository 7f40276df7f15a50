#pragma once

#include <QString>

// The screens are worded for macOS. On Linux a text that names something Linux lacks (Finder,
// "this Mac", Rosetta) reads through this one table of plain equivalents.
namespace PlatformWording {

enum class Platform { macOS, linuxDesktop };

Platform current();
// Tests and the screenshot program render both wordings on one machine.
void setCurrent(Platform platform);
bool isMac();

// The text for this platform: `macText` itself on macOS, its Linux equivalent where the table
// has one.
QString text(const QString &macText);

// The system a game profile asks for: "macOS " + its minimum version on macOS; on Linux the
// profile's macOS version means nothing, so it names what the game runs through instead.
QString systemRequirement(const QString &minimumMacOS);

} // namespace PlatformWording
