// What the viewer makes of the stored runs: which drill and course a run belongs to, the class overview, the
// date ranges of the filter and the plain-language summary of a learner's period. No widgets.
#pragma once

#include "Database.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <optional>

namespace seiseki {

enum class Drill { Windmill, Blocks, Hiragana, Other };

Drill drillOf(const DB_RUN& run);
Drill drillOf(bool windmill, int drillNumber);
QString drillName(Drill drill); // "風車", "ブロック", "ひらがな"
// The course within the drill: 1 to 7 for the windmill's level, 2 or 4 characters for the blocks, 1 to 3
// for the hiragana kind (あいうえお, 濁音, 促音) and kNigate for its にがて runs; 0 when it cannot be told.
int courseOf(Drill drill, int drillNumber, const QString& course);
int courseOf(const DB_RUN& run);
QString courseName(Drill drill, int course); // "レベル3", "2文字", "濁音"
// Decimal text as the learner reads it: "120", "123.4"; empty for no value.
QString number(double value);
// One form of date on screen and on paper (2026/12/08), the ISO form (2026-12-08) in a CSV.
enum class DateForm { Screen, Iso };
QString dayText(const QDate& day, DateForm form = DateForm::Screen);

constexpr int kLevels = 7;
constexpr int kKinds = 3;
// The hiragana drill's にがて runs: lines made for each run from the learner's weak kana, so their times are
// not compared with each other or with the kinds'.
constexpr int kNigate = kKinds + 1;
// False for a run whose time or speed is not compared (a にがて run).
bool comparable(const DB_RUN& run);

// One learner's line of the class overview.
struct OverviewRow {
    QString learner;
    QString className;
    int number = 0; // attendance number; 0 when none
    QString furigana;
    int windmillRuns = 0;
    int blocksRuns = 0;
    int hiraganaRuns = 0;
    std::array<std::optional<double>, kLevels> windmillBest{}; // best speed per level
    std::optional<double> blocksBest2;                         // best speed, two characters
    std::optional<double> blocksBest4;
    std::array<std::optional<double>, kKinds> hiraganaBest{}; // shortest time per kind, seconds
    QDate lastDay;                                            // invalid when none
};

// The overview's columns: headers (with their units), and a row's values (text, run counts, best figures as
// doubles, the last day as a date; an empty QVariant where there is no figure) for sorting, and as the
// learner reads them.
enum OverviewColumn { kNumberColumn, kNameColumn, kClassColumn, kFirstFigureColumn };
QStringList overviewHeaders();
QVariantList overviewValues(const OverviewRow& row);
QString displayText(const QVariant& value);

// One row per learner: every known learner in the order given (with no runs in the range too, so a teacher
// sees who did not practise), then anyone else with runs, by name; names compared without regard to case,
// the first spelling kept.
QList<OverviewRow> buildOverview(const QList<DB_LEARNER>& learners, const QList<DB_RUN_GROUP>& groups);
// The classes of the registered learners, in the class list's order.
QStringList classesOf(const QList<DB_LEARNER>& learners);

// ---- Date ranges of the filter, in the order the window offers them
enum class Range { All, ThisWeek, ThisMonth, Term1, Term2, Term3, SchoolYear, Custom };
QString rangeName(Range range); // "すべて", "今週", "今月", "1学期", ...
struct DateRange {
    QDate from; // invalid: no limit
    QDate to;
};
// This week runs Monday to Sunday; the school year (今年度) from 1 April to 31 March, its three terms from
// 1 April, 1 September and 1 January, the holidays counted with the term before them.
DateRange rangeFor(Range range, const QDate& today);
// A Japanese message when from lies after to; empty when the range is usable.
QString rangeProblem(const DateRange& range);
// "2026/04/01 〜 2027/03/31", "すべての 日", "2026/12/01 から"
QString rangeText(const DateRange& range);

// ---- Summary
// A few plain sentences on a learner's runs of the chosen period (the runs given): the biggest gain in best
// speed or best time from the first day practised to the days after, and how much was practised. Meant for
// the screen and for paper alike.
QString summarize(const QList<DB_RUN>& runs);
// A short encouraging sentence for the learner's family, after the same runs.
QString encouragement(const QList<DB_RUN>& runs);

} // namespace seiseki
