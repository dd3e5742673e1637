// The にがて lesson: lines of the same shape as the other lessons (a kana line and the romaji that types it),
// built from the learner's weakest kana, mixed with a few the learner knows well.
#pragma once

#include "Random.h"
#include "Weakness.h"

#include <QHash>
#include <QStringList>

namespace hiragana {

constexpr int kNigateWeakest = 10;  // the weakest units practised
constexpr int kNigateKnown = 3;     // units known well mixed in
constexpr int kNigateLines = 8;     // lines of the lesson
constexpr int kNigateLineUnits = 5; // units a line

struct NigateLesson {
    QStringList weak;  // weakest first
    QStringList known; // known well
    QStringList rows; // as SampleRows: kana line, romaji line, "  " between pairs; empty: nothing to practise
};

// The romaji a lesson shows for each unit, taken from the lessons and the conversion table once, on the
// window's thread: a lesson is built on the thread for reads while the window's thread may refill the table.
class NigateHints {
public:
    // Needs the conversion table filled.
    static NigateHints FromTable();
    // How the other lessons spell the unit, else the first key of the table that gives it; for a pair of
    // kana the table has no key for, the two hints one after the other. Empty: no lesson line can show it.
    QString hintFor(const QString& unit) const;

private:
    QHash<QString, QString> hints_;
};

// From the learner's units of the hiragana drill. A unit can be weak once it has enough data (3 runs, 20
// attempts) and a miss; with none, the lesson is empty. Three quarters of the places go to the weak units
// (the weakest first when they do not share out evenly), the rest to the known ones, shuffled with `random`;
// っ comes with a kana after it, so that it is typed as a doubled letter.
NigateLesson BuildNigateLesson(const QList<halvor::UnitHistory>& history, const NigateHints& hints,
                               halvor::Random& random);

} // namespace hiragana
