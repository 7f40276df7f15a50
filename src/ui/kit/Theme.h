#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QApplication;
class QWidget;

// The window's colours and type scale. Custom-painted parts read their colours from here, so
// light and dark both stay readable.
namespace Theme {

enum class Appearance { light, dark };

// Sets the style, palette and style sheet of the whole application. `system` follows the
// desktop's palette; the screenshot program asks for each appearance in turn.
void apply(QApplication &app, Appearance appearance);
Appearance systemAppearance();
Appearance current();
bool isDark();

QColor accent();
QColor green();
QColor red();
QColor secondaryText();
QColor windowBackground();
QColor sidebarBackground();
QColor cardBackground();
QColor quaternaryFill(); // a light wash for note and icon backgrounds
QColor quaternaryLine(); // card outlines
QColor separator();

enum class TextStyle {
    largeTitle,
    title2,
    title3,
    headline,
    body,
    callout,
    subheadline,
    footnote,
    caption,
    sectionHeader,
};
QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);
QFont monospaced(int pixelSize);

// Sets the font and, for secondary texts, the colour of a label.
void style(QWidget *widget, TextStyle style, QFont::Weight weight = QFont::Normal);
void setTextColor(QWidget *widget, const QColor &color);

} // namespace Theme
