#pragma once

#include "library/GameEntry.h"
#include "library/Outcome.h"
#include "profiles/GameCompatibilityProfile.h"
#include "setup/DetectedWineRuntime.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class LibraryModel;

// What the sidebar has selected: the game profiles page or one library entry.
struct LibraryDestination
{
    enum class Kind { games, app };
    Kind kind = Kind::games;
    QUuid id; // for `app`

    static LibraryDestination games() { return {}; }
    static LibraryDestination app(const QUuid &id) { return {Kind::app, id}; }
    bool isGames() const { return kind == Kind::games; }
    bool operator==(const LibraryDestination &) const = default;
};

// A profile's install that waits for the Wine setup sheet to close.
struct PendingGameSetup
{
    GameCompatibilityProfile profile;
    GameStorefront storefront = GameStorefront::steam;
};

// The main window's rules without its widgets: the sidebar destination and how it follows the
// model's selection, running a chosen or dropped program once Wine is ready, and what happens
// when the Wine setup sheet closes. The window shows what this asks for; tests drive it alone.
class WindowFlow : public QObject
{
    Q_OBJECT

public:
    using ReadinessCheck = std::function<std::optional<DetectedWineRuntime>()>;

    WindowFlow(LibraryModel &library, ReadinessCheck runtimeReadyForDirectLaunch,
        QObject *parent = nullptr);

    LibraryModel &library() const { return m_library; }

    LibraryDestination selectedDestination() const { return m_destination; }
    void setSelectedDestination(const LibraryDestination &destination);
    // The first appearance picks the model's selected entry, else the profiles page.
    void initializeDestination();

    // The runtime a program would run with now, or none while Wine isn't ready.
    std::optional<DetectedWineRuntime> readyRuntime() const { return m_runtimeReady(); }

    bool isShowingRuntimeSetup() const { return m_isShowingRuntimeSetup; }
    void showRuntimeSetup();

    // A chosen or dropped file: runs now when Wine is ready, otherwise opens Wine setup. Returns
    // what was decided at once (quiet while it is prepared or waits for setup).
    Outcome runExecutable(const QString &path);
    Outcome launchPendingExecutableIfReady();
    QString pendingExecutable() const { return m_pendingExecutable; }

    // The profiles browser asks for Wine setup before a store's install.
    void setUpStore(const GameCompatibilityProfile &profile, GameStorefront storefront);
    const std::optional<PendingGameSetup> &pendingGameSetup() const { return m_pendingGameSetup; }

    // The setup sheet's "Done"; its closing in any way; and a Steam install it finished.
    void setupDone() { m_shouldResumeExecutableAfterSetup = true; }
    void resumeAfterSetup();
    void steamAdded(const GameEntry &entry);

    // The editor's result: an update when an entry was being edited, else an addition.
    void saveEntry(const GameEntry &entry, bool isEditing);

    static QString wineNotReadyMessage();
    static QString battleNetNotice();
    static QString steamMissingNotice();
    static QString steamAlreadyAddedNotice();
    static QString steamAddedNotice();

Q_SIGNALS:
    void selectedDestinationChanged();
    void runtimeSetupRequested();

private:
    void followModelSelection();

    LibraryModel &m_library;
    ReadinessCheck m_runtimeReady;
    LibraryDestination m_destination;
    bool m_didInitializeDestination = false;
    bool m_isShowingRuntimeSetup = false;
    QString m_pendingExecutable;
    std::optional<PendingGameSetup> m_pendingGameSetup;
    bool m_shouldResumeExecutableAfterSetup = false;
};
