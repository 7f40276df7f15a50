#include "ui/rules/WindowFlow.h"

#include "games/SteamShortcuts.h"
#include "library/LibraryModel.h"

using namespace Qt::StringLiterals;

WindowFlow::WindowFlow(
    LibraryModel &library, ReadinessCheck runtimeReadyForDirectLaunch, QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_runtimeReady(std::move(runtimeReadyForDirectLaunch))
{
    connect(&m_library, &LibraryModel::selectedIDChanged, this, &WindowFlow::followModelSelection);
}

void WindowFlow::setSelectedDestination(const LibraryDestination &destination)
{
    if (destination == m_destination)
        return;
    m_destination = destination;
    // Picking the profiles page leaves the model's selection where it was.
    if (!destination.isGames())
        m_library.setSelectedID(destination.id);
    Q_EMIT selectedDestinationChanged();
}

void WindowFlow::initializeDestination()
{
    if (m_didInitializeDestination)
        return;
    m_didInitializeDestination = true;
    const QUuid selected = m_library.selectedID();
    setSelectedDestination(
        selected.isNull() ? LibraryDestination::games() : LibraryDestination::app(selected));
}

void WindowFlow::followModelSelection()
{
    // While the profiles page is shown, the model's selection changes don't move the sidebar.
    if (m_destination.isGames())
        return;
    const QUuid selected = m_library.selectedID();
    setSelectedDestination(
        selected.isNull() ? LibraryDestination::games() : LibraryDestination::app(selected));
}

void WindowFlow::showRuntimeSetup()
{
    if (m_isShowingRuntimeSetup)
        return;
    m_isShowingRuntimeSetup = true;
    Q_EMIT runtimeSetupRequested();
}

Outcome WindowFlow::runExecutable(const QString &path)
{
    m_pendingExecutable = path;
    return launchPendingExecutableIfReady();
}

Outcome WindowFlow::launchPendingExecutableIfReady()
{
    if (m_pendingExecutable.isEmpty())
        return {};
    if (const auto runtime = m_runtimeReady()) {
        const QString path = std::exchange(m_pendingExecutable, QString());
        return m_library.launchExecutable(path, runtime->binaries());
    }
    showRuntimeSetup();
    return {};
}

void WindowFlow::setUpStore(const GameCompatibilityProfile &profile, GameStorefront storefront)
{
    m_pendingGameSetup = PendingGameSetup {profile, storefront};
    showRuntimeSetup();
}

void WindowFlow::resumeAfterSetup()
{
    m_isShowingRuntimeSetup = false;
    if (!m_pendingExecutable.isEmpty()) {
        const QString path = std::exchange(m_pendingExecutable, QString());
        // Closing the sheet without "Done" drops the program silently.
        if (std::exchange(m_shouldResumeExecutableAfterSetup, false)) {
            // A store install waiting on the same sheet still goes on below.
            if (const auto runtime = m_runtimeReady())
                m_library.launchExecutable(path, runtime->binaries());
            else
                m_library.setErrorMessage(wineNotReadyMessage());
        }
    }
    m_shouldResumeExecutableAfterSetup = false;
    if (!m_pendingGameSetup)
        return;
    const PendingGameSetup pending = *std::exchange(m_pendingGameSetup, std::nullopt);
    if (pending.storefront != GameStorefront::steam)
        m_library.setNotice(battleNetNotice());
    else if (SteamShortcuts steam(m_library); steam.steamEntry())
        m_library.present(steam.openSteamGamePage(pending.profile));
    else
        m_library.setNotice(steamMissingNotice());
}

void WindowFlow::steamAdded(const GameEntry &entry)
{
    for (const GameEntry &existing : m_library.entries()) {
        if (existing.prefixPath == entry.prefixPath
            && existing.executablePath == entry.executablePath) {
            m_library.setSelectedID(existing.id);
            m_library.setNotice(steamAlreadyAddedNotice());
            return;
        }
    }
    m_library.add(entry);
    m_library.setNotice(steamAddedNotice());
}

void WindowFlow::saveEntry(const GameEntry &entry, bool isEditing)
{
    if (isEditing)
        m_library.update(entry);
    else
        m_library.add(entry);
}

QString WindowFlow::wineNotReadyMessage()
{
    return u"Wine isn't ready yet. Finish the required steps in Wine Setup, then choose the .exe "
           "again."_s;
}

QString WindowFlow::battleNetNotice()
{
    return u"Wine is ready. Download the Battle.net PC installer, choose + → Run Windows .exe…, "
           "then edit its Quillmere entry to use Battle.net.exe in the same prefix."_s;
}

QString WindowFlow::steamMissingNotice()
{
    return u"Steam is not installed yet. Open Wine Setup, install Steam, and try this game "
           "again."_s;
}

QString WindowFlow::steamAlreadyAddedNotice()
{
    return u"Steam is already in your Quillmere library."_s;
}

QString WindowFlow::steamAddedNotice()
{
    return u"Steam was added. Sign in and install games from Steam."_s;
}
