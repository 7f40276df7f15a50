#include "ui/library/LibrarySidebar.h"

#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/library/ProgramIcons.h"
#include "ui/rules/LibraryPresentation.h"
#include "ui/rules/PlatformWording.h"

#include "library/LibraryList.h"
#include "library/LibraryModel.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QtMath>

using namespace Qt::StringLiterals;

namespace {

constexpr int rowIconSize = 20;

} // namespace

SidebarModel::SidebarModel(LibraryModel &library, QObject *parent)
    : QAbstractListModel(parent)
    , m_library(library)
{
    // The library's rows, below the headings: each change is announced before it is made.
    LibraryList *list = &library.list();
    connect(list, &LibraryList::rowsAboutToBeInserted, this, [this](auto, int first, int last) {
        beginInsertRows({}, entriesOffset + first, entriesOffset + last);
    });
    connect(list, &LibraryList::rowsInserted, this, [this] { endInsertRows(); });
    connect(list, &LibraryList::rowsAboutToBeRemoved, this, [this](auto, int first, int last) {
        beginRemoveRows({}, entriesOffset + first, entriesOffset + last);
    });
    connect(list, &LibraryList::rowsRemoved, this, [this] { endRemoveRows(); });
    connect(list, &LibraryList::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(list, &LibraryList::modelReset, this, [this] { endResetModel(); });
    connect(list, &LibraryList::dataChanged, this,
        [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
            Q_EMIT dataChanged(
                index(entriesOffset + topLeft.row()), index(entriesOffset + bottomRight.row()));
        });
    connect(&library, &LibraryModel::runningIDsChanged, this, [this] {
        if (rowCount() > entriesOffset)
            Q_EMIT dataChanged(index(entriesOffset), index(rowCount() - 1));
    });
    connect(&ProgramIcons::shared(), &ProgramIcons::iconChanged, this, [this](const QString &path) {
        const QList<GameEntry> &entries = m_library.entries();
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (entries.at(i).executablePath == path) {
                const QModelIndex changed = index(entriesOffset + int(i));
                Q_EMIT dataChanged(changed, changed, {iconPathRole});
            }
        }
    });
}

int SidebarModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : entriesOffset + static_cast<int>(m_library.entries().size());
}

QVariant SidebarModel::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    if (!index.isValid() || row >= rowCount())
        return {};
    const RowKind kind
        = row == 1 ? RowKind::games : (row == 0 || row == 2 ? RowKind::heading : RowKind::entry);
    if (role == kindRole)
        return static_cast<int>(kind);
    if (kind == RowKind::heading)
        return role == Qt::DisplayRole ? QVariant(row == 0 ? u"DISCOVER"_s : u"LIBRARY"_s)
                                       : QVariant();
    if (kind == RowKind::games) {
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return u"Game Profiles"_s;
        return {};
    }
    const GameEntry &entry = m_library.entries().at(row - entriesOffset);
    const bool running = m_library.isRunning(entry.id);
    switch (role) {
    case Qt::DisplayRole:
        return entry.name;
    case Qt::AccessibleTextRole:
        return QString(entry.name + u", "_s + LibraryPresentation::rowState(running));
    case entryIDRole:
        return entry.id;
    case runningRole:
        return running;
    case stateRole:
        return LibraryPresentation::rowState(running);
    case iconPathRole:
        return ProgramIcons::showsProgramIcon(entry) ? entry.executablePath : QString();
    case Qt::ToolTipRole:
        return entry.executablePath;
    default:
        return {};
    }
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex &index) const
{
    // Headings are neither chosen nor stepped on by the arrow keys.
    if (index.data(kindRole).toInt() == static_cast<int>(RowKind::heading))
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QModelIndex SidebarModel::indexFor(const LibraryDestination &destination) const
{
    if (destination.isGames())
        return index(1);
    const QList<GameEntry> &entries = m_library.entries();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i).id == destination.id)
            return index(entriesOffset + static_cast<int>(i));
    }
    return {};
}

