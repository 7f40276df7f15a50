#pragma once

#include <QString>

// Whether a Wine prefix has a live wineserver, read from Wine's own files without starting any
// Wine program: the server holds a lock on "lock" in its server folder for as long as it runs,
// and it runs exactly while Windows programs of that prefix do (plus a few seconds of grace).
namespace WineServerState {

// The server folder Wine uses for the prefix: "/tmp/.wine-UID/server-DEV-INODE", or, for builds
// that record a private temporary folder in the prefix's "wineserver" file, "server-DEV-INODE"
// inside that folder.
// Empty when the prefix is not a folder.
QString serverFolder(const QString &prefixPath);

// A few system calls; never waits for the server.
bool isRunning(const QString &prefixPath);

} // namespace WineServerState
