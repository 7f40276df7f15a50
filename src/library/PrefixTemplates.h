#pragma once

#include "library/GameEntry.h"

#include <QJsonArray>
#include <QString>

// Pristine Wine prefixes, one per Wine build in use, kept in the application's own folder so
// that a new prefix is a copy, made in a second where `wineboot` takes ten. The first prefix of
// a build is booted as ever and kept as its template before anything runs in it.
namespace PrefixTemplates {

// "PrefixTemplates" in the application data folder.
QString folder(const QString &dataFolder);

// What makes two fresh prefixes differ: the wine binary's real path, what `wine --version`
// says, and the time stamp of the installation's wine.inf, which Wine writes into each prefix's
// ".update-timestamp" and compares at every start to decide whether to update the prefix
// (empty when the installation keeps no wine.inf where we look).
struct WineBuild
{
    QString wine;
    QString version; // empty: unknown, and then no template is used or made
    QString timestamp;

    bool isKnown() const { return !version.isEmpty(); }
    bool operator==(const WineBuild &) const = default;
};

// Asks the entry's wine. Blocks while `wine --version` runs (at most ten seconds): call it
// away from the GUI thread, as prefix creation does.
WineBuild buildOf(const GameEntry &entry);

// Makes `prefixPath`, a missing or empty folder, a copy of the template of `build`. False, with
// the folder untouched, when there is no usable template or the copy fails; a template found
// damaged is dropped. Blocks.
bool copyTemplate(const QString &templates, const WineBuild &build, const QString &prefixPath);

// Keeps `prefixPath`, booted a moment ago with nothing run in it since, as the template of
// `build` unless a usable one is there, and drops the templates whose Wine has gone or changed.
// Blocks; a failure only means there is no template.
void keep(const QString &templates, const WineBuild &build, const QString &prefixPath);

// The templates on disk, for `runtimes --json`: objects with "wine", "build" (the version),
// "timestamp", "path" (the template prefix) and "bytes" (its files' size).
QJsonArray list(const QString &templates);

} // namespace PrefixTemplates
