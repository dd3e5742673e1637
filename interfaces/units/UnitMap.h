// What the map of a learner's units shows: the 50-sound table with the voiced and contracted sounds, the
// keyboard the finger drills practise, each unit's change since the period before, and kana per minute.
#pragma once

#include "Weakness.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QStringList>

namespace halvor {

// A part of the 50-sound table: rows of cells, each a unit or empty (a gap, as や行 has).
struct KanaChartSection {
    QString title;
    QList<QStringList> rows;
};
// 清音 (あ行 to わ行 and ん), 濁音・半濁音, 拗音, and the rest the lessons practise (っ, ー, small kana,
// うぃ, ヴ…).
const QList<KanaChartSection>& KanaChart();
// The forty keys of the finger drills, four rows of ten from the top, as on the keyboard.
const QStringList& KeyboardRows();

// A unit in a period, and in the period of the same length just before it.
struct UnitChange {
    UnitSummary now;
    bool before = false; // practised in the period before
    UnitSummary then;
    double change = 0; // now.missRate - then.missRate, when practised in both
};
// The units practised between `from` and `to` (both included), weakest first as WeakestUnits orders them
// and then the rest by unit, each with its change since the period before. An invalid `from` has no period
// before.
QList<UnitChange> UnitsWithChange(const QList<UnitHistory>& history, const QDate& from, const QDate& to,
                                  Weighting weighting);
// The same from units already added up and rated, in the period and in the period before.
QList<UnitChange> UnitsWithChange(const QList<UnitSummary>& now, const QList<UnitSummary>& before);
// The period of the same length just before from..to; invalid dates when either is open.
std::pair<QDate, QDate> PeriodBefore(const QDate& from, const QDate& to);

// The kana a hiragana run typed: its units' characters times their attempts. A run's units count each
// kana of every line that passed once, so a whole run's count is the kana of its lines.
int KanaTyped(const QList<UnitHistory>& unitsOfRun);
// The same for every run of the rows, by run id.
QHash<QString, int> KanaTypedByRun(const QList<UnitHistory>& units);
// The kana of a lesson by its code (AI, GA, NN), for runs stored before units were recorded; 0 for another.
int LessonKana(const QString& code);
// True for the code (COND1) of the hiragana drill's にがて runs, whose lines are made for each run.
bool IsNigateCode(const QString& code);
// Kana per minute, 0 for a run without time.
double KanaPerMinute(int kana, double seconds);
// The national targets for kana typed per minute: the end of primary school, and junior high school.
constexpr double kPrimaryTarget = 40;
constexpr double kJuniorHighTarget = 60;

} // namespace halvor
