#include "AtExit.h"

#include "DbCore.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace halvor::db {

namespace {

struct Stops {
    std::mutex mutex;
    std::map<int, std::function<bool()>> all;
    int next = 0;
    bool postRoutine = false; // one is registered and has not run yet
};
Stops& stops() {
    static Stops* all = new Stops; // never destroyed: it is what runs in the teardown
    return *all;
}

void runAll() {
    std::map<int, std::function<bool()>> taken;
    {
        const std::lock_guard lock(stops().mutex);
        taken.swap(stops().all);
    }
    if (taken.empty())
        return;
    // Side by side: each waits at most its own bound, and the process no longer than the longest.
    std::atomic<bool> ended = true;
    std::vector<std::thread> others;
    const auto last = std::prev(taken.end());
    for (auto it = taken.begin(); it != last; ++it)
        others.emplace_back([&ended, &stop = it->second] {
            if (!stop())
                ended = false;
        });
    if (!last->second())
        ended = false;
    for (std::thread& t : others)
        t.join();
    if (!ended)
        endProgramNow();
}

void runAllAsTheApplicationGoes() {
    {
        const std::lock_guard lock(stops().mutex);
        stops().postRoutine = false;
    }
    runAll();
}

} // namespace

int endAtExit(std::function<bool()> stop) {
    static const bool registered = [] {
        // What the stopping threads use is made before the handler is registered, so it is torn down after
        // the handler has run.
        QSqlDatabase::drivers();
        QSqlDatabase::contains(QString());
        QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"));
        QSqlQuery();
        lcDb();
        return std::atexit(runAll) == 0;
    }();
    Stops& all = stops();
    bool addRoutine = false;
    int id = 0;
    {
        const std::lock_guard lock(all.mutex);
        id = ++all.next;
        if (registered)
            all.all[id] = std::move(stop);
        addRoutine = !std::exchange(all.postRoutine, true);
    }
    // Qt's SQL drivers, which the stopping threads use, go with the application object.
    if (addRoutine)
        qAddPostRoutine(runAllAsTheApplicationGoes);
    return id;
}

int stopAtExit(std::function<void()> stop) {
    return endAtExit([stop = std::move(stop)] {
        stop();
        return true;
    });
}

void forgetAtExit(int id) {
    const std::lock_guard lock(stops().mutex);
    stops().all.erase(id);
}

void stopBeforeTheStaticsMadeSoFar() {
    std::atexit(runAll);
}

void endProgramNow() {
    std::fflush(nullptr);
    ::_exit(0);
}

} // namespace halvor::db
