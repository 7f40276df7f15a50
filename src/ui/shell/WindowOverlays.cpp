#include "ui/shell/WindowOverlays.h"

#include "ui/kit/Theme.h"
#include "ui/kit/Widgets.h"

using namespace Qt::StringLiterals;

WindowOverlays::WindowOverlays(QWidget *content)
    : m_content(content)
    , m_dropShade(new DropShade(content))
    , m_dropCapsule(new Capsule(content))
    , m_preparingCapsule(new Capsule(content))
{
    m_dropShade->setObjectName(u"dropShade"_s);
    m_dropShade->hide();
    m_dropCapsule->setObjectName(u"dropCapsule"_s);
    m_dropCapsule->setLook({Theme::cardBackground(), {}, Theme::accent(),
        Theme::font(Theme::TextStyle::callout, QFont::Medium), 14, 9, true, true});
    m_dropCapsule->setSymbol(u"arrow.down.doc.fill"_s);
    m_dropCapsule->setText(u"Drop a Windows .exe to launch it"_s);
    m_dropCapsule->setAccessibleName(u"Drop a Windows executable to launch it"_s);
    m_dropCapsule->hide();
    m_preparingCapsule->setObjectName(u"preparingCapsule"_s);
    m_preparingCapsule->setLook({Theme::cardBackground(), {}, {},
        Theme::font(Theme::TextStyle::callout), 14, 10, true, true});
    m_preparingCapsule->setSpinning(true);
    m_preparingCapsule->hide();
}

void WindowOverlays::setDropTargeted(bool targeted)
{
    m_dropShade->setVisible(targeted);
    m_dropCapsule->setVisible(targeted);
    place();
}

void WindowOverlays::setPreparing(const QString &executable)
{
    m_preparingCapsule->setText(u"Preparing "_s + executable + u"…"_s);
    m_preparingCapsule->setVisible(!executable.isEmpty());
    place();
}

void WindowOverlays::place()
{
    m_dropShade->setGeometry(m_content->rect());
    m_dropCapsule->adjustSize();
    m_dropCapsule->move((m_content->width() - m_dropCapsule->width()) / 2, 12 + 8);
    m_preparingCapsule->adjustSize();
    m_preparingCapsule->move(m_content->width() - m_preparingCapsule->width() - 18,
        m_content->height() - m_preparingCapsule->height() - 18);
    m_dropShade->raise();
    m_dropCapsule->raise();
    m_preparingCapsule->raise();
}
