#include "SetupLog.h"

Q_LOGGING_CATEGORY(setupLog, "quillmere.setup", QtWarningMsg)
