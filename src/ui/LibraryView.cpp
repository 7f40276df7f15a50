#include "LibraryView.h"
