// Saves away from the window's thread, one after another in the order given, so a window never freezes while
// the file is locked or the server is slow, and the runs keep their order (and so their run numbers).
#pragma once

#include "Database.h"

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>

namespace halvor::db {

class SaveQueue {
public:
    using Job = std::function<SaveOutcome()>;

    // The program's one queue. Its thread ends with the application, after the saves still waiting.
    static SaveQueue& instance();
    ~SaveQueue();
    SaveQueue(const SaveQueue&) = delete;
    SaveQueue& operator=(const SaveQueue&) = delete;

    // Runs `job` on the queue's thread. A job whose outcome is Problem::Busy (another program holds the file)
    // runs again every retry interval until it succeeds or the retry window has passed, so a finished run is
    // not lost to a lock. `waiting` runs once, at the first lock, and `done` at the end, both on `context`'s
    // thread and not at all once `context` is gone (or when it is null).
    void submit(Job job, QObject* context, std::function<void()> waiting,
                std::function<void(const SaveOutcome&)> done);
    // Waits until every save submitted so far has ended; false when `timeoutMs` ran out first.
    bool waitForIdle(int timeoutMs);
    // Tests shorten the waits; the program keeps a second between tries for at least half a minute.
    void setRetry(std::chrono::milliseconds interval, std::chrono::milliseconds window);

private:
    SaveQueue();
    struct Private;
    std::unique_ptr<Private> d;
};

// Carries a save's news from the queue's thread to the window's (queued signals).
class SaveNotice : public QObject {
    Q_OBJECT
signals:
    void waiting();
    void done(const halvor::db::SaveOutcome& outcome);
};

} // namespace halvor::db
