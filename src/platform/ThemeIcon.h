#pragma once

#include "platform/WindowsIcon.h"

#include <optional>

namespace WindowsIcon {

// The program's icon for a desktop icon theme: its best image, scaled down to the largest theme
// size it fills. None when the program has no icon. Decodes images, so it needs Qt's GUI module
// (not a GUI application); call it off the GUI thread.
std::optional<ThemeImage> forTheme(const QString &executablePath);

} // namespace WindowsIcon
