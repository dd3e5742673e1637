// What tests of presence share: a server held in memory that the test can hold back, fail and read, and a
// reporter installed for a test's scope that sends every change at once to it.
#pragma once

#include "Reporter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace presencetest {

class FakeTransport final : public halvor::presence::Transport {
public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        QList<halvor::presence::Report> reports;
        bool hold = false;
        bool fail = false;
        bool interrupted = false;
        bool deaf = false; // a held send that even a cut does not end (a driver's own wait)
        int waiting = 0;   // sends held back right now
    };
    explicit FakeTransport(std::shared_ptr<Shared> s) : s_(std::move(s)) {}
    bool send(const halvor::presence::Report& report) override {
        std::unique_lock lock(s_->mutex);
        ++s_->waiting;
        s_->changed.notify_all();
        s_->changed.wait(lock, [&] { return !s_->hold || (s_->interrupted && !s_->deaf); });
        --s_->waiting;
        const bool ok = !s_->fail && !s_->interrupted;
        if (ok)
            s_->reports << report;
        s_->changed.notify_all();
        return ok;
    }
    void interrupt() override {
        const std::lock_guard lock(s_->mutex);
        s_->interrupted = true;
        s_->changed.notify_all();
    }

private:
    std::shared_ptr<Shared> s_;
};

// Waits (five seconds at most) until `done` holds on the shared state.
inline bool await(FakeTransport::Shared& s, const std::function<bool()>& done) {
    std::unique_lock lock(s.mutex);
    return s.changed.wait_for(lock, std::chrono::seconds(5), done);
}

inline QString events(const QList<halvor::presence::Report>& reports) {
    QStringList out;
    for (const halvor::presence::Report& r : reports)
        out << halvor::presence::eventName(r.event);
    return out.join(QLatin1Char(' '));
}

// The program's reporter for a test: installed while this lives, every change sent at once.
class InstalledReporter {
public:
    explicit InstalledReporter(const QString& program)
        : shared_(std::make_shared<FakeTransport::Shared>()),
          reporter_(clock_, std::make_unique<FakeTransport>(shared_),
                    halvor::presence::Timing{0, 60000, 60000}) {
        reporter_.open(QStringLiteral("A"), QStringLiteral("pc1"), program, {});
        halvor::presence::install(&reporter_);
    }
    ~InstalledReporter() { halvor::presence::install(nullptr); }
    InstalledReporter(const InstalledReporter&) = delete;
    InstalledReporter& operator=(const InstalledReporter&) = delete;

    // Waits until a report satisfies `match`; that report.
    std::optional<halvor::presence::Report>
    waitFor(const std::function<bool(const halvor::presence::Report&)>& match) {
        std::optional<halvor::presence::Report> found;
        await(*shared_, [&] {
            for (const halvor::presence::Report& r : std::as_const(shared_->reports)) {
                if (match(r)) {
                    found = r;
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    QList<halvor::presence::Report> reports() {
        const std::lock_guard lock(shared_->mutex);
        return shared_->reports;
    }

private:
    halvor::SystemClock clock_;
    std::shared_ptr<FakeTransport::Shared> shared_;
    halvor::presence::Reporter reporter_;
};

} // namespace presencetest
