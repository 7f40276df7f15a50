#include "WindowHandoff.h"
