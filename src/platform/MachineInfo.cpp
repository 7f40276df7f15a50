#include "MachineInfo.h"

#include <QtGlobal>

#include <sys/utsname.h>

QString MachineInfo::machineName()
{
    utsname info {};
    if (uname(&info) != 0)
        return {};
    return QString::fromLocal8Bit(info.machine);
}

QString MachineInfo::displayProblem()
{
#if defined(Q_OS_MACOS)
    return {};
#else
    using namespace Qt::StringLiterals;
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    // Platforms that draw without a display server (offscreen, vnc, eglfs, ...) need none.
    if (!platform.isEmpty() && !platform.startsWith(u"xcb"_s) && !platform.startsWith(u"wayland"_s))
        return {};
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    return u"Quillmere can't open its window: no display was found (neither DISPLAY nor "
           "WAYLAND_DISPLAY is set). The commands work without one; run “quillmere help” to "
           "list them."_s;
#endif
}
