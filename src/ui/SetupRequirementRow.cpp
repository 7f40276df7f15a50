#include "SetupRequirementRow.h"
