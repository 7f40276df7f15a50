#include "ui/profiles/GameGuideView.h"

#include "ui/kit/ImageLoader.h"
#include "ui/kit/SteamArtworkView.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/kit/Widgets.h"
#include "ui/rules/PlatformWording.h"

#include "games/GameGuide.h"
#include "library/LibraryModel.h"
#include "platform/DesktopServices.h"
#include "profiles/GameBrowser.h"
#include "profiles/SteamGameStoreModel.h"

#include <QApplication>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLabel *wrapping(QLabel *label)
{
    label->setWordWrap(true);
    return label;
}

} // namespace

CatalogBadge::CatalogBadge(const QString &text, const QString &symbol, QWidget *parent)
    : QWidget(parent)
    , m_text(text)
    , m_symbol(symbol)
{
    setFont(Theme::font(Theme::TextStyle::caption, QFont::Medium));
    setAccessibleName(text);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize CatalogBadge::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(m_text) + 18 + 16, metrics.height() + 12};
}

void CatalogBadge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::quaternaryLine());
    painter.drawRoundedRect(box, box.height() / 2, box.height() / 2);
    const QColor text = palette().color(QPalette::WindowText);
    Symbols::paint(painter, QRectF(9, (height() - 12) / 2.0, 12, 12), m_symbol, text);
    painter.setPen(text);
    painter.drawText(rect().adjusted(9 + 16, 0, -9, 0), Qt::AlignLeft | Qt::AlignVCenter, m_text);
}

GuideStepRow::GuideStepRow(int number, const QString &title, const QString &detail, bool isComplete,
    bool isLast, QWidget *parent)
    : QWidget(parent)
    , m_number(number)
    , m_isComplete(isComplete)
    , m_isLast(isLast)
{
    setObjectName(u"guideStep%1"_s.arg(number));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(38, 3, 0, isLast ? 0 : 8);
    layout->setSpacing(3);
    layout->addWidget(makeLabel(title, Theme::TextStyle::subheadline, this, QFont::DemiBold));
    layout->addWidget(
        wrapping(makeLabel(detail, Theme::TextStyle::caption, this, QFont::Normal, true)));
    layout->addStretch();
    setAccessibleName(u"Step %1, %2, %3%4"_s.arg(number).arg(
        title, detail, isComplete ? u", complete"_s : QString()));
    setMinimumHeight(isLast ? 28 : 57);
}

void GuideStepRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(0, 0, 26, 26);
    QColor fill = m_isComplete ? Theme::green() : Theme::accent();
    fill.setAlphaF(m_isComplete ? 0.14f : 0.11f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(circle);
    if (m_isComplete) {
        Symbols::paint(painter, circle.adjusted(7, 7, -7, -7), u"checkmark"_s, Theme::green());
    } else {
        painter.setFont(Theme::font(Theme::TextStyle::caption, QFont::DemiBold));
        painter.setPen(Theme::accent());
        painter.drawText(circle, Qt::AlignCenter, QString::number(m_number));
    }
    if (!m_isLast)
        painter.fillRect(QRectF(12.5, 26, 1, height() - 26), Theme::quaternaryLine());
}

GameGuideView::GameGuideView(LibraryModel &library, SteamGameStoreModel &store,
    std::function<bool()> isWineReady, std::shared_ptr<DesktopServices> desktop, QWidget *parent)
    : QWidget(parent)
    , m_library(library)
    , m_store(store)
    , m_isWineReady(std::move(isWineReady))
    , m_desktop(std::move(desktop))
    , m_scroll(new QScrollArea(this))
    , m_empty(new QWidget(this))
{
    setObjectName(u"guidePane"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_scroll);

    m_empty->setObjectName(u"guideEmptyState"_s);
    auto *empty = new QVBoxLayout(m_empty);
    empty->setAlignment(Qt::AlignCenter);
    empty->setSpacing(8);
    empty->addWidget(new SymbolView(u"magnifyingglass"_s, 40, Theme::secondaryText(), m_empty), 0,
        Qt::AlignHCenter);
    auto *title
        = makeLabel(u"No games found"_s, Theme::TextStyle::title3, m_empty, QFont::DemiBold);
    title->setAlignment(Qt::AlignCenter);
    empty->addWidget(title);
    auto *hint = makeLabel(
        u"Try a different search."_s, Theme::TextStyle::body, m_empty, QFont::Normal, true);
    hint->setAlignment(Qt::AlignCenter);
    empty->addWidget(hint);
    layout->addWidget(m_empty);
    m_empty->hide();
}

void GameGuideView::showGuide(
    const std::optional<GameCompatibilityProfile> &profile, const QString &selectedStorefrontID)
{
    m_profile = profile;
    m_storefrontID = selectedStorefrontID;
    m_empty->setVisible(!profile);
    m_scroll->setVisible(profile.has_value());
    if (!profile)
        return;
    // Rebuilt whole on every change; keep the reader where they were.
    const int position = m_scroll->verticalScrollBar()->value();
    const GameStorefront storefront
        = GameBrowser::selectedStorefront(*profile, selectedStorefrontID);
    QWidget *old = m_scroll->takeWidget();
    // Keyboard focus inside the old content moves to its namesake in the new one.
    QString focused;
    if (old && old->isAncestorOf(QApplication::focusWidget()))
        focused = QApplication::focusWidget()->objectName();
    if (old)
        old->deleteLater();
    m_scroll->setWidget(buildGuide(*profile, storefront));
    m_scroll->verticalScrollBar()->setValue(position);
    if (!focused.isEmpty()) {
        if (QWidget *again = m_scroll->widget()->findChild<QWidget *>(focused))
            again->setFocus();
    }
}

void GameGuideView::openUrl(const QUrl &url)
{
    if (m_desktop && !m_desktop->openUrl(url))
        m_library.setErrorMessage(DesktopServices::cannotOpen(url.toDisplayString()));
}
