#include "ui/library/GameDetailView.h"

#include "ui/kit/SteamArtworkView.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Widgets.h"
#include "ui/library/PathCard.h"
#include "ui/library/ProgramIcons.h"
#include "ui/rules/LibraryPresentation.h"
#include "ui/rules/PlatformWording.h"

#include "profiles/GameProfileCatalogStore.h"
#include "profiles/SteamGameStoreModel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtMath>

using namespace Qt::StringLiterals;

namespace {

constexpr int heroHeight = 280;
constexpr int heroRadius = 22;

QLabel *whiteLabel(const QString &text, const QFont &font, qreal opacity, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    Theme::setTextColor(label, QColor::fromRgbF(1, 1, 1, float(opacity)));
    return label;
}

} // namespace

GameDetailView::GameDetailView(GameProfileCatalogStore &catalog, QWidget *parent)
    : QWidget(parent)
    , m_catalog(catalog)
    , m_store(new SteamGameStoreModel(catalog.web(), this))
{
    setAutoFillBackground(true);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(u"detailScroll"_s);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    // The column stops growing at 1120 and the page centres it.
    auto *page = new QWidget;
    auto *column = new QWidget(page);
    column->setMaximumWidth(1120);
    auto *centring = new QHBoxLayout(page);
    centring->setContentsMargins(0, 0, 0, 0);
    centring->addStretch(0);
    centring->addWidget(column, 1);
    centring->addStretch(0);
    scroll->setWidget(page);

    auto *content = new QVBoxLayout(column);
    content->setContentsMargins(28, 28, 28, 28);
    content->setSpacing(24);
    content->addWidget(buildHero());
    content->addWidget(buildEnvironment());
    content->addWidget(buildActions());
    content->addWidget(buildStorageNote());
    content->addStretch(1);

    // Return is bound on the button; the keypad's Enter does the same.
    auto *enter = new QShortcut(QKeySequence(Qt::Key_Enter), this);
    connect(enter, &QShortcut::activated, this, [this] {
        if (m_hasEntry && m_isLaunchable)
            Q_EMIT launchRequested();
    });

    connect(m_store, &SteamGameStoreModel::gamesChanged, this, &GameDetailView::refreshArtwork);
    connect(
        m_store, &SteamGameStoreModel::loadingIDsChanged, this, &GameDetailView::refreshArtwork);
    connect(&m_catalog, &GameProfileCatalogStore::changed, this, [this] {
        if (m_hasEntry)
            rematch(false);
    });
    connect(&ProgramIcons::shared(), &ProgramIcons::iconChanged, this, [this](const QString &path) {
        if (m_hasEntry && path == m_entry.executablePath)
            refreshArtwork();
    });
    refreshRunning();
}

GameDetailView::~GameDetailView() = default;

