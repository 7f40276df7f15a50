#include "ui/profiles/SteamGamesView.h"

#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/kit/Widgets.h"
#include "ui/profiles/GameGuideView.h"
#include "ui/profiles/ProfileGrid.h"
#include "ui/rules/PlatformWording.h"

#include "games/SteamShortcuts.h"
#include "library/LibraryModel.h"
#include "platform/DesktopServices.h"
#include "profiles/GameBrowser.h"
#include "profiles/GameProfileCatalogStore.h"
#include "profiles/GameProfileSearch.h"
#include "profiles/ProfileEndpoints.h"
#include "profiles/SteamGameCatalog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

SteamGamesView::SteamGamesView(LibraryModel &library, GameProfileCatalogStore &catalog,
    std::function<bool()> isWineReady, std::shared_ptr<DesktopServices> desktop, QWidget *parent)
    : QWidget(parent)
    , m_library(library)
    , m_catalog(catalog)
    , m_isWineReady(std::move(isWineReady))
    , m_desktop(std::move(desktop))
    , m_store(catalog.web())
{
    setObjectName(u"game-profiles-page"_s);
    setMinimumSize(560, 500);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());
    column->addWidget(makeDivider(this));
    auto *panes = new QHBoxLayout;
    panes->setSpacing(0);
    m_listPane = buildListPane();
    panes->addWidget(m_listPane);
    panes->addWidget(makeDivider(this, Qt::Vertical));
    m_guide = new GameGuideView(library, m_store, m_isWineReady, m_desktop, this);
    panes->addWidget(m_guide, 1);
    column->addLayout(panes, 1);

    connect(m_guide, &GameGuideView::storefrontPicked, this, [this](const QString &raw) {
        m_selectedStorefrontID = raw;
        updateGuide();
    });
    connect(
        m_guide, &GameGuideView::setUpStoreRequested, this, &SteamGamesView::setUpStoreRequested);
    for (auto signal : {&SteamGameStoreModel::gamesChanged, &SteamGameStoreModel::loadingIDsChanged,
             &SteamGameStoreModel::popularityRanksChanged})
        connect(&m_store, signal, this, &SteamGamesView::scheduleUpdate);
    connect(&m_catalog, &GameProfileCatalogStore::changed, this, &SteamGamesView::scheduleUpdate);
    const auto reorder = [this] { m_isIndexStale = true; };
    connect(&m_catalog, &GameProfileCatalogStore::changed, this, reorder);
    connect(&m_store, &SteamGameStoreModel::popularityRanksChanged, this, reorder);
    connect(&m_library, &LibraryModel::entriesChanged, this, &SteamGamesView::scheduleUpdate);
    connect(&m_library, &LibraryModel::runningIDsChanged, this, &SteamGamesView::scheduleUpdate);
    connect(
        qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                applicationActivated();
        });
    updateList();
}

SteamGamesView::~SteamGamesView() = default;

