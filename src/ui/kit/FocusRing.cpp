#include "ui/kit/FocusRing.h"

#include "ui/kit/Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {

QPointer<FocusRing> g_ring;

// The corner radius the style sheet gives each kind of button, so the ring follows its shape.
qreal cornerRadius(const QAbstractButton *button)
{
    const QString kind = button->property("kind").toString();
    if (kind == u"large"_s)
        return 9;
    if (kind == u"link"_s)
        return 4;
    if (kind == u"borderless"_s)
        return 6;
    return 7;
}

void paintRing(QAbstractButton *button)
{
    QPainter painter(button);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = cornerRadius(button);
    const QRectF outer = QRectF(button->rect()).adjusted(1, 1, -1, -1);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Theme::accent(), 2));
    painter.drawRoundedRect(outer, radius - 1, radius - 1);
    // On a button filled with a colour, a light line inside sets the ring apart from the fill.
    const QString kind = button->property("kind").toString();
    if (kind == u"prominent"_s || kind == u"destructive"_s) {
        const QRectF inner = outer.adjusted(2, 2, -2, -2);
        painter.setPen(QPen(Theme::windowBackground(), 1.5));
        painter.drawRoundedRect(inner, radius - 3, radius - 3);
    }
}

} // namespace

void FocusRing::install(QObject *app)
{
    if (!g_ring) {
        g_ring = new FocusRing(app);
        app->installEventFilter(g_ring);
    }
}

bool FocusRing::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (!m_keyboard) {
            m_keyboard = true;
            follow(qobject_cast<QAbstractButton *>(QApplication::focusWidget()));
        }
        break;
    case QEvent::MouseButtonPress:
        if (m_keyboard) {
            m_keyboard = false;
            follow(nullptr);
        }
        break;
    case QEvent::FocusIn:
        // The reason is no guide: a dialog that opens hands its first field a "Tab" focus.
        follow(qobject_cast<QAbstractButton *>(QApplication::focusWidget()));
        break;
    case QEvent::FocusOut:
        if (watched == m_target)
            follow(nullptr);
        break;
    case QEvent::Paint:
        if (watched == m_target) {
            // The button paints itself first; the ring goes on top.
            watched->event(event);
            paintRing(m_target);
            return true;
        }
        break;
    default:
        break;
    }
    return false;
}

void FocusRing::follow(QAbstractButton *button)
{
    if (!m_keyboard || (button && !button->hasFocus()))
        button = nullptr;
    if (button == m_target)
        return;
    if (m_target)
        m_target->update();
    m_target = button;
    if (m_target)
        m_target->update();
}