QWidget *GameDetailView::buildHero()
{
    m_artwork = new SteamArtworkView;
    m_artwork->setObjectName(u"heroArtwork"_s);
    m_artwork->setFixedHeight(heroHeight);
    m_artwork->setCornerRadius(heroRadius);
    // Darker at the top and bottom so the white texts stay readable on any image.
    m_artwork->setShade({{0, 0.42}, {0.48, 0.06}, {1, 0.82}}, QColor::fromRgbF(1, 1, 1, 0.16f));
    auto *layout = new QVBoxLayout(m_artwork);
    layout->setContentsMargins(28, 22, 28, 24);
    layout->setSpacing(6);
    auto *top = new QHBoxLayout;
    QFont eyebrowFont = Theme::font(Theme::TextStyle::caption, QFont::Bold);
    eyebrowFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    top->addWidget(whiteLabel(u"WINE LIBRARY"_s, eyebrowFont, 0.8, m_artwork), 0, Qt::AlignTop);
    top->addStretch(1);
    m_launch
        = makeButton(u"Launch"_s, u"play.fill"_s, u"prominent"_s, u"launchButton"_s, m_artwork);
    m_launch->setShortcut(QKeySequence(Qt::Key_Return));
    connect(m_launch, &QPushButton::clicked, this, [this] {
        if (m_hasEntry && m_isLaunchable)
            Q_EMIT launchRequested();
    });
    m_stop
        = makeButton(u"Stop Wine"_s, u"stop.fill"_s, u"destructive"_s, u"stopButton"_s, m_artwork);
    connect(m_stop, &QPushButton::clicked, this, &GameDetailView::confirmStop);
    top->addWidget(m_launch, 0, Qt::AlignTop);
    top->addWidget(m_stop, 0, Qt::AlignTop);
    layout->addLayout(top);
    layout->addStretch(1);

    m_title = whiteLabel(
        QString(), Theme::font(Theme::TextStyle::largeTitle, QFont::Bold), 1, m_artwork);
    m_title->setObjectName(u"heroTitle"_s);
    m_title->setWordWrap(true);
    m_subtitle = whiteLabel(
        QString(), Theme::font(Theme::TextStyle::subheadline, QFont::Medium), 0.72, m_artwork);
    m_subtitle->setObjectName(u"heroSubtitle"_s);
    m_status = new Capsule(m_artwork);
    m_status->setObjectName(u"statusCapsule"_s);
    m_played = whiteLabel(
        QString(), Theme::font(Theme::TextStyle::subheadline, QFont::Medium), 0.86, m_artwork);
    m_played->setObjectName(u"playedLine"_s);
    m_played->hide();
    auto *state = new QHBoxLayout;
    state->setSpacing(12);
    state->addWidget(m_status, 0, Qt::AlignVCenter);
    state->addWidget(m_played, 0, Qt::AlignVCenter);
    state->addStretch(1);
    layout->addWidget(m_title);
    layout->addWidget(m_subtitle);
    layout->addSpacing(8);
    layout->addLayout(state);
    return m_artwork;
}

QWidget *GameDetailView::buildEnvironment()
{
    auto *section = new QWidget;
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(
        makeLabel(u"Wine environment"_s, Theme::TextStyle::title3, section, QFont::DemiBold));
    layout->addWidget(makeLabel(u"The files Quillmere uses to run this entry."_s,
        Theme::TextStyle::subheadline, section, QFont::Normal, true));
    layout->addSpacing(10);

    auto card = [section](const QString &title, const QString &icon, const QString &name,
                    std::function<void()> action) {
        auto *card = new PathCard(title, QString(), icon, std::move(action), section);
        card->setObjectName(name);
        return card;
    };
    m_executableCard = card(u"Windows app"_s, u"app.dashed"_s, u"executableCard"_s,
        [this] { Q_EMIT showFilesRequested(); });
    m_runtimeCard = card(u"Wine runtime"_s, u"wineglass"_s, u"runtimeCard"_s, {});
    m_prefixCard = card(u"Wine prefix"_s, u"shippingbox"_s, u"prefixCard"_s,
        [this] { Q_EMIT showPrefixRequested(); });
    auto *grid = new QGridLayout;
    grid->setSpacing(14);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->addWidget(m_executableCard, 0, 0);
    grid->addWidget(m_runtimeCard, 0, 1);
    grid->addWidget(m_prefixCard, 1, 0);
    layout->addLayout(grid);
    return section;
}

