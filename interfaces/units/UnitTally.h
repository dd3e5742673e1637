// What one run tells about each unit it practised: a kana or kana pair of the hiragana drill, a key of a
// finger drill. The drills count attempts and misses, times and wrong keys as they happen; the run's end
// reads the rows. Plain Qt Core, no clock of its own: the caller passes the times it measured.
#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace halvor {

// One unit of one run.
struct UnitRow {
    QString unit;
    int attempts = 0;
    int misses = 0;
    int meanMs = -1;  // mean time to type it, rounded; -1 when it was never timed
    QString wrongKey; // the wrong key pressed most often for it (the earliest among equals); empty when none
};

class UnitTally {
public:
    void clear();
    void count(const QString& unit, int attempts, int misses);
    void time(const QString& unit, qint64 ms);
    void wrong(const QString& unit, const QString& key);
    bool isEmpty() const { return units_.isEmpty(); }
    // In the order the units were first met.
    QList<UnitRow> rows() const;

private:
    struct Unit {
        QString name;
        int attempts = 0;
        int misses = 0;
        qint64 totalMs = 0;
        int timed = 0;
        QList<std::pair<QString, int>> wrongKeys; // in the order first pressed
    };
    Unit& unit(const QString& name);

    QList<Unit> units_;
    QHash<QString, qsizetype> index_;
};

} // namespace halvor
