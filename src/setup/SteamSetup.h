#pragma once

#include "library/GameEntry.h"
#include "setup/DetectedWineRuntime.h"
#include "setup/RuntimeSetupError.h"
#include "setup/SetupContext.h"

#include <QCoroTask>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QNetworkAccessManager;

// Where the Windows Steam client lives in Quillmere's own prefix, and how its installer is
// fetched and checked.
namespace SteamSetup {

QString prefixPath(const QString &dataFolder);
QString steamExecutable(const QString &dataFolder);
QString setupLog(const QString &dataFolder);

// The installer may come from exactly the store host, or from any host under the CDN domain
// (but not the bare domain, nor a host that merely contains it).
bool isAcceptedOrigin(const QString &host, const QString &storeHost, const QString &cdnDomain);

// True when the file starts with "MZ", the mark of a Windows executable.
SetupResult<bool> isWindowsExecutable(const QString &path);

// Downloads "SteamSetup.exe" into `folder`, accepting it only from Steam's hosts and only when
// it is a Windows executable.
QCoro::Task<SetupResult<QString>> downloadSteamSetup(
    QNetworkAccessManager &network, const SetupSources &sources, QString folder);

// How an installation ended: the Steam entry on success, and the sentences to show.
struct Installation
{
    std::optional<GameEntry> entry;
    QString status;
    QString error;
};

// Installs the Windows Steam client with `runtime` into Quillmere's Steam prefix: fetches the
// installer, makes the prefix, runs Steam Setup and waits for it. `status` hears each step's
// sentence. Ends early, with nothing, once `owner` is gone.
QCoro::Task<std::optional<Installation>> install(QNetworkAccessManager &network,
    SetupSources sources, QString dataFolder, DetectedWineRuntime runtime,
    std::function<void(const QString &)> status, QPointer<QObject> owner);

} // namespace SteamSetup
