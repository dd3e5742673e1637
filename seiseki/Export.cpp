#include "Export.h"

#include "Results.h"

#include <QHash>
#include <QSaveFile>

#include <algorithm>
#include <tuple>
#include <vector>

namespace seiseki {

namespace {

bool looksLikeFormula(const QString& value) {
    if (value.isEmpty())
        return false;
    const QChar c = value.front();
    return c == QLatin1Char('=') || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('@') ||
           c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

void appendField(QByteArray& out, const QString& value) {
    // A spreadsheet reads "=HYPERLINK(...)" as a live formula; the apostrophe keeps it text.
    const QByteArray utf8 = (looksLikeFormula(value) ? QStringLiteral("'") + value : value).toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\r') && !utf8.contains('\n')) {
        out += utf8;
        return;
    }
    out += '"';
    out += QByteArray(utf8).replace("\"", "\"\"");
    out += '"';
}

QString valueOf(const QVariant& value) {
    return value.isNull() ? QString() : number(value.toDouble());
}

const QByteArray kBom("\xEF\xBB\xBF");

QStringList csvHeader() {
    return QStringList{QStringLiteral("学習者")} + runHeaders();
}

} // namespace

QStringList runHeaders() {
    return {QStringLiteral("日付"),     QStringLiteral("ドリル"),
            QStringLiteral("コース"),   QStringLiteral("その日の 何回め"),
            QStringLiteral("時間(秒)"), QStringLiteral("速度(回／分)"),
            QStringLiteral("ミス(回)"), QStringLiteral("にがてな キー")};
}

QStringList runFields(const DB_RUN_VALUES& run, DateForm form) {
    const Drill drill = drillOf(run.windmill, run.drill);
    const QString course = drill == Drill::Windmill ? run.rem : run.cond1;
    return {dayText(run.day, form),
            drill == Drill::Other ? QStringLiteral("ドリル%1").arg(run.drill) : drillName(drill),
            courseName(drill, courseOf(drill, run.drill, course)),
            run.round.isNull() ? QString() : QString::number(run.round.toInt()),
            valueOf(run.time),
            valueOf(run.speed),
            valueOf(run.errors),
            run.worstKey};
}

DB_RUN_VALUES valuesOf(const DB_RUN& run) {
    const DB_T_KEY& f = run.fields;
    const auto value = [](auto v, std::int32_t flag) { return flag ? QVariant(double(v)) : QVariant(); };
    DB_RUN_VALUES v;
    v.learner = run.learner;
    v.windmill = run.windmill;
    v.day = f.Y4mmddFlag ? f.Y4mmdd : QDate();
    v.drill = f.Tavrel;
    v.round = f.RoundFlag ? QVariant(int(f.Round)) : QVariant();
    v.time = value(f.Time, f.TimeFlag);
    v.speed = value(f.result3, f.result3Flag);
    v.errors = value(f.result4, f.result4Flag);
    v.rem = f.REM;
    v.cond1 = f.COND1;
    v.worstKey = f.ERR1;
    return v;
}

void appendCsvRecord(QByteArray& out, const QStringList& fields) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        appendField(out, fields[i]);
    }
    out += "\r\n";
}

QByteArray runsCsv(const QList<DB_RUN>& runs) {
    QByteArray out(kBom);
    appendCsvRecord(out, csvHeader());
    for (const DB_RUN& run : runs)
        appendCsvRecord(out, QStringList{run.learner} + runFields(valuesOf(run), DateForm::Iso));
    return out;
}

QByteArray unitsCsv(const QList<DB_UNIT_ROW>& rows) {
    QByteArray out(kBom);
    appendCsvRecord(out, {QStringLiteral("学習者"), QStringLiteral("日付"), QStringLiteral("ドリル番号"),
                          QStringLiteral("もじ・キー"), QStringLiteral("回数"), QStringLiteral("ミス(回)"),
                          QStringLiteral("平均時間(ミリ秒)"), QStringLiteral("まちがえた キー")});
    for (const DB_UNIT_ROW& r : rows)
        appendCsvRecord(out,
                        {r.learner, dayText(r.day, DateForm::Iso), QString::number(r.drill), r.unit.unit,
                         QString::number(r.unit.attempts), QString::number(r.unit.misses),
                         r.unit.meanMs < 0 ? QString() : QString::number(r.unit.meanMs), r.unit.wrongKey});
    return out;
}

