#include "RecordRun.h"

#include "Database.h"
#include "UnitRecord.h"

#include <algorithm>
#include <cmath>

namespace halvor {

namespace {

// The best speed as the row keeps it: to a tenth, cut off.
double StoredSpeed(double speed) {
    return std::trunc(speed * 10.0) * 0.1;
}

} // namespace

FingerRecord FingerRecord::fromRun(Table table, int levelOrMode, const FingerRun& run) {
    FingerRecord r;
    r.table = table;
    r.levelOrMode = levelOrMode;
    r.keys = run.keys();
    r.keystrokes = run.keystrokes();
    r.errors = run.errors();
    r.keyErrors = run.keyErrors();
    r.maxSpeed = run.maxSpeed();
    r.minutes = run.minuteNumber();
    r.seconds = run.secondNumber();
    r.units = run.units().rows();
    return r;
}

QString FingerRecord::course() const {
    return table == Table::Digit ? QStringLiteral("LEVEL%1").arg(levelOrMode) : QString::number(keys.size());
}

presence::Figures FingerRecord::figures() const {
    presence::Figures f;
    f.speed = StoredSpeed(maxSpeed);
    f.accuracy = presence::accuracyOf(keystrokes, errors);
    f.keystrokes = keystrokes;
    f.errors = errors;
    f.seconds = minutes * 60 + seconds;
    f.weakest = WorstKey(keys, keyErrors);
    return f;
}

QString WorstKey(const QString& keys, const std::array<int, FingerRun::MaxKeys>& keyErrors) {
    int best = 0;
    int bestCount = 0;
    const int n = std::min<int>(static_cast<int>(keys.size()), FingerRun::MaxKeys);
    for (int i = 0; i < n; ++i) {
        if (keyErrors[static_cast<std::size_t>(i)] > bestCount) {
            bestCount = keyErrors[static_cast<std::size_t>(i)];
            best = i;
        }
    }
    return bestCount > 0 ? QString(keys.at(best)) : QString();
}

namespace {

QString TodayClause(const QDate& today) {
    return QString::asprintf(" where [Y4mmdd] = #%04d/%02d/%02d#", today.year(), today.month(), today.day());
}

// Today's next run number after the highest one found. Run numbers are 16-bit: a day that already holds 32767
// (edited by hand) keeps giving 32767 rather than wrapping to a negative number.
int NextRound(int highest) {
    return std::min(highest + 1, 32767);
}

// Fills the fields the two tables share; both records lay them out alike.
template <typename Row> void FillRow(Row& row, const FingerRecord& r, const QDate& today, int round) {
    row.Y4mmdd = today;
    row.Y4mmddFlag = 1;
    row.Round = static_cast<std::int16_t>(round);
    row.RoundFlag = 1;
    row.COND1 = QString::number(r.keys.size()); // the block drill's course()
    row.COND1Flag = 1;
    row.Time = r.minutes * 60 + r.seconds;
    row.TimeFlag = 1;
    row.result1 = r.keystrokes;
    row.result1Flag = 1;
    row.result3 = StoredSpeed(r.maxSpeed);
    row.result3Flag = 1;
    row.result4 = r.errors;
    row.result4Flag = 1;
    row.ERR1 = WorstKey(r.keys, r.keyErrors);
    row.ERR1Flag = 1;
}

db::SaveOutcome RecordDigit(const QString& path, const FingerRecord& r, const QDate& today) {
    DB_T_DIGIT row;
    int last = 0;
    DB_OpenT_Digit(DB_RunNumberPath(path), TodayClause(today) + " and [Pelvoran] = 12 order by [round] desc");
    if (DB_GetRecordT_Digit(&row))
        last = row.Round;
    DB_CloseT_Digit();

    DB_ClearStructT_Digit(&row);
    FillRow(row, r, today, NextRound(last));
    row.Pelvoran = 12;
    row.PelvoranFlag = 1;
    row.REM = r.course();
    row.REMFlag = 1;
    return DB_SaveOutcome(DB_InsertT_Digit(path, &row, ToStoredUnits(r.units)), row.Round);
}

db::SaveOutcome RecordKey(const QString& path, const FingerRecord& r, const QDate& today) {
    DB_T_KEY row;
    int last = 0;
    DB_OpenT_Key(DB_RunNumberPath(path),
                 TodayClause(today) +
                     QString::asprintf(" and [Tavrel] = %d order by [round] desc", r.levelOrMode));
    if (DB_GetRecordT_Key(&row))
        last = row.Round;
    DB_CloseT_Key();

    DB_ClearStructT_Key(&row);
    FillRow(row, r, today, NextRound(last));
    row.Tavrel = static_cast<std::int16_t>(r.levelOrMode);
    row.TavrelFlag = 1;
    row.REM = QString("指%1本訓練").arg(r.keys.size());
    row.REMFlag = 1;
    return DB_SaveOutcome(DB_InsertT_Key(path, &row, ToStoredUnits(r.units)), row.Round);
}

} // namespace

db::SaveOutcome RecordRun(const QString& mdbPath, const FingerRecord& record, const QDate& today) {
    return record.table == FingerRecord::Table::Digit ? RecordDigit(mdbPath, record, today)
                                                      : RecordKey(mdbPath, record, today);
}

} // namespace halvor
