#pragma once

#include <QString>

namespace AppData {

// "Quillmere" in the user's application-support folder: ~/Library/Application Support on macOS,
// $XDG_DATA_HOME (default ~/.local/share) on Linux.
QString defaultFolder();

} // namespace AppData