QWidget *SteamGamesView::buildHeader()
{
    auto *header = new QWidget(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(22, 18, 22, 16);
    row->setSpacing(12);
    auto *icon = new QWidget(header);
    icon->setFixedSize(48, 48);
    QColor wash = Theme::accent();
    wash.setAlphaF(0.10f);
    icon->setStyleSheet(u"background: %1; border-radius: 14px;"_s.arg(wash.name(QColor::HexArgb)));
    auto *iconLayout = new QVBoxLayout(icon);
    iconLayout->setContentsMargins(11, 11, 11, 11);
    iconLayout->addWidget(new SymbolView(u"gamecontroller.fill"_s, 26, Theme::accent(), icon));
    row->addWidget(icon, 0, Qt::AlignTop);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(makeLabel(PlatformWording::text(u"Mac Game Profiles"_s),
        Theme::TextStyle::title2, header, QFont::DemiBold));
    m_countLine = makeLabel(QString(), Theme::TextStyle::body, header, QFont::Normal, true);
    m_countLine->setObjectName(u"profileCountLine"_s);
    texts->addWidget(m_countLine);
    m_statusLine = new QLabel(header);
    m_statusLine->setObjectName(u"catalogStatusLine"_s);
    m_statusLine->setFont(Theme::font(Theme::TextStyle::caption));
    m_statusLine->setTextFormat(Qt::RichText);
    texts->addWidget(m_statusLine);
    row->addLayout(texts, 1);

    const QString host = m_catalog.web().endpoints.website.host();
    auto *directory = makeButton(u"Quillmere Game Directory"_s, u"arrow.up.right"_s, u"bordered"_s,
        u"gameDirectoryButton"_s, header);
    directory->setToolTip(u"Browse the game profiles on "_s + host);
    connect(directory, &QPushButton::clicked, this, [this] {
        const QUrl url = SteamGameCatalog::directoryURL(m_catalog.web().endpoints);
        if (m_desktop && !m_desktop->openUrl(url))
            m_library.setErrorMessage(DesktopServices::cannotOpen(url.toDisplayString()));
    });
    row->addWidget(directory, 0, Qt::AlignTop);
    return header;
}

QWidget *SteamGamesView::buildListPane()
{
    auto *pane = new QWidget(this);
    pane->setObjectName(u"profileListPane"_s);
    auto *column = new QVBoxLayout(pane);
    column->setContentsMargins(16, 16, 12, 0);
    column->setSpacing(13);
    auto *searchRow = new QHBoxLayout;
    searchRow->setSpacing(10);
    m_search = new QLineEdit(pane);
    m_search->setObjectName(u"searchField"_s);
    m_search->setPlaceholderText(u"Search games"_s);
    m_search->setAccessibleName(u"Search game profiles"_s);
    m_search->setClearButtonEnabled(true);
    m_search->addAction(
        Symbols::icon(u"magnifyingglass"_s, Theme::secondaryText()), QLineEdit::LeadingPosition);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_searchText = text;
        // Typing changes what is listed, not what the guide knows: it is rebuilt only when
        // the selected game changes.
        updateList(false);
    });
    searchRow->addWidget(m_search, 1);
    m_countCapsule = new Capsule(pane);
    m_countCapsule->setObjectName(u"visibleCount"_s);
    QFont digits = Theme::font(Theme::TextStyle::caption, QFont::DemiBold);
    digits.setStyleHint(QFont::Monospace);
    m_countCapsule->setLook({Theme::quaternaryLine(), Theme::secondaryText(), {}, digits, 8, 5});
    searchRow->addWidget(m_countCapsule);
    column->addLayout(searchRow);

    m_listStack = new QStackedWidget(pane);
    m_grid = new ProfileGrid(m_listStack);
    // The desktop's usual "no results" placeholder: a symbol, the search named, a hint.
    auto *empty = new QWidget(m_listStack);
    auto *emptyColumn = new QVBoxLayout(empty);
    emptyColumn->setAlignment(Qt::AlignCenter);
    emptyColumn->setSpacing(8);
    emptyColumn->addWidget(new SymbolView(u"magnifyingglass"_s, 40, Theme::secondaryText(), empty),
        0, Qt::AlignHCenter);
    m_noResults = makeLabel(QString(), Theme::TextStyle::title3, empty, QFont::DemiBold);
    m_noResults->setObjectName(u"noResults"_s);
    m_noResults->setAlignment(Qt::AlignCenter);
    m_noResults->setWordWrap(true);
    emptyColumn->addWidget(m_noResults);
    auto *hint = makeLabel(u"Check the spelling or try a new search."_s, Theme::TextStyle::body,
        empty, QFont::Normal, true);
    hint->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(hint);
    m_listStack->addWidget(m_grid);
    m_listStack->addWidget(empty);
    column->addWidget(m_listStack, 1);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex &current) {
            const QString id = current.data(ProfileGridModel::profileIDRole).toString();
            if (!id.isEmpty())
                selectGame(id);
        });
    return pane;
}

void SteamGamesView::scheduleUpdate()
{
    // Store data arrives six profiles at a time; draw once per turn of the event loop.
    if (m_updateScheduled)
        return;
    m_updateScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_updateScheduled = false;
        updateList();
    });
}

