#include "UnitRecord.h"

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

} // namespace halvor
