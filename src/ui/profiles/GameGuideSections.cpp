// The guide pane's sections, built fresh each time the pane is shown.
#include "ui/profiles/GameGuideView.h"

#include "ui/kit/SteamArtworkView.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/kit/Widgets.h"
#include "ui/rules/PlatformWording.h"

#include "games/GameGuide.h"
#include "games/SteamShortcuts.h"
#include "library/LibraryModel.h"
#include "profiles/GameBrowser.h"
#include "profiles/SteamGameStoreModel.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLabel *wrapped(QLabel *label)
{
    label->setWordWrap(true);
    return label;
}

// Small white capsule text over artwork or a card header.
QLabel *tagLabel(const QString &text, QWidget *parent, bool onDark)
{
    auto *tag = new QLabel(text, parent);
    QFont font = Theme::font(Theme::TextStyle::caption, QFont::Bold);
    font.setPixelSize(9);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.65);
    tag->setFont(font);
    tag->setContentsMargins(8, 4, 8, 4);
    tag->setStyleSheet(onDark
            ? u"QLabel { color: white; background: rgba(0,0,0,0.6); border-radius: 9px; }"_s
            : u"QLabel { color: %1; background: %2; border-radius: 8px; }"_s.arg(
                Theme::accent().name(), Theme::quaternaryLine().name(QColor::HexArgb)));
    tag->adjustSize();
    return tag;
}

} // namespace

QWidget *GameGuideView::buildGuide(
    const GameCompatibilityProfile &profile, GameStorefront storefront)
{
    auto *page = new QWidget;
    page->setObjectName(u"guideContent"_s);
    auto *outer = new QHBoxLayout(page);
    outer->setContentsMargins(22, 22, 22, 22);
    auto *holder = new QWidget(page);
    holder->setMaximumWidth(520);
    outer->addWidget(holder, 1);
    outer->addStretch(0);
    auto *column = new QVBoxLayout(holder);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);

    const QString title = GameBrowser::displayTitle(profile, m_store.games());
    column->addWidget(buildOverview(profile, storefront, title, holder));

    if (profile.storefronts.size() >= 2) {
        auto *picker = new QWidget(holder);
        auto *pickerColumn = new QVBoxLayout(picker);
        pickerColumn->setContentsMargins(0, 0, 0, 0);
        pickerColumn->setSpacing(6);
        pickerColumn->addWidget(makeLabel(
            u"Choose your store"_s, Theme::TextStyle::caption, picker, QFont::DemiBold, true));
        auto *segments = new QWidget(picker);
        segments->setObjectName(u"storePicker"_s);
        segments->setAccessibleName(u"Choose store for "_s + profile.name);
        auto *row = new QHBoxLayout(segments);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        auto *group = new QButtonGroup(segments);
        for (GameStorefront option : profile.storefronts) {
            auto *segment = new QPushButton(Storefronts::displayName(option), segments);
            segment->setObjectName(u"storefront-"_s + Storefronts::rawValue(option));
            segment->setCheckable(true);
            segment->setChecked(option == storefront);
            setButtonKind(segment, option == storefront ? u"prominent"_s : u"bordered"_s);
            group->addButton(segment);
            row->addWidget(segment, 1);
            connect(segment, &QPushButton::clicked, this,
                [this, raw = Storefronts::rawValue(option)] { Q_EMIT storefrontPicked(raw); });
        }
        pickerColumn->addWidget(segments);
        column->addWidget(picker);
    }

    column->addWidget(buildProfileCard(profile, holder));

    auto *note = makeLabel(
        GameGuide::compatibilityNote(), Theme::TextStyle::footnote, nullptr, QFont::Normal, true);
    auto *noteRow = new QWidget(holder);
    auto *noteLayout = new QHBoxLayout(noteRow);
    noteLayout->setContentsMargins(0, 0, 0, 0);
    noteLayout->setSpacing(8);
    noteLayout->addWidget(
        new SymbolView(u"info.circle.fill"_s, 14, Theme::secondaryText(), noteRow), 0,
        Qt::AlignTop);
    noteLayout->addWidget(wrapped(note), 1);
    column->addWidget(noteRow);

    // Read once per build: the steps and the action must agree on the machine's state.
    const GameGuide::InstallFacts facts
        = GameGuide::installFacts(SteamShortcuts(m_library), profile, m_isWineReady());
    column->addWidget(buildSteps(profile, storefront, title, facts, holder));

    const GameGuide::PrimaryAction action
        = GameGuide::primaryAction(profile, storefront, facts, title);
    auto *actionBlock = new QWidget(holder);
    auto *actionColumn = new QVBoxLayout(actionBlock);
    actionColumn->setContentsMargins(0, 0, 0, 0);
    actionColumn->setSpacing(8);
    auto *button = makeButton(
        action.title, action.symbol, u"prominent"_s, u"guideActionButton"_s, actionBlock);
    button->setProperty("kind", u"prominent"_s);
    button->setMinimumHeight(38);
    actionColumn->addWidget(button);
    if (!action.caption.isEmpty()) {
        auto *caption = wrapped(
            makeLabel(action.caption, Theme::TextStyle::caption, actionBlock, QFont::Normal, true));
        caption->setObjectName(u"guideActionCaption"_s);
        actionColumn->addWidget(caption);
    }
    connect(button, &QPushButton::clicked, this, [this, profile, action] {
        using Kind = GameGuide::PrimaryAction::Kind;
        switch (action.kind) {
        case Kind::setUpStore:
            Q_EMIT setUpStoreRequested(profile, action.storefront);
            break;
        case Kind::openBattleNetDownload:
        case Kind::openStorePage:
            openUrl(action.url);
            break;
        case Kind::openSteamPage:
            m_library.present(SteamShortcuts(m_library).openSteamGamePage(profile));
            break;
        case Kind::addShortcut:
            m_library.present(SteamShortcuts(m_library).addSteamGameShortcut(profile));
            break;
        case Kind::launchShortcut:
            if (const auto entry = SteamShortcuts(m_library).steamGameEntry(profile))
                m_library.launch(*entry);
            break;
        }
    });
    column->addWidget(actionBlock);

    auto *source = new QPushButton(u"Read the RuraZiZur setup guide"_s, holder);
    source->setObjectName(u"guideSourceLink"_s);
    source->setProperty("kind", u"link"_s);
    source->setIcon(Symbols::icon(u"arrow.up.right"_s, Theme::accent()));
    source->setFont(Theme::font(Theme::TextStyle::caption, QFont::Medium));
    source->setToolTip(u"Open RuraZiZur’s public guide for this game"_s);
    source->setCursor(Qt::PointingHandCursor);
    connect(source, &QPushButton::clicked, this, [this, url = profile.guideURL] { openUrl(url); });
    column->addWidget(source, 0, Qt::AlignLeft);
    column->addStretch();
    return page;
}