QWidget *GameDetailView::buildActions()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    m_edit = makeButton(
        u"Edit Settings"_s, u"slider.horizontal.3"_s, u"bordered"_s, u"editButton"_s, row);
    connect(m_edit, &QPushButton::clicked, this, &GameDetailView::editRequested);
    m_openLog
        = makeButton(u"Open Last Log"_s, u"doc.text"_s, u"bordered"_s, u"openLogButton"_s, row);
    connect(m_openLog, &QPushButton::clicked, this, &GameDetailView::openLogRequested);
    m_more = new QToolButton(row);
    m_more->setObjectName(u"moreButton"_s);
    m_more->setProperty("kind", u"borderless"_s);
    m_more->setToolTip(u"More actions"_s);
    m_more->setAccessibleName(u"More actions"_s);
    m_more->setPopupMode(QToolButton::InstantPopup);
    m_more->setFixedSize(32, 28);
    m_more->setIconSize(QSize(18, 18));
    const QColor text = palette().color(QPalette::WindowText);
    m_more->setIcon(Symbols::icon(u"ellipsis"_s, text));
    auto *menu = new QMenu(m_more);
    menu->setObjectName(u"moreMenu"_s);
    // The two actions that end something read in red, like the alert's button.
    auto add = [this, menu, text](const QString &label, const QString &symbol, const QString &name,
                   auto signal, bool destructive = false) {
        QAction *action = menu->addAction(
            Symbols::icon(symbol, destructive ? Theme::red() : text), PlatformWording::text(label));
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, signal);
    };
    add(u"Show Game File in Finder"_s, u"folder"_s, u"showFilesAction"_s,
        &GameDetailView::showFilesRequested);
    add(u"Show Wine Prefix in Finder"_s, u"shippingbox"_s, u"showPrefixAction"_s,
        &GameDetailView::showPrefixRequested);
    add(LibraryPresentation::menuShortcutAction(false), u"plus.app"_s, u"menuShortcutAction"_s,
        &GameDetailView::menuShortcutRequested);
    m_menuShortcutAction = menu->actions().constLast();
    m_menuShortcutAction->setVisible(false);
    connect(menu, &QMenu::aboutToShow, this, [this] {
        const std::optional<bool> inMenu
            = m_menuShortcutQuery ? m_menuShortcutQuery(m_entry.id) : std::nullopt;
        m_menuShortcutAction->setVisible(inMenu.has_value());
        m_menuShortcutAction->setText(
            LibraryPresentation::menuShortcutAction(inMenu.value_or(false)));
        m_menuShortcutAction->setIcon(
            Symbols::icon(LibraryPresentation::menuShortcutSymbol(inMenu.value_or(false)),
                palette().color(QPalette::WindowText)));
    });
    menu->addSeparator();
    add(u"Stop Wine Apps Using This Prefix"_s, u"stop.fill"_s, u"stopPrefixAction"_s,
        &GameDetailView::confirmStop, true);
    menu->addSeparator();
    add(u"Remove from Library…"_s, u"minus.circle"_s, u"removeAction"_s,
        &GameDetailView::removeRequested, true);
    add(u"Remove Entry and Delete Prefix…"_s, u"trash"_s, u"deletePrefixAction"_s,
        &GameDetailView::deleteRequested, true);
    m_deleteAction = menu->actions().constLast();
    m_deleteAction->setVisible(false);
    m_more->setMenu(menu);

    layout->addWidget(m_edit);
    layout->addWidget(m_openLog);
    layout->addWidget(m_more);
    layout->addStretch(1);
    return row;
}

QWidget *GameDetailView::buildStorageNote()
{
    auto *note = new Card(nullptr, 10, Card::Fill::quaternary);
    note->setObjectName(u"storageNote"_s);
    auto *layout = new QHBoxLayout(note);
    layout->setContentsMargins(14, 11, 14, 11);
    layout->setSpacing(9);
    auto *symbol = new SymbolView(u"info.circle.fill"_s, 14, Theme::secondaryText(), note);
    auto *text = makeLabel(PlatformWording::text(u"Quillmere keeps these files in your Library. "
                                                 "Removing this entry does not delete them."_s),
        Theme::TextStyle::footnote, note, QFont::Normal, true);
    text->setWordWrap(true);
    layout->addWidget(symbol, 0, Qt::AlignTop);
    layout->addWidget(text, 1);
    return note;
}

void GameDetailView::setEntry(const GameEntry &entry, bool isRunning, bool isLaunchable)
{
    const bool entryChanged = !m_hasEntry || entry.id != m_entry.id || entry.name != m_entry.name;
    const bool fileChanged = !m_hasEntry || entry.executablePath != m_entry.executablePath;
    m_entry = entry;
    m_hasEntry = true;
    m_isRunning = isRunning;
    m_isLaunchable = !isRunning || isLaunchable;
    m_title->setText(entry.name);
    m_artwork->setToolTip(entry.name);
    m_executableCard->setPath(entry.executablePath);
    m_runtimeCard->setPath(entry.winePath);
    m_prefixCard->setPath(entry.prefixPath);
    // Showing an entry again looks whether its program was replaced since.
    if (entryChanged || fileChanged)
        ProgramIcons::shared().refresh(entry.executablePath);
    if (entryChanged)
        rematch(true);
    else if (fileChanged)
        refreshArtwork();
    refreshRunning();
}

