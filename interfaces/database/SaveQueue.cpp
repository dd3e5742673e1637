#include "SaveQueue.h"

#include "Server.h"

#include <QCoreApplication>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace halvor::db {

struct SaveQueue::Private {
    struct Entry {
        Job job;
        std::unique_ptr<SaveNotice> notice;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Entry> entries;
    bool running = false; // a job is being run
    bool stopping = false;
    std::chrono::milliseconds interval{1000};
    std::chrono::milliseconds window{30000};
    std::unique_ptr<QThread> thread;

    void run(Entry& entry) {
        std::chrono::milliseconds pause;
        std::chrono::steady_clock::time_point deadline;
        {
            std::lock_guard lock(mutex);
            pause = interval;
            deadline = std::chrono::steady_clock::now() + window;
        }
        bool told = false;
        SaveOutcome outcome = entry.job();
        while (outcome.problem == Problem::Busy && std::chrono::steady_clock::now() < deadline) {
            if (!told) {
                emit entry.notice->waiting();
                told = true;
            }
            QThread::msleep(static_cast<unsigned long>(pause.count()));
            outcome = entry.job();
        }
        emit entry.notice->done(outcome);
    }

    void loop() {
        // The server connection is kept between the saves of this thread.
        ServerSession session;
        for (;;) {
            Entry entry;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return stopping || !entries.empty(); });
                if (entries.empty())
                    return;
                entry = std::move(entries.front());
                entries.pop_front();
                running = true;
            }
            run(entry);
            entry.notice.reset();
            std::lock_guard lock(mutex);
            running = false;
            changed.notify_all();
        }
    }

    // Lets the saves still waiting end, then ends the thread; later saves run on the caller's thread.
    void stop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            changed.notify_all();
        }
        if (thread) {
            thread->wait();
            thread.reset();
        }
    }
};

SaveQueue& SaveQueue::instance() {
    static SaveQueue queue;
    return queue;
}

SaveQueue::SaveQueue() : d(std::make_unique<Private>()) {
    d->thread.reset(QThread::create([this] { d->loop(); }));
    d->thread->setObjectName(QStringLiteral("halvor.db.saves"));
    d->thread->start();
    // The saves need Qt's SQL drivers, which go with the application object.
    qAddPostRoutine([] { instance().d->stop(); });
}

SaveQueue::~SaveQueue() {
    d->stop();
}

void SaveQueue::submit(Job job, QObject* context, std::function<void()> waiting,
                       std::function<void(const SaveOutcome&)> done) {
    auto notice = std::make_unique<SaveNotice>();
    if (waiting)
        QObject::connect(notice.get(), &SaveNotice::waiting, context, std::move(waiting),
                         Qt::QueuedConnection);
    if (done)
        QObject::connect(notice.get(), &SaveNotice::done, context, std::move(done), Qt::QueuedConnection);
    std::unique_lock lock(d->mutex);
    if (d->stopping) {
        lock.unlock();
        Private::Entry entry{std::move(job), std::move(notice)};
        d->run(entry);
        return;
    }
    // The notice is deleted on the queue's thread once its job has ended.
    notice->moveToThread(d->thread.get());
    d->entries.push_back({std::move(job), std::move(notice)});
    d->changed.notify_all();
}

bool SaveQueue::waitForIdle(int timeoutMs) {
    std::unique_lock lock(d->mutex);
    return d->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return d->entries.empty() && !d->running; });
}

void SaveQueue::setRetry(std::chrono::milliseconds interval, std::chrono::milliseconds window) {
    std::lock_guard lock(d->mutex);
    d->interval = interval;
    d->window = window;
}

} // namespace halvor::db
