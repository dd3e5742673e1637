// Saves away from the window's thread, one after another in the order given, so a window never freezes while
// the file is locked, and the runs keep their order (and so their run numbers). A save never waits for the
// school's server: a run bound there is handed to the sender, on a thread of its own.
#pragma once

#include "Database.h"

#include <QObject>
#include <functional>
#include <memory>

namespace halvor::db {

class SaveQueue {
public:
    using Job = std::function<SaveOutcome()>;
    using Told = std::function<void(const SaveOutcome&)>;

    // The program's one queue. Its thread ends with the application, after the saves still waiting.
    static SaveQueue& instance();
    SaveQueue(const SaveQueue&) = delete;
    SaveQueue& operator=(const SaveQueue&) = delete;

    // Runs `job` on the queue's thread; `done` then runs with its outcome on `context`'s thread (not at all
    // once `context` is gone, or when it is null). A run bound for a server goes on to the sender, and `sent`
    // runs once the first try to send it has ended: its outcome's `queued` says whether it still waits.
    void submit(Job job, QObject* context, Told done, Told sent = {});
    // Waits until every save submitted so far has ended; false when `timeoutMs` ran out first.
    bool waitForIdle(int timeoutMs);

private:
    SaveQueue() = default;
};

// Sends the outbox of `local` to `server` on the sender's thread, now and again later while runs wait.
void sendLater(const QString& server, const QString& local);
// Waits until the sender has nothing to do now; false when `timeoutMs` ran out first (tests).
bool waitForSender(int timeoutMs);

// Runs `read` on the thread for reads, and then `then` on `context`'s thread (not at all once `context` is
// gone). Every wait of a read is bounded, so the window shows what it asked for within seconds.
void readInBackground(QObject* context, std::function<void()> read, std::function<void()> then);

// Rows read on the thread for reads, with how the read went there: whether it worked, why not, and why this
// computer's rows stand in for the server's (None when they do not).
template <typename Rows> struct RowsRead {
    Rows rows;
    bool read = false;
    Problem problem = Problem::None;
    Problem serverAway = Problem::None;
};
// `read` fills the rows and says whether it could; `then` gets what it brought, on `context`'s thread.
template <typename Rows>
void readRowsInBackground(QObject* context, std::function<bool(Rows&)> read,
                          std::function<void(const RowsRead<Rows>&)> then) {
    auto result = std::make_shared<RowsRead<Rows>>();
    readInBackground(
        context,
        [result, read = std::move(read)] {
            result->read = read(result->rows);
            result->problem = DB_LastProblem();
            result->serverAway = DB_ServerProblem();
        },
        [result, then = std::move(then)] { then(*result); });
}

// Carries a save's news from the library's threads to the window's (queued signals).
class SaveNotice : public QObject {
    Q_OBJECT
signals:
    void done(const halvor::db::SaveOutcome& outcome);
    void sent(const halvor::db::SaveOutcome& outcome);
    void ready();
};

} // namespace halvor::db
