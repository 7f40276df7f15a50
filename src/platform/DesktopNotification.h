#pragma once

#include <QString>

// A notification in the desktop's own area, for what a user must learn while no window of ours
// is open (a program started from the applications menu that could not start).
namespace DesktopNotification {

// Through the session bus's notification service; false when none took it. Waits at most two
// seconds for the service, without running an event loop.
bool show(const QString &summary, const QString &body);

} // namespace DesktopNotification
