#include "CliCommands.h"
#include "CliOutput.h"

#include "games/SteamLibraryReport.h"
#include "games/SteamShortcuts.h"
#include "library/LibraryModel.h"
#include "library/PrefixTemplates.h"
#include "profiles/GameProfileCatalogStore.h"
#include "profiles/GameProfileSearch.h"
#include "profiles/SteamGameCatalog.h"
#include "setup/RuntimeDiscovery.h"

#include <QCoroTask>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;
using namespace CliOutput;

namespace {

QByteArray steamJson(const SteamLibraryReport &report)
{
    const auto flag = [](bool on) { return on ? QByteArray("true") : QByteArray("false"); };
    QByteArray out = "{\"steamEntry\":";
    if (report.steam) {
        out += "{\"id\":" + jsonString(report.steam->idString())
            + ",\"name\":" + jsonString(report.steam->name)
            + ",\"prefixPath\":" + jsonString(report.steam->prefixPath) + '}';
    } else {
        out += "null";
    }
    out += ",\"folderListReadable\":" + flag(report.isListReadable) + ",\"libraryFolders\":[";
    for (const SteamLibraryFolders::Folder &folder : report.folders) {
        out += (out.endsWith('[') ? "" : ",") + QByteArray("{\"windowsPath\":")
            + jsonString(folder.windowsPath) + ",\"path\":"
            + (folder.steamApps.isEmpty() ? QByteArray("null") : jsonString(folder.steamApps))
            + ",\"readable\":" + flag(folder.isReadable) + '}';
    }
    out += "],\"games\":[";
    for (const SteamLibraryReport::Game &game : report.games) {
        out += (out.endsWith('[') ? "" : ",") + QByteArray("{\"appID\":")
            + jsonString(game.manifest.appID)
            + ",\"name\":" + (game.name.isEmpty() ? QByteArray("null") : jsonString(game.name))
            + ",\"state\":" + jsonString(SteamLibraryReport::stateKey(game.manifest.state))
            + ",\"libraryFolder\":" + jsonString(game.manifest.steamApps)
            + ",\"hasShortcut\":" + flag(game.hasShortcut) + '}';
    }
    return out + "]}";
}

QString profileLine(const GameCompatibilityProfile &profile)
{
    QStringList stores;
    for (GameStorefront storefront : profile.storefronts)
        stores << Storefronts::displayName(storefront);
    return profile.id + u"  "_s + profile.name + u" ("_s + profile.edition + u"; "_s
        + stores.join(u", "_s) + (profile.appID ? u"; Steam app "_s + *profile.appID : QString())
        + u')';
}

} // namespace

namespace CliCommands {

int runtimes(const LibraryContext &context, const QStringList &options)
{
    if (options.size() > 1 || (options.size() == 1 && options.first() != u"--json"_s))
        return usageFailure(u"“runtimes” takes only the option --json."_s);
    const QList<DetectedWineRuntime> found
        = RuntimeDiscovery::findRuntimes(DiscoveryPlaces::standard(context.dataFolder));
    if (!options.isEmpty()) {
        // Written by hand to keep the documented key order.
        const QJsonArray templates
            = PrefixTemplates::list(PrefixTemplates::folder(context.dataFolder));
        QByteArray out = "[";
        for (const DetectedWineRuntime &runtime : found) {
            if (out.size() > 1)
                out += ',';
            out += "{\"name\":" + jsonString(runtime.name)
                + ",\"winePath\":" + jsonString(runtime.winePath)
                + ",\"wineServerPath\":" + jsonString(runtime.wineServerPath);
            if (runtime.bundlePath)
                out += ",\"bundlePath\":" + jsonString(*runtime.bundlePath);
            QJsonArray own;
            const QString real = QFileInfo(runtime.winePath).canonicalFilePath();
            for (const auto &kept : templates) {
                if (kept[u"wine"_s].toString() == real)
                    own.append(kept);
            }
            out += ",\"prefixTemplates\":" + QJsonDocument(own).toJson(QJsonDocument::Compact)
                + '}';
        }
        out += ']';
        printJson(out);
        return success;
    }
    if (found.isEmpty())
        printLine(u"No Wine runtime was found."_s);
    for (qsizetype i = 0; i < found.size(); ++i) {
        printRow(found.at(i).name + u": "_s + found.at(i).winePath
            + (i == 0 ? u" (default)"_s : QString()));
    }
    return success;
}

int steam(const LibraryContext &context, const QStringList &options)
{
    if (options.size() > 1 || (options.size() == 1 && options.first() != u"--json"_s))
        return usageFailure(u"“steam” takes only the option --json."_s);
    LibraryModel model(context);
    if (reportLoadError(model))
        return failure;
    const SteamLibraryReport report
        = SteamLibraryReport::of(SteamShortcuts(model), SteamGameCatalog::games());
    if (!options.isEmpty()) {
        printJson(steamJson(report));
        return success;
    }
    if (!report.steam) {
        printLine(u"The library has no Steam entry. Install Steam from Wine Setup to add one."_s);
        return success;
    }
    printRow(u"Steam  "_s + report.steam->idString() + u"  "_s + report.steam->name);
    if (!report.isListReadable)
        printLine(u"Steam’s list of library folders couldn’t be read whole, so no shortcut is "
                  u"removed for now."_s);
    for (const SteamLibraryFolders::Folder &folder : report.folders) {
        printRow(u"Folder  "_s + folder.windowsPath + u"  →  "_s
            + (folder.steamApps.isEmpty()
                    ? u"(not a place on this machine)"_s
                    : folder.steamApps + (folder.isReadable ? QString() : u"  (can’t be read)"_s)));
    }
    for (const SteamLibraryReport::Game &game : report.games) {
        const QString state = SteamLibraryReport::stateKey(game.manifest.state);
        printRow(u"Game  "_s + game.manifest.appID + u"  "_s
            + (game.name.isEmpty() ? u"(no name)"_s : game.name) + u"  "_s
            + (state == u"notInstalled" ? u"not installed"_s : state)
            + (game.hasShortcut ? u"  shortcut"_s : u"  no shortcut"_s));
    }
    return success;
}

QCoro::Task<int> profiles(QStringList options, WebAccess web)
{
    bool json = false;
    QString search;
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (options.at(i) == u"--json") {
            json = true;
        } else if (options.at(i) == u"--search" && i + 1 < options.size()) {
            search = options.at(++i);
        } else {
            co_return usageFailure(u"“profiles” takes the options --json and --search TEXT."_s);
        }
    }
    GameProfileCatalogStore store(web);
    co_await store.load();
    const QList<GameCompatibilityProfile> shown
        = GameProfileSearch::matchingGames(store.games(), search);
    // The status goes to standard error so that standard output stays one JSON document.
    printError(store.statusLine());
    if (json) {
        printJsonArray(shown, [](const GameCompatibilityProfile &profile) {
            return QJsonDocument(profile.toJson()).toJson(QJsonDocument::Compact);
        });
    } else {
        for (const GameCompatibilityProfile &profile : shown)
            printRow(profileLine(profile));
    }
    co_return success;
}

} // namespace CliCommands
