#include "SetupScenes.h"

namespace SetupScenes {

void render(QWidget *, const std::function<void(const QString &, QWidget *)> &) { }

} // namespace SetupScenes
