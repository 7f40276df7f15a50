#include "GameDetailView.h"
