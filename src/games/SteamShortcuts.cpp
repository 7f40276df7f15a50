#include "SteamShortcuts.h"

#include "games/SteamLibraryFolders.h"
#include "library/LibraryModel.h"
#include "platform/UserDefaults.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

QString executableName(const GameEntry &entry)
{
    return QFileInfo(entry.executablePath).fileName();
}

bool isShortcutOf(const GameEntry &candidate, const GameEntry &steam)
{
    return candidate.executablePath == steam.executablePath
        && candidate.prefixPath == steam.prefixPath && candidate.arguments.size() == 2
        && candidate.arguments.first() == u"-applaunch";
}

const QString noAppID
    = u"This profile does not have a Steam app ID. Choose its listed storefront instead."_s;

} // namespace

const QList<GameEntry> &SteamShortcuts::entries() const
{
    return m_library.entries();
}

std::optional<GameEntry> SteamShortcuts::steamEntry() const
{
    for (const GameEntry &entry : m_library.entries()) {
        if (entry.name.compare(u"Steam", Qt::CaseInsensitive) == 0
            && executableName(entry).compare(u"steam.exe", Qt::CaseInsensitive) == 0)
            return entry;
    }
    for (const GameEntry &entry : m_library.entries()) {
        if (executableName(entry).compare(u"steam.exe", Qt::CaseInsensitive) == 0)
            return entry;
    }
    return std::nullopt;
}

std::optional<GameEntry> SteamShortcuts::steamGameEntry(
    const GameCompatibilityProfile &profile) const
{
    const auto steam = steamEntry();
    if (!profile.appID || !steam)
        return std::nullopt;
    for (const GameEntry &entry : m_library.entries()) {
        if (isShortcutOf(entry, *steam) && entry.arguments.at(1) == *profile.appID)
            return entry;
    }
    return std::nullopt;
}

bool SteamShortcuts::isSteamGameInstalled(const GameCompatibilityProfile &profile) const
{
    const auto steam = steamEntry();
    return profile.appID && steam
        && SteamLibraryFolders::read(steam->prefixPath).isInstalled(*profile.appID);
}

QStringList SteamShortcuts::pendingSteamGameIDs() const
{
    QStringList ids = m_library.defaults().stringArray(QLatin1StringView(pendingSteamGamesKey));
    ids.removeDuplicates();
    ids.sort();
    return ids;
}

void SteamShortcuts::updatePendingSteamGameIDs(const std::function<void(QSet<QString> &)> &change)
{
    // Applied to the list as stored now: another process may have added to it meanwhile.
    m_library.defaults().updateStringArray(
        QLatin1StringView(pendingSteamGamesKey), [&change](const QStringList &stored) {
            QSet<QString> ids(stored.cbegin(), stored.cend());
            change(ids);
            QStringList sorted(ids.cbegin(), ids.cend());
            sorted.sort();
            return sorted;
        });
}

bool SteamShortcuts::isSteamGamePendingInstall(const GameCompatibilityProfile &profile) const
{
    return profile.appID && pendingSteamGameIDs().contains(*profile.appID);
}

GameEntry SteamShortcuts::makeSteamShortcut(
    const GameEntry &steam, const GameCompatibilityProfile &profile) const
{
    GameEntry shortcut;
    shortcut.name = profile.name;
    shortcut.executablePath = steam.executablePath;
    shortcut.prefixPath = steam.prefixPath;
    shortcut.winePath = steam.winePath;
    shortcut.wineServerPath = steam.wineServerPath;
    shortcut.arguments = {u"-applaunch"_s, *profile.appID};
    return shortcut;
}

Outcome SteamShortcuts::openSteamGamePage(const GameCompatibilityProfile &profile)
{
    if (!profile.appID)
        return Outcome::error(noAppID);
    const auto steam = steamEntry();
    if (!steam)
        return Outcome::error(u"Install Steam from Wine Setup before opening Steam game pages."_s);
    if (isSteamGameInstalled(profile))
        return addSteamGameShortcut(profile);
    GameEntry page = *steam;
    page.id = QUuid::createUuid();
    page.name = u"Open "_s + profile.name + u" in Steam"_s;
    page.arguments = {u"steam://store/"_s + *profile.appID};
    // Steam takes the page and the launcher returns at once: nothing to follow.
    auto started = WineRuntime::start(page, m_library.logPath(page), [](int) {});
    if (!started) {
        return Outcome::error(u"Quillmere couldn't open Steam for "_s + profile.name + u":\n"_s
            + started.error().description());
    }
    updatePendingSteamGameIDs([appID = *profile.appID](QSet<QString> &ids) { ids.insert(appID); });
    return Outcome::notice(u"Steam opened the page for "_s + profile.name
        + u". Check that this account has access to the edition, then start or continue its "
          u"install in "
          "Steam. Quillmere will add it after the install finishes."_s);
}

