#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// What the desktop does for us: open things with their default handlers, show files in the file
// manager, put text on the clipboard. Models take this interface so tests can record the calls.
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;

    virtual bool openFile(const QString &path) = 0;
    virtual bool openUrl(const QUrl &url) = 0;
    virtual bool openApplication(const QString &path) = 0;
    virtual void revealInFileManager(const QStringList &paths) = 0;
    virtual void copyToClipboard(const QString &text) = 0;
};
