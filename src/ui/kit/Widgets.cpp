#include "ui/kit/Widgets.h"

#include "ui/kit/Symbols.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QTimer>
#include <QtMath>

using namespace Qt::StringLiterals;

Card::Card(QWidget *parent, int radius, Fill fill)
    : QFrame(parent)
    , m_radius(radius)
    , m_fill(fill)
{
}

void Card::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_fill == Fill::card)
        painter.setBrush(Theme::cardBackground());
    else if (m_fill == Fill::quaternary)
        painter.setBrush(Theme::quaternaryFill());
    else
        painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Theme::quaternaryLine(), 1));
    painter.drawRoundedRect(box, m_radius, m_radius);
}

SymbolView::SymbolView(const QString &symbol, int size, const QColor &color, QWidget *parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_size(size)
    , m_color(color)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TranslucentBackground);
}

void SymbolView::setSymbol(const QString &symbol, const QColor &color)
{
    m_symbol = symbol;
    m_color = color;
    update();
}

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor color = m_color;
    if (!isEnabled())
        color.setAlphaF(color.alphaF() * 0.4f);
    Symbols::paint(painter, QRectF(rect()), m_symbol, color);
}

Spinner::Spinner(int size, QWidget *parent, QColor color)
    : QWidget(parent)
    , m_size(size)
    , m_color(color)
    , m_timer(new QTimer(this))
{
    setFixedSize(size, size);
    m_timer->setInterval(80);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 12;
        update();
    });
}

void Spinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor base = m_color.isValid() ? m_color : Theme::secondaryText();
    const qreal center = m_size / 2.0;
    const qreal outer = m_size / 2.0 - 1.0;
    const qreal inner = outer * 0.5;
    const qreal width = qMax(1.5, m_size / 9.0);
    for (int i = 0; i < 12; ++i) {
        // The spoke at the current step is darkest; the ones behind it fade out.
        const int age = (m_step - i + 12) % 12;
        QColor color = base;
        color.setAlphaF(base.alphaF() * (1.0f - age / 14.0f));
        painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
        const qreal angle = qDegreesToRadians(i * 30.0 - 90.0);
        painter.drawLine(QPointF(center + inner * qCos(angle), center + inner * qSin(angle)),
            QPointF(center + outer * qCos(angle), center + outer * qSin(angle)));
    }
}

void Spinner::showEvent(QShowEvent *)
{
    m_timer->start();
}

void Spinner::hideEvent(QHideEvent *)
{
    m_timer->stop();
}

Capsule::Capsule(QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
    , m_symbol(new SymbolView(QString(), 15, Qt::white, this))
    , m_spinner(new Spinner(14, this))
{
    auto *row = new QHBoxLayout(this);
    row->setSpacing(7);
    row->addWidget(m_spinner);
    row->addWidget(m_symbol);
    row->addWidget(m_label);
    m_spinner->hide();
    m_symbol->hide();
    setAttribute(Qt::WA_TranslucentBackground);
    m_look.font = Theme::font(Theme::TextStyle::callout);
    restyle();
}

void Capsule::setLook(const Look &look)
{
    m_look = look;
    restyle();
}

void Capsule::restyle()
{
    layout()->setContentsMargins(m_look.horizontalMargin, m_look.verticalMargin,
        m_look.horizontalMargin, m_look.verticalMargin);
    m_label->setFont(m_look.font);
    const QColor foreground
        = m_look.foreground.isValid() ? m_look.foreground : palette().color(QPalette::WindowText);
    Theme::setTextColor(m_label, foreground);
    const QColor symbolColor = m_look.symbolColor.isValid() ? m_look.symbolColor : foreground;
    m_symbol->setSymbol(m_symbol->symbol(), symbolColor);
    update();
}

void Capsule::setText(const QString &text)
{
    m_label->setText(text);
    setAccessibleName(text);
}

void Capsule::setSymbol(const QString &symbol)
{
    const QColor color = m_look.symbolColor.isValid()
        ? m_look.symbolColor
        : (m_look.foreground.isValid() ? m_look.foreground : palette().color(QPalette::WindowText));
    m_symbol->setSymbol(symbol, color);
    m_symbol->setVisible(!symbol.isEmpty());
}

void Capsule::setSpinning(bool spinning)
{
    m_spinner->setVisible(spinning);
}

QString Capsule::text() const
{
    return m_label->text();
}

QString Capsule::symbol() const
{
    return m_symbol->symbol();
}

void Capsule::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QRectF box = QRectF(rect());
    if (m_look.shadow) {
        // A soft drop shadow: a few widening, fading outlines below the pill.
        box.adjust(4, 2, -4, -6);
        for (int i = 0; i < 4; ++i) {
            const qreal grow = 1.0 + i;
            const QRectF shade = box.adjusted(-grow, -grow + 2, grow, grow + 2);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0, 0, 0, 9 - i * 2));
            painter.drawRoundedRect(shade, shade.height() / 2, shade.height() / 2);
        }
    }
    painter.setBrush(m_look.background);
    painter.setPen(m_look.outline ? QPen(Theme::quaternaryLine(), 1) : Qt::NoPen);
    const QRectF pill = box.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
}

DropShade::DropShade(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void DropShade::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor veil = Theme::windowBackground();
    veil.setAlphaF(0.78f);
    painter.fillRect(rect(), veil);
    QColor edge = Theme::accent();
    edge.setAlphaF(0.8f);
    painter.setPen(QPen(edge, 2, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(8, 8, -8, -8), 14, 14);
}

QFrame *makeDivider(QWidget *parent, Qt::Orientation orientation)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Theme::separator());
    line->setPalette(palette);
    if (orientation == Qt::Horizontal)
        line->setFixedHeight(1);
    else
        line->setFixedWidth(1);
    return line;
}

QLabel *makeLabel(const QString &text, Theme::TextStyle style, QWidget *parent,
    QFont::Weight weight, bool secondary)
{
    auto *label = new QLabel(text, parent);
    label->setFont(Theme::font(style, weight));
    label->setTextFormat(Qt::PlainText);
    if (secondary)
        Theme::setTextColor(label, Theme::secondaryText());
    return label;
}

void setButtonKind(QPushButton *button, const QString &kind)
{
    button->setProperty("kind", kind);
    button->style()->unpolish(button);
    button->style()->polish(button);
}

void styleAlert(QMessageBox *alert)
{
    const qreal ratio = alert->devicePixelRatioF();
    alert->setIconPixmap(Symbols::applicationIcon().pixmap(QSize(52, 52), ratio));
    alert->setTextFormat(Qt::PlainText);
    alert->setWindowModality(Qt::WindowModal);
    alert->setStyleSheet(u"QLabel#qt_msgbox_label { font-weight: 600; }"
                         "QLabel#qt_msgbox_informativelabel { min-width: 320px; }"_s);
}

QPushButton *makeButton(const QString &text, const QString &symbol, const QString &kind,
    const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setProperty("kind", kind);
    if (!symbol.isEmpty()) {
        const bool filled = kind == u"prominent"_s || kind == u"destructive"_s;
        button->setIcon(Symbols::icon(symbol,
            filled ? QColor(Qt::white) : QApplication::palette().color(QPalette::ButtonText)));
        button->setIconSize(QSize(15, 15));
    }
    button->setCursor(Qt::PointingHandCursor);
    return button;
}
