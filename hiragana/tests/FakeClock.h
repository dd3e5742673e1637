// A clock the test sets by hand.
#pragma once

#include "Clock.h"

class FakeClock final : public halvor::Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2004, 11, 29), QTime(10, 0, 0)))
        : now_(std::move(start)) {}
    std::uint32_t tickCount() const override { return ticks_; }
    QDateTime now() const override { return now_; }

    void advanceMs(qint64 ms) {
        now_ = now_.addMSecs(ms);
        ticks_ += std::uint32_t(ms);
    }
    void set(const QDateTime& when) { now_ = when; }

private:
    QDateTime now_;
    std::uint32_t ticks_ = 0;
};
