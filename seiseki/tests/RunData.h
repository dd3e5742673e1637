// Runs stored through the drills' own insert functions, under a learner of the test's choosing.
#pragma once

#include "Database.h"
#include "Outbox.h"

#include <QDate>
#include <QString>

namespace seisekitest {

// kind: 'W' windmill (course = level, value = best speed), 'B' blocks (course = 2 or 4 characters, value =
// best speed), 'H' hiragana (course = "AI", "GA" or "NN", value = seconds).
struct Run {
    QString learner;
    QDate day;
    char kind;
    QString course;
    double value;
};

inline bool store(const QString& path, const Run& run, int round = 1, const QList<DB_UNIT>& units = {}) {
    qputenv("HALVOR_LEARNER", run.learner.toUtf8());
    int ok = 0;
    if (run.kind == 'W') {
        DB_T_DIGIT r;
        r.Y4mmdd = run.day;
        r.Pelvoran = 12;
        r.Round = static_cast<std::int16_t>(round);
        r.REM = QStringLiteral("LEVEL") + run.course;
        r.COND1 = QStringLiteral("2");
        r.Time = 30;
        r.result1 = 100;
        r.result3 = run.value;
        r.result4 = 3;
        r.ERR1 = QStringLiteral("f");
        r.Y4mmddFlag = r.PelvoranFlag = r.RoundFlag = r.REMFlag = r.COND1Flag = r.TimeFlag = r.result1Flag =
            r.result3Flag = r.result4Flag = r.ERR1Flag = 1;
        ok = DB_InsertT_Digit(path, &r, units);
    } else {
        DB_T_KEY r;
        r.Y4mmdd = run.day;
        r.Round = static_cast<std::int16_t>(round);
        r.Y4mmddFlag = r.TavrelFlag = r.RoundFlag = r.REMFlag = r.COND1Flag = r.TimeFlag = 1;
        if (run.kind == 'B') {
            r.Tavrel = run.course == QLatin1String("2") ? 11 : 12;
            r.REM = QStringLiteral("指%1本訓練").arg(run.course);
            r.COND1 = run.course;
            r.Time = 60;
            r.result3 = run.value;
            r.result4 = 0;
            r.ERR1 = QString();
            r.result3Flag = r.result4Flag = r.ERR1Flag = 1;
        } else {
            r.Tavrel = 23;
            r.REM = QStringLiteral("あいうえお");
            r.COND1 = run.course;
            r.Time = run.value;
        }
        ok = DB_InsertT_Key(path, &r, units);
    }
    qunsetenv("HALVOR_LEARNER");
    // A run for a server waits on this computer until sent; the viewer reads the server.
    return ok != 0 && (!DB_IsServerAddress(path) || halvor::db::sendOutbox(path, DB_LocalPath()));
}

} // namespace seisekitest
