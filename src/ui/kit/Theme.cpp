#include "ui/kit/Theme.h"

#include "ui/kit/FocusRing.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStyleFactory>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace Theme {

namespace {

Appearance g_appearance = Appearance::light;

QColor pick(const QColor &light, const QColor &dark)
{
    return g_appearance == Appearance::dark ? dark : light;
}

QString rgba(const QColor &color)
{
    return u"rgba(%1,%2,%3,%4)"_s.arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

QPalette makePalette()
{
    QPalette palette;
    const QColor text = pick(QColor(0x1d, 0x1d, 0x1f), QColor(0xf2, 0xf2, 0xf4));
    palette.setColor(QPalette::Window, windowBackground());
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, pick(QColor(0xff, 0xff, 0xff), QColor(0x2a, 0x2a, 0x2d)));
    palette.setColor(
        QPalette::AlternateBase, pick(QColor(0xf4, 0xf4, 0xf6), QColor(0x31, 0x31, 0x34)));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, pick(QColor(0xff, 0xff, 0xff), QColor(0x3a, 0x3a, 0x3d)));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, accent());
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(
        QPalette::ToolTipBase, pick(QColor(0xff, 0xff, 0xf4), QColor(0x3a, 0x3a, 0x3d)));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, secondaryText());
    palette.setColor(QPalette::Link, accent());
    palette.setColor(QPalette::Light, pick(QColor(0xff, 0xff, 0xff), QColor(0x48, 0x48, 0x4c)));
    palette.setColor(QPalette::Mid, pick(QColor(0xc8, 0xc8, 0xcc), QColor(0x48, 0x48, 0x4c)));
    palette.setColor(QPalette::Dark, pick(QColor(0xa0, 0xa0, 0xa5), QColor(0x18, 0x18, 0x1a)));
    const QColor disabled = pick(QColor(0x1d, 0x1d, 0x1f, 0x60), QColor(0xf2, 0xf2, 0xf4, 0x60));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabled);
    return palette;
}

// Buttons in the three styles the screens use: prominent (filled with the tint), bordered
// and borderless; plus the few controls whose defaults look out of place.
QString styleSheet()
{
    const QColor text = makePalette().color(QPalette::WindowText);
    const QColor bordered = pick(QColor(0, 0, 0, 0x10), QColor(255, 255, 255, 0x1c));
    const QColor borderedHover = pick(QColor(0, 0, 0, 0x1a), QColor(255, 255, 255, 0x28));
    const QColor pressed = pick(QColor(0, 0, 0, 0x26), QColor(255, 255, 255, 0x34));
    const QColor disabledText = pick(QColor(0, 0, 0, 0x55), QColor(255, 255, 255, 0x55));
    // A filled button that cannot be used loses its colour, so it never reads as the next step.
    const QColor disabledFill = pick(QColor(0, 0, 0, 0x0d), QColor(255, 255, 255, 0x12));
    QString sheet;
    sheet += uR"(
QPushButton, QToolButton[kind="bordered"] {
  background: %1; color: %2; border: none; border-radius: 7px; padding: 5px 12px;
}
QPushButton:hover, QToolButton[kind="bordered"]:hover { background: %3; }
QPushButton:pressed, QToolButton[kind="bordered"]:pressed { background: %4; }
QPushButton:disabled, QToolButton[kind="bordered"]:disabled { color: %5; }
QPushButton:focus, QToolButton:focus { outline: none; }
QPushButton[kind="prominent"] { background: %7; color: white; font-weight: 600; }
QPushButton[kind="prominent"]:hover { background: %8; }
QPushButton[kind="destructive"] { background: %10; color: white; font-weight: 600; }
QPushButton[kind="destructive"]:hover { background: %11; }
QPushButton[kind="prominent"]:disabled, QPushButton[kind="destructive"]:disabled {
  background: %9; color: %5;
}
QPushButton[kind="large"] { padding: 9px 14px; border-radius: 9px; }
QPushButton[kind="link"], QToolButton[kind="borderless"] {
  background: transparent; border: none; color: %7; padding: 2px 4px;
}
QToolButton[kind="borderless"] { color: %2; border-radius: 6px; }
QToolButton[kind="borderless"]:hover { background: %3; }
QToolButton[kind="bordered"] { padding: 5px 10px; }
QToolButton::menu-indicator { image: none; width: 0; }
QToolTip { border: 1px solid %12; padding: 4px 6px; border-radius: 4px; }
QLineEdit, QPlainTextEdit, QComboBox {
  border: 1px solid %12; border-radius: 6px; padding: 4px 6px; background: palette(base);
  selection-background-color: %7;
}
QLineEdit:focus, QPlainTextEdit:focus, QComboBox:focus { border: 2px solid %6; padding: 3px 5px; }
QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; border: none; }
QMenu { padding: 4px; border: 1px solid %12; border-radius: 8px; }
QMenu::item { padding: 5px 22px 5px 10px; border-radius: 5px; }
QMenu::item:selected { background: %7; color: white; }
QMenu::separator { height: 1px; background: %12; margin: 4px 8px; }
QScrollBar:vertical { background: transparent; width: 11px; margin: 2px 2px 2px 1px; }
QScrollBar:horizontal { background: transparent; height: 11px; margin: 1px 2px 2px 2px; }
QScrollBar::handle { background: %13; border-radius: 4px; }
QScrollBar::handle:hover { background: %14; }
QScrollBar::handle:vertical { min-height: 32px; }
QScrollBar::handle:horizontal { min-width: 32px; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QProgressBar { border: none; border-radius: 3px; background: %1; max-height: 6px; }
QProgressBar::chunk { border-radius: 3px; background: %7; }
)"_s;
    const QColor accentColor = accent();
    return sheet.arg(rgba(bordered), text.name(), rgba(borderedHover), rgba(pressed),
        rgba(disabledText),
        rgba(QColor(accentColor.red(), accentColor.green(), accentColor.blue(), 0x99)),
        accentColor.name(), accentColor.lighter(112).name(), rgba(disabledFill), red().name(),
        red().lighter(112).name(), rgba(quaternaryLine()),
        rgba(pick(QColor(0, 0, 0, 0x40), QColor(255, 255, 255, 0x40))),
        rgba(pick(QColor(0, 0, 0, 0x70), QColor(255, 255, 255, 0x70))));
}

} // namespace

