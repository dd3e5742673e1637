// A random source that gives a fixed sequence, then repeats its last value.
#pragma once

#include <Random.h>
#include <vector>

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
