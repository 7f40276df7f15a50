#include "ui/kit/Symbols.h"

#include <QCache>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

using namespace Qt::StringLiterals;

// The icons are compiled into this static library; nothing else references them, so the
// linker would leave them out unless they are registered by name.
static void registerIcons()
{
    Q_INIT_RESOURCE(ui);
}

namespace Symbols {

namespace {

// Symbols drawn solid: the outline icons have no filled twin, so these few are written here.
const QHash<QString, QByteArray> &solidSymbols()
{
    static const QHash<QString, QByteArray> table {
        {u"checkmark.circle.fill"_s,
            R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><circle cx="12" cy="12" r="10.5" fill="currentColor"/><path d="m7.5 12.2 3 3 6-6.2" fill="none" stroke="#fff" stroke-width="2.4" stroke-linecap="round" stroke-linejoin="round"/></svg>)"},
        {u"info.circle.fill"_s,
            R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><circle cx="12" cy="12" r="10.5" fill="currentColor"/><path d="M12 11v6" stroke="#fff" stroke-width="2.4" stroke-linecap="round"/><circle cx="12" cy="7.3" r="1.5" fill="#fff"/></svg>)"},
        {u"exclamationmark.circle.fill"_s,
            R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><circle cx="12" cy="12" r="10.5" fill="currentColor"/><path d="M12 6.5v7" stroke="#fff" stroke-width="2.4" stroke-linecap="round"/><circle cx="12" cy="17.2" r="1.5" fill="#fff"/></svg>)"},
        {u"circle.fill"_s,
            R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><circle cx="12" cy="12" r="8" fill="currentColor"/></svg>)"},
        {u"stop.fill"_s,
            R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><rect x="5" y="5" width="14" height="14" rx="2.5" fill="currentColor"/></svg>)"},
        {u"play.fill"_s,
            R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M7 4.8v14.4a1 1 0 0 0 1.5.9l11.4-7.2a1 1 0 0 0 0-1.8L8.5 3.9A1 1 0 0 0 7 4.8z" fill="currentColor"/></svg>)"},
    };
    return table;
}

// Symbol name -> bundled outline icon (file name without ".svg").
const QHash<QString, QString> &outlineSymbols()
{
    static const QHash<QString, QString> table {
        {u"gamecontroller"_s, u"gamepad-2"_s},
        {u"gamecontroller.fill"_s, u"gamepad-2"_s},
        {u"wineglass"_s, u"wine"_s},
        {u"slider.horizontal.3"_s, u"sliders-horizontal"_s},
        {u"folder"_s, u"folder"_s},
        {u"globe"_s, u"globe"_s},
        {u"minus.circle"_s, u"circle-minus"_s},
        {u"plus"_s, u"plus"_s},
        {u"play.rectangle"_s, u"square-play"_s},
        {u"plus.app"_s, u"square-plus"_s},
        {u"arrow.down.doc.fill"_s, u"file-down"_s},
        {u"checkmark.circle"_s, u"circle-check"_s},
        {u"checkmark"_s, u"check"_s},
        {u"circle.dashed"_s, u"circle-dashed"_s},
        {u"app.dashed"_s, u"square-dashed"_s},
        {u"shippingbox"_s, u"package"_s},
        {u"doc.text"_s, u"file-text"_s},
        {u"ellipsis"_s, u"ellipsis"_s},
        {u"info.circle"_s, u"info"_s},
        {u"arrow.up.right.square"_s, u"square-arrow-out-up-right"_s},
        {u"arrow.up.right"_s, u"arrow-up-right"_s},
        {u"arrow.up.right.circle"_s, u"circle-arrow-out-up-right"_s},
        {u"arrow.down.circle"_s, u"circle-arrow-down"_s},
        {u"arrow.clockwise"_s, u"rotate-cw"_s},
        {u"arrow.right"_s, u"arrow-right"_s},
        {u"wand.and.stars"_s, u"wand-sparkles"_s},
        {u"square.and.arrow.down"_s, u"download"_s},
        {u"magnifyingglass"_s, u"search"_s},
        {u"laptopcomputer"_s, u"laptop"_s},
        {u"tag"_s, u"tag"_s},
        {u"chart.bar.fill"_s, u"chart-column"_s},
        {u"cpu"_s, u"cpu"_s},
        {u"internaldrive"_s, u"hard-drive"_s},
        {u"person.crop.circle"_s, u"circle-user"_s},
        {u"person.3.fill"_s, u"users"_s},
        {u"antenna.radiowaves.left.and.right"_s, u"radio-tower"_s},
        {u"bolt.fill"_s, u"zap"_s},
        {u"building.2.fill"_s, u"building-2"_s},
        {u"car.fill"_s, u"car"_s},
        {u"car.side.fill"_s, u"car"_s},
        {u"car.rear.fill"_s, u"car-front"_s},
        {u"crown.fill"_s, u"crown"_s},
        {u"flame.fill"_s, u"flame"_s},
        {u"scope"_s, u"crosshair"_s},
        {u"target"_s, u"target"_s},
        {u"shield.fill"_s, u"shield"_s},
        {u"snowflake"_s, u"snowflake"_s},
        {u"sparkles"_s, u"sparkles"_s},
        {u"sun.max.fill"_s, u"sun"_s},
        {u"swords"_s, u"swords"_s},
    };
    return table;
}

QByteArray svgSource(const QString &symbol)
{
    static QHash<QString, QByteArray> cache;
    const auto cached = cache.constFind(symbol);
    if (cached != cache.constEnd())
        return *cached;
    QByteArray source = solidSymbols().value(symbol);
    if (source.isEmpty()) {
        QFile file(resourcePath(symbol));
        if (file.open(QIODevice::ReadOnly))
            source = file.readAll();
    }
    cache.insert(symbol, source);
    return source;
}

QByteArray tinted(const QString &symbol, const QColor &color)
{
    QByteArray source = svgSource(symbol);
    return source.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
}

void render(QPainter &painter, const QRectF &rect, const QString &symbol, const QColor &color)
{
    // Parsing and rasterising an SVG on every paint is what made long lists slow to draw:
    // each symbol is drawn once per colour and pixel size, then reused.
    const qreal scale = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (rect.size() * scale * painter.deviceTransform().m11()).toSize();
    if (pixels.isEmpty())
        return;
    static QCache<QString, QPixmap> cache(8 * 1024); // KiB of pixels
    const QColor opaque = QColor(color.red(), color.green(), color.blue());
    const QString key = symbol + u'|' + opaque.name() + u'|' + QString::number(pixels.width())
        + u'x' + QString::number(pixels.height());
    // A copy, not the cached pointer: the cache deletes at once a pixmap larger than itself.
    QPixmap drawn = cache.object(key) ? *cache.object(key) : QPixmap();
    if (drawn.isNull()) {
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter canvas(&image);
        canvas.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer(tinted(symbol, opaque)).render(&canvas, QRectF(QPointF(0, 0), QSizeF(pixels)));
        canvas.end();
        drawn = QPixmap::fromImage(std::move(image));
        cache.insert(key, new QPixmap(drawn), qMax(1, pixels.width() * pixels.height() * 4 / 1024));
    }
    painter.save();
    if (color.alphaF() < 1.0)
        painter.setOpacity(painter.opacity() * color.alphaF());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect, drawn, QRectF(drawn.rect()));
    painter.restore();
}

class TintedIconEngine final : public QIconEngine
{
public:
    TintedIconEngine(QString symbol, QColor color)
        : m_symbol(std::move(symbol))
        , m_color(color)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor color = m_color;
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.4f);
        // Icons are square; centre them in whatever box the widget offers.
        const int side = qMin(rect.width(), rect.height());
        const QRectF square(rect.x() + (rect.width() - side) / 2.0,
            rect.y() + (rect.height() - side) / 2.0, side, side);
        render(*painter, square, m_symbol, color);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(
        const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        pixmap.setDevicePixelRatio(scale);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new TintedIconEngine(m_symbol, m_color); }

private:
    QString m_symbol;
    QColor m_color;
};

} // namespace

QString resourcePath(const QString &symbol)
{
    static const bool registered = (registerIcons(), true);
    Q_UNUSED(registered)
    return u":/quillmere/icons/"_s + outlineSymbols().value(symbol, u"gamepad-2"_s) + u".svg"_s;
}

bool isKnown(const QString &symbol)
{
    return solidSymbols().contains(symbol) || outlineSymbols().contains(symbol);
}

QIcon icon(const QString &symbol, const QColor &color)
{
    return QIcon(new TintedIconEngine(symbol, color));
}

void paint(QPainter &painter, const QRectF &rect, const QString &symbol, const QColor &color)
{
    render(painter, rect, symbol, color);
}

QPixmap pixmap(const QString &symbol, const QColor &color, int logicalSize, qreal devicePixelRatio)
{
    return icon(symbol, color).pixmap(QSize(logicalSize, logicalSize), devicePixelRatio);
}

QIcon applicationIcon()
{
    resourcePath(QString());
    return QIcon(u":/quillmere/quillmere.svg"_s);
}

} // namespace Symbols
