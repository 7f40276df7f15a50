#pragma once

class MainWindow;
class QAction;

// The actions the window turns off while it prepares a program.
struct WindowToolbarActions
{
    QAction *run = nullptr;
    QAction *add = nullptr;
};

// The window's toolbar: its title, Wine Setup, and the add menu, whose shortcuts (and Quit's)
// work while the menu is closed.
WindowToolbarActions addWindowToolbar(MainWindow &window);
