// A random source that replays a fixed list of numbers, then counts on from the last one.
#pragma once

#include "Random.h"

#include <QList>

class FakeRandom final : public halvor::Random {
public:
    explicit FakeRandom(QList<int> values = {0}) : values_(std::move(values)) {}
    void seed(std::uint32_t) override {}
    int next() override {
        const qsizetype at = position_++;
        return at < values_.size() ? values_.at(at) : values_.last() + int(at - values_.size() + 1);
    }

private:
    QList<int> values_;
    qsizetype position_ = 0;
};
