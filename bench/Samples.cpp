#include "Samples.h"

#include "profiles/SteamGameCatalog.h"

using namespace Qt::StringLiterals;

namespace Samples {

QList<GameEntry> entries(int count)
{
    QList<GameEntry> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        GameEntry entry;
        entry.name = u"Sample Game %1"_s.arg(i);
        const QString home = u"/home/player/Games/Sample Game %1"_s.arg(i);
        entry.executablePath = home + u"/drive_c/Program Files/Sample/Game.exe"_s;
        entry.prefixPath = home;
        entry.winePath = u"/usr/bin/wine"_s;
        entry.wineServerPath = u"/usr/bin/wineserver"_s;
        entry.arguments = {u"-windowed"_s, u"-height 1080"_s};
        entry.environment = {{u"DXVK_HUD"_s, u"fps"_s}, {u"WINEDEBUG"_s, u"-all"_s}};
        entry.addedAt = 786745123.4567891 + i;
        out.append(entry);
    }
    return out;
}

QList<GameCompatibilityProfile> profiles(int count)
{
    const QList<GameCompatibilityProfile> &builtIn = SteamGameCatalog::games();
    QList<GameCompatibilityProfile> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        GameCompatibilityProfile profile = builtIn.at(i % builtIn.size());
        profile.id += u"-%1"_s.arg(i);
        profile.name += u" %1"_s.arg(i);
        if (profile.appID)
            profile.appID = QString::number(100000 + i);
        out.append(profile);
    }
    return out;
}

} // namespace Samples
