#include "PathCard.h"
