#include "Reporter.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace halvor::presence {

bool Schedule::changed(bool urgent) {
    const bool sooner = !dirty_ || (urgent && !urgent_);
    dirty_ = true;
    urgent_ = urgent_ || urgent;
    return sooner;
}

qint64 Schedule::dueIn(qint64 now) const {
    const auto after = [&](qint64 wait) { return std::max<qint64>(0, last_ + wait - now); };
    if (!begun_)
        return dirty_ ? 0 : -1;
    if (away_)
        return after(timing_.retryMs);
    if (urgent_)
        return 0;
    return after(dirty_ ? timing_.minIntervalMs : timing_.heartbeatMs);
}

void Schedule::taken(qint64 now) {
    begun_ = true;
    dirty_ = false;
    urgent_ = false;
    last_ = now;
}

struct Reporter::Private {
    Private(const Clock& c, std::unique_ptr<Transport> t, Timing timing)
        : clock(c), transport(std::move(t)), schedule(timing), pauseMs(timing.pauseMs),
          lastTick(c.tickCount()) {}

    const Clock& clock;
    std::unique_ptr<Transport> transport;
    std::mutex mutex;
    std::condition_variable wake;
    Schedule schedule;
    const qint64 pauseMs;
    Report state;
    std::uint32_t startTick = 0;
    std::optional<std::uint32_t> inputTick;
    std::optional<Report> finish; // a finished run not reported yet
    bool opened = false;
    bool closing = false;
    bool stopping = false;
    bool done = false;
    std::uint32_t lastTick;
    qint64 total = 0;
    std::atomic<int> sent{0};
    std::atomic<int> failed{0};
    std::thread thread;

    // Milliseconds on the clock, carried past the 32-bit tick's wrap. Under the lock.
    qint64 now() {
        const std::uint32_t tick = clock.tickCount();
        total += static_cast<std::uint32_t>(tick - lastTick);
        lastTick = tick;
        return total;
    }
    // The state with its durations as of now. Under the lock.
    Report snapshot() const {
        Report r = state;
        const std::uint32_t tick = clock.tickCount();
        r.sinceStartMs = static_cast<std::uint32_t>(tick - startTick);
        if (inputTick)
            r.sinceInputMs = static_cast<std::uint32_t>(tick - *inputTick);
        return r;
    }
    // A keystroke wakes the thread only when it makes a report due sooner. Under the lock.
    void change(bool urgent) {
        if (schedule.changed(urgent))
            wake.notify_all();
    }
    void run();
};

void Reporter::Private::run() {
    std::unique_lock lock(mutex);
    while (!stopping) {
        const qint64 wait = opened ? schedule.dueIn(now()) : -1;
        if (wait != 0) {
            if (wait < 0)
                wake.wait(lock);
            else
                wake.wait_for(lock, std::chrono::milliseconds(wait));
            continue;
        }
        std::optional<Report> first = std::exchange(finish, std::nullopt);
        const Report current = snapshot();
        if (first && current.event == Event::Finish)
            first.reset(); // nothing happened since: the state is the finished run itself
        schedule.taken(now());
        const bool last = closing;
        // What comes after an opening, a start or a finish is news of the same state.
        if (state.event != Event::Close)
            state.event = Event::Progress;
        lock.unlock();
        bool ok = true;
        for (const Report* report :
             std::initializer_list<const Report*>{first ? &*first : nullptr, &current}) {
            if (report && ok) {
                ok = transport->send(*report);
                ++(ok ? sent : failed);
            }
        }
        lock.lock();
        schedule.answered(ok);
        if (last)
            break;
    }
    lock.unlock();
    transport->threadEnding();
    lock.lock();
    done = true;
    wake.notify_all();
}

Reporter::Reporter(const Clock& clock, std::unique_ptr<Transport> transport, Timing timing)
    : d(std::make_shared<Private>(clock, std::move(transport), timing)) {
    d->thread = std::thread([p = d] { p->run(); });
}