std::optional<LibraryDestination> SidebarModel::destinationAt(const QModelIndex &index) const
{
    switch (static_cast<RowKind>(index.data(kindRole).toInt())) {
    case RowKind::games:
        return LibraryDestination::games();
    case RowKind::entry:
        return LibraryDestination::app(index.data(entryIDRole).toUuid());
    case RowKind::heading:
        break;
    }
    return std::nullopt;
}

QSize LibraryRow::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    switch (static_cast<SidebarModel::RowKind>(index.data(SidebarModel::kindRole).toInt())) {
    case SidebarModel::RowKind::heading:
        return {200, index.row() == 0 ? 30 : 40};
    case SidebarModel::RowKind::games:
        return {200, 34};
    case SidebarModel::RowKind::entry:
        break;
    }
    return {200, 46};
}

void LibraryRow::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const auto kind
        = static_cast<SidebarModel::RowKind>(index.data(SidebarModel::kindRole).toInt());
    const QRect box = option.rect.adjusted(10, 1, -10, -1);
    if (kind == SidebarModel::RowKind::heading) {
        painter->setFont(Theme::font(Theme::TextStyle::sectionHeader));
        painter->setPen(Theme::secondaryText());
        painter->drawText(box.adjusted(8, 0, 0, -6), Qt::AlignLeft | Qt::AlignBottom,
            index.data(Qt::DisplayRole).toString());
        painter->restore();
        return;
    }
    const bool selected = option.state & QStyle::State_Selected;
    const bool focused = option.state & QStyle::State_HasFocus;
    if (selected) {
        QColor fill = Theme::accent();
        if (!(option.state & QStyle::State_Active))
            fill = Theme::quaternaryLine();
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(box, 7, 7);
    } else if (option.state & QStyle::State_MouseOver) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(Theme::quaternaryFill());
        painter->drawRoundedRect(box, 7, 7);
    }
    Q_UNUSED(focused)
    const bool onAccent = selected && (option.state & QStyle::State_Active);
    const QColor text = onAccent ? QColor(Qt::white) : option.palette.color(QPalette::Text);
    const QRect iconFrame(box.left() + 6, box.top(), 26, box.height());
    if (kind == SidebarModel::RowKind::games) {
        Symbols::paint(*painter,
            QRectF(iconFrame.center().x() - 8.5, iconFrame.center().y() - 8.5, 17, 17),
            u"gamecontroller"_s, onAccent ? QColor(Qt::white) : Theme::accent());
        painter->setFont(Theme::font(Theme::TextStyle::body));
        painter->setPen(text);
        painter->drawText(box.adjusted(42, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter,
            index.data(Qt::DisplayRole).toString());
        painter->restore();
        return;
    }
    const bool running = index.data(SidebarModel::runningRole).toBool();
    const QString iconPath = index.data(SidebarModel::iconPathRole).toString();
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QImage icon = iconPath.isEmpty()
        ? QImage()
        : ProgramIcons::shared().icon(iconPath, qCeil(rowIconSize * ratio));
    const QPointF centre = iconFrame.center(); // where the games row puts its symbol
    if (!icon.isNull()) {
        const QSizeF size
            = icon.size().scaled(QSize(rowIconSize, rowIconSize), Qt::KeepAspectRatio);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(QRectF(centre - QPointF(size.width(), size.height()) / 2, size), icon);
    } else {
        const QColor symbolColor
            = onAccent ? QColor(Qt::white) : (running ? Theme::green() : Theme::accent());
        Symbols::paint(*painter, QRectF(centre - QPointF(8.5, 8.5), QSizeF(17, 17)),
            u"gamecontroller.fill"_s, symbolColor);
    }
    // Name above, state below, 3 points apart, as one block centred in the row.
    const QFont nameFont = Theme::font(Theme::TextStyle::body, QFont::Medium);
    const QFont stateFont = Theme::font(Theme::TextStyle::caption);
    const int nameHeight = QFontMetrics(nameFont).height();
    const int stateHeight = QFontMetrics(stateFont).height();
    const int top = box.top() + (box.height() - nameHeight - 3 - stateHeight) / 2;
    const QRect textBox(box.left() + 42, top, box.width() - 48, nameHeight);
    painter->setFont(nameFont);
    painter->setPen(text);
    painter->drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetrics(nameFont).elidedText(
            index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textBox.width()));
    painter->setFont(stateFont);
    QColor stateColor = running ? Theme::green() : Theme::secondaryText();
    if (onAccent)
        stateColor = QColor(255, 255, 255, 210);
    painter->setPen(stateColor);
    painter->drawText(QRect(textBox.left(), textBox.bottom() + 4, textBox.width(), stateHeight),
        Qt::AlignLeft | Qt::AlignVCenter, index.data(SidebarModel::stateRole).toString());
    painter->restore();
}

