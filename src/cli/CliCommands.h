#pragma once

#include "Cli.h"

#include <QStringList>

struct LibraryContext;
struct WebAccess;

// The command families behind Cli::run; each gives the process exit code.
namespace CliCommands {

// list, launch, stop, log, show, shortcut and run: the commands that open the library.
QCoro::Task<int> library(
    QString command, QStringList options, LibraryContext context, Cli::MenuLaunch menu);
bool isLibraryCommand(const QString &command);

// runtimes, steam and profiles: what this machine and the catalogue hold.
int runtimes(const LibraryContext &context, const QStringList &options);
int steam(const LibraryContext &context, const QStringList &options);
QCoro::Task<int> profiles(QStringList options, WebAccess web);

} // namespace CliCommands
