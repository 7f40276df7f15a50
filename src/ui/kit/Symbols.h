#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QPainter;
class QRectF;

// The screens name symbols the way the design does ("wineglass", "gamecontroller.fill", ...).
// One table maps each to a bundled SVG icon, drawn in the colour asked for, so nothing depends
// on the desktop's icon theme.
namespace Symbols {

// The bundled icon for a symbol name; unknown names fall back to the game controller.
QString resourcePath(const QString &symbol);
bool isKnown(const QString &symbol);

// Sharp at any size and device pixel ratio; disabled states are drawn faded.
QIcon icon(const QString &symbol, const QColor &color);
void paint(QPainter &painter, const QRectF &rect, const QString &symbol, const QColor &color);
QPixmap pixmap(const QString &symbol, const QColor &color, int logicalSize, qreal devicePixelRatio);

// The application's own icon.
QIcon applicationIcon();

} // namespace Symbols
