#include "WorkThread.h"

#include "AtExit.h"
#include "Server.h"
#include "SqliteFile.h"

#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace halvor::db {

struct WorkThread::Private {
    struct Entry {
        Clock::time_point due;
        std::function<void()> job;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Entry> entries; // in the order handed in; a delayed one waits without holding up the others
    bool running = false;
    bool stopping = false;
    bool runWaiting = false;
    std::unique_ptr<QThread> thread;
    int connectSeconds = kConnectTimeoutSeconds;

    // The first entry that is due, or the end; *next is when the earliest of the others will be.
    std::deque<Entry>::iterator firstDue(Clock::time_point now, Clock::time_point* next) {
        *next = Clock::time_point::max();
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->due <= now)
                return it;
            *next = std::min(*next, it->due);
        }
        return entries.end();
    }

    void loop() {
        ServerSession session(connectSeconds);
        FileSession files;
        std::unique_lock lock(mutex);
        bool first = true;
        for (;;) {
            Clock::time_point next;
            const auto it = firstDue(Clock::now(), &next);
            if (stopping && (!runWaiting || it == entries.end()))
                return;
            if (it == entries.end()) {
                if (next == Clock::time_point::max())
                    changed.wait(lock);
                else
                    changed.wait_until(lock, next);
                continue;
            }
            std::function<void()> job = std::move(it->job);
            entries.erase(it);
            running = true;
            lock.unlock();
            job();
            job = nullptr; // what it holds goes on this thread
            if (std::exchange(first, false))
                stopBeforeTheStaticsMadeSoFar(); // and those the first job made
            lock.lock();
            running = false;
            changed.notify_all();
        }
    }
};

WorkThread::WorkThread(const QString& name, int connectSeconds) : d(std::make_unique<Private>()) {
    d->connectSeconds = connectSeconds;
    d->thread.reset(QThread::create([this] { d->loop(); }));
    d->thread->setObjectName(name);
    d->thread->start();
}

WorkThread::~WorkThread() {
    if (stop(Clock::now() + std::chrono::seconds(1), true))
        return;
    cutOffServerCalls();
    if (!stop(Clock::now() + std::chrono::milliseconds(300), true))
        endProgramNow();
}

bool WorkThread::post(std::function<void()> job, int delayMs) {
    std::lock_guard lock(d->mutex);
    if (d->stopping)
        return false;
    d->entries.push_back({Clock::now() + std::chrono::milliseconds(delayMs), std::move(job)});
    d->changed.notify_all();
    return true;
}

bool WorkThread::waitForIdle(int timeoutMs) {
    std::unique_lock lock(d->mutex);
    return d->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        Clock::time_point next;
        return !d->running && d->firstDue(Clock::now(), &next) == d->entries.end();
    });
}

bool WorkThread::stop(Clock::time_point deadline, bool runWaiting) {
    {
        std::lock_guard lock(d->mutex);
        if (!d->stopping) {
            d->stopping = true;
            d->runWaiting = runWaiting;
        }
        d->changed.notify_all();
    }
    if (!d->thread)
        return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (!d->thread->wait(QDeadlineTimer(std::max<qint64>(0, left.count()))))
        return false;
    d->thread.reset();
    return true;
}

QThread* WorkThread::thread() const {
    return d->thread.get();
}

} // namespace halvor::db
