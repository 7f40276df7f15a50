#include "SteamArtworkView.h"
