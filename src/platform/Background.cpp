#include "Background.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

// Work may block for minutes on a child, so the pool must not run short of threads; this is
// far more than the few such waits that happen at once.
constexpr int maxThreads = 32;

// Which pool takes work and results. Never destroyed: an abandoned worker may still look at it
// while the program ends.
struct Gate
{
    std::mutex mutex;
    Background::Pool *pool = nullptr;
    bool everOpened = false;
};

Gate &gate()
{
    static Gate *const instance = new Gate;
    return *instance;
}

Background::Pool *implicitPool = nullptr;

// Without a pool from main(), the application owns one, shut down as it is destroyed (post
// routines run at the start of its destructor, while it still takes events).
Background::Pool *makeImplicitPool()
{
    const QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return nullptr;
    implicitPool = new Background::Pool;
    qAddPostRoutine([] { delete std::exchange(implicitPool, nullptr); });
    return implicitPool;
}

} // namespace

namespace Background {

Pool::Pool()
    : m_threads(new QThreadPool)
{
    m_threads->setMaxThreadCount(maxThreads);
    Gate &g = gate();
    std::lock_guard lock(g.mutex);
    g.pool = this;
    g.everOpened = true;
}

Pool::~Pool()
{
    shutDown();
    // Its destructor would wait for the abandoned work without end.
    if (!m_abandoned)
        delete m_threads;
}

bool Pool::shutDown(std::chrono::milliseconds grace)
{
    {
        Gate &g = gate();
        std::lock_guard lock(g.mutex);
        if (g.pool == this)
            g.pool = nullptr;
    }
    if (m_open) {
        m_open = false;
        m_threads->clear();
        m_abandoned = !m_threads->waitForDone(static_cast<int>(grace.count()));
    }
    return !m_abandoned;
}

int Pool::finish(int status)
{
    if (shutDown())
        return status;
    // The children that abandoned work waits on keep running; we end without the static
    // destructors a worker could run into when its child exits a moment later.
    std::fflush(nullptr);
    std::_Exit(status);
}

bool Pool::start(std::function<void()> work)
{
    Gate &g = gate();
    std::unique_lock lock(g.mutex);
    Pool *pool = g.pool;
    if (!pool && g.everOpened)
        return false; // quitting
    if (!pool) {
        lock.unlock();
        pool = makeImplicitPool();
        if (!pool) {
            // No application to own a pool nor to hand results to: a plain thread will do.
            std::thread(std::move(work)).detach();
            return true;
        }
        lock.lock();
        if (g.pool != pool)
            return false;
    }
    pool->m_threads->start(std::move(work));
    return true;
}

void Pool::post(std::function<void()> job)
{
    Gate &g = gate();
    std::lock_guard lock(g.mutex);
    // While a pool is open the application is alive: pools close before it goes. Before any
    // pool existed, posting works as it always did.
    if (!g.pool && g.everOpened)
        return;
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(job), Qt::QueuedConnection);
}

} // namespace Background
