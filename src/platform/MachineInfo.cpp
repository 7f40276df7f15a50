#include "MachineInfo.h"

#include <sys/utsname.h>

QString MachineInfo::machineName()
{
    utsname info {};
    if (uname(&info) != 0)
        return {};
    return QString::fromLocal8Bit(info.machine);
}
