#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

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

} // namespace Background
