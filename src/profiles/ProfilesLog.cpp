#include "ProfilesLog.h"

Q_LOGGING_CATEGORY(profilesLog, "quillmere.profiles", QtWarningMsg)
