// One run of a lesson: the line to type, the check on Enter and the seconds since the start.
// Time comes from an injected clock, so a test can play a whole run in microseconds.
#pragma once

#include "Clock.h"
#include "KanaRecorder.h"
#include "Presence.h"

#include <QDateTime>
#include <QStringList>

namespace hiragana {

class DrillRun {
public:
    enum class Check { Wrong, Next, Finished };

    explicit DrillRun(const halvor::Clock& clock) : clock_(clock) {}

    // Loads the lesson of a kind (0..2) and puts the current line on its first pair. -1: no lesson.
    void setKind(int kind);
    // Loads a lesson whose lines were built for the learner (the にがて kind), as setKind does.
    void setLesson(int kind, const QStringList& rows);
    int kind() const { return kind_; }
    const QStringList& rows() const { return rows_; }
    // Index in rows() of the kana line to type now: 0 or a multiple of 3; -1 without a lesson.
    int curRow() const { return curRow_; }
    bool running() const { return running_; }

    // Which romaji the learner's input method accepts (the record of the units reads the typing with it).
    void setSpellings(Spellings spellings) { recorder_.setSpellings(spellings); }
    // Starts timing at the current line (the first pair after a kind was chosen or a run ended).
    void start();
    // Checks the converted kana of a typed line against the current line. Next moves to the next pair;
    // Finished means the last line passed: the run stops and elapsedSeconds() is its final time.
    Check enter(const QString& typedKana);
    // The learner changed the text of the input box (for the record of the units).
    void edited(const QString& romaji);
    // What the run, or the last finished one, tells about each kana practised.
    const halvor::UnitTally& units() const { return recorder_.tally(); }
    // Whole seconds from the start to now, as the learner's clock shows them (both read in whole seconds).
    int elapsedSeconds() const;
    // The run so far, or the last finished one, as the live class view shows it: lines passed of all, kana
    // per minute and the share typed right (of the kana in lines that passed), the seconds, the kana missed
    // most.
    halvor::presence::Figures figures() const;
    // Back on the first pair, not running.
    void reset();

private:
    const halvor::Clock& clock_;
    QStringList rows_;
    int kind_ = -1;
    int curRow_ = -1;
    bool running_ = false;
    QDateTime startTime_;
    int finalSeconds_ = 0;
    KanaRecorder recorder_;
};

} // namespace hiragana
