#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <coroutine>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace Background {

// Runs `done` on the main thread, unless `context` has been destroyed by then. Safe to call from
// any thread; the weak pointer is only read on the main thread.
template <class T, class Done> void postToMainThread(QPointer<T> context, Done done)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [context = std::move(context), done = std::move(done)]() mutable {
            if (context)
                done();
        },
        Qt::QueuedConnection);
}

// Runs `work` on a thread of its own (work here waits on child processes, which may take
// minutes, so it must not hold one of the few threads of a shared pool), then hands its
// result to `done` on the main thread while `context` lives.
template <class Work, class Done> void run(QObject *context, Work work, Done done)
{
    QPointer<QObject> guard(context);
    std::thread([guard, work = std::move(work), done = std::move(done)]() mutable {
        auto result = work();
        postToMainThread(guard, [result = std::move(result), done = std::move(done)]() mutable {
            done(std::move(result));
        });
    }).detach();
}

// An awaitable that runs `work` on a thread of its own and resumes the awaiting coroutine on
// the main thread with its result: `auto digest = co_await Background::onWorkerThread(...)`.
// The work must not touch the awaiting object; it gets copies of what it needs.
template <class Work> auto onWorkerThread(Work work)
{
    using Result = std::invoke_result_t<Work>;
    struct Awaiter
    {
        Work work;
        std::optional<Result> result;

        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle)
        {
            std::thread([this, handle] {
                result.emplace(work());
                if (QCoreApplication *app = QCoreApplication::instance())
                    QMetaObject::invokeMethod(
                        app, [handle] { handle.resume(); }, Qt::QueuedConnection);
            }).detach();
        }
        Result await_resume() { return std::move(*result); }
    };
    return Awaiter {std::move(work), std::nullopt};
}

} // namespace Background
