// Test doubles for the drills' clock and random source.
#pragma once

#include "Clock.h"
#include "Random.h"

#include <QList>

class FakeClock final : public halvor::Clock {
public:
    std::uint32_t tickCount() const override { return tick; }
    QDateTime now() const override { return wall; }
    void advance(std::uint32_t ms) { tick += ms; }

    std::uint32_t tick = 1000;
    QDateTime wall{QDate(2026, 5, 14), QTime(10, 0)};
};

// Plays back a list of numbers, then repeats it; an empty list gives 0.
class ScriptedRandom final : public halvor::Random {
public:
    explicit ScriptedRandom(QList<int> values = {}) : values_(std::move(values)) {}
    void seed(std::uint32_t) override {}
    int next() override { return values_.isEmpty() ? 0 : values_[position_++ % values_.size()]; }

private:
    QList<int> values_;
    int position_ = 0;
};
