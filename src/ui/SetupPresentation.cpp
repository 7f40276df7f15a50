#include "SetupPresentation.h"
