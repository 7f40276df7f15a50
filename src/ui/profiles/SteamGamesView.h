#pragma once

#include "profiles/GameCompatibilityProfile.h"
#include "profiles/GameProfileSearch.h"
#include "profiles/SteamGameStoreModel.h"

#include <QWidget>

#include <functional>
#include <memory>

class Capsule;
class DesktopServices;
class GameGuideView;
class GameProfileCatalogStore;
class LibraryModel;
class ProfileGrid;
class QLabel;
class QLineEdit;
class QStackedWidget;

// The game profiles page: the searchable, sectioned card grid on the left and the selected
// game's install guide on the right.
class SteamGamesView : public QWidget
{
    Q_OBJECT

public:
    SteamGamesView(LibraryModel &library, GameProfileCatalogStore &catalog,
        std::function<bool()> isWineReady, std::shared_ptr<DesktopServices> desktop,
        QWidget *parent = nullptr);
    ~SteamGamesView() override;

    SteamGameStoreModel &store() { return m_store; }
    QString selectedGameID() const { return m_selectedGameID; }
    QString selectedStorefrontID() const { return m_selectedStorefrontID; }
    int installationStateRevision() const { return m_installationStateRevision; }
    const ProfileSelection &visibleProfiles() const { return m_visible; }
    // What a card's press does.
    void selectGame(const QString &id);
    // Done once the page's refresh after showing has finished (tests and screenshots wait).
    bool hasRefreshed() const { return m_hasRefreshed; }

Q_SIGNALS:
    void setUpStoreRequested(const GameCompatibilityProfile &profile, GameStorefront storefront);
    void refreshed();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *buildHeader();
    QWidget *buildListPane();
    void scheduleUpdate();
    void updateList(bool rebuildGuide = true);
    void updateGuide();
    void applicationActivated();
    QCoro::Task<> refreshOnShow();

    LibraryModel &m_library;
    GameProfileCatalogStore &m_catalog;
    std::function<bool()> m_isWineReady;
    std::shared_ptr<DesktopServices> m_desktop;
    SteamGameStoreModel m_store;

    QString m_searchText;
    QString m_selectedGameID = QStringLiteral("counter-strike-2");
    QString m_selectedStorefrontID = QStringLiteral("steam");
    int m_installationStateRevision = 0;
    ProfileSelection m_visible;
    // The catalogue in section order with its texts folded: rebuilt when the catalogue or the
    // chart changes, so a keystroke only filters.
    GameProfileSearch::Index m_index;
    bool m_isIndexStale = true;
    QStringList m_visibleIDs;
    QString m_guideShownID; // empty: the guide's empty state
    bool m_updateScheduled = false;
    bool m_isStale = true; // the list and guide wait for the page to be shown
    bool m_hasRefreshed = false;

    QWidget *m_listPane = nullptr;
    QLabel *m_countLine = nullptr;
    QLabel *m_statusLine = nullptr;
    QLineEdit *m_search = nullptr;
    Capsule *m_countCapsule = nullptr;
    QStackedWidget *m_listStack = nullptr;
    QLabel *m_noResults = nullptr;
    ProfileGrid *m_grid = nullptr;
    GameGuideView *m_guide = nullptr;
};
