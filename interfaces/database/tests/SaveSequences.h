// The drills' save and chart sequences, driving either table's function family.
#pragma once

#include "Database.h"

#include <QDate>
#include <QMetaType>
#include <QStringList>
#include <functional>

namespace dbtest {

inline QString isoDate(const QDate& d) {
    return d.toString(QStringLiteral("yyyy/MM/dd"));
}

// The library's function family of each table, so one helper drives either.
template <typename Rec> struct Family;
template <> struct Family<DB_T_DIGIT> {
    static constexpr auto open = &DB_OpenT_Digit;
    static constexpr auto get = &DB_GetRecordT_Digit;
    static constexpr auto close = &DB_CloseT_Digit;
    static constexpr auto clear = &DB_ClearStructT_Digit;
    static constexpr auto insert = &DB_InsertT_Digit;
    static constexpr auto drill = &DB_T_DIGIT::Pelvoran;
    static constexpr auto drillFlag = &DB_T_DIGIT::PelvoranFlag;
    static constexpr const char* drillColumn = "Pelvoran";
};
template <> struct Family<DB_T_KEY> {
    static constexpr auto open = &DB_OpenT_Key;
    static constexpr auto get = &DB_GetRecordT_Key;
    static constexpr auto close = &DB_CloseT_Key;
    static constexpr auto clear = &DB_ClearStructT_Key;
    static constexpr auto insert = &DB_InsertT_Key;
    static constexpr auto drill = &DB_T_KEY::Tavrel;
    static constexpr auto drillFlag = &DB_T_KEY::TavrelFlag;
    static constexpr const char* drillColumn = "Tavrel";
};

template <typename Rec> Rec runRow(const QDate& day, int drill, int round) {
    Rec rec;
    Family<Rec>::clear(&rec);
    rec.Y4mmdd = day;
    rec.Y4mmddFlag = 1;
    rec.*Family<Rec>::drill = static_cast<std::int16_t>(drill);
    rec.*Family<Rec>::drillFlag = 1;
    rec.Round = static_cast<std::int16_t>(round);
    rec.RoundFlag = 1;
    rec.REM = QStringLiteral("指%1本訓練").arg(drill == 11 ? 2 : 4);
    rec.REMFlag = 1;
    return rec;
}

// The save sequence exactly as the finger drills run it: today's clause (on what this computer knows), one
// get, close, clear, fill, insert.
template <typename Rec>
int save(const QString& path, const QDate& day, int drill, const QString& clause = {},
         const QList<DB_UNIT>& units = {}) {
    using F = Family<Rec>;
    Rec rec;
    F::open(DB_RunNumberPath(path),
            clause.isNull() ? QStringLiteral(" where [Y4mmdd] = #%1# and [%2] = %3 order by [round] desc")
                                  .arg(isoDate(day), QLatin1String(F::drillColumn))
                                  .arg(drill)
                            : clause);
    const int round = F::get(&rec) ? rec.Round + 1 : 1;
    F::close();
    rec = runRow<Rec>(day, drill, round);
    return F::insert(path, &rec, units) ? round : -1;
}

template <typename Rec> QStringList readAllRows(const QString& path, const QString& clause) {
    using F = Family<Rec>;
    QStringList got;
    if (!F::open(path, clause))
        return {QStringLiteral("open failed: ") + DB_LastError()};
    Rec rec;
    while (F::get(&rec))
        got << QStringLiteral("%1/%2/%3")
                   .arg(rec.Y4mmdd.toString(Qt::ISODate))
                   .arg(rec.Round)
                   .arg(rec.*F::drill);
    F::close();
    return got;
}

inline int saveDigit(const QString& path, const QDate& day, int drill, const QString& clause = {}) {
    return save<DB_T_DIGIT>(path, day, drill, clause);
}
inline int saveKey(const QString& path, const QDate& day, int drill, const QString& clause = {}) {
    return save<DB_T_KEY>(path, day, drill, clause);
}

using Save = std::function<int(const QString&, const QDate&, int, const QString&)>;

} // namespace dbtest

using namespace dbtest;
Q_DECLARE_METATYPE(Save)
