#include "Weakness.h"

#include "KanaUnits.h"

#include <QHash>
#include <algorithm>
#include <cmath>

namespace halvor {

namespace {

// How many attempts' weight the learner's overall miss rate carries in a unit's smoothed rate: a unit missed
// once in its first few attempts does not outrank one missed often over many.
constexpr double kPriorAttempts = 10;
// The frequency at which a kana's weight is 1 (per mille); the weight is the square root of the ratio, so a
// common kana counts a few times a rare one, not a hundred times.
constexpr double kReferenceFrequency = 10;

struct Gathered {
    UnitSummary summary;
    QStringList runIds;
    qint64 timedSum = 0;
    qint64 timedAttempts = 0;
    QList<std::pair<QString, int>> wrongKeys; // in the order first named
};

} // namespace

bool HasEnoughData(const UnitSummary& unit) {
    return unit.runs >= kEnoughRuns && unit.attempts >= kEnoughAttempts;
}

QList<UnitSummary> SumUnits(const QList<UnitHistory>& history) {
    QList<Gathered> gathered;
    QHash<QString, qsizetype> index;
    for (const UnitHistory& row : history) {
        if (row.unit.isEmpty() || row.attempts <= 0)
            continue;
        auto found = index.constFind(row.unit);
        if (found == index.constEnd()) {
            found = index.insert(row.unit, gathered.size());
            Gathered fresh;
            fresh.summary.unit = row.unit;
            gathered.append(fresh);
        }
        Gathered& g = gathered[*found];
        g.summary.attempts += row.attempts;
        g.summary.misses += std::clamp(row.misses, 0, row.attempts);
        if (!g.runIds.contains(row.runId))
            g.runIds.append(row.runId);
        if (row.meanMs >= 0) {
            g.timedSum += qint64(row.meanMs) * row.attempts;
            g.timedAttempts += row.attempts;
        }
        if (!row.wrongKey.isEmpty()) {
            auto named = std::find_if(g.wrongKeys.begin(), g.wrongKeys.end(),
                                      [&](const auto& k) { return k.first == row.wrongKey; });
            if (named == g.wrongKeys.end())
                g.wrongKeys.append({row.wrongKey, 1});
            else
                ++named->second;
        }
    }
    QList<UnitSummary> out;
    out.reserve(gathered.size());
    for (Gathered& g : gathered) {
        UnitSummary& s = g.summary;
        s.runs = int(g.runIds.size());
        if (g.timedAttempts > 0)
            s.meanMs = int(std::lround(double(g.timedSum) / double(g.timedAttempts)));
        int most = 0;
        for (const auto& [key, runs] : g.wrongKeys) {
            if (runs > most) {
                most = runs;
                s.wrongKey = key;
            }
        }
        out.append(s);
    }
    return out;
}

QList<UnitSummary> RateUnits(QList<UnitSummary> sums, Weighting weighting) {
    qint64 allAttempts = 0;
    qint64 allMisses = 0;
    for (const UnitSummary& s : sums) {
        allAttempts += std::max(s.attempts, 0);
        allMisses += std::clamp(s.misses, 0, std::max(s.attempts, 0));
    }
    const double overall = allAttempts > 0 ? double(allMisses) / double(allAttempts) : 0;
    for (UnitSummary& s : sums) {
        const int misses = std::clamp(s.misses, 0, std::max(s.attempts, 0));
        s.missRate = s.attempts > 0 ? double(misses) / s.attempts : 0;
        s.smoothed = (misses + kPriorAttempts * overall) / (std::max(s.attempts, 0) + kPriorAttempts);
        const double weight = weighting == Weighting::KanaFrequency
                                  ? std::sqrt(KanaFrequency(s.unit) / kReferenceFrequency)
                                  : 1.0;
        s.score = s.smoothed * weight;
    }
    return sums;
}

QList<UnitSummary> SummariseUnits(const QList<UnitHistory>& history, Weighting weighting) {
    return RateUnits(SumUnits(history), weighting);
}

QList<UnitSummary> WeakestUnits(const QList<UnitSummary>& units, int count) {
    QList<UnitSummary> weak;
    for (const UnitSummary& u : units) {
        if (HasEnoughData(u) && u.misses > 0)
            weak.append(u);
    }
    std::stable_sort(weak.begin(), weak.end(), [](const UnitSummary& a, const UnitSummary& b) {
        if (a.score != b.score)
            return a.score > b.score;
        if (a.attempts != b.attempts)
            return a.attempts > b.attempts;
        return a.unit < b.unit;
    });
    if (weak.size() > count)
        weak.resize(std::max(count, 0));
    return weak;
}

QList<UnitSummary> BestKnownUnits(const QList<UnitSummary>& units, int count, const QStringList& except) {
    QList<UnitSummary> enough;
    QList<UnitSummary> other;
    for (const UnitSummary& u : units) {
        if (!except.contains(u.unit))
            (HasEnoughData(u) ? enough : other).append(u);
    }
    const auto byRate = [](const UnitSummary& a, const UnitSummary& b) {
        if (a.smoothed != b.smoothed)
            return a.smoothed < b.smoothed;
        if (a.attempts != b.attempts)
            return a.attempts > b.attempts;
        return a.unit < b.unit;
    };
    QList<UnitSummary>& pool = enough.isEmpty() ? other : enough;
    std::stable_sort(pool.begin(), pool.end(), byRate);
    if (pool.size() > count)
        pool.resize(std::max(count, 0));
    return pool;
}

} // namespace halvor
