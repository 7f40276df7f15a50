#pragma once

#include <QLoggingCategory>

// What this layer drops on purpose, for diagnosis; off unless turned on, for example with
// QT_LOGGING_RULES="quillmere.platform.info=true".
Q_DECLARE_LOGGING_CATEGORY(platformLog)