void SteamGamesView::updateList(bool rebuildGuide)
{
    // A page nobody sees is brought up to date when it is next shown (the window may open on
    // an entry and never show it).
    if (!isVisible()) {
        m_isStale = true;
        return;
    }
    m_isStale = false;
    const QList<GameCompatibilityProfile> &games = m_catalog.games();
    m_countLine->setText(GameBrowser::countLine(games.size()));
    const QString status = m_catalog.statusLine().toHtmlEscaped();
    const QString synced = u"Synced from "_s;
    m_statusLine->setText(m_catalog.isUsingWebsiteCatalog()
            ? u"<span style=\"color:%1\">%2</span><span style=\"color:%3\">%4</span>"_s.arg(
                Theme::secondaryText().name(), synced, Theme::accent().name(),
                status.mid(synced.size()))
            : u"<span style=\"color:%1\">%2</span>"_s.arg(Theme::secondaryText().name(), status));

    if (m_isIndexStale) {
        m_index
            = GameProfileSearch::Index(GameBrowser::sectionOrder(games, m_store.popularityRanks()));
        m_isIndexStale = false;
    }
    const auto sections = GameBrowser::sectionsInOrder(
        m_index.matching(m_searchText), m_store.games(), m_store.popularityRanks());
    m_visible = GameBrowser::visibleProfiles(sections);
    QStringList ids;
    ids.reserve(m_visible.size());
    for (const GameCompatibilityProfile &profile : std::as_const(m_visible))
        ids << profile.id;
    const bool visibleChanged = ids != m_visibleIDs;
    m_visibleIDs = ids;

    m_countCapsule->setText(QString::number(m_visible.size()));
    m_countCapsule->setAccessibleName(GameBrowser::countAccessibleLabel(m_visible.size()));
    m_noResults->setText(u"No Results for “"_s + m_searchText.trimmed() + u"”"_s);
    m_listStack->setCurrentIndex(m_visible.isEmpty() ? 1 : 0);
    // New store data redraws the cards where the reader is; a new list starts at its top.
    const int position = visibleChanged ? 0 : m_grid->verticalScrollBar()->value();
    m_grid->gridModel().setSections(
        sections, m_store.games(), m_store.popularityRanks(), m_store.loadingIDs());
    if (visibleChanged)
        selectGame(GameBrowser::selectionFollowingVisible(ids, m_selectedGameID));
    const QModelIndex current = m_grid->gridModel().indexOfProfile(m_selectedGameID);
    m_grid->setAutoScroll(false);
    m_grid->setCurrentIndex(current);
    m_grid->setAutoScroll(true);
    m_grid->verticalScrollBar()->setValue(position);
    // A new list (a search typed or cleared) still shows the selected card, wherever it is.
    if (visibleChanged && current.isValid())
        m_grid->scrollTo(current, QAbstractItemView::EnsureVisible);
    const auto selected = GameBrowser::selectedGame(m_visible, m_selectedGameID);
    if (rebuildGuide || (selected ? selected->id : QString()) != m_guideShownID)
        updateGuide();
}

void SteamGamesView::selectGame(const QString &id)
{
    if (id == m_selectedGameID)
        return;
    m_selectedGameID = id;
    m_selectedStorefrontID = GameBrowser::storefrontFollowingSelection(m_catalog.games(), id);
    ++m_installationStateRevision;
    m_grid->setCurrentIndex(m_grid->gridModel().indexOfProfile(id));
    updateGuide();
}

void SteamGamesView::updateGuide()
{
    const auto selected = GameBrowser::selectedGame(m_visible, m_selectedGameID);
    m_guideShownID = selected ? selected->id : QString();
    m_guide->showGuide(selected, m_selectedStorefrontID);
}

void SteamGamesView::applicationActivated()
{
    if (!isVisible())
        return;
    QList<GameCompatibilityProfile> withAppID;
    for (const GameCompatibilityProfile &profile : m_catalog.games()) {
        if (profile.appID)
            withAppID << profile;
    }
    m_library.present(SteamShortcuts(m_library).refreshPendingSteamGameInstalls(withAppID));
    ++m_installationStateRevision;
    updateGuide();
}

void SteamGamesView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The list is 420 wide where there is room, between 320 and 500, and the guide keeps at
    // least 380. A wider page gives the list what the guide's column cannot use, so more cards
    // fit in a row.
    const int available = width() - 380;
    const int guideRoom = 580;
    m_listPane->setFixedWidth(qMax(width() - guideRoom,
        qBound(320, qMax(420, width() * 42 / 100), qMax(320, qMin(500, available)))));
}

void SteamGamesView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_isStale)
        updateList();
    if (event->spontaneous())
        return; // the window coming back from the dock, not the page being opened
    // The task finishes on its own; it checks that the page still exists after each wait.
    refreshOnShow();
}

QCoro::Task<> SteamGamesView::refreshOnShow()
{
    QPointer<SteamGamesView> self(this);
    co_await m_catalog.load();
    if (!self)
        co_return;
    co_await m_store.load(m_catalog.games());
    if (!self)
        co_return;
    m_library.present(SteamShortcuts(m_library).refreshGameProfiles(m_catalog.games()));
    m_hasRefreshed = true;
    Q_EMIT refreshed();
}