namespace {

// A line of the CSV and where it goes among its learner's: by day, T_Key before T_Digit, drill and run
// number, as the database would sort them.
struct Line {
    std::tuple<qint64, bool, int, int> order;
    QByteArray text;
};

} // namespace

bool writeRunsCsv(const QString& file, const CsvExport& what, const std::function<bool(qsizetype)>& progress,
                  qsizetype* written, QString* why) {
    // The database gives the runs as it finds them (sorting them all there costs more than the rest); each
    // learner's lines wait in their own list, sorted here, until the file is written in the screen's order.
    QHash<QString, qsizetype> slot;
    std::vector<std::vector<Line>> lines;
    for (const QString& name : what.learnerOrder) {
        if (!slot.contains(name.toCaseFolded())) {
            slot.insert(name.toCaseFolded(), qsizetype(lines.size()));
            lines.emplace_back();
        }
    }
    qsizetype count = 0;
    bool stopped = false;
    QString current;
    std::vector<Line>* into = nullptr;
    std::vector<qsizetype> unnamed; // learners not in the order given, as first met
    const bool read = DB_EachRun(
        what.database, what.filter,
        [&](const DB_RUN_VALUES& run) {
            if (!into || run.learner != current) {
                current = run.learner;
                const QString key = current.toCaseFolded();
                auto it = slot.constFind(key);
                if (it == slot.constEnd()) {
                    it = slot.insert(key, qsizetype(lines.size()));
                    lines.emplace_back();
                    unnamed.push_back(*it);
                }
                into = &lines[size_t(*it)];
            }
            Line line{
                {run.day.toJulianDay(), run.windmill, run.drill, run.round.isNull() ? -1 : run.round.toInt()},
                {}};
            appendCsvRecord(line.text, QStringList{run.learner} + runFields(run, DateForm::Iso));
            into->push_back(std::move(line));
            ++count;
            stopped = count % 4096 == 0 && progress && !progress(count);
            return !stopped;
        },
        false);
    if (!read) {
        if (why)
            *why = stopped ? QStringLiteral("とちゅうで やめました。") : DB_ProblemText(DB_LastProblem());
        return false;
    }
    // Learners not named come after the others, by name, as the database would give them.
    std::stable_sort(unnamed.begin(), unnamed.end(), [&](qsizetype a, qsizetype b) {
        return lines[size_t(a)].front().text.compare(lines[size_t(b)].front().text, Qt::CaseInsensitive) < 0;
    });
    QSaveFile out(file);
    bool ok = out.open(QIODevice::WriteOnly);
    QByteArray head(kBom);
    appendCsvRecord(head, csvHeader());
    ok = ok && out.write(head) == head.size();
    const qsizetype named = qsizetype(lines.size() - unnamed.size());
    for (qsizetype i = 0; ok && i < qsizetype(lines.size()); ++i) {
        std::vector<Line>& learner = lines[size_t(i < named ? i : unnamed[size_t(i - named)])];
        std::stable_sort(learner.begin(), learner.end(),
                         [](const Line& a, const Line& b) { return a.order < b.order; });
        for (size_t j = 0; ok && j < learner.size(); ++j) {
            const QByteArray& line = learner[what.newestFirst ? learner.size() - 1 - j : j].text;
            ok = out.write(line) == line.size();
        }
    }
    ok = ok && out.commit();
    if (!ok && why)
        *why = out.errorString();
    if (ok && progress)
        progress(count);
    if (written)
        *written = count;
    return ok;
}

bool writeWhole(const QString& path, const QByteArray& bytes, QString* why) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (why)
        *why = file.errorString();
    return false;
}

QList<QStringList> parseCsv(const QString& input, QChar separator) {
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    bool any = false; // something of the current record was read
    const auto endField = [&] {
        // Our own protection of a formula-like text comes off again.
        if (field.size() > 1 && field.front() == QLatin1Char('\'') && looksLikeFormula(field.mid(1)))
            field.remove(0, 1);
        record << field;
        field.clear();
        wasQuoted = false;
    };
    const QString text = input.startsWith(QChar(0xFEFF)) ? input.mid(1) : input;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != QLatin1Char('"'))
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"'))
                field += text[++i];
            else
                quoted = false;
            continue;
        }
        if (c == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = any = true;
        } else if (c == separator) {
            endField();
            any = true;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            endField();
            records << record;
            record.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any) {
        endField();
        records << record;
    }
    return records;
}

} // namespace seiseki
