// The library's threads: saves (this computer's file only), the sender (the school's server) and reads (the
// charts' rows). None waits for another, and the program's end waits for none of them for long.
#include "SaveQueue.h"

#include "AtExit.h"
#include "Outbox.h"
#include "Server.h"
#include "WorkThread.h"

#include <QThread>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace halvor::db {

namespace {

// Runs that could not be sent are offered again this often while the program runs.
constexpr int kResendMs = 60000;

bool endThreads();

std::atomic<WorkThread*> g_threads[3] = {};

WorkThread& thread(int which) {
    static std::once_flag made;
    std::call_once(made, [] {
        endAtExit(endThreads); // first, so that what the threads use is made before them
        static WorkThread saves(QStringLiteral("halvor.db.saves"), kConnectTimeoutSeconds);
        static WorkThread sender(QStringLiteral("halvor.db.sender"), kSenderConnectTimeoutSeconds);
        static WorkThread reads(QStringLiteral("halvor.db.reads"), kConnectTimeoutSeconds);
        g_threads[0] = &saves;
        g_threads[1] = &sender;
        g_threads[2] = &reads;
        stopBeforeTheStaticsMadeSoFar();
    });
    return *g_threads[which];
}
WorkThread& saves() {
    return thread(0);
}
WorkThread& sender() {
    return thread(1);
}
WorkThread& reads() {
    return thread(2);
}

// After the window has closed: the saves still waiting are written (this computer only, so quickly), a send
// or read that is running may end by itself within the second, then it is cut off; the program ends within
// two seconds whatever the network does. What was not sent goes at the next start. False when a thread is
// still running then.
bool endThreads() {
    using namespace std::chrono_literals;
    if (!g_threads[0])
        return true; // never made; the end of the program must not make them
    const auto start = WorkThread::Clock::now();
    sender().stop(start, false); // no new work
    reads().stop(start, false);
    saves().stop(start + 1400ms, true);
    bool ended = sender().stop(start + 1200ms, false) && reads().stop(start + 1200ms, false);
    if (!ended) {
        cutOffServerCalls();
        ended = sender().stop(start + 1700ms, false) && reads().stop(start + 1700ms, false);
    }
    return ended && saves().stop(start + 1700ms, true);
}

struct Watcher {
    SaveOutcome outcome;
    std::unique_ptr<SaveNotice> notice;
};

struct Target {
    bool due = false;
    std::vector<Watcher> watchers;
};

std::mutex g_targetsMutex;
std::map<std::pair<QString, QString>, Target> g_targets; // (server, local file)

void sendNow(const std::pair<QString, QString>& key, int delayMs);

void sendNowOnThisThread(const std::pair<QString, QString>& key) {
    std::vector<Watcher> watchers;
    {
        std::lock_guard lock(g_targetsMutex);
        Target& t = g_targets[key];
        t.due = false;
        watchers.swap(t.watchers);
    }
    QSet<QString> left;
    clearFailure();
    const bool empty = sendOutbox(key.first, key.second, &left);
    for (Watcher& w : watchers) {
        // An outbox that could not even be read keeps every run waiting.
        w.outcome.queued = left.contains(w.outcome.runId) || (!empty && left.isEmpty());
        if (w.outcome.queued) {
            w.outcome.problem = DB_LastProblem() == Problem::None ? Problem::Offline : DB_LastProblem();
            w.outcome.why = DB_LastError();
        }
        emit w.notice->sent(w.outcome);
    }
    if (!empty)
        sendNow(key, kResendMs);
}

void sendNow(const std::pair<QString, QString>& key, int delayMs) {
    std::lock_guard lock(g_targetsMutex);
    Target& t = g_targets[key];
    if (t.due && delayMs > 0)
        return;
    if (sender().post([key] { sendNowOnThisThread(key); }, delayMs))
        t.due = true;
}

void watch(const QString& server, const QString& local, const SaveOutcome& outcome,
           std::unique_ptr<SaveNotice> notice) {
    const std::pair<QString, QString> key{server, local};
    if (notice) {
        std::lock_guard lock(g_targetsMutex);
        if (QThread* t = sender().thread()) {
            notice->moveToThread(t);
            g_targets[key].watchers.push_back({outcome, std::move(notice)});
        }
    }
    sendNow(key, 0);
}

} // namespace

SaveQueue& SaveQueue::instance() {
    static SaveQueue queue;
    return queue;
}

void SaveQueue::submit(Job job, QObject* context, Told done, Told sent) {
    auto notice = std::make_unique<SaveNotice>();
    if (done && context)
        QObject::connect(notice.get(), &SaveNotice::done, context, std::move(done), Qt::QueuedConnection);
    const bool follow = sent && context;
    if (follow)
        QObject::connect(notice.get(), &SaveNotice::sent, context, std::move(sent), Qt::QueuedConnection);
    auto run = [job = std::move(job), follow](std::unique_ptr<SaveNotice> n) {
        const SaveOutcome outcome = job();
        emit n->done(outcome);
        if (!outcome.server.isEmpty())
            watch(outcome.server, DB_LocalPath(), outcome, follow ? std::move(n) : nullptr);
    };
    QThread* t = saves().thread();
    if (!t) { // the program is ending: saved here and now
        run(std::move(notice));
        return;
    }
    // The notice is deleted on the thread that holds it last.
    notice->moveToThread(t);
    auto shared = std::make_shared<std::unique_ptr<SaveNotice>>(std::move(notice));
    if (!saves().post([run, shared]() mutable { run(std::move(*shared)); }))
        run(std::move(*shared));
}

bool SaveQueue::waitForIdle(int timeoutMs) {
    return saves().waitForIdle(timeoutMs);
}

void sendLater(const QString& server, const QString& local) {
    watch(server, local, {}, nullptr);
}

bool waitForSender(int timeoutMs) {
    return sender().waitForIdle(timeoutMs);
}

void readInBackground(QObject* context, std::function<void()> read, std::function<void()> then) {
    auto notice = std::make_shared<std::unique_ptr<SaveNotice>>(std::make_unique<SaveNotice>());
    QObject::connect(notice->get(), &SaveNotice::ready, context, std::move(then), Qt::QueuedConnection);
    if (QThread* t = reads().thread())
        (*notice)->moveToThread(t);
    const auto job = [notice, read = std::move(read)] {
        read();
        emit(*notice)->ready();
        notice->reset();
    };
    if (!reads().post(job))
        job();
}

} // namespace halvor::db