void GameDetailView::rematch(bool entryChanged)
{
    const std::optional<GameCompatibilityProfile> previous = m_profile;
    m_profile = LibraryPresentation::matchedProfile(m_entry.name, m_catalog.games());
    m_subtitle->setText(LibraryPresentation::detailSubtitle(m_profile));
    // A catalogue refresh that keeps the same game needs no second trip to the store.
    const bool sameProfile = previous && m_profile && previous->id == m_profile->id;
    if (m_profile && (entryChanged || !sameProfile))
        m_loading = m_store->load({*m_profile});
    refreshArtwork();
}

void GameDetailView::refreshArtwork()
{
    // Without artwork from the store, the program's own icon stands in for the symbol.
    m_artwork->setEmblem(ProgramIcons::showsProgramIcon(m_entry)
            ? ProgramIcons::shared().icon(
                m_entry.executablePath, qCeil(SteamArtworkView::emblemSize * devicePixelRatioF()))
            : QImage());
    if (!m_profile) {
        m_artwork->setArtwork(std::nullopt, u"gamecontroller.fill"_s, false);
        return;
    }
    std::optional<QUrl> url;
    const auto data = m_store->games().constFind(m_profile->id);
    if (data != m_store->games().constEnd())
        url = data->headerImage;
    m_artwork->setArtwork(url, m_profile->symbol, m_store->loadingIDs().contains(m_profile->id));
}

void GameDetailView::setPrefixStorage(const QString &size, bool deletable)
{
    m_prefixCard->setDetail(size);
    m_deleteAction->setVisible(deletable);
    m_deleteAction->setEnabled(deletable && !m_isRunning && !size.isEmpty());
}

void GameDetailView::setPlayLine(const QString &text)
{
    m_played->setText(text);
    m_played->setVisible(!text.isEmpty());
}

void GameDetailView::refreshRunning()
{
    m_launch->setVisible(m_isLaunchable);
    m_stop->setVisible(m_isRunning);
    m_edit->setEnabled(!m_isRunning);
    Capsule::Look look;
    look.background = QColor::fromRgbF(1, 1, 1, 0.18f);
    look.foreground = Qt::white;
    look.symbolColor = m_isRunning ? Theme::green() : QColor(Qt::white);
    look.font = Theme::font(Theme::TextStyle::callout, QFont::DemiBold);
    look.horizontalMargin = 12;
    look.verticalMargin = 6;
    m_status->setLook(look);
    m_status->setText(LibraryPresentation::statusText(m_isRunning));
    m_status->setSymbol(LibraryPresentation::statusSymbol(m_isRunning));
}

void GameDetailView::confirmStop()
{
    if (m_stopConfirmation) {
        m_stopConfirmation->raise();
        return;
    }
    auto *alert = new QMessageBox(this);
    alert->setObjectName(u"stopConfirmation"_s);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    styleAlert(alert);
    alert->setWindowTitle(u"Stop this Wine session?"_s);
    alert->setText(u"Stop this Wine session?"_s);
    alert->setInformativeText(
        u"This sends wineserver -k to the selected prefix. It closes all Wine "
        "apps using this same prefix, including Steam if it is running there."_s);
    QPushButton *stop = alert->addButton(u"Stop Wine"_s, QMessageBox::DestructiveRole);
    stop->setObjectName(u"confirmStopButton"_s);
    setButtonKind(stop, u"destructive"_s);
    QPushButton *cancel = alert->addButton(u"Cancel"_s, QMessageBox::RejectRole);
    cancel->setObjectName(u"cancelStopButton"_s);
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    connect(alert, &QMessageBox::buttonClicked, this, [this, stop](QAbstractButton *button) {
        if (button == stop)
            Q_EMIT stopRequested();
    });
    m_stopConfirmation = alert;
    alert->open();
}
