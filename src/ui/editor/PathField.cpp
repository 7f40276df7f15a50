#include "ui/editor/PathField.h"

#include "ui/kit/Symbols.h"
#include "ui/kit/Widgets.h"

#include <QApplication>

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

using namespace Qt::StringLiterals;

PathField::PathField(const QString &title, const QString &buttonTitle,
    const QString &fieldObjectName, const QString &buttonObjectName, std::function<void()> choose,
    QWidget *parent)
    : QWidget(parent)
    , m_field(new QLineEdit(this))
    , m_button(makeButton(buttonTitle, QString(), u"bordered"_s, buttonObjectName, this))
{
    setAccessibleName(title);
    m_field->setObjectName(fieldObjectName);
    m_field->setPlaceholderText(title);
    m_field->setAccessibleName(title);
    // Once a path fills the field the placeholder is gone; the tooltip still names it.
    m_field->setToolTip(title);
    m_field->setClearButtonEnabled(false);
    m_button->setAccessibleDescription(title);
    m_button->setAutoDefault(false);
    m_button->setToolTip(title);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(m_field, 1);
    row->addWidget(m_button);

    connect(m_field, &QLineEdit::textEdited, this, &PathField::pathEdited);
    connect(m_button, &QPushButton::clicked, this, [choose = std::move(choose)] {
        if (choose)
            choose();
    });
}

QString PathField::path() const
{
    return m_field->text();
}

void PathField::setPath(const QString &path)
{
    if (m_field->text() != path)
        m_field->setText(path);
}

QPlainTextEdit *makeTextEditor(const QString &objectName, const QString &title, int minimumHeight,
    int maximumHeight, QWidget *parent)
{
    auto *editor = new QPlainTextEdit(parent);
    editor->setObjectName(objectName);
    editor->setAccessibleName(title);
    editor->setFont(Theme::monospaced(Theme::font(Theme::TextStyle::body).pixelSize()));
    editor->setMinimumHeight(minimumHeight);
    editor->setMaximumHeight(maximumHeight);
    // Tab moves on, as in every other field; arguments and variables hold no tabs.
    editor->setTabChangesFocus(true);
    editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    return editor;
}

namespace {

QIcon disclosureIcon(const QString &symbol, bool open)
{
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap pixmap(QSize(44, 18) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(7, 9);
    painter.rotate(open ? 90 : 0);
    painter.setPen(QPen(Theme::secondaryText(), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({{-2, -4.5}, {2.5, 0}, {-2, 4.5}}));
    painter.resetTransform();
    Symbols::paint(painter, QRectF(22, 0, 18, 18), symbol, Theme::accent());
    return QIcon(pixmap);
}

} // namespace

QToolButton *makeDisclosure(
    const QString &title, const QString &symbol, const QString &objectName, QWidget *parent)
{
    auto *toggle = new QToolButton(parent);
    toggle->setObjectName(objectName);
    toggle->setText(title);
    toggle->setAccessibleName(title);
    toggle->setProperty("kind", u"borderless"_s);
    toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toggle->setFont(Theme::font(Theme::TextStyle::body, QFont::Medium));
    toggle->setIconSize(QSize(44, 18));
    toggle->setCheckable(true);
    toggle->setCursor(Qt::PointingHandCursor);
    toggle->setIcon(disclosureIcon(symbol, false));
    QObject::connect(toggle, &QToolButton::toggled, toggle,
        [toggle, symbol](bool open) { toggle->setIcon(disclosureIcon(symbol, open)); });
    return toggle;
}
