// The drills' random numbers, behind an interface so tests can inject a fixed sequence.
#pragma once

#include <cstdint>

namespace halvor {

class Random {
public:
    virtual ~Random() = default;
    virtual void seed(std::uint32_t value) = 0;
    // 0 .. 32767, as the C runtime's rand() the drills were designed around.
    virtual int next() = 0;
};

// The classic linear congruential rand(): same range and same quality the drills were tuned with.
class StdRandom final : public Random {
public:
    void seed(std::uint32_t value) override { state_ = value; }
    int next() override {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7fffu);
    }

private:
    std::uint32_t state_ = 1;
};

} // namespace halvor
