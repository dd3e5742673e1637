#include "Export.h"

#include "Results.h"

#include <QSaveFile>

namespace seiseki {

namespace {

void appendField(QByteArray& out, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\r') && !utf8.contains('\n')) {
        out += utf8;
        return;
    }
    out += '"';
    out += QByteArray(utf8).replace("\"", "\"\"");
    out += '"';
}

void appendRecord(QByteArray& out, const QStringList& fields) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        appendField(out, fields[i]);
    }
    out += "\r\n";
}

QString valueOf(double value, std::int32_t flag) {
    return flag ? number(value) : QString();
}

} // namespace

QStringList runHeaders() {
    return {QStringLiteral("日付"), QStringLiteral("ドリル"),      QStringLiteral("コース"),
            QStringLiteral("回"),   QStringLiteral("時間(秒)"),    QStringLiteral("速度(打/分)"),
            QStringLiteral("ミス"), QStringLiteral("にがてなキー")};
}

QStringList runFields(const DB_RUN& run) {
    const DB_T_KEY& f = run.fields;
    const Drill drill = drillOf(run);
    return {f.Y4mmddFlag ? f.Y4mmdd.toString(Qt::ISODate) : QString(),
            drill == Drill::Other ? QStringLiteral("ドリル%1").arg(f.Tavrel) : drillName(drill),
            courseName(drill, courseOf(run)),
            f.RoundFlag ? QString::number(f.Round) : QString(),
            valueOf(f.Time, f.TimeFlag),
            valueOf(f.result3, f.result3Flag),
            valueOf(f.result4, f.result4Flag),
            f.ERR1};
}

QByteArray runsCsv(const QList<DB_RUN>& runs) {
    QByteArray out("\xEF\xBB\xBF");
    out.reserve(64 * (runs.size() + 1));
    appendRecord(out, QStringList{QStringLiteral("学習者")} + runHeaders());
    for (const DB_RUN& run : runs)
        appendRecord(out, QStringList{run.learner} + runFields(run));
    return out;
}

bool writeWhole(const QString& path, const QByteArray& bytes, QString* why) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (why)
        *why = file.errorString();
    return false;
}

QList<QStringList> parseCsv(const QString& input) {
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool any = false; // something of the current record was read
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
        if (c == QLatin1Char('"')) {
            quoted = any = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            record << field;
            records << record;
            record.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any) {
        record << field;
        records << record;
    }
    return records;
}

ClassList parseClassList(const QByteArray& bytes) {
    ClassList out;
    const QString text = QString::fromUtf8(bytes);
    // A list with tabs is the plain text form (name, tab, class), which knows no quoting; else CSV.
    QList<QStringList> records;
    if (text.contains(QLatin1Char('\t'))) {
        for (QString line : text.split(QLatin1Char('\n'))) {
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            records << line.split(QLatin1Char('\t'));
        }
        if (!records.isEmpty() && !records.first().isEmpty() &&
            records.first().first().startsWith(QChar(0xFEFF)))
            records.first().first().remove(0, 1);
    } else {
        records = parseCsv(text);
    }
    int lineNumber = 0;
    for (const QStringList& record : std::as_const(records)) {
        ++lineNumber;
        const QString name = record.value(0).trimmed();
        const QString className = record.value(1).trimmed();
        if (name.isEmpty() && className.isEmpty())
            continue;
        if (lineNumber == 1 && (name == QStringLiteral("名前") || name == QStringLiteral("なまえ") ||
                                name.compare(QLatin1String("name"), Qt::CaseInsensitive) == 0))
            continue;
        if (!DB_ValidLearnerName(name)) {
            out.rejected << QStringLiteral("%1行目: 「%2」は 名前に つかえません").arg(lineNumber).arg(name);
            continue;
        }
        out.learners.append({name, className, true});
    }
    return out;
}

} // namespace seiseki
