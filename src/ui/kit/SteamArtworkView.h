#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <optional>

class QPainter;
class QRectF;
class Spinner;

// A game's Steam header image filling its area, or a generated placeholder with the profile's
// symbol while there is none (and a spinner while the store is still being asked).
class SteamArtworkView : public QWidget
{
    Q_OBJECT

public:
    explicit SteamArtworkView(QWidget *parent = nullptr);

    void setArtwork(std::optional<QUrl> url, QString symbol, bool isLoading);
    // Drawn in the placeholder instead of the symbol when not null, `emblemSize` points a
    // side: a program's own icon.
    void setEmblem(const QImage &emblem);
    static constexpr int emblemSize = 64;
    void setCornerRadius(int radius);
    // A vertical black wash over the artwork (position, opacity) and an outline, for views
    // that put text on it.
    void setShade(const QList<QPair<qreal, qreal>> &opacities, const QColor &outline);

    bool hasImage() const { return !m_image.isNull(); }
    std::optional<QUrl> url() const { return m_url; }
    QString symbol() const { return m_symbol; }
    bool isLoading() const { return m_isLoading; }

    // The whole drawing, for views that paint many cards without a widget each: the image
    // scaled to fill and cropped, or the placeholder when `image` is null or empty.
    static void paint(QPainter &painter, const QRectF &rect, const QImage *image,
        const QString &symbol, qreal cornerRadius, const QImage &emblem = {});

Q_SIGNALS:
    // The image arrived (or failed and the placeholder stays); screenshots wait for it.
    void artworkSettled();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeSpinner();

    std::optional<QUrl> m_url;
    QString m_symbol;
    bool m_isLoading = false;
    QImage m_image;
    QImage m_emblem;
    int m_cornerRadius = 0;
    QList<QPair<qreal, qreal>> m_shade;
    QColor m_outline;
    Spinner *m_spinner;
};