Outcome SteamShortcuts::addSteamGameShortcut(const GameCompatibilityProfile &profile)
{
    if (!profile.appID)
        return Outcome::error(noAppID);
    const auto steam = steamEntry();
    if (!steam)
        return Outcome::error(u"Install Steam from Wine Setup before adding a game shortcut."_s);
    if (!isSteamGameInstalled(profile)) {
        return Outcome::error(u"Steam hasn't finished installing "_s + profile.name
            + u" yet. Finish the download and let Steam verify the files first."_s);
    }
    if (const auto existing = steamGameEntry(profile)) {
        m_library.setSelectedID(existing->id);
        return Outcome::notice(profile.name + u" is already in your Quillmere library."_s);
    }
    if (Outcome refused = m_library.add(makeSteamShortcut(*steam, profile)); refused.failed())
        return refused;
    return Outcome::notice(u"Added "_s + profile.name + u" to your Quillmere library."_s);
}

Outcome SteamShortcuts::refreshPendingSteamGameInstalls(
    const QList<GameCompatibilityProfile> &profiles)
{
    const QStringList stored = pendingSteamGameIDs();
    const QSet<QString> before(stored.cbegin(), stored.cend());
    QSet<QString> pending = before;
    QStringList finished;
    const auto steam = steamEntry();
    if (!steam)
        return {};
    // Steam's lists and manifests are read once for all the games, not once a game.
    const auto folders = SteamLibraryFolders::read(steam->prefixPath);
    for (const GameCompatibilityProfile &profile : profiles) {
        if (!profile.appID || !pending.contains(*profile.appID)
            || !folders.isInstalled(*profile.appID))
            continue;
        if (!steamGameEntry(profile))
            m_library.add(makeSteamShortcut(*steam, profile));
        pending.remove(*profile.appID);
        finished.append(profile.name);
    }
    if (pending != before) {
        const QSet<QString> done = before - pending;
        updatePendingSteamGameIDs([done](QSet<QString> &ids) { ids -= done; });
    }
    if (finished.isEmpty())
        return {};
    return Outcome::notice(finished.join(u", "_s)
        + (finished.size() == 1
                ? u" finished installing and is ready in your Quillmere library."_s
                : u" finished installing and are ready in your Quillmere library."_s));
}

Outcome SteamShortcuts::refreshGameProfiles(const QList<GameCompatibilityProfile> &profiles)
{
    removeUninstalledSteamGameShortcuts(profiles);
    QList<GameCompatibilityProfile> withAppID;
    std::copy_if(profiles.cbegin(), profiles.cend(), std::back_inserter(withAppID),
        [](const GameCompatibilityProfile &profile) { return profile.appID.has_value(); });
    return refreshPendingSteamGameInstalls(withAppID);
}

void SteamShortcuts::removeUninstalledSteamGameShortcuts(
    const QList<GameCompatibilityProfile> &catalog)
{
    const auto steam = steamEntry();
    if (!steam)
        return;
    const auto folders = SteamLibraryFolders::read(steam->prefixPath);
    QSet<QUuid> gone;
    for (const GameEntry &entry : m_library.entries()) {
        if (!isShortcutOf(entry, *steam))
            continue;
        const auto profile = std::find_if(catalog.cbegin(), catalog.cend(),
            [&](const GameCompatibilityProfile &p) { return p.appID == entry.arguments.at(1); });
        // A game that is not in the catalogue may be an entry the user made: it stays. So does
        // one on a drive that isn't mounted, behind a manifest that can't be read, or that Steam
        // is updating.
        if (profile != catalog.cend()
            && folders.presence(entry.arguments.at(1)) == SteamLibraryFolders::Presence::gone)
            gone.insert(entry.id);
    }
    if (!gone.isEmpty())
        m_library.removeAll(gone);
}
