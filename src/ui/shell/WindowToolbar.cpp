#include "ui/shell/WindowToolbar.h"

#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/kit/Widgets.h"
#include "ui/rules/PlatformWording.h"
#include "ui/shell/MainWindow.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

using namespace Qt::StringLiterals;

WindowToolbarActions addWindowToolbar(MainWindow &window)
{
    auto *toolbar = window.addToolBar(u"Quillmere"_s);
    toolbar->setObjectName(u"toolbar"_s);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(17, 17));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->toggleViewAction()->setVisible(false);
    window.setContextMenuPolicy(Qt::NoContextMenu);

    auto *title = makeLabel(u"Quillmere"_s, Theme::TextStyle::headline, toolbar);
    title->setContentsMargins(12, 0, 0, 0);
    toolbar->addWidget(title);
    auto *spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);

    const QColor text = window.palette().color(QPalette::WindowText);
    auto *setup = new QToolButton(toolbar);
    setup->setObjectName(u"wineSetupButton"_s);
    setup->setProperty("kind", u"borderless"_s);
    setup->setText(u"Wine Setup"_s);
    setup->setIcon(Symbols::icon(u"wineglass"_s, text));
    setup->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setup->setToolTip(PlatformWording::text(u"Check or install Wine and its macOS requirements"_s));
    setup->setAccessibleDescription(setup->toolTip());
    QObject::connect(setup, &QToolButton::clicked, &window.flow(), &WindowFlow::showRuntimeSetup);
    toolbar->addWidget(setup);

    auto *menu = new QMenu(&window);
    menu->setObjectName(u"addMenu"_s);
    QAction *browse = menu->addAction(Symbols::icon(u"gamecontroller"_s, text),
        u"Browse Game Profiles"_s, &window,
        [&window] { window.flow().setSelectedDestination(LibraryDestination::games()); });
    browse->setObjectName(u"browseProfilesAction"_s);
    menu->addSeparator();
    WindowToolbarActions actions;
    actions.run = menu->addAction(Symbols::icon(u"play.rectangle"_s, text), u"Run Windows .exe…"_s,
        &window, [&window] { window.chooseExecutableToRun(); });
    actions.run->setObjectName(u"runExecutableAction"_s);
    actions.run->setShortcut(QKeySequence::Open);
    actions.add = menu->addAction(Symbols::icon(u"plus.app"_s, text), u"Add Windows App…"_s,
        &window, [&window] { window.showEditor(std::nullopt); });
    actions.add->setObjectName(u"addAppAction"_s);
    actions.add->setShortcut(QKeySequence::New);
    // The menu's shortcuts work while it is closed, too.
    window.addAction(actions.run);
    window.addAction(actions.add);
    auto *quit = new QAction(u"Quit Quillmere"_s, &window);
    quit->setObjectName(u"quitAction"_s);
    quit->setShortcut(QKeySequence::Quit);
    QObject::connect(quit, &QAction::triggered, &window, &QWidget::close);
    window.addAction(quit);

    auto *add = new QToolButton(toolbar);
    add->setObjectName(u"addButton"_s);
    add->setProperty("kind", u"borderless"_s);
    add->setIcon(Symbols::icon(u"plus"_s, text));
    add->setToolTip(u"Add a game or Windows app"_s);
    add->setAccessibleName(u"Add a game or Windows app"_s);
    add->setMenu(menu);
    add->setPopupMode(QToolButton::InstantPopup);
    toolbar->addWidget(add);
    return actions;
}
