#pragma once

#include "platform/DesktopServices.h"

// The real desktop: QDesktopServices, the clipboard, and the file manager's reveal call.
// Needs a QGuiApplication.
class SystemDesktopServices final : public DesktopServices
{
public:
    bool openFile(const QString &path) override;
    bool openUrl(const QUrl &url) override;
    bool openApplication(const QString &path) override;
    void revealInFileManager(const QStringList &paths, std::function<void()> failed) override;
    void copyToClipboard(const QString &text) override;
};
