#include "GameBrowser.h"
