#pragma once

#include "library/GameEntry.h"
#include "profiles/GameCompatibilityProfile.h"

#include <QCoroTask>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class Capsule;
class GameProfileCatalogStore;
class PathCard;
class QAction;
class QLabel;
class QMessageBox;
class QPushButton;
class QToolButton;
class SteamArtworkView;
class SteamGameStoreModel;

// The selected library entry: a hero with its artwork and primary action, the files it runs
// from, and the less frequent actions. It only asks; the window carries out every request.
class GameDetailView : public QWidget
{
    Q_OBJECT

public:
    explicit GameDetailView(GameProfileCatalogStore &catalog, QWidget *parent = nullptr);
    ~GameDetailView() override;

    // Called on every change; the artwork is looked up again only for another entry or name.
    // `isLaunchable`: Launch is offered even while running (a prefix other entries share).
    void setEntry(const GameEntry &entry, bool isRunning, bool isLaunchable = false);
    const GameEntry &entry() const { return m_entry; }
    bool isRunning() const { return m_isRunning; }
    // Hidden when empty.
    void setPlayLine(const QString &text);
    // The prefix's size on its card (empty: not known yet); `deletable` offers deleting it.
    void setPrefixStorage(const QString &size, bool deletable);

    // Asked as the "…" menu opens: whether the entry is in the applications menu, or nothing
    // where there is none (the action is hidden then).
    void setMenuShortcutQuery(std::function<std::optional<bool>(const QUuid &)> query)
    {
        m_menuShortcutQuery = std::move(query);
    }

    SteamGameStoreModel &artworkStore() { return *m_store; }
    SteamArtworkView *artworkView() const { return m_artwork; }
    const std::optional<GameCompatibilityProfile> &matchedProfile() const { return m_profile; }

Q_SIGNALS:
    void launchRequested();
    void stopRequested();
    void editRequested();
    void openLogRequested();
    void showFilesRequested();
    void showPrefixRequested();
    void removeRequested();
    void deleteRequested();
    void menuShortcutRequested();

private:
    QWidget *buildHero();
    QWidget *buildEnvironment();
    QWidget *buildActions();
    QWidget *buildStorageNote();
    void rematch(bool entryChanged);
    void refreshArtwork();
    void refreshRunning();
    void confirmStop();

    GameProfileCatalogStore &m_catalog;
    SteamGameStoreModel *m_store;
    GameEntry m_entry;
    bool m_hasEntry = false;
    bool m_isRunning = false;
    QAction *m_deleteAction = nullptr;
    QAction *m_menuShortcutAction = nullptr;
    std::function<std::optional<bool>(const QUuid &)> m_menuShortcutQuery;
    QLabel *m_played = nullptr;
    bool m_isLaunchable = true;
    std::optional<GameCompatibilityProfile> m_profile;
    // Dropping a running load leaves it to finish on its own; the model guards itself.
    QCoro::Task<> m_loading;

    SteamArtworkView *m_artwork = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_subtitle = nullptr;
    Capsule *m_status = nullptr;
    QPushButton *m_launch = nullptr;
    QPushButton *m_stop = nullptr;
    PathCard *m_executableCard = nullptr;
    PathCard *m_runtimeCard = nullptr;
    PathCard *m_prefixCard = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_openLog = nullptr;
    QToolButton *m_more = nullptr;
    QPointer<QMessageBox> m_stopConfirmation;
};
