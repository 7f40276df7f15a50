#pragma once

#include "ui/kit/FilePanels.h"
#include "ui/rules/WindowFlow.h"
#include "ui/shell/WindowSheets.h"

#include "setup/SetupContext.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class DesktopServices;
class GameDetailView;
class GameProfileCatalogStore;
class LibrarySidebar;
class QAction;
class QMessageBox;
class QStackedWidget;
class WindowOverlays;

// What the window needs from outside: the desktop, the open panels, and the setup world.
// The application passes the real ones; tests and the screenshot program their own.
struct WindowContext
{
    std::function<SetupContext()> setupContext;
    FilePanels filePanels;
    std::shared_ptr<DesktopServices> desktop;
    GameProfileCatalogStore *catalog = nullptr; // the application's; required
};

// The one window: the sidebar of profiles and library entries, the detail pane, the toolbar,
// the drop target, and the sheets and alerts that connect the user with the models.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(LibraryModel &library, WindowContext context, QWidget *parent = nullptr);
    ~MainWindow() override;

    WindowFlow &flow() { return m_flow; }
    // Runs a file as a drop on the window does; the command line's `quillmere FILE`. Returns
    // the sentence the window shows when it does not run it, or nothing when it runs the file,
    // puts it in line, or waits for Wine setup to run it.
    QString runFile(const QString &path);
    void chooseExecutableToRun();
    // Launches a library entry as its Launch button does (an applications-menu shortcut's
    // request); returns the sentence the window shows when it does not.
    QString launchEntry(const QUuid &id);
    // Adds the entry to the applications menu, or removes it, away from the GUI thread.
    void toggleMenuShortcut(const GameEntry &entry);
    // Whether the entry is in the applications menu; nothing where there is none to add to.
    std::optional<bool> hasMenuShortcut(const QUuid &id) const;
    void showEditor(const std::optional<GameEntry> &entry) { m_sheets.showEditor(entry); }
    void confirmRemoval(const GameEntry &entry) { m_sheets.confirmRemoval(entry); }

    // The sheet or alert on show, if any (tests and the screenshot program look at them).
    QWidget *currentSheet() const { return m_sheets.currentSheet(); }
    QMessageBox *currentAlert() const { return m_sheets.currentAlert(); }
    bool isFileDropTargeted() const { return m_isFileDropTargeted; }
    void setFileDropTargeted(bool targeted);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QWidget *buildGamesPage();
    QWidget *buildEmptyState();
    void showDestination();
    void updatePreparing();
    void reveal(const QString &path);

    LibraryModel &m_library;
    WindowContext m_context;
    WindowFlow m_flow;
    WindowSheets m_sheets;
    LibrarySidebar *m_sidebar = nullptr;
    QStackedWidget *m_detail = nullptr;
    QWidget *m_gamesPage = nullptr;
    GameDetailView *m_detailView = nullptr;
    QWidget *m_emptyState = nullptr;
    std::unique_ptr<WindowOverlays> m_overlays;
    QAction *m_runAction = nullptr;
    QAction *m_addAction = nullptr;
    QList<QWidget *> m_preparingDisables;
    bool m_isFileDropTargeted = false;
};