Appearance systemAppearance()
{
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightness() < 128 ? Appearance::dark : Appearance::light;
}

void apply(QApplication &app, Appearance appearance)
{
    g_appearance = appearance;
    if (QStyle *fusion = QStyleFactory::create(u"Fusion"_s))
        QApplication::setStyle(fusion);
    QApplication::setPalette(makePalette());
    app.setStyleSheet(styleSheet());
    FocusRing::install(&app);
}

Appearance current()
{
    return g_appearance;
}

bool isDark()
{
    return g_appearance == Appearance::dark;
}

QColor accent()
{
    return pick(QColor(0x00, 0x71, 0xe3), QColor(0x2f, 0x8c, 0xff));
}
QColor green()
{
    return pick(QColor(0x1f, 0x9d, 0x48), QColor(0x32, 0xd1, 0x5e));
}
QColor red()
{
    return pick(QColor(0xe0, 0x32, 0x2a), QColor(0xff, 0x4d, 0x42));
}
QColor secondaryText()
{
    return pick(QColor(0x6e, 0x6e, 0x73), QColor(0xa1, 0xa1, 0xa6));
}
QColor windowBackground()
{
    return pick(QColor(0xf5, 0xf5, 0xf7), QColor(0x1c, 0x1c, 0x1e));
}
QColor sidebarBackground()
{
    return pick(QColor(0xe9, 0xe9, 0xee), QColor(0x26, 0x26, 0x29));
}
QColor cardBackground()
{
    return pick(QColor(0xff, 0xff, 0xff), QColor(0x2a, 0x2a, 0x2d));
}
QColor quaternaryFill()
{
    return pick(QColor(0, 0, 0, 0x0d), QColor(255, 255, 255, 0x12));
}
QColor quaternaryLine()
{
    return pick(QColor(0, 0, 0, 0x1f), QColor(255, 255, 255, 0x24));
}
QColor separator()
{
    return pick(QColor(0, 0, 0, 0x1a), QColor(255, 255, 255, 0x1a));
}

QFont font(TextStyle style, QFont::Weight weight)
{
    QFont font = QApplication::font();
    int size = 14;
    switch (style) {
    case TextStyle::largeTitle:
        size = 30;
        break;
    case TextStyle::title2:
        size = 21;
        break;
    case TextStyle::title3:
        size = 18;
        break;
    case TextStyle::headline:
        size = 14;
        if (weight == QFont::Normal)
            weight = QFont::DemiBold;
        break;
    case TextStyle::body:
        size = 14;
        break;
    case TextStyle::callout:
    case TextStyle::subheadline:
        size = 13;
        break;
    case TextStyle::footnote:
        size = 12;
        break;
    case TextStyle::caption:
        size = 11;
        break;
    case TextStyle::sectionHeader:
        size = 11;
        if (weight == QFont::Normal)
            weight = QFont::DemiBold;
        break;
    }
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}

QFont monospaced(int pixelSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    return font;
}

void style(QWidget *widget, TextStyle textStyle, QFont::Weight weight)
{
    widget->setFont(font(textStyle, weight));
}

void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

} // namespace Theme
