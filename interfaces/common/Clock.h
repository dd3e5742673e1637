// Time as the drills see it, behind an interface so tests can drive a run in microseconds.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <cstdint>

namespace halvor {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds from a fixed start, monotonic (GetTickCount).
    virtual std::uint32_t tickCount() const = 0;
    // Local wall time, for the date of a result row and for seeding.
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
};

class SystemClock final : public Clock {
public:
    SystemClock() { timer_.start(); }
    std::uint32_t tickCount() const override { return static_cast<std::uint32_t>(timer_.elapsed()); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }

private:
    QElapsedTimer timer_;
};

} // namespace halvor
