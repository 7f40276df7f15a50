#include "SteamLibraryReport.h"

#include "games/SteamShortcuts.h"

using namespace Qt::StringLiterals;

SteamLibraryReport SteamLibraryReport::of(
    const SteamShortcuts &library, const QList<GameCompatibilityProfile> &profiles)
{
    SteamLibraryReport report;
    report.steam = library.steamEntry();
    if (!report.steam)
        return report;
    const auto folders = SteamLibraryFolders::read(report.steam->prefixPath);
    report.isListReadable = folders.isListReadable();
    report.folders = folders.folders();
    for (const SteamLibraryFolders::Manifest &manifest : folders.manifests()) {
        GameCompatibilityProfile game;
        game.appID = manifest.appID;
        game.name = manifest.name;
        for (const GameCompatibilityProfile &profile : profiles) {
            if (profile.appID == manifest.appID) {
                game.name = profile.name;
                break;
            }
        }
        report.games.append({manifest, game.name, library.steamGameEntry(game).has_value()});
    }
    return report;
}

QString SteamLibraryReport::stateKey(SteamLibraryFolders::State state)
{
    switch (state) {
    case SteamLibraryFolders::State::installed:
        return u"installed"_s;
    case SteamLibraryFolders::State::updating:
        return u"updating"_s;
    case SteamLibraryFolders::State::downloading:
        return u"downloading"_s;
    case SteamLibraryFolders::State::notInstalled:
        break;
    }
    return u"notInstalled"_s;
}
