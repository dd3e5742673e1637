// A run's units as the Database library stores them (T_Unit), and the stored rows as a learner's history.
#pragma once

#include "Database.h"
#include "UnitTally.h"
#include "Weakness.h"

namespace halvor {

QList<DB_UNIT> ToStoredUnits(const QList<UnitRow>& rows);
QList<UnitHistory> ToUnitHistory(const QList<DB_UNIT_ROW>& rows);
// The database's sums of the drills given, of the learners given (none: everyone's), added up per unit in
// the order first met; the rates not yet (RateUnits).
QList<UnitSummary> SumStoredUnits(const QList<DB_UNIT_SUM>& sums, const QList<int>& drills,
                                  const QStringList& learners);

} // namespace halvor
