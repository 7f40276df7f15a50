#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace SetupScenes {

// Shows the Wine setup sheet over `window` in each state the screenshots need, waiting until the
// state is reached, and hands each sheet to `capture` before closing it.
void render(
    QWidget *window, const std::function<void(const QString &name, QWidget *sheet)> &capture);

} // namespace SetupScenes
