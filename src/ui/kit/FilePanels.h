#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// One request for the desktop's open panel.
struct FilePanelRequest
{
    enum class Kind { file, folder };
    QString title;
    QString message; // shown where the panel has room for it
    Kind kind = Kind::file;
    QStringList preferredSuffixes; // offered first; other files stay selectable
};

// Opens a panel without blocking the window and calls `chosen` with the path, or never when
// the user cancels. Tests put their own chooser in place.
using FilePanels = std::function<void(
    QWidget *parent, const FilePanelRequest &request, std::function<void(QString)> chosen)>;

// The desktop's own panels, sheet-like over the parent window.
FilePanels systemFilePanels();
