// LibraryModel's Steam game shortcuts: open a game's page in the Windows Steam client, wait for
// its install, and add a library entry that starts it through Steam.
#include "LibraryModel.h"

#include "library/SteamLibraryFolders.h"
#include "platform/Background.h"
#include "platform/UserDefaults.h"
#include "profiles/SteamGameCatalog.h"

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

QList<GameCompatibilityProfile> LibraryModel::catalog() const
{
    return m_context.catalog ? m_context.catalog() : SteamGameCatalog::games();
}

std::optional<GameEntry> LibraryModel::steamEntry() const
{
    for (const GameEntry &entry : m_entries) {
        if (entry.name.compare(u"Steam", Qt::CaseInsensitive) == 0
            && executableName(entry).compare(u"steam.exe", Qt::CaseInsensitive) == 0)
            return entry;
    }
    for (const GameEntry &entry : m_entries) {
        if (executableName(entry).compare(u"steam.exe", Qt::CaseInsensitive) == 0)
            return entry;
    }
    return std::nullopt;
}

std::optional<GameEntry> LibraryModel::steamGameEntry(const GameCompatibilityProfile &profile) const
{
    const auto steam = steamEntry();
    if (!profile.appID || !steam)
        return std::nullopt;
    for (const GameEntry &entry : m_entries) {
        if (isShortcutOf(entry, *steam) && entry.arguments.at(1) == *profile.appID)
            return entry;
    }
    return std::nullopt;
}

bool LibraryModel::isSteamGameInstalled(const GameCompatibilityProfile &profile) const
{
    const auto steam = steamEntry();
    return profile.appID && steam
        && SteamLibraryFolders::read(steam->prefixPath).isInstalled(*profile.appID);
}

QStringList LibraryModel::pendingSteamGameIDs() const
{
    QStringList ids = m_context.defaults->stringArray(QLatin1StringView(pendingSteamGamesKey));
    ids.removeDuplicates();
    ids.sort();
    return ids;
}

void LibraryModel::updatePendingSteamGameIDs(const std::function<void(QSet<QString> &)> &change)
{
    // Applied to the list as stored now: another process may have added to it meanwhile.
    m_context.defaults->updateStringArray(
        QLatin1StringView(pendingSteamGamesKey), [&change](const QStringList &stored) {
            QSet<QString> ids(stored.cbegin(), stored.cend());
            change(ids);
            QStringList sorted(ids.cbegin(), ids.cend());
            sorted.sort();
            return sorted;
        });
}

bool LibraryModel::isSteamGamePendingInstall(const GameCompatibilityProfile &profile) const
{
    return profile.appID && pendingSteamGameIDs().contains(*profile.appID);
}

