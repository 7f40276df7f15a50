#pragma once

#include "ui/kit/Theme.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <functional>

namespace Screens {

using namespace Qt::StringLiterals;

inline void settle(int ms = 120)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline bool waitFor(const std::function<bool()> &condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        settle(30);
    }
    return true;
}

// Writes NAME-APPEARANCE.png files, drawing sheets and alerts over their dimmed window.
class Renderer
{
public:
    Renderer(QString folder, QString suffix, QUrl webHost)
        : m_folder(std::move(folder))
        , m_suffix(std::move(suffix))
        , m_webHost(std::move(webHost))
    {
    }

    // The loopback server that plays the web site and Steam in every scene.
    const QUrl &webHost() const { return m_webHost; }

    void save(const QString &name, const QImage &image)
    {
        const QString path = m_folder + u'/' + name + u'-' + m_suffix + u".png"_s;
        if (!image.save(path))
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        else
            std::printf("%s\n", qPrintable(path));
    }

    void window(const QString &name, QWidget *window, bool settleFirst = true)
    {
        if (settleFirst)
            settle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        save(name, window->grab().toImage());
    }

    // A sheet or alert drawn over its dimmed window, the way the desktop shows it.
    void overWindow(const QString &name, QWidget *window, QWidget *sheet, bool centred = false,
        bool settleFirst = true)
    {
        // The setup sheet starts its work as soon as the event loop runs: its scenes are drawn
        // exactly as they were handed over.
        if (settleFirst)
            settle();
        if (!sheet) {
            std::fprintf(stderr, "%s: nothing on show to draw\n", qPrintable(name));
            return;
        }
        QImage image = window->grab().toImage();
        QPainter painter(&image);
        painter.fillRect(image.rect(), QColor(0, 0, 0, Theme::isDark() ? 110 : 70));
        const QImage front = sheet->grab().toImage();
        const qreal ratio = front.devicePixelRatio();
        const QSizeF size = QSizeF(front.size()) / ratio;
        const QPointF at((window->width() - size.width()) / 2,
            centred ? (window->height() - size.height()) / 2 : 52);
        for (int i = 6; i > 0; --i) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0, 0, 0, 10));
            painter.drawRoundedRect(QRectF(at, size).adjusted(-i, -i + 4, i, i + 4), 12, 12);
        }
        painter.drawImage(QRectF(at, size), front);
        painter.end();
        save(name, image);
    }

    // A menu drawn where it opened, over its window.
    void popup(const QString &name, QWidget *window, QWidget *menu)
    {
        settle();
        QImage image = window->grab().toImage();
        const QImage front = menu->grab().toImage();
        QPainter painter(&image);
        const QPoint at = menu->pos() - window->mapToGlobal(QPoint(0, 0));
        painter.drawImage(QRectF(at, QSizeF(front.size()) / front.devicePixelRatio()), front);
        painter.end();
        save(name, image);
    }

private:
    QString m_folder;
    QString m_suffix;
    QUrl m_webHost;
};

} // namespace Screens
