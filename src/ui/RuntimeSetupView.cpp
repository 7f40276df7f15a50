#include "RuntimeSetupView.h"
