// Built with the kit's include roots alone: the kit's own header is found, the screen's is not.
#include "ui/kit/Theme.h"
#include "ui/library/GameDetailView.h"