GameEntry LibraryModel::makeSteamShortcut(
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

std::optional<GameEntry> LibraryModel::steamForGame(
    const GameCompatibilityProfile &profile, const QString &withoutSteam)
{
    if (!profile.appID) {
        setErrorMessage(noAppID);
        return std::nullopt;
    }
    auto steam = steamEntry();
    if (!steam)
        setErrorMessage(withoutSteam);
    return steam;
}

void LibraryModel::openSteamGamePage(const GameCompatibilityProfile &profile)
{
    const auto steam = steamForGame(
        profile, u"Install Steam from Wine Setup before opening Steam game pages."_s);
    if (!steam)
        return;
    if (isSteamGameInstalled(profile)) {
        addSteamGameShortcut(profile);
        return;
    }
    GameEntry page = *steam;
    page.id = QUuid::createUuid();
    page.name = u"Open "_s + profile.name + u" in Steam"_s;
    page.arguments = {u"steam://store/"_s + *profile.appID};
    QPointer<LibraryModel> self(this);
    const QUuid id = page.id;
    auto started = WineRuntime::start(page, logURL(page), [self, id](int) {
        Background::postToMainThread(self, [self, id] { self->m_processes.remove(id); });
    });
    if (!started) {
        setErrorMessage(u"Quillmere couldn't open Steam for "_s + profile.name + u":\n"_s
            + started.error().description());
        return;
    }
    m_processes.insert(id, *started);
    updatePendingSteamGameIDs([appID = *profile.appID](QSet<QString> &ids) { ids.insert(appID); });
    setNotice(u"Steam opened the page for "_s + profile.name
        + u". Check that this account has access to the edition, then start or continue its "
          u"install in "
          "Steam. Quillmere will add it after the install finishes."_s);
}

void LibraryModel::addSteamGameShortcut(const GameCompatibilityProfile &profile)
{
    const auto steam
        = steamForGame(profile, u"Install Steam from Wine Setup before adding a game shortcut."_s);
    if (!steam)
        return;
    if (!isSteamGameInstalled(profile)) {
        setErrorMessage(u"Steam hasn't finished installing "_s + profile.name
            + u" yet. Finish the download and let Steam verify the files first."_s);
        return;
    }
    if (const auto existing = steamGameEntry(profile)) {
        setSelectedID(existing->id);
        setNotice(profile.name + u" is already in your Quillmere library."_s);
        return;
    }
    add(makeSteamShortcut(*steam, profile));
    setNotice(u"Added "_s + profile.name + u" to your Quillmere library."_s);
}

void LibraryModel::refreshPendingSteamGameInstalls(const QList<GameCompatibilityProfile> &profiles)
{
    const QStringList stored = pendingSteamGameIDs();
    const QSet<QString> before(stored.cbegin(), stored.cend());
    QSet<QString> pending = before;
    QStringList finished;
    for (const GameCompatibilityProfile &profile : profiles) {
        if (!profile.appID || !pending.contains(*profile.appID) || !isSteamGameInstalled(profile))
            continue;
        const auto steam = steamEntry();
        if (steam && !steamGameEntry(profile))
            add(makeSteamShortcut(*steam, profile));
        pending.remove(*profile.appID);
        finished.append(profile.name);
    }
    if (pending != before) {
        const QSet<QString> done = before - pending;
        updatePendingSteamGameIDs([done](QSet<QString> &ids) { ids -= done; });
    }
    if (!finished.isEmpty()) {
        setNotice(finished.join(u", "_s)
            + (finished.size() == 1
                    ? u" finished installing and is ready in your Quillmere library."_s
                    : u" finished installing and are ready in your Quillmere library."_s));
    }
}

void LibraryModel::refreshGameProfiles(const QList<GameCompatibilityProfile> &profiles)
{
    removeUninstalledSteamGameShortcuts();
    QList<GameCompatibilityProfile> withAppID;
    std::copy_if(profiles.cbegin(), profiles.cend(), std::back_inserter(withAppID),
        [](const GameCompatibilityProfile &profile) { return profile.appID.has_value(); });
    refreshPendingSteamGameInstalls(withAppID);
}

void LibraryModel::removeUninstalledSteamGameShortcuts()
{
    const auto steam = steamEntry();
    if (!steam)
        return;
    const QList<GameCompatibilityProfile> profiles = catalog();
    const auto folders = SteamLibraryFolders::read(steam->prefixPath);
    QSet<QUuid> gone;
    for (const GameEntry &entry : m_entries) {
        if (!isShortcutOf(entry, *steam))
            continue;
        const auto profile = std::find_if(profiles.cbegin(), profiles.cend(),
            [&](const GameCompatibilityProfile &p) { return p.appID == entry.arguments.at(1); });
        // A game that is not in the catalogue may be an entry the user made: it stays. So does
        // one on a drive that isn't mounted, behind a manifest that can't be read, or that Steam
        // is updating.
        if (profile != profiles.cend()
            && folders.presence(entry.arguments.at(1)) == SteamLibraryFolders::Presence::gone)
            gone.insert(entry.id);
    }
    if (gone.isEmpty())
        return;
    QList<LibraryChange> removals;
    for (const GameEntry &entry : std::as_const(m_entries)) {
        if (gone.contains(entry.id))
            removals.append({LibraryChange::Kind::remove, entry});
    }
    m_entries.removeIf([&](const GameEntry &entry) { return gone.contains(entry.id); });
    Q_EMIT entriesChanged();
    if (gone.contains(m_selectedID))
        setSelectedID(m_entries.isEmpty() ? QUuid() : m_entries.first().id);
    commit(removals);
}
