#include "GamesLog.h"

Q_LOGGING_CATEGORY(gamesLog, "quillmere.games", QtWarningMsg)
