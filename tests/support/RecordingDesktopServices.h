#pragma once

#include "platform/DesktopServices.h"

// Remembers what a model asked the desktop to do instead of doing it, and fails every action
// when told to, as a desktop without handlers does.
class RecordingDesktopServices final : public DesktopServices
{
public:
    bool openFile(const QString &path) override
    {
        openedFiles.append(path);
        return succeeds;
    }
    bool openUrl(const QUrl &url) override
    {
        openedUrls.append(url);
        return succeeds;
    }
    bool openApplication(const QString &path) override
    {
        openedApplications.append(path);
        return succeeds;
    }
    void revealInFileManager(const QStringList &paths, std::function<void()> failed) override
    {
        revealed.append(paths);
        if (!succeeds)
            failed();
    }
    void copyToClipboard(const QString &text) override { clipboard = text; }

    bool succeeds = true;
    QStringList openedFiles;
    QList<QUrl> openedUrls;
    QStringList openedApplications;
    QList<QStringList> revealed;
    QString clipboard;
};
