#pragma once

#include <QString>

namespace MachineInfo {

// The hardware name as uname reports it ("arm64" on Apple silicon, "x86_64" on Intel).
QString machineName();

} // namespace MachineInfo
