// The arithmetic of one finger-drill run, shared by the windmill and the block drill: which key is expected,
// how many were typed and missed, the speed, the best speed, the error percentage and the panel clock.
// Plain Qt Core; time comes from an injected clock so a test can drive a whole run in microseconds.
#pragma once

#include "Clock.h"
#include "Presence.h"
#include "UnitTally.h"

#include <QString>
#include <array>
#include <cstdint>

namespace halvor {

class FingerRun {
public:
    static constexpr int MaxKeys = 4;
    enum class KeyResult { Ignored, Correct, Wrong };

    explicit FingerRun(const Clock& clock) : clock_(clock) {}

    // Starts a run on the practised keys (1 to 4, in practice order): counters zeroed, clock started.
    void start(const QString& keys);
    // Typed character code. Control characters (Delete's 0x7f included) and codes from 0x80 up (kana
    // typed in kana mode) are ignored; a miss counts against the key that was expected and keeps it expected.
    // Every counted keystroke is an attempt at the key asked, a miss when wrong (with the key pressed); a
    // correct one is timed from the correct one before it.
    KeyResult checkKey(char32_t code);

    // Whole seconds since the start.
    unsigned elapsedSeconds() const;
    // Frame tick: current speed (correct strokes per minute, 0 in the first second) and the best speed,
    // taken only from the 5th second so an early burst does not count.
    void updateSpeed();
    // Clock tick: the panel's minutes and seconds. The tick stands for the whole second nearest to it, so one
    // that fires a little early or late cannot show the previous or the next second.
    void updateClock();
    // The clock stops (the run's end or the wall's completion): the panel shows the whole seconds that
    // passed, so a 30-second run shows 30 even when the clock tick of that second has not come yet.
    void stopClock();

    const QString& keys() const { return keys_; }
    int keyCount() const { return static_cast<int>(keys_.size()); }
    int nextKey() const { return nextKey_; }
    int keystrokes() const { return keystrokes_; }
    int errors() const { return errors_; }
    int keyErrors(int index) const { return keyErrors_.at(static_cast<std::size_t>(index)); }
    const std::array<int, MaxKeys>& keyErrors() const { return keyErrors_; }
    int correct() const { return keystrokes_ - errors_; }
    double currentSpeed() const { return currentSpeed_; }
    double maxSpeed() const { return maxSpeed_; }
    // Per key asked: attempts, misses, mean time and the wrong key pressed most.
    const UnitTally& units() const { return units_; }
    // The run so far, as the live class view shows it: speed now, accuracy, keystrokes, errors, seconds.
    presence::Figures figures() const;

    // Panel values (whole numbers, as shown).
    int speedNumber() const { return static_cast<int>(currentSpeed_); }
    int maxNumber() const { return static_cast<int>(maxSpeed_); }
    int errorNumber() const; // 0 until the first keystroke
    int minuteNumber() const { return minuteNumber_; }
    int secondNumber() const { return secondNumber_; }

private:
    std::uint32_t elapsedMs() const;
    void showSeconds(unsigned t);

    const Clock& clock_;
    QString keys_;
    std::uint32_t startTick_ = 0;
    int nextKey_ = 0;
    int keystrokes_ = 0;
    int errors_ = 0;
    std::array<int, MaxKeys> keyErrors_{};
    double currentSpeed_ = 0;
    double maxSpeed_ = 0;
    int minuteNumber_ = 0;
    int secondNumber_ = 0;
    UnitTally units_;
    bool struck_ = false; // a correct key was struck in this run, at lastStrike_
    std::uint32_t lastStrike_ = 0;
};

// A picture that alternates between two frames every `reload` frame ticks (the passenger, the mascot).
struct FrameAlternator {
    int frame = 0;
    int countdown = 20;
    int reload = 20;
    void reset() { frame = 0, countdown = reload; }
    void tick() {
        if (--countdown <= 0) {
            countdown = reload;
            frame = 1 - frame;
        }
    }
};

// The number the course menu appends to a drill's command line: the last `count` characters read as
// atoi does (leading blanks, optional sign, digits; 0 when there is no number).
int CourseNumber(const QString& commandLine, int count);

} // namespace halvor
