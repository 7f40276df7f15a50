#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// What the desktop does for us: open things with their default handlers, show files in the file
// manager, put text on the clipboard. Models take this interface so tests can record the calls.
// Every action says when nothing on this computer could do it, so the window can say so too.
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;

    // False when no application took it.
    virtual bool openFile(const QString &path) = 0;
    virtual bool openUrl(const QUrl &url) = 0;
    virtual bool openApplication(const QString &path) = 0;
    // The file manager may answer later; `failed` then runs on this thread if nothing showed
    // the paths.
    virtual void revealInFileManager(const QStringList &paths, std::function<void()> failed) = 0;
    virtual void copyToClipboard(const QString &text) = 0;

    // The sentences for an alert when an action above failed.
    static QString cannotOpen(const QString &what)
    {
        return QStringLiteral("Quillmere couldn’t open “") + what
            + QStringLiteral("”: no application on this computer opens it.");
    }
    static QString cannotReveal(const QString &path)
    {
        return QStringLiteral("Quillmere couldn’t show “") + path
            + QStringLiteral("”: no file manager on this computer opens its folder.");
    }
};
