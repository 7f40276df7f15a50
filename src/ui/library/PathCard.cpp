#include "ui/library/PathCard.h"

#include "ui/kit/Symbols.h"
#include "ui/rules/PlatformWording.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

MiddleElidedLabel::MiddleElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void MiddleElidedLabel::setFullText(const QString &text)
{
    m_fullText = text;
    setToolTip(text);
    setAccessibleName(text);
    elide();
    updateGeometry();
}

QSize MiddleElidedLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(m_fullText), fontMetrics().height()};
}

QSize MiddleElidedLabel::minimumSizeHint() const
{
    return {40, fontMetrics().height()};
}

void MiddleElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void MiddleElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        elide();
}

void MiddleElidedLabel::elide()
{
    const QString shown = fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, width());
    if (shown != text())
        setText(shown);
}

PathCard::PathCard(const QString &title, const QString &path, const QString &icon,
    std::function<void()> action, QWidget *parent)
    : Card(parent, 14, Card::Fill::card)
    , m_symbol(new SymbolView(icon, 15, Theme::accent(), this))
    , m_title(makeLabel(title, Theme::TextStyle::subheadline, this, QFont::DemiBold))
    , m_detail(makeLabel(QString(), Theme::TextStyle::subheadline, this))
    , m_path(new MiddleElidedLabel(this))
{
    m_detail->setObjectName(u"pathCardDetail"_s);
    Theme::setTextColor(m_detail, Theme::secondaryText());
    m_detail->hide();
    setMinimumHeight(114);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);

    auto *header = new QHBoxLayout;
    header->setSpacing(7);
    header->addWidget(m_symbol);
    header->addWidget(m_title);
    header->addWidget(m_detail);
    header->addStretch(1);
    if (action) {
        m_reveal = new QToolButton(this);
        m_reveal->setObjectName(u"revealButton"_s);
        m_reveal->setProperty("kind", u"borderless"_s);
        m_reveal->setFixedSize(24, 24);
        m_reveal->setIconSize(QSize(16, 16));
        m_reveal->setIcon(Symbols::icon(u"arrow.up.right.square"_s, Theme::accent()));
        m_reveal->setCursor(Qt::PointingHandCursor);
        m_reveal->setToolTip(PlatformWording::text(u"Show in Finder"_s));
        // The file manager's name comes from the one wording table: "Show in Finder" becomes
        // "Show in File Manager" where there is no Finder, so the name is whatever follows "in".
        const QString place = PlatformWording::text(u"Show in Finder"_s).section(u" in "_s, 1);
        m_reveal->setAccessibleName(u"Show "_s + title + u" in "_s + place);
        connect(m_reveal, &QToolButton::clicked, this, [action = std::move(action)] { action(); });
        header->addWidget(m_reveal);
    } else {
        // Keeps the three cards' headers the same height with or without a button.
        header->addSpacing(24);
        m_title->setMinimumHeight(24);
    }
    column->addLayout(header);

    m_path->setFont(Theme::monospaced(11));
    Theme::setTextColor(m_path, Theme::secondaryText());
    m_path->setFullText(path);
    column->addWidget(m_path);
    column->addStretch(1);
}

void PathCard::setDetail(const QString &detail)
{
    m_detail->setText(detail);
    m_detail->setVisible(!detail.isEmpty());
}

void PathCard::setPath(const QString &path)
{
    m_path->setFullText(path);
}
