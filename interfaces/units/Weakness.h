// What a learner's history of units says: per unit the runs, attempts and misses, a miss rate smoothed
// towards the learner's own, and which units are the weakest.
#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace halvor {

// One stored unit row of one run.
struct UnitHistory {
    QString runId;
    QDate day;
    QString unit;
    int attempts = 0;
    int misses = 0;
    int meanMs = -1; // -1: not timed
    QString wrongKey;
};

struct UnitSummary {
    QString unit;
    int runs = 0; // runs that practised it
    int attempts = 0;
    int misses = 0;
    int meanMs = -1;     // mean over the runs' means, weighted by attempts; -1 when never timed
    QString wrongKey;    // the wrong key most runs named; empty when none
    double missRate = 0; // misses / attempts
    double smoothed = 0; // the miss rate with a few attempts' weight of the learner's overall rate
    double score = 0;    // smoothed, weighted by how often the unit occurs (kana only)
};

// Enough to judge a unit: at least 3 runs and 20 attempts.
constexpr int kEnoughRuns = 3;
constexpr int kEnoughAttempts = 20;
bool HasEnoughData(const UnitSummary& unit);

enum class Weighting { None, KanaFrequency };
// What the rows add up to per unit, in the order the units were first met: runs, attempts, misses, mean time
// and wrong key, the rates not yet (a database can add up the same itself).
QList<UnitSummary> SumUnits(const QList<UnitHistory>& history);
// The rates of units added up: miss rate, the rate smoothed towards the overall rate of all of them, score.
QList<UnitSummary> RateUnits(QList<UnitSummary> sums, Weighting weighting);
// SumUnits, then RateUnits.
QList<UnitSummary> SummariseUnits(const QList<UnitHistory>& history, Weighting weighting);
// Up to `count` units with enough data and at least one miss, weakest first (highest score; the more attempts
// among equals, then the unit's text).
QList<UnitSummary> WeakestUnits(const QList<UnitSummary>& units, int count);
// Up to `count` units the learner knows well: the lowest smoothed miss rates among the units with enough
// data, leaving out those in `except`; failing those, among every unit practised.
QList<UnitSummary> BestKnownUnits(const QList<UnitSummary>& units, int count, const QStringList& except);

} // namespace halvor
