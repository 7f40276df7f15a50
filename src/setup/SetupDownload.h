#pragma once

#include "setup/RuntimeSetupError.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class Cancellation;
class QNetworkAccessManager;

// The setup's pinned downloads as the setup window shows them: which steps are downloading,
// whether the file is being verified, and how far the download has come. A step is running
// from `begin` to `end`, which may come after its download (Wine is unpacked meanwhile).
class SetupDownload : public QObject
{
    Q_OBJECT

public:
    enum class Step { gstreamer, wine };

    using QObject::QObject;

    bool isRunning(Step step) const { return m_running[index(step)]; }
    bool isVerifying() const { return m_isVerifying; }
    std::optional<double> progress() const { return m_progress; }

    void begin(Step step) { setRunning(step, true); }
    void end(Step step) { setRunning(step, false); }

    // Downloads and verifies one pinned file into the data folder's download folder; `verifying`
    // is called as verification begins. Progress reported after that, or after the step ended,
    // is dropped.
    QCoro::Task<SetupResult<QString>> fetch(Step step, QNetworkAccessManager &network,
        QString dataFolder, QUrl url, QString fileName, QString sha256,
        std::function<void()> verifying, std::shared_ptr<Cancellation> cancellation);

Q_SIGNALS:
    void changed();

private:
    static int index(Step step) { return step == Step::wine ? 1 : 0; }
    void setRunning(Step step, bool running);
    template <class T> void set(T &member, const T &value)
    {
        if (member == value)
            return;
        member = value;
        Q_EMIT changed();
    }

    bool m_running[2] = {false, false};
    bool m_isVerifying = false;
    std::optional<double> m_progress;
};
