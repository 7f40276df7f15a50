#pragma once

#include <QObject>
#include <QPointer>

class QAbstractButton;

// The accent ring around the button that has keyboard focus. One ring serves the application:
// it follows focus from button to button and goes away once the mouse takes over, so clicking
// a button never leaves a ring behind. The button draws it over itself, clipped as it is.
class FocusRing : public QObject
{
    Q_OBJECT

public:
    // Draws the ring on every button of the application from now on.
    static void install(QObject *app);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
    void follow(QAbstractButton *button);

    QPointer<QAbstractButton> m_target;
    bool m_keyboard = false;
};
