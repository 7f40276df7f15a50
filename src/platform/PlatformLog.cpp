#include "PlatformLog.h"

Q_LOGGING_CATEGORY(platformLog, "quillmere.platform", QtWarningMsg)
