#include "LibraryLog.h"

Q_LOGGING_CATEGORY(libraryLog, "quillmere.library", QtWarningMsg)
