#include "ui/kit/SteamArtworkView.h"

#include "ui/kit/ImageLoader.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Widgets.h"

#include <QCache>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

using namespace Qt::StringLiterals;

namespace {

constexpr int spinnerSize = 14;
constexpr int spinnerInset = 9;

QPainterPath outline(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    if (radius > 0)
        path.addRoundedRect(rect, radius, radius);
    else
        path.addRect(rect);
    return path;
}

// The image cropped to the target's aspect ratio and scaled once to the device pixels it
// covers, so it stays sharp on high-density screens without resampling on every paint.
QImage fittedImage(const QImage &image, const QSize &devicePixels)
{
    static QCache<QString, QImage> fitted(64 * 1024);
    const QString key
        = u"%1:%2x%3"_s.arg(image.cacheKey()).arg(devicePixels.width()).arg(devicePixels.height());
    if (const QImage *hit = fitted.object(key))
        return *hit;
    const QSizeF source = image.size();
    const qreal scale
        = qMax(devicePixels.width() / source.width(), devicePixels.height() / source.height());
    const QSizeF crop(devicePixels.width() / scale, devicePixels.height() / scale);
    const QRect cropRect(
        QPointF((source.width() - crop.width()) / 2, (source.height() - crop.height()) / 2)
            .toPoint(),
        crop.toSize());
    QImage result = image.copy(cropRect).scaled(
        devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    fitted.insert(key, new QImage(result), qMax<qsizetype>(1, result.sizeInBytes() / 1024));
    return result;
}

void paintPlaceholder(QPainter &painter, const QRectF &rect, const QPainterPath &shape,
    const QString &symbol, const QImage &emblem)
{
    QLinearGradient background(rect.topLeft(), rect.bottomRight());
    background.setColorAt(0, QColor::fromRgbF(0.025f, 0.08f, 0.18f));
    background.setColorAt(1, QColor::fromRgbF(0.02f, 0.40f, 0.48f));
    painter.fillPath(shape, background);

    // A 120-point glow blurred by 24: a radial fade that reaches past the circle's edge by
    // the blur radius stands in for a real blur.
    const QPointF glowCenter = rect.center() + QPointF(55, 20);
    const qreal radius = 60 + 24;
    QRadialGradient glow(glowCenter, radius);
    const QColor cyan = QColor::fromRgbF(0, 1, 1, 0.18f);
    glow.setColorAt(0, cyan);
    glow.setColorAt((60.0 - 24.0) / radius, cyan);
    glow.setColorAt(60.0 / radius, QColor::fromRgbF(0, 1, 1, 0.09f));
    glow.setColorAt(1, QColor::fromRgbF(0, 1, 1, 0));
    QPainterPath circle;
    circle.addEllipse(glowCenter, radius, radius);
    painter.fillPath(shape.intersected(circle), glow);

    if (!emblem.isNull()) {
        const QSizeF size = emblem.size().scaled(
            QSize(SteamArtworkView::emblemSize, SteamArtworkView::emblemSize), Qt::KeepAspectRatio);
        // On whole points, so the icon's pixels stay sharp.
        const QPointF corner = rect.center() - QPointF(size.width(), size.height()) / 2;
        painter.drawImage(QRectF(QPointF(qRound(corner.x()), qRound(corner.y())), size), emblem);
        return;
    }
    const QRectF symbolRect(rect.center() - QPointF(18, 18), QSizeF(36, 36));
    Symbols::paint(painter, symbolRect, symbol, QColor::fromRgbF(1, 1, 1, 0.88f));
}

} // namespace

SteamArtworkView::SteamArtworkView(QWidget *parent)
    : QWidget(parent)
    , m_symbol(u"gamecontroller.fill"_s)
    , m_spinner(new Spinner(spinnerSize, this, Qt::white))
{
    setAccessibleName(u"Game artwork"_s);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_spinner->hide();
}

void SteamArtworkView::setArtwork(std::optional<QUrl> url, QString symbol, bool isLoading)
{
    const bool urlChanged = url != m_url;
    m_url = std::move(url);
    m_symbol = std::move(symbol);
    m_isLoading = isLoading;
    if (urlChanged) {
        m_image = QImage();
        if (m_url) {
            if (const std::optional<QImage> image = ImageLoader::shared().cached(*m_url)) {
                m_image = *image;
            } else {
                const QUrl requested = *m_url;
                ImageLoader::shared().load(requested, this, [this, requested](const QImage &image) {
                    // An answer for an address this view has since moved away from is stale.
                    if (m_url != requested)
                        return;
                    m_image = image;
                    m_spinner->setVisible(m_isLoading && m_image.isNull());
                    update();
                    Q_EMIT artworkSettled();
                });
            }
        }
    }
    m_spinner->setVisible(m_isLoading && m_image.isNull());
    placeSpinner();
    update();
}

void SteamArtworkView::setEmblem(const QImage &emblem)
{
    m_emblem = emblem;
    update();
}

void SteamArtworkView::setCornerRadius(int radius)
{
    m_cornerRadius = radius;
    update();
}

void SteamArtworkView::setShade(const QList<QPair<qreal, qreal>> &opacities, const QColor &outline)
{
    m_shade = opacities;
    m_outline = outline;
    update();
}

void SteamArtworkView::paint(QPainter &painter, const QRectF &rect, const QImage *image,
    const QString &symbol, qreal cornerRadius, const QImage &emblem)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    const QPainterPath shape = outline(rect, cornerRadius);
    if (image && !image->isNull() && !image->size().isEmpty() && !rect.isEmpty()) {
        const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        const QSize devicePixels = (rect.size() * ratio).toSize().expandedTo(QSize(1, 1));
        const QImage fitted = fittedImage(*image, devicePixels);
        QBrush brush(fitted);
        QTransform place;
        place.translate(rect.left(), rect.top());
        place.scale(rect.width() / fitted.width(), rect.height() / fitted.height());
        brush.setTransform(place);
        painter.fillPath(shape, brush);
    } else {
        paintPlaceholder(painter, rect, shape, symbol, emblem);
    }
    painter.restore();
}

void SteamArtworkView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, QRectF(rect()), &m_image, m_symbol, m_cornerRadius, m_emblem);
    if (m_shade.isEmpty() && !m_outline.isValid())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath shape = outline(box, m_cornerRadius);
    QLinearGradient shade(box.topLeft(), box.bottomLeft());
    for (const auto &[position, opacity] : std::as_const(m_shade))
        shade.setColorAt(position, QColor::fromRgbF(0, 0, 0, float(opacity)));
    if (!m_shade.isEmpty())
        painter.fillPath(shape, shade);
    if (m_outline.isValid())
        painter.strokePath(shape, QPen(m_outline, 1));
}

void SteamArtworkView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeSpinner();
}

void SteamArtworkView::placeSpinner()
{
    m_spinner->move(width() - spinnerInset - spinnerSize, height() - spinnerInset - spinnerSize);
    // Views layered over the artwork must not hide the progress.
    m_spinner->raise();
}