QWidget *GameGuideView::buildOverview(const GameCompatibilityProfile &profile,
    GameStorefront storefront, const QString &title, QWidget *parent)
{
    auto *overview = new QWidget(parent);
    auto *column = new QVBoxLayout(overview);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    auto *artwork = new SteamArtworkView(overview);
    artwork->setObjectName(u"guideArtwork"_s);
    artwork->setFixedHeight(180);
    artwork->setCornerRadius(15);
    const auto data = m_store.games().constFind(profile.id);
    std::optional<QUrl> image;
    if (data != m_store.games().constEnd())
        image = data->headerImage;
    artwork->setArtwork(image, profile.symbol, m_store.loadingIDs().contains(profile.id));
    auto *badgeLayer = new QVBoxLayout(artwork);
    badgeLayer->setContentsMargins(12, 12, 12, 12);
    badgeLayer->addStretch();
    badgeLayer->addWidget(tagLabel(GameGuide::artworkBadge(profile), artwork, true), 0,
        Qt::AlignLeft | Qt::AlignBottom);
    column->addWidget(artwork);

    auto *titleRow = new QHBoxLayout;
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto *heading = wrapped(makeLabel(title, Theme::TextStyle::title2, overview, QFont::Bold));
    heading->setObjectName(u"guideTitle"_s);
    texts->addWidget(heading);
    texts->addWidget(
        makeLabel(profile.edition, Theme::TextStyle::subheadline, overview, QFont::Medium, true));
    auto *genre = makeLabel(profile.genre, Theme::TextStyle::caption, overview);
    QColor tertiary = Theme::secondaryText();
    tertiary.setAlphaF(0.75f);
    Theme::setTextColor(genre, tertiary);
    texts->addWidget(genre);
    titleRow->addLayout(texts, 1);
    auto *store = new QToolButton(overview);
    store->setObjectName(u"storePageButton"_s);
    store->setProperty("kind", u"borderless"_s);
    store->setIcon(Symbols::icon(u"arrow.up.right.square"_s, Theme::accent()));
    store->setIconSize(QSize(20, 20));
    store->setToolTip(GameGuide::storeButtonToolTip(storefront));
    store->setAccessibleName(GameGuide::storeButtonAccessibleLabel(profile, storefront));
    store->setCursor(Qt::PointingHandCursor);
    connect(store, &QToolButton::clicked, this,
        [this, url = profile.storePageURL(storefront)] { openUrl(url); });
    titleRow->addWidget(store, 0, Qt::AlignTop);
    column->addLayout(titleRow);

    auto *badges = new QHBoxLayout;
    badges->setSpacing(8);
    for (GameGuide::Badge badge : GameGuide::catalogBadges(profile, storefront)) {
        if (badge.text == u"macOS "_s + profile.minimumMacOS)
            badge.text = PlatformWording::systemRequirement(profile.minimumMacOS);
        badges->addWidget(new CatalogBadge(badge.text, badge.symbol, overview));
    }
    badges->addStretch();
    column->addLayout(badges);
    column->addWidget(wrapped(
        makeLabel(profile.summary, Theme::TextStyle::callout, overview, QFont::Normal, true)));
    column->addSpacing(15);
    column->addWidget(makeDivider(overview));
    return overview;
}

