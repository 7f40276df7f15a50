// Built with the library screens' include roots: their own rooms are found, another screen's
// is not.
#include "ui/library/GameDetailView.h"
#include "ui/profiles/SteamGamesView.h"