LibrarySidebar::LibrarySidebar(LibraryModel &library, QWidget *parent)
    : QListView(parent)
    , m_library(library)
    , m_model(library)
{
    setObjectName(u"sidebar"_s);
    setAccessibleName(u"Quillmere"_s);
    setModel(&m_model);
    setItemDelegate(new LibraryRow(this));
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    connect(
        selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { pickCurrent(); });
    connect(
        &m_model, &QAbstractItemModel::modelReset, this, [this] { setDestination(m_destination); });
}

void LibrarySidebar::pickCurrent()
{
    if (m_settingDestination)
        return;
    const auto destination = m_model.destinationAt(currentIndex());
    if (destination)
        Q_EMIT destinationPicked(*destination);
    else
        setDestination(m_destination); // headings can't be chosen
}

void LibrarySidebar::setDestination(const LibraryDestination &destination)
{
    // Refreshing the same destination (a new running state, a reloaded list) keeps the
    // reader's scroll position; a new one is scrolled into view.
    const bool moved = !(destination == m_destination);
    const int position = verticalScrollBar()->value();
    m_destination = destination;
    m_settingDestination = true;
    const QModelIndex index = m_model.indexFor(destination);
    if (index.isValid())
        setCurrentIndex(index);
    else
        clearSelection();
    if (moved && index.isValid())
        scrollTo(index);
    else
        verticalScrollBar()->setValue(position);
    m_settingDestination = false;
}

void LibrarySidebar::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = indexAt(event->pos());
    const auto destination = m_model.destinationAt(index);
    if (!destination || destination->isGames())
        return;
    const GameEntry *found = m_library.entry(destination->id);
    if (!found)
        return;
    const GameEntry entry = *found;
    auto *menu = new QMenu(this);
    menu->setObjectName(u"entryContextMenu"_s);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *edit
        = menu->addAction(Symbols::icon(u"slider.horizontal.3"_s, palette().color(QPalette::Text)),
            u"Edit Settings…"_s, this, [this, entry] { Q_EMIT editRequested(entry); });
    edit->setObjectName(u"editEntryAction"_s);
    edit->setEnabled(!m_library.isRunning(entry.id));
    menu->addAction(Symbols::icon(u"folder"_s, palette().color(QPalette::Text)),
            PlatformWording::text(u"Show in Finder"_s), this,
            [this, entry] { Q_EMIT revealRequested(entry); })
        ->setObjectName(u"revealEntryAction"_s);
    if (!PlatformWording::isMac() && m_library.shortcuts().isEnabled()) {
        const bool inMenu = m_library.shortcuts().has(entry.id);
        menu->addAction(Symbols::icon(LibraryPresentation::menuShortcutSymbol(inMenu),
                            palette().color(QPalette::Text)),
                LibraryPresentation::menuShortcutAction(inMenu), this,
                [this, entry] { Q_EMIT menuShortcutRequested(entry); })
            ->setObjectName(u"menuShortcutEntryAction"_s);
    }
    menu->addSeparator();
    menu->addAction(Symbols::icon(u"minus.circle"_s, Theme::red()), u"Remove from Library…"_s, this,
            [this, entry] { Q_EMIT removeRequested(entry); })
        ->setObjectName(u"removeEntryAction"_s);
    menu->popup(event->globalPos());
}

void LibrarySidebar::paintEvent(QPaintEvent *event)
{
    {
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), Theme::sidebarBackground());
    }
    QListView::paintEvent(event);
}
