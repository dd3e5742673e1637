// Storing one finished finger-drill run as a numbered row: the windmill in T_Digit, the block drill in T_Key.
#pragma once

#include "Database.h"
#include "FingerRun.h"

#include <QDate>
#include <QString>

namespace halvor {

struct FingerRecord {
    enum class Table { Digit, Key };
    Table table = Table::Digit;
    // Digit: the level (REM "LEVEL%d", drill number 12). Key: the mode (drill number; REM "指%d本訓練").
    int levelOrMode = 1;
    QString keys; // practised keys in practice order; COND1 is their number
    int keystrokes = 0;
    int errors = 0;
    std::array<int, FingerRun::MaxKeys> keyErrors{};
    double maxSpeed = 0;
    int minutes = 0; // panel values when the run ended
    int seconds = 0;
    QList<UnitRow> units; // per key asked

    static FingerRecord fromRun(Table table, int levelOrMode, const FingerRun& run);
    // The course as the row stores it: the windmill's REM ("LEVEL3"), the block drill's COND1 ("4").
    QString course() const;
    // The finished run as the live class view shows it: best speed, accuracy, keystrokes, errors, seconds
    // and the key missed most.
    presence::Figures figures() const;
};

// The key with the most errors, the earliest among equals; "" when no key has an error.
QString WorstKey(const QString& keys, const std::array<int, FingerRun::MaxKeys>& keyErrors);

// Appends the run as today's next run number of its drill, as this computer knows today's runs, and says how
// that went (the caller tells the learner). When today's runs cannot be looked up (the file is locked, say),
// the library numbers the run itself as it stores it.
db::SaveOutcome RecordRun(const QString& mdbPath, const FingerRecord& record, const QDate& today);

} // namespace halvor
