#include "modMain.h"

#include "Lessons.h"
#include "UnitRecord.h"

#include <algorithm>

namespace hiragana {

QString GetDatabasePath() {
    return DB_DefaultPath();
}

Spellings RomajiSpellingsSetting() {
    const QString value = DB_Setting(QStringLiteral("Romaji/Spellings")).toString();
    const Spellings spellings = SpellingsFromSetting(value);
    if (spellings == Spellings::Table && !value.trimmed().isEmpty() &&
        value.trimmed().compare(QLatin1String("table"), Qt::CaseInsensitive) != 0)
        qWarning("Romaji/Spellings=%s is neither table nor ime: the drill's own table is used",
                 qPrintable(value));
    return spellings;
}

QString RoundQuery(const QDate& day, const QString& code) {
    return QStringLiteral("select * from [T_Key] where [Y4mmdd] = #") +
           day.toString(QStringLiteral("yyyy/MM/dd")) + QStringLiteral("# and [tavrel]= 23 and [COND1] = '") +
           code + QStringLiteral("'");
}

SaveOutcome SaveRun(const QString& databasePath, const QDate& day, int kind, int seconds,
                    const QList<halvor::UnitRow>& units) {
    const PracticeKind& practice = Kind(kind);
    QList<DB_T_KEY> today;
    // When today's runs cannot be counted, the library numbers the run itself as it stores it.
    DB_SelectT_Key(DB_RunNumberPath(databasePath), RoundQuery(day, practice.code), today);

    DB_T_KEY record;
    DB_ClearStructT_Key(&record);
    record.Y4mmdd = day;
    record.Y4mmddFlag = 1;
    record.Tavrel = kDrillNumber;
    record.TavrelFlag = 1;
    record.Round = std::int16_t(std::min<qsizetype>(today.size() + 1, 32767));
    record.RoundFlag = 1;
    record.REM = practice.name;
    record.REMFlag = 1;
    record.COND1 = practice.code;
    record.COND1Flag = 1;
    record.Time = double(seconds);
    record.TimeFlag = 1;
    // COND2, result1..5 and ERR1..3 stay unset: stored as NULL.
    return DB_SaveOutcome(DB_InsertT_Key(databasePath, &record, halvor::ToStoredUnits(units)), record.Round);
}

QString ReturnCommandOf(const QString& commandLine) {
    const QString line = commandLine.trimmed();
    qsizetype at = 0;
    if (line.startsWith(QLatin1Char('"'))) {
        const qsizetype closing = line.indexOf(QLatin1Char('"'), 1);
        at = closing < 0 ? line.size() : closing + 1;
    } else {
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        at = space < 0 ? line.size() : space;
    }
    return line.mid(at).trimmed();
}

QString GraphLabel(const DB_T_KEY& record) {
    const int round = record.RoundFlag ? record.Round : 0;
    return record.Y4mmdd.toString(QStringLiteral("yyyy/MM/dd")) + QLatin1Char('_') + QString::number(round);
}

int GraphSeries(const DB_T_KEY& record) {
    const QString code = record.COND1Flag ? record.COND1.toUpper() : QStringLiteral("AI");
    return code == QLatin1String("AI") ? 1 : code == QLatin1String("GA") ? 2 : 3;
}

QList<GraphRow> BuildGraphRows(const QList<DB_T_KEY>& records) {
    QList<halvor::GraphPoint> points;
    points.reserve(records.size());
    // The chart shows the three kinds of the drill's own lessons; the にがて lessons differ from learner to
    // learner and from week to week, so their times do not compare.
    const QString nigate = Kind(kNigateKind).code;
    for (const DB_T_KEY& r : records) {
        if (r.COND1Flag && r.COND1.compare(nigate, Qt::CaseInsensitive) == 0)
            continue;
        points.append({GraphLabel(r), GraphSeries(r), r.TimeFlag ? r.Time : 0.0});
    }
    return halvor::BuildGraphRows(points);
}

QString GraphQuery() {
    return QStringLiteral("select * from [T_Key] ") + QStringLiteral(" where [Tavrel] = 23") +
           QStringLiteral(" order by [Y4mmdd] , [round]");
}

} // namespace hiragana
