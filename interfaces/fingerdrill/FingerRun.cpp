#include "FingerRun.h"

namespace halvor {

void FingerRun::start(const QString& keys) {
    keys_ = keys.left(MaxKeys);
    nextKey_ = 0;
    keystrokes_ = 0;
    errors_ = 0;
    keyErrors_.fill(0);
    currentSpeed_ = 0;
    maxSpeed_ = 0;
    minuteNumber_ = 0;
    secondNumber_ = 0;
    units_.clear();
    struck_ = false;
    startTick_ = clock_.tickCount();
}

FingerRun::KeyResult FingerRun::checkKey(char32_t code) {
    // The drills compare single-byte characters; anything outside printable ASCII is not a keystroke.
    // 0x7f is what the Delete key types here; it types nothing on the keyboards the drills teach.
    if (code < 0x20 || code >= 0x7f)
        return KeyResult::Ignored;
    ++keystrokes_;
    if (keys_.isEmpty()) { // no keys chosen: nothing can be right
        ++errors_;
        return KeyResult::Wrong;
    }
    const QString asked(keys_.at(nextKey_));
    if (code == keys_.at(nextKey_).unicode()) {
        nextKey_ = (nextKey_ + 1) % keyCount();
        const std::uint32_t now = clock_.tickCount();
        units_.count(asked, 1, 0);
        if (struck_)
            units_.time(asked, now - lastStrike_); // unsigned: right across the tick count's wrap
        struck_ = true;
        lastStrike_ = now;
        return KeyResult::Correct;
    }
    ++errors_;
    ++keyErrors_[static_cast<std::size_t>(nextKey_)];
    units_.count(asked, 1, 1);
    units_.wrong(asked, QString::fromUcs4(&code, 1));
    return KeyResult::Wrong;
}

std::uint32_t FingerRun::elapsedMs() const {
    // Unsigned difference: correct across the wrap of the 32-bit tick count.
    return clock_.tickCount() - startTick_;
}

unsigned FingerRun::elapsedSeconds() const {
    return elapsedMs() / 1000u;
}

presence::Figures FingerRun::figures() const {
    presence::Figures f;
    f.speed = currentSpeed_;
    f.accuracy = presence::accuracyOf(keystrokes_, errors_);
    f.keystrokes = keystrokes_;
    f.errors = errors_;
    f.seconds = elapsedSeconds();
    return f;
}

void FingerRun::updateSpeed() {
    const unsigned t = elapsedSeconds();
    if (t == 0) {
        currentSpeed_ = 0;
        return;
    }
    currentSpeed_ = static_cast<double>(correct() * 60) / t;
    if (t > 4 && currentSpeed_ > maxSpeed_)
        maxSpeed_ = currentSpeed_;
}

void FingerRun::updateClock() {
    showSeconds((elapsedMs() + 500u) / 1000u);
}

void FingerRun::stopClock() {
    showSeconds(elapsedSeconds());
}

void FingerRun::showSeconds(unsigned t) {
    secondNumber_ = static_cast<int>(t % 60);
    minuteNumber_ = static_cast<int>((t / 60) % 60);
}

int FingerRun::errorNumber() const {
    if (keystrokes_ == 0)
        return 0;
    return static_cast<int>(static_cast<double>(errors_) / keystrokes_ * 100.0);
}

int CourseNumber(const QString& commandLine, int count) {
    const QString tail = commandLine.right(count);
    int i = 0;
    while (i < tail.size() && (tail[i] == u' ' || tail[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < tail.size() && (tail[i] == u'+' || tail[i] == u'-'))
        negative = tail[i++] == u'-';
    int value = 0;
    for (; i < tail.size() && tail[i] >= u'0' && tail[i] <= u'9'; ++i)
        value = value * 10 + (tail[i].unicode() - u'0');
    return negative ? -value : value;
}

} // namespace halvor
