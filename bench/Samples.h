#pragma once

#include "library/GameEntry.h"
#include "profiles/GameCompatibilityProfile.h"

#include <QList>

// Made-up but realistic data in any amount: library entries and game profiles.
namespace Samples {

QList<GameEntry> entries(int count);
QList<GameCompatibilityProfile> profiles(int count);

} // namespace Samples
