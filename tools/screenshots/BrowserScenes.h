#pragma once

#include "Renderer.h"

namespace BrowserScenes {

// The profiles page before and after Steam's data, a search without results, and the install
// guide in each of its states.
void render(Screens::Renderer &renderer);

} // namespace BrowserScenes
