#pragma once

#include <QString>

namespace MachineInfo {

// The hardware name as uname reports it ("arm64" on Apple silicon, "x86_64" on Intel).
QString machineName();

} // namespace MachineInfo

namespace MachineInfo {

// Why a window can't open here (no display server to talk to), in one sentence; empty when
// it can. Checked before Qt starts, which would otherwise abort.
QString displayProblem();

} // namespace MachineInfo
