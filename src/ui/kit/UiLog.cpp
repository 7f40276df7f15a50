#include "ui/kit/UiLog.h"

Q_LOGGING_CATEGORY(uiLog, "quillmere.ui", QtWarningMsg)
