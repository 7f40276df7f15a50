#pragma once

#include "library/GameEntry.h"
#include "library/LibraryModel.h"
#include "library/WineRuntime.h"
#include "support/RecordingDesktopServices.h"

#include <QByteArray>
#include <QCoroTask>
#include <QEventLoop>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace TestSupport {

// The error text of a failed result, for test failure messages; empty when it succeeded.
template <class R> QByteArray failureText(const R &result)
{
    if (result.hasValue())
        return {};
    if constexpr (std::is_same_v<std::decay_t<decltype(result.error())>, QString>)
        return result.error().toUtf8();
    else
        return result.error().description().toUtf8();
}

QString fakeWine();
QString fakeWineServer();

QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);

// What the fake wine or wineserver recorded for a call ("wine", "wineboot", "wineserver-k", ...).
QStringList recordedArguments(const QString &recordDir, const QString &call);
Environment recordedEnvironment(const QString &recordDir, const QString &call);
QString recordedWorkingFolder(const QString &recordDir, const QString &call);

// A temporary world: an application data folder, preferences, a recording desktop, and a
// ready entry (an executable file, an initialised prefix, the fake Wine pair).
class Sandbox
{
public:
    Sandbox();

    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const;
    QString dataFolder() const { return path(QStringLiteral("data")); }
    QString recordDir() const { return path(QStringLiteral("record")); }
    LibraryContext context() const;
    std::unique_ptr<LibraryModel> model() const;

    // An entry that passes validation; `name` also names its executable and prefix folders.
    GameEntry readyEntry(const QString &name = QStringLiteral("Game")) const;

    std::shared_ptr<RecordingDesktopServices> desktop
        = std::make_shared<RecordingDesktopServices>();

private:
    QTemporaryDir m_dir;
};

} // namespace TestSupport

// Runs the event loop until the task has finished and returns its result.
template <class T> T awaitTask(QCoro::Task<T> &&task)
{
    std::optional<T> result;
    QEventLoop loop;
    auto wrapper
        = [](QCoro::Task<T> inner, std::optional<T> &out, QEventLoop &done) -> QCoro::Task<> {
        out.emplace(co_await std::move(inner));
        done.quit();
    };
    auto running = wrapper(std::move(task), result, loop);
    if (!result)
        loop.exec();
    return std::move(*result);
}

// Verifies that a result holds a value, printing its error otherwise.
#define QVERIFY_OK(result)                                                                         \
    QVERIFY2((result).hasValue(), TestSupport::failureText(result).constData())
