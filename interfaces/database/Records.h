// How the drills' records map to table columns: each field's column name, kind, value and set flag.
#pragma once

#include "Database.h"
#include "DbCore.h"
#include "Schema.h"

#include <QVariant>
#include <algorithm>
#include <climits>
#include <vector>

namespace halvor::db {

// Field layout of both tables: column name, where the value and its flag sit in the record.
enum class Kind { Date, Int16, Text, Real };

template <typename Rec> struct Column {
    const char* name;
    Kind kind;
    void* (*value)(Rec&);
    std::int32_t Rec::*flag;
};

#define HALVOR_COLUMN(Rec, col, member, kind)                                                                \
    Column<Rec> {                                                                                            \
        col, kind, [](Rec& r) -> void* { return &r.member; }, &Rec::member##Flag                             \
    }

// The thirteen fields both tables share, in table order; only the drill and run-number names differ.
#define HALVOR_SHARED_COLUMNS(Rec, drillColumn, drillMember, roundColumn)                                    \
    HALVOR_COLUMN(Rec, "Y4mmdd", Y4mmdd, Kind::Date),                                                        \
        HALVOR_COLUMN(Rec, drillColumn, drillMember, Kind::Int16),                                           \
        HALVOR_COLUMN(Rec, roundColumn, Round, Kind::Int16), HALVOR_COLUMN(Rec, "REM", REM, Kind::Text),     \
        HALVOR_COLUMN(Rec, "COND1", COND1, Kind::Text), HALVOR_COLUMN(Rec, "COND2", COND2, Kind::Text),      \
        HALVOR_COLUMN(Rec, "Time", Time, Kind::Real), HALVOR_COLUMN(Rec, "result1", result1, Kind::Real),    \
        HALVOR_COLUMN(Rec, "result2", result2, Kind::Real),                                                  \
        HALVOR_COLUMN(Rec, "result3", result3, Kind::Real),                                                  \
        HALVOR_COLUMN(Rec, "result4", result4, Kind::Real),                                                  \
        HALVOR_COLUMN(Rec, "result5", result5, Kind::Real), HALVOR_COLUMN(Rec, "ERR1", ERR1, Kind::Text)

struct KeyTable {
    using Record = DB_T_KEY;
    static const TableDef& def() { return keyTableDef(); }
    static QString table() { return QStringLiteral("T_Key"); }
    static const std::vector<Column<DB_T_KEY>>& columns() {
        static const std::vector<Column<DB_T_KEY>> all = {
            HALVOR_SHARED_COLUMNS(DB_T_KEY, "Tavrel", Tavrel, "Round"),
            HALVOR_COLUMN(DB_T_KEY, "ERR2", ERR2, Kind::Text),
            HALVOR_COLUMN(DB_T_KEY, "ERR3", ERR3, Kind::Text),
        };
        return all;
    }
};

struct DigitTable {
    using Record = DB_T_DIGIT;
    static const TableDef& def() { return digitTableDef(); }
    static QString table() { return QStringLiteral("T_Digit"); }
    static const std::vector<Column<DB_T_DIGIT>>& columns() {
        static const std::vector<Column<DB_T_DIGIT>> all = {
            HALVOR_SHARED_COLUMNS(DB_T_DIGIT, "Pelvoran", Pelvoran, "round")};
        return all;
    }
};

#undef HALVOR_SHARED_COLUMNS
#undef HALVOR_COLUMN

template <typename Rec> QVariant boundValue(const Column<Rec>& col, const Rec& rec) {
    void* p = col.value(const_cast<Rec&>(rec));
    const bool set = rec.*(col.flag) != 0;
    switch (col.kind) {
    case Kind::Date: {
        const QDate& d = *static_cast<QDate*>(p);
        if (set && d.isValid())
            return d.toString(Qt::ISODate);
        if (set)
            qCWarning(lcDb) << "an invalid date is stored as empty in" << col.name;
        return QVariant(QMetaType::fromType<QString>());
    }
    case Kind::Int16:
        return set ? QVariant(int(*static_cast<std::int16_t*>(p))) : QVariant(QMetaType::fromType<int>());
    case Kind::Real:
        return set ? QVariant(*static_cast<double*>(p)) : QVariant(QMetaType::fromType<double>());
    case Kind::Text: {
        const QString& s = *static_cast<QString*>(p);
        // A set but empty text (no errors made) is stored as '' and stays apart from an unset NULL.
        return set ? QVariant(s.isNull() ? QString(QLatin1String("")) : s)
                   : QVariant(QMetaType::fromType<QString>());
    }
    }
    return {};
}

template <typename Rec> void readValue(const Column<Rec>& col, const QVariant& v, Rec& rec) {
    if (v.isNull())
        return;
    void* p = col.value(rec);
    switch (col.kind) {
    case Kind::Date: {
        // Only the day counts; tolerate a time of day written by hand after it.
        const QDate d = QDate::fromString(v.toString().left(10), Qt::ISODate);
        if (!d.isValid())
            return;
        *static_cast<QDate*>(p) = d;
        break;
    }
    case Kind::Int16: {
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        if (!ok)
            return;
        *static_cast<std::int16_t*>(p) =
            static_cast<std::int16_t>(std::clamp<qlonglong>(n, INT16_MIN, INT16_MAX));
        break;
    }
    case Kind::Real: {
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok)
            return;
        *static_cast<double*>(p) = d;
        break;
    }
    case Kind::Text:
        *static_cast<QString*>(p) = v.toString();
        break;
    }
    rec.*(col.flag) = 1;
}

} // namespace halvor::db
