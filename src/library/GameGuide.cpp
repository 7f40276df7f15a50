#include "GameGuide.h"