QWidget *GameGuideView::buildProfileCard(const GameCompatibilityProfile &profile, QWidget *parent)
{
    auto *card = new Card(parent, 14);
    card->setObjectName(u"compatibilityCard"_s);
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(15, 15, 15, 15);
    column->setSpacing(12);
    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    auto *icon = new Card(card, 8, Card::Fill::quaternary);
    icon->setFixedSize(30, 30);
    auto *iconLayout = new QVBoxLayout(icon);
    iconLayout->setContentsMargins(7, 7, 7, 7);
    iconLayout->addWidget(new SymbolView(u"laptopcomputer"_s, 16, Theme::accent(), icon));
    header->addWidget(icon);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(1);
    titles->addWidget(makeLabel(
        u"Compatibility profile"_s, Theme::TextStyle::subheadline, card, QFont::DemiBold));
    titles->addWidget(makeLabel(
        u"Requirements and play modes"_s, Theme::TextStyle::caption, card, QFont::Normal, true));
    header->addLayout(titles, 1);
    header->addWidget(tagLabel(u"RURAZIZUR"_s, card, false), 0, Qt::AlignTop);
    column->addLayout(header);

    for (GameGuide::CompatibilityFact fact : GameGuide::compatibilityFacts(profile)) {
        // The Apple-specific rows mean nothing on Linux; the system row says what it needs.
        if (!PlatformWording::isMac()) {
            if (fact.symbol == u"cpu"_s)
                continue;
            if (fact.value == u"macOS "_s + profile.minimumMacOS)
                fact.value = PlatformWording::systemRequirement(profile.minimumMacOS);
        }
        auto *row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(
            new SymbolView(fact.symbol, 15, Theme::secondaryText(), card), 0, Qt::AlignTop);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(1);
        texts->addWidget(
            makeLabel(fact.title, Theme::TextStyle::caption, card, QFont::Normal, true));
        texts->addWidget(wrapped(makeLabel(fact.value, Theme::TextStyle::subheadline, card)));
        row->addLayout(texts, 1);
        column->addLayout(row);
    }
    auto addList = [&](const QString &heading, const QStringList &items, const QString &symbol,
                       const QColor &color) {
        if (items.isEmpty())
            return;
        column->addWidget(makeLabel(heading, Theme::TextStyle::subheadline, card, QFont::DemiBold));
        for (const QString &item : items) {
            auto *row = new QHBoxLayout;
            row->setSpacing(8);
            row->addWidget(new SymbolView(symbol, 13, color, card), 0, Qt::AlignTop);
            row->addWidget(wrapped(makeLabel(item, Theme::TextStyle::footnote, card)), 1);
            column->addLayout(row);
        }
    };
    addList(u"Before you install"_s, profile.setupNotes, u"checkmark.circle"_s, Theme::green());
    addList(u"Known limits"_s, profile.limitations, u"exclamationmark.circle.fill"_s,
        QColor(0xf0, 0x8a, 0x24));
    return card;
}

QWidget *GameGuideView::buildSteps(const GameCompatibilityProfile &profile,
    GameStorefront storefront, const QString &title, const GameGuide::InstallFacts &facts,
    QWidget *parent)
{
    auto *card = new Card(parent, 14);
    card->setObjectName(u"installGuide"_s);
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(15, 15, 15, 15);
    column->setSpacing(0);
    auto *heading = new QHBoxLayout;
    heading->addWidget(makeLabel(u"Your install guide"_s, Theme::TextStyle::headline, card));
    heading->addStretch();
    auto *count = makeLabel(u"4 STEPS"_s, Theme::TextStyle::caption, card, QFont::Bold, true);
    QFont countFont = count->font();
    countFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.7);
    count->setFont(countFont);
    heading->addWidget(count);
    column->addLayout(heading);
    column->addSpacing(12);
    for (const GameGuide::GuideStep &step : GameGuide::steps(profile, storefront, facts, title))
        column->addWidget(new GuideStepRow(
            step.number, step.title, step.detail, step.isComplete, step.isLast, card));
    return card;
}
