#include "LibrarySidebar.h"
