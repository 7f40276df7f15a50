#pragma once

#include <QLoggingCategory>

// What the window drops on purpose, for diagnosis; off unless turned on, for example with
// QT_LOGGING_RULES="quillmere.ui.info=true".
Q_DECLARE_LOGGING_CATEGORY(uiLog)
