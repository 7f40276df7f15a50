#pragma once

#include "Cli.h"

#include <QStringList>

struct LibraryContext;
struct WebAccess;

// The command families behind Cli::run; each returns the process exit code.
namespace CliCommands {

// list, launch, stop, log, show, shortcut and run: the commands that open the library.
int library(const QString &command, const QStringList &options, const LibraryContext &context,
    const Cli::WindowLauncher &window);
bool isLibraryCommand(const QString &command);

// runtimes, steam and profiles: what this machine and the catalogue hold.
int runtimes(const LibraryContext &context, const QStringList &options);
int steam(const LibraryContext &context, const QStringList &options);
int profiles(const QStringList &options, const WebAccess &web);

} // namespace CliCommands
