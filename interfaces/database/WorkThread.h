// A thread of the library's own that runs the work handed to it, in order, away from the window's thread:
// the saves, the sending to the school's server, the reads for the charts. Each keeps its server
// connections between jobs.
#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QThread;

namespace halvor::db {

class WorkThread {
public:
    using Clock = std::chrono::steady_clock;

    // `connectSeconds`: how long the thread's server connections may take to be made.
    WorkThread(const QString& name, int connectSeconds);
    ~WorkThread();
    WorkThread(const WorkThread&) = delete;
    WorkThread& operator=(const WorkThread&) = delete;

    // Runs `job` on the thread once `delayMs` have passed and the work handed in before it is done. False,
    // with nothing run, once the thread has stopped.
    bool post(std::function<void()> job, int delayMs = 0);
    // Waits until no job is running or due; false when `timeoutMs` ran out first.
    bool waitForIdle(int timeoutMs);
    // Takes no further work and lets the thread end: after the jobs already due when `runWaiting`, else after
    // the running one. True when it ended before `deadline`.
    bool stop(Clock::time_point deadline, bool runWaiting);
    // The thread, for objects that must live on it.
    QThread* thread() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace halvor::db
