#pragma once

#include <QStringList>

struct LibraryContext;
struct WebAccess;

// The command line over the same models the window uses. Returns the process exit code:
// 0 on success, 1 when the model reported an error, 2 on a usage error.
namespace Cli {

int run(const QStringList &arguments, const LibraryContext &context, const WebAccess &web);
QString usage();

// Whether these arguments ask for the window rather than a command: none at all, or one path
// of a file to run (an existing file, a path with a folder, or a name ending in ".exe").
bool opensWindow(const QStringList &arguments);

} // namespace Cli
