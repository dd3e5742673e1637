#include "UnitTally.h"

#include <cmath>

namespace halvor {

void UnitTally::clear() {
    units_.clear();
    index_.clear();
}

UnitTally::Unit& UnitTally::unit(const QString& name) {
    const auto found = index_.constFind(name);
    if (found != index_.constEnd())
        return units_[*found];
    index_.insert(name, units_.size());
    Unit fresh;
    fresh.name = name;
    units_.append(fresh);
    return units_.last();
}

void UnitTally::count(const QString& name, int attempts, int misses) {
    Unit& u = unit(name);
    u.attempts += attempts;
    u.misses += misses;
}

void UnitTally::time(const QString& name, qint64 ms) {
    if (ms < 0)
        return;
    Unit& u = unit(name);
    u.totalMs += ms;
    ++u.timed;
}

void UnitTally::wrong(const QString& name, const QString& key) {
    if (key.isEmpty())
        return;
    Unit& u = unit(name);
    for (auto& [pressed, times] : u.wrongKeys) {
        if (pressed == key) {
            ++times;
            return;
        }
    }
    u.wrongKeys.append({key, 1});
}

QList<UnitRow> UnitTally::rows() const {
    QList<UnitRow> rows;
    rows.reserve(units_.size());
    for (const Unit& u : units_) {
        UnitRow row;
        row.unit = u.name;
        row.attempts = u.attempts;
        row.misses = u.misses;
        if (u.timed > 0)
            row.meanMs = int(std::lround(double(u.totalMs) / u.timed));
        int most = 0;
        for (const auto& [pressed, times] : u.wrongKeys) {
            if (times > most) {
                most = times;
                row.wrongKey = pressed;
            }
        }
        rows.append(row);
    }
    return rows;
}

} // namespace halvor