Reporter::~Reporter() {
    if (installed() == this)
        install(nullptr);
    close(kCloseWaitMs);
}

void Reporter::open(const QString& learner, const QString& computer, const QString& program,
                    const QString& course) {
    const std::lock_guard lock(d->mutex);
    d->state.event = Event::Open;
    d->state.learner = learner;
    d->state.computer = computer;
    d->state.program = program;
    d->state.course = course;
    d->startTick = d->clock.tickCount();
    d->opened = true;
    d->change(true);
}

void Reporter::setCourse(const QString& course) {
    const std::lock_guard lock(d->mutex);
    if (d->state.course == course)
        return;
    d->state.course = course;
    d->change(false);
}

void Reporter::runStarted() {
    const std::lock_guard lock(d->mutex);
    d->state.event = Event::Start;
    d->state.running = true;
    d->state.figures = {};
    d->change(true);
}

void Reporter::input() {
    const std::lock_guard lock(d->mutex);
    const std::uint32_t tick = d->clock.tickCount();
    const bool back = !d->inputTick || static_cast<std::uint32_t>(tick - *d->inputTick) >= d->pauseMs;
    d->inputTick = tick;
    d->change(back);
}

void Reporter::progress(const Figures& figures) {
    const std::lock_guard lock(d->mutex);
    if (d->state.figures == figures)
        return;
    d->state.figures = figures;
    d->change(false);
}

void Reporter::runFinished(const Figures& figures) {
    const std::lock_guard lock(d->mutex);
    d->state.event = Event::Finish;
    d->state.running = false;
    d->state.figures = figures;
    d->finish = d->snapshot();
    d->change(true);
}

void Reporter::runStopped() {
    const std::lock_guard lock(d->mutex);
    if (!d->state.running)
        return;
    d->state.event = Event::Progress;
    d->state.running = false;
    d->state.figures = {};
    d->change(true);
}

void Reporter::close(int waitMs) {
    std::unique_lock lock(d->mutex);
    if (!d->thread.joinable())
        return;
    if (d->opened && !d->schedule.away() && !d->closing) {
        d->state.event = Event::Close;
        d->state.running = false;
        d->closing = true;
        d->change(true);
        d->wake.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return d->done; });
    }
    d->stopping = true;
    const bool busy = !d->done;
    d->wake.notify_all();
    lock.unlock();
    if (busy)
        d->transport->interrupt();
    lock.lock();
    // A send that does not return even when cut off (a driver's own wait) holds no program's end: the thread
    // keeps its state and ends by itself, and after a send it only sees that it is to stop.
    if (!d->wake.wait_for(lock, std::chrono::milliseconds(kEndWaitMs), [this] { return d->done; })) {
        lock.unlock();
        d->thread.detach();
        return;
    }
    lock.unlock();
    d->thread.join();
}

int Reporter::sent() const {
    return d->sent;
}

int Reporter::failed() const {
    return d->failed;
}

// ---- The program's one reporter

namespace {

std::atomic<Reporter*> g_reporter{nullptr};
std::mutex g_courseMutex;
QString g_course;

template <typename... Args> void forward(void (Reporter::*method)(Args...), const auto&... args) {
    if (Reporter* r = g_reporter)
        (r->*method)(args...);
}

} // namespace

void install(Reporter* reporter) {
    g_reporter = reporter;
}

Reporter* installed() {
    return g_reporter;
}

void setCourse(const QString& course) {
    {
        const std::lock_guard lock(g_courseMutex);
        g_course = course;
    }
    forward(&Reporter::setCourse, course);
}

QString course() {
    const std::lock_guard lock(g_courseMutex);
    return g_course;
}

void runStarted() {
    forward(&Reporter::runStarted);
}

void input() {
    forward(&Reporter::input);
}

void progress(const Figures& figures) {
    forward(&Reporter::progress, figures);
}

void runFinished(const Figures& figures) {
    forward(&Reporter::runFinished, figures);
}

void runStopped() {
    forward(&Reporter::runStopped);
}

} // namespace halvor::presence
