#include "ui/profiles/ProfileGrid.h"

#include "ui/kit/ImageLoader.h"
#include "ui/kit/SteamArtworkView.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QScrollBar>

using namespace Qt::StringLiterals;

namespace {

constexpr int minimumColumn = 145;
constexpr int maximumColumn = 220;
constexpr int gap = 12;
constexpr int headingHeight = 50;
constexpr int subtitleTop = 26; // from the heading's top

QFont countFont()
{
    QFont font = Theme::font(Theme::TextStyle::caption, QFont::DemiBold);
    font.setStyleHint(QFont::Monospace);
    return font;
}

// Where a heading's count capsule and texts go; the subtitle wraps in the text's width.
struct HeadingLayout
{
    QRectF capsule;
    QRect text;
    QString count;
};

HeadingLayout headingLayout(const QRect &rect, const QModelIndex &index)
{
    HeadingLayout layout;
    layout.count = QString::number(index.data(ProfileGridModel::countRole).toInt());
    const QFontMetrics countMetrics(countFont());
    const int countWidth = countMetrics.horizontalAdvance(layout.count) + 14;
    layout.capsule = QRectF(
        rect.right() - countWidth - 2, rect.top() + 12, countWidth, countMetrics.height() + 8);
    layout.text = QRect(
        rect.left() + 37, rect.top() + 6, rect.width() - 37 - countWidth - 10, rect.height() - 6);
    return layout;
}

int subtitleHeight(const QString &subtitle, int width)
{
    return QFontMetrics(Theme::font(Theme::TextStyle::caption))
        .boundingRect(QRect(0, 0, qMax(1, width), 10000), Qt::TextWordWrap, subtitle)
        .height();
}

} // namespace

void ProfileGridModel::setSections(const QList<GameBrowser::SteamGameSection> &sections,
    const QHash<QString, SteamStoreGameData> &storeGames, const QHash<QString, int> &ranks,
    const QSet<QString> &loadingIDs)
{
    QList<Row> rows;
    for (const GameBrowser::SteamGameSection &section : sections) {
        Row heading;
        heading.isHeading = true;
        heading.id = section.id;
        heading.title = section.title;
        heading.subtitle = section.subtitle;
        heading.symbol = section.symbol;
        heading.count = static_cast<int>(section.games.size());
        rows << heading;
        for (const GameCompatibilityProfile &profile : section.games) {
            Row card;
            card.id = profile.id;
            card.title = GameBrowser::displayTitle(profile, storeGames);
            card.subtitle = profile.genre;
            card.symbol = profile.symbol;
            card.tag = GameBrowser::cardTag(profile, storeGames, ranks);
            const auto data = storeGames.constFind(profile.id);
            if (data != storeGames.constEnd() && data->headerImage)
                card.image = *data->headerImage;
            card.isLoading = loadingIDs.contains(profile.id);
            card.accessibleLabel = GameBrowser::cardAccessibleLabel(profile, storeGames);
            rows << card;
        }
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int ProfileGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant ProfileGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case kindRole:
        return row.isHeading ? 0 : 1;
    case Qt::DisplayRole:
        return row.title;
    case Qt::AccessibleTextRole:
        return row.isHeading
            ? QString(row.title + u", "_s + QString::number(row.count) + u" games"_s)
            : row.accessibleLabel;
    case profileIDRole:
        return row.isHeading ? QString() : row.id;
    case sectionIDRole:
        return row.isHeading ? row.id : QString();
    case subtitleRole:
    case genreRole: // a card's genre line is its subtitle
        return row.subtitle;
    case symbolRole:
        return row.symbol;
    case countRole:
        return row.count;
    case tagRole:
        return row.tag;
    case imageRole:
        return row.image;
    case loadingRole:
        return row.isLoading;
    default:
        return {};
    }
}

Qt::ItemFlags ProfileGridModel::flags(const QModelIndex &index) const
{
    if (index.data(kindRole).toInt() == 0)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QModelIndex ProfileGridModel::indexOfProfile(const QString &id) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (!m_rows.at(i).isHeading && m_rows.at(i).id == id)
            return index(static_cast<int>(i));
    }
    return {};
}

ProfileCardDelegate::ProfileCardDelegate(QListView *view)
    : QStyledItemDelegate(view)
    , m_view(view)
{
}

int ProfileCardDelegate::cardWidth(int viewportWidth)
{
    // The list view keeps `gap` free at both ends of a row and puts it after each card.
    const int available = viewportWidth - 2 * gap - 1;
    const int columns = qMax(1, available / (minimumColumn + gap));
    return qBound(minimumColumn, available / columns - gap, maximumColumn);
}

