#pragma once

#include "setup/SetupContext.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

namespace TestSupport {

// A folder holding `wine` and `wineserver` that run the fake Wine scripts.
void installFakeRuntime(const QString &binFolder);

enum class ArchiveLayout {
    good,
    dotSlashPrefix,
    dotDotInside,
    extraTopLevelFile,
    missingWineServer
};

// A real .tar.xz built with the system tar; `padding` adds that many random bytes inside the
// bundle to make a large archive.
QString buildWineArchive(const QString &path, ArchiveLayout layout, qsizetype padding = 0);

QString sha256Hex(const QByteArray &bytes);

// A setup world inside the sandbox: the data folder ends in "Quillmere", nothing is found
// until the test puts it there, and every source points at the loopback server.
SetupContext setupContext(
    const Sandbox &sandbox, const LoopbackServer &server, const SetupSystem &system);
// The same for a machine ("linux", or a Mac's "x86_64" or "arm64") with GStreamer and a
// package-manager Wine (outside Quillmere's folder) in place or not.
SetupContext machineContext(const Sandbox &sandbox, const LoopbackServer &server,
    const QString &machine, bool gstreamer, bool wine);

} // namespace TestSupport
