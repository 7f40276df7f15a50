#include "PathField.h"
