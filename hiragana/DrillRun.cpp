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

void DrillRun::reset() {
    running_ = false;
    curRow_ = rows_.isEmpty() ? -1 : 0;
}

} // namespace hiragana
