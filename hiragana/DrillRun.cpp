#include "DrillRun.h"

#include "Lessons.h"

#include <algorithm>

namespace hiragana {

void DrillRun::setKind(int kind) {
    setLesson(kind, SampleRows(kind));
}

void DrillRun::setLesson(int kind, const QStringList& rows) {
    running_ = false;
    rows_ = rows;
    kind_ = rows_.isEmpty() ? -1 : kind;
    curRow_ = rows_.isEmpty() ? -1 : 0;
}

void DrillRun::start() {
    if (curRow_ < 0) {
        return;
    }
    startTime_ = clock_.now();
    running_ = true;
    recorder_.clear();
    recorder_.startLine(rows_.at(curRow_));
}

DrillRun::Check DrillRun::enter(const QString& typedKana) {
    if (!running_ || curRow_ < 0 || curRow_ >= rows_.size()) {
        return Check::Wrong;
    }
    const bool passed = LineMatches(rows_.at(curRow_), typedKana);
    recorder_.entered(passed);
    if (!passed) {
        return Check::Wrong;
    }
    curRow_ += 3;
    if (curRow_ > rows_.size() - 1) {
        finalSeconds_ = elapsedSeconds();
        running_ = false;
        return Check::Finished;
    }
    recorder_.startLine(rows_.at(curRow_));
    return Check::Next;
}

void DrillRun::edited(const QString& romaji) {
    if (running_) {
        recorder_.edited(romaji, clock_.tickCount());
    }
}

int DrillRun::elapsedSeconds() const {
    if (!running_) {
        return finalSeconds_;
    }
    // A clock set back during a run must not show a negative time.
    const qint64 seconds = clock_.now().toSecsSinceEpoch() - startTime_.toSecsSinceEpoch();
    return int(std::clamp<qint64>(seconds, 0, 99999));
}

halvor::presence::Figures DrillRun::figures() const {
    halvor::presence::Figures f;
    const int lines = static_cast<int>((rows_.size() + 2) / 3);
    f.total = lines;
    f.done = std::clamp(curRow_ / 3, 0, lines);
    f.seconds = elapsedSeconds();
    int kana = 0;
    int misses = 0;
    int most = 0;
    for (const halvor::UnitRow& row : recorder_.tally().rows()) {
        kana += row.attempts;
        misses += row.misses;
        if (row.misses > most) {
            most = row.misses;
            f.weakest = row.unit;
        }
    }
    f.accuracy = halvor::presence::accuracyOf(kana, misses);
    if (*f.seconds > 0 && kana > 0)
        f.speed = kana * 60.0 / *f.seconds;
    return f;
}

void DrillRun::reset() {
    running_ = false;
    curRow_ = rows_.isEmpty() ? -1 : 0;
}

} // namespace hiragana
