// A run's units as the Database library stores them (T_Unit), and the stored rows as a learner's history.
#pragma once

#include "Database.h"
#include "UnitTally.h"
#include "Weakness.h"

namespace halvor {

QList<DB_UNIT> ToStoredUnits(const QList<UnitRow>& rows);
QList<UnitHistory> ToUnitHistory(const QList<DB_UNIT_ROW>& rows);

} // namespace halvor
