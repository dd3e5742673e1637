// Test doubles the lessons' tests share: a fixed random sequence and a clock moved by hand.
#pragma once

#include <Clock.h>
#include <Random.h>
#include <algorithm>
#include <vector>

// Gives a fixed sequence, then repeats its last value.
class FixedRandom final : public halvor::Random {
public:
    explicit FixedRandom(std::vector<int> values = {0}) : values_(std::move(values)) {}
    void seed(std::uint32_t) override {}
    int next() override {
        const int v = values_[std::min(index_, values_.size() - 1)];
        ++index_;
        return v;
    }

private:
    std::vector<int> values_;
    std::size_t index_ = 0;
};

class ManualClock final : public halvor::Clock {
public:
    std::uint32_t tickCount() const override { return ticks; }
    QDateTime now() const override { return QDateTime(QDate(2026, 4, 1), QTime(10, 0)); }
    std::uint32_t ticks = 1000;
};
