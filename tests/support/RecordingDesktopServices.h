#pragma once

#include "platform/DesktopServices.h"

// Remembers what a model asked the desktop to do instead of doing it.
class RecordingDesktopServices final : public DesktopServices
{
public:
    bool openFile(const QString &path) override
    {
        openedFiles.append(path);
        return openSucceeds;
    }
    bool openUrl(const QUrl &url) override
    {
        openedUrls.append(url);
        return true;
    }
    bool openApplication(const QString &path) override
    {
        openedApplications.append(path);
        return true;
    }
    void revealInFileManager(const QStringList &paths) override { revealed.append(paths); }
    void copyToClipboard(const QString &text) override { clipboard = text; }

    bool openSucceeds = true;
    QStringList openedFiles;
    QList<QUrl> openedUrls;
    QStringList openedApplications;
    QList<QStringList> revealed;
    QString clipboard;
};
