#include "UnitRecord.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <cmath>

namespace halvor {

QList<DB_UNIT> ToStoredUnits(const QList<UnitRow>& rows) {
    QList<DB_UNIT> out;
    out.reserve(rows.size());
    for (const UnitRow& r : rows)
        out << DB_UNIT{r.unit, r.attempts, r.misses, r.meanMs, r.wrongKey};
    return out;
}

QList<UnitHistory> ToUnitHistory(const QList<DB_UNIT_ROW>& rows) {
    QList<UnitHistory> out;
    out.reserve(rows.size());
    for (const DB_UNIT_ROW& r : rows)
        out << UnitHistory{r.runId,       r.day,         r.unit.unit,    r.unit.attempts,
                           r.unit.misses, r.unit.meanMs, r.unit.wrongKey};
    return out;
}

QList<UnitSummary> SumStoredUnits(const QList<DB_UNIT_SUM>& sums, const QList<int>& drills,
                                  const QStringList& learners) {
    struct Timed {
        qint64 sum = 0;
        qint64 attempts = 0;
    };
    QList<UnitSummary> out;
    QList<Timed> timed;
    QHash<QString, qsizetype> index;
    for (const DB_UNIT_SUM& s : sums) {
        if (!drills.contains(s.drill) || s.attempts <= 0 ||
            (!learners.isEmpty() && !learners.contains(s.learner, Qt::CaseInsensitive)))
            continue;
        auto found = index.constFind(s.unit);
        if (found == index.constEnd()) {
            found = index.insert(s.unit, out.size());
            out.append(UnitSummary{});
            out.last().unit = s.unit;
            timed.append(Timed{});
        }
        UnitSummary& u = out[*found];
        u.runs += s.runs;
        u.attempts += int(std::min<qint64>(s.attempts, INT_MAX - u.attempts));
        u.misses += int(std::min<qint64>(std::clamp<qint64>(s.misses, 0, s.attempts), INT_MAX - u.misses));
        if (s.meanMs >= 0) {
            timed[*found].sum += qint64(s.meanMs) * s.attempts;
            timed[*found].attempts += s.attempts;
        }
    }
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (timed[i].attempts > 0)
            out[i].meanMs = int(std::llround(double(timed[i].sum) / double(timed[i].attempts)));
    }
    return out;
}

} // namespace halvor