int ProfileCardDelegate::cardHeight(int width)
{
    return qRound(width * 215.0 / 460.0) + 74;
}

QSize ProfileCardDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const int viewportWidth = m_view->viewport()->width();
    if (index.data(ProfileGridModel::kindRole).toInt() == 0) {
        const QRect rect(0, 0, qMax(100, viewportWidth - 2 * gap - 1), headingHeight);
        const int textWidth = headingLayout(rect, index).text.width();
        const int subtitle
            = subtitleHeight(index.data(ProfileGridModel::subtitleRole).toString(), textWidth);
        return {rect.width(), qMax(headingHeight, subtitleTop + subtitle + 8)};
    }
    const int width = cardWidth(viewportWidth);
    return {width, cardHeight(width)};
}

void ProfileCardDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (index.data(ProfileGridModel::kindRole).toInt() == 0)
        paintHeading(painter, option.rect, index);
    else
        paintCard(painter, option, index);
    painter->restore();
}

void ProfileCardDelegate::paintHeading(
    QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    const bool unsupported
        = index.data(ProfileGridModel::sectionIDRole).toString() == u"unsupported"_s;
    const QColor tint = unsupported ? QColor(0xf0, 0x8a, 0x24) : Theme::accent();
    const QRectF square(rect.left(), rect.top() + 8, 27, 27);
    QColor wash = tint;
    wash.setAlphaF(0.12f);
    painter->setPen(Qt::NoPen);
    painter->setBrush(wash);
    painter->drawRoundedRect(square, 7, 7);
    Symbols::paint(*painter, square.adjusted(7, 7, -7, -7),
        index.data(ProfileGridModel::symbolRole).toString(), tint);

    const HeadingLayout layout = headingLayout(rect, index);
    const QRect &text = layout.text;
    const QFont titleFont = Theme::font(Theme::TextStyle::subheadline, QFont::DemiBold);
    painter->setPen(m_view->palette().color(QPalette::Text));
    painter->setFont(titleFont);
    painter->drawText(QRect(text.left(), text.top(), text.width(), 18),
        Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
    painter->setFont(Theme::font(Theme::TextStyle::caption));
    painter->setPen(Theme::secondaryText());
    painter->drawText(text.adjusted(0, subtitleTop - 6, 0, 0),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
        index.data(ProfileGridModel::subtitleRole).toString());

    QColor capsuleFill = Theme::quaternaryLine();
    painter->setPen(Qt::NoPen);
    painter->setBrush(capsuleFill);
    painter->drawRoundedRect(
        layout.capsule, layout.capsule.height() / 2, layout.capsule.height() / 2);
    painter->setFont(countFont());
    painter->setPen(Theme::secondaryText());
    painter->drawText(layout.capsule, Qt::AlignCenter, layout.count);
}

const QImage *ProfileCardDelegate::artwork(const QUrl &url) const
{
    if (!url.isValid())
        return nullptr;
    if (const auto image = ImageLoader::shared().cached(url)) {
        m_scratch = *image;
        return m_scratch.isNull() ? nullptr : &m_scratch;
    }
    // Only cards on screen are painted, so only they fetch; each address is asked for once.
    if (!m_requested.contains(url)) {
        m_requested.insert(url);
        QListView *view = m_view;
        QSet<QUrl> *requested = &m_requested;
        // Once delivered, the image may later leave the memory cache; then it is asked for
        // again (from the disk cache). A failure is remembered by the loader.
        ImageLoader::shared().load(url, view, [view, requested, url](const QImage &image) {
            if (!image.isNull())
                requested->remove(url);
            view->viewport()->update();
        });
    }
    return nullptr;
}

void ProfileCardDelegate::paintCard(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    const QRectF card = QRectF(option.rect).adjusted(1, 1, -1, -3);
    // Shadow: a soft band below the card, stronger when selected.
    for (int i = 1; i <= 3; ++i) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0, 0, 0, selected ? 10 : 4));
        painter->drawRoundedRect(card.adjusted(-i + 1, i + 1, i - 1, i + 1), 13 + i, 13 + i);
    }
    QPainterPath shape;
    shape.addRoundedRect(card, 13, 13);
    painter->fillPath(shape, Theme::cardBackground());

    const qreal artHeight = card.width() * 215.0 / 460.0;
    const QRectF art(card.left(), card.top(), card.width(), artHeight);
    painter->save();
    painter->setClipPath(shape);
    SteamArtworkView::paint(*painter, art, artwork(index.data(ProfileGridModel::imageRole).toUrl()),
        index.data(ProfileGridModel::symbolRole).toString(), 0);
    painter->restore();
    if (index.data(ProfileGridModel::loadingRole).toBool()) {
        // Still asking Steam: a small white arc in the bottom-trailing corner.
        const QRectF spinner(art.right() - 9 - 12, art.bottom() - 9 - 12, 12, 12);
        painter->setPen(QPen(QColor(255, 255, 255, 220), 1.8, Qt::SolidLine, Qt::RoundCap));
        painter->setBrush(Qt::NoBrush);
        painter->drawArc(spinner, 90 * 16, -270 * 16);
    }

    // The tag at the artwork's top-leading corner.
    QFont tagFont = Theme::font(Theme::TextStyle::caption, QFont::Bold);
    tagFont.setPixelSize(9);
    tagFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    const QString tag = index.data(ProfileGridModel::tagRole).toString();
    const QFontMetrics tagMetrics(tagFont);
    const QRectF tagBox(art.left() + 9, art.top() + 9, tagMetrics.horizontalAdvance(tag) + 16,
        tagMetrics.height() + 8);
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor(0, 0, 0, 148));
    painter->drawRoundedRect(tagBox, tagBox.height() / 2, tagBox.height() / 2);
    painter->setFont(tagFont);
    painter->setPen(Qt::white);
    painter->drawText(tagBox, Qt::AlignCenter, tag);

    const QRectF text = QRectF(card.left() + 10, art.bottom() + 9, card.width() - 20, 60);
    const QFont titleFont = Theme::font(Theme::TextStyle::subheadline, QFont::DemiBold);
    const QFont genreFont = Theme::font(Theme::TextStyle::caption);
    const QFont linkFont = Theme::font(Theme::TextStyle::caption, QFont::Medium);
    painter->setFont(titleFont);
    painter->setPen(m_view->palette().color(QPalette::Text));
    painter->drawText(QRectF(text.left(), text.top(), text.width(), 18),
        Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetrics(titleFont).elidedText(
            index.data(Qt::DisplayRole).toString(), Qt::ElideRight, qRound(text.width())));
    painter->setFont(genreFont);
    painter->setPen(Theme::secondaryText());
    painter->drawText(QRectF(text.left(), text.top() + 19, text.width(), 15),
        Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetrics(genreFont).elidedText(index.data(ProfileGridModel::genreRole).toString(),
            Qt::ElideRight, qRound(text.width())));
    const QColor link = selected ? Theme::accent() : Theme::secondaryText();
    Symbols::paint(
        *painter, QRectF(text.left(), text.top() + 39, 12, 12), u"arrow.up.right.circle"_s, link);
    painter->setFont(linkFont);
    painter->setPen(link);
    painter->drawText(QRectF(text.left() + 17, text.top() + 37, text.width() - 17, 16),
        Qt::AlignLeft | Qt::AlignVCenter, u"View install guide"_s);

    // The border along the inside of the card.
    QColor border = selected ? Theme::accent() : m_view->palette().color(QPalette::Text);
    border.setAlphaF(selected ? 0.9f : 0.08f);
    const qreal width = selected ? 2.0 : 1.0;
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(border, width));
    painter->drawRoundedRect(card.adjusted(width / 2, width / 2, -width / 2, -width / 2),
        13 - width / 2, 13 - width / 2);
    if (option.state & QStyle::State_HasFocus && m_view->hasFocus()) {
        QColor focus = Theme::accent();
        focus.setAlphaF(0.35f);
        painter->setPen(QPen(focus, 3));
        painter->drawRoundedRect(card.adjusted(-1.5, -1.5, 1.5, 1.5), 14.5, 14.5);
    }
}

ProfileGrid::ProfileGrid(QWidget *parent)
    : QListView(parent)
{
    setObjectName(u"profileGrid"_s);
    setAccessibleName(u"Game profiles"_s);
    setModel(&m_model);
    setItemDelegate(new ProfileCardDelegate(this));
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setDragEnabled(false);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setLayoutMode(QListView::Batched);
    setBatchSize(200);
    setSpacing(spacing);
    setUniformItemSizes(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(24);
    setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(u"QListView { background: transparent; }"_s);
}

void ProfileGrid::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    // Cards are sized from the width, so a new column width means a new layout.
    const int width = ProfileCardDelegate::cardWidth(viewport()->width());
    if (width != m_lastCardWidth) {
        m_lastCardWidth = width;
        scheduleDelayedItemsLayout();
    }
}
