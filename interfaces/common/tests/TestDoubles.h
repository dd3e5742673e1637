// The one set of test doubles for the clock and the random source, shared by every test and benchmark.
#pragma once

#include "Clock.h"
#include "Random.h"

#include <QByteArray>
#include <QList>

// A clock the test moves by hand: the tick count and the wall time move together.
class FakeClock final : public halvor::Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 5, 14), QTime(10, 0)),
                       std::uint32_t startTick = 1000)
        : tick(startTick), wall(std::move(start)) {}
    std::uint32_t tickCount() const override { return tick; }
    QDateTime now() const override { return wall; }

    void advance(qint64 ms) {
        tick += static_cast<std::uint32_t>(ms);
        wall = wall.addMSecs(ms);
    }
    // Sets the wall time only, as a change of date or of the system clock would.
    void set(const QDateTime& when) { wall = when; }

    std::uint32_t tick;
    QDateTime wall;
};

// Plays back a list of numbers; at its end it starts again (Repeat) or keeps giving the last one (HoldLast).
// An empty list gives 0.
class ScriptedRandom final : public halvor::Random {
public:
    enum class AtEnd { Repeat, HoldLast };
    explicit ScriptedRandom(QList<int> values = {}, AtEnd atEnd = AtEnd::Repeat)
        : values_(std::move(values)), atEnd_(atEnd) {}
    void seed(std::uint32_t) override {}
    int next() override {
        if (values_.isEmpty())
            return 0;
        const qsizetype at =
            atEnd_ == AtEnd::Repeat ? position_ % values_.size() : std::min(position_, values_.size() - 1);
        ++position_;
        return values_[at];
    }

private:
    QList<int> values_;
    AtEnd atEnd_;
    qsizetype position_ = 0;
};

// An environment variable set for a test's scope, and put back as it was after it.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QByteArray& value)
        : name_(name), kept_(qgetenv(name)), wasSet_(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value);
    }
    ~ScopedVariable() {
        if (wasSet_)
            qputenv(name_, kept_);
        else
            qunsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    QByteArray kept_;
    bool wasSet_;
};
