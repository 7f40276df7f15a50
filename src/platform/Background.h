#pragma once

#include <QObject>
#include <QPointer>

#include <chrono>
#include <coroutine>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

class QThreadPool;

namespace Background {

// The application's worker threads. main() makes one right after the application object, so
// it goes before the application does; code that runs without one (the tests) gets one owned
// by the application on first use, shut down when the application object goes.
//
// Work here often waits on a child process (wineboot, tar, a Steam installer) that may take
// minutes and must never be killed by quitting. So quitting waits a moment for what runs,
// then abandons the rest: from then on no result reaches the main thread, and `finish` ends
// the program before anything such a thread might still use is destroyed. File-writing work
// renames into place only once it is complete, so an abandoned one leaves nothing half-done
// where it belongs.
class Pool
{
public:
    Pool();
    ~Pool();
    Pool(const Pool &) = delete;
    Pool &operator=(const Pool &) = delete;

    // How long quitting waits for work that is still running.
    static constexpr std::chrono::milliseconds quitGrace {2000};

    // Takes no more work and hands no more results to the main thread, then waits up to
    // `grace` for running work. False when some of it was abandoned.
    bool shutDown(std::chrono::milliseconds grace = quitGrace);

    // The last step of main(): shuts down and returns `status`; when work was abandoned, the
    // process ends here with `status` instead, without running static destructors under it.
    [[nodiscard]] int finish(int status);

    // For the templates below: queue `work` on the application's pool; false once it has
    // shut down (the work is dropped). `post` runs `job` on the main thread while the pool
    // is open, from any thread.
    static bool start(std::function<void()> work);
    static void post(std::function<void()> job);

private:
    QThreadPool *m_threads;
    bool m_open = true;
    bool m_abandoned = false;
};

// std::function needs a copyable callable; results and guards may not be.
template <class F> std::function<void()> shared(F f)
{
    return [f = std::make_shared<F>(std::move(f))] { (*f)(); };
}

// Runs `done` on the main thread, unless `context` has been destroyed by then or the
// application is quitting. Safe to call from any thread; the weak pointer is only read on the
// main thread.
template <class T, class Done> void postToMainThread(QPointer<T> context, Done done)
{
    Pool::post(shared([context = std::move(context), done = std::move(done)]() mutable {
        if (context)
            done();
    }));
}

// Runs `work` on the application's pool, then hands its result to `done` on the main thread
// while `context` lives. The work gets copies of what it needs, never the context.
template <class Work, class Done> void run(QObject *context, Work work, Done done)
{
    QPointer<QObject> guard(context);
    Pool::start(shared([guard, work = std::move(work), done = std::move(done)]() mutable {
        auto result = work();
        postToMainThread(guard, [result = std::move(result), done = std::move(done)]() mutable {
            done(std::move(result));
        });
    }));
}

// An awaitable that runs `work` on the application's pool and resumes the awaiting coroutine
// on the main thread with its result: `auto digest = co_await Background::onWorkerThread(...)`.
// The work must not touch the awaiting object; it gets copies of what it needs. When the
// application quits first, the coroutine is never resumed.
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
            // The frame outlives the work: a suspended QCoro coroutine is never destroyed.
            Pool::start([this, handle] {
                result.emplace(work());
                Pool::post([handle] { handle.resume(); });
            });
        }
        Result await_resume() { return std::move(*result); }
    };
    return Awaiter {std::move(work), std::nullopt};
}

} // namespace Background
