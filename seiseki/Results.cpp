#include "Results.h"

#include "UnitMap.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <map>

namespace seiseki {

Drill drillOf(bool windmill, int n) {
    if (windmill)
        return n == 12 ? Drill::Windmill : Drill::Other;
    if (n == 11 || n == 12)
        return Drill::Blocks;
    return n == 23 ? Drill::Hiragana : Drill::Other;
}

Drill drillOf(const DB_RUN& run) {
    return drillOf(run.windmill, run.fields.Tavrel);
}

QString drillName(Drill drill) {
    switch (drill) {
    case Drill::Windmill:
        return QStringLiteral("風車");
    case Drill::Blocks:
        return QStringLiteral("ブロック");
    case Drill::Hiragana:
        return QStringLiteral("ひらがな");
    case Drill::Other:
        break;
    }
    return QStringLiteral("そのほか");
}

int courseOf(Drill drill, int drillNumber, const QString& course) {
    switch (drill) {
    case Drill::Windmill: {
        static const QRegularExpression level(QStringLiteral("^LEVEL([1-7])$"),
                                              QRegularExpression::CaseInsensitiveOption);
        const auto m = level.match(course.trimmed());
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    }
    case Drill::Blocks:
        // The mode is the drill number; the stored count text says the same.
        return drillNumber == 11 ? 2 : 4;
    case Drill::Hiragana: {
        // As the drill's own chart reads it: a missing code is the first kind, an unknown one the third.
        const QString code = course.trimmed().toUpper();
        if (halvor::IsNigateCode(code))
            return kNigate;
        return code.isEmpty() || code == QLatin1String("AI") ? 1 : code == QLatin1String("GA") ? 2 : 3;
    }
    case Drill::Other:
        break;
    }
    return 0;
}

int courseOf(const DB_RUN& run) {
    const Drill drill = drillOf(run);
    return courseOf(drill, run.fields.Tavrel, drill == Drill::Windmill ? run.fields.REM : run.fields.COND1);
}

bool comparable(const DB_RUN& run) {
    return drillOf(run) != Drill::Hiragana || courseOf(run) != kNigate;
}

QString courseName(Drill drill, int course) {
    switch (drill) {
    case Drill::Windmill:
        return course > 0 ? QStringLiteral("レベル%1").arg(course) : QString();
    case Drill::Blocks:
        return QStringLiteral("%1文字").arg(course);
    case Drill::Hiragana: {
        static const QString kinds[] = {QStringLiteral("あいうえお"), QStringLiteral("濁音"),
                                        QStringLiteral("促音"), QStringLiteral("にがて")};
        return course >= 1 && course <= kNigate ? kinds[course - 1] : QString();
    }
    case Drill::Other:
        break;
    }
    return {};
}

QString number(double value) {
    if (!std::isfinite(value))
        return {};
    // Speeds are stored cut to one decimal; more digits would only show the double's noise.
    QString text = QString::number(value, 'f', 1);
    if (text.endsWith(QLatin1String(".0")))
        text.chop(2);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString dayText(const QDate& day, DateForm form) {
    if (!day.isValid())
        return {};
    return form == DateForm::Iso ? day.toString(Qt::ISODate) : day.toString(QStringLiteral("yyyy/MM/dd"));
}

namespace {

void keepBest(std::optional<double>& best, double value, bool higherIsBetter) {
    if (!best || (higherIsBetter ? value > *best : value < *best))
        best = value;
}

} // namespace

QStringList overviewHeaders() {
    QStringList headers{QStringLiteral("番号"), QStringLiteral("名前"), QStringLiteral("クラス"),
                        QStringLiteral("風車\n回数")};
    for (int level = 1; level <= kLevels; ++level)
        headers << QStringLiteral("風車\nL%1\n回／分").arg(level);
    headers << QStringLiteral("ブロック\n回数") << QStringLiteral("ブロック\n2文字\n回／分")
            << QStringLiteral("ブロック\n4文字\n回／分") << QStringLiteral("ひらがな\n回数");
    for (int kind = 1; kind <= kKinds; ++kind)
        headers << QStringLiteral("ひらがな\n") + courseName(Drill::Hiragana, kind) + QStringLiteral("\n秒");
    headers << QStringLiteral("さいごの日");
    return headers;
}

QVariantList overviewValues(const OverviewRow& row) {
    const auto figure = [](const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(); };
    QVariantList values{row.number > 0 ? QVariant(row.number) : QVariant(), row.learner, row.className,
                        row.windmillRuns};
    for (const auto& best : row.windmillBest)
        values << figure(best);
    values << row.blocksRuns << figure(row.blocksBest2) << figure(row.blocksBest4) << row.hiraganaRuns;
    for (const auto& best : row.hiraganaBest)
        values << figure(best);
    values << (row.lastDay.isValid() ? QVariant(row.lastDay) : QVariant());
    return values;
}

QString displayText(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Double:
        return number(value.toDouble());
    case QMetaType::QDate:
        return dayText(value.toDate());
    default:
        return value.toString();
    }
}

QList<OverviewRow> buildOverview(const QList<DB_LEARNER>& learners, const QList<DB_RUN_GROUP>& groups) {
    QList<OverviewRow> rows;
    QHash<QString, qsizetype> index; // case-folded name -> row
    const auto rowOf = [&](const DB_LEARNER& l) -> OverviewRow& {
        const QString key = l.name.toCaseFolded();
        auto it = index.find(key);
        if (it == index.end()) {
            it = index.insert(key, rows.size());
            OverviewRow row;
            row.learner = l.name;
            row.className = l.className;
            row.number = l.number;
            row.furigana = l.furigana;
            rows.append(row);
        }
        return rows[*it];
    };
    for (const DB_LEARNER& l : learners)
        rowOf(l);
    const qsizetype known = rows.size();
    for (const DB_RUN_GROUP& g : groups) {
        OverviewRow& row = rowOf({g.learner, {}, false, 0, {}});
        const Drill drill = drillOf(g.windmill, g.drill);
        const int course = courseOf(drill, g.drill, g.course);
        switch (drill) {
        case Drill::Windmill:
            row.windmillRuns += g.runs;
            if (g.hasSpeed && course >= 1)
                keepBest(row.windmillBest[course - 1], g.bestSpeed, true);
            break;
        case Drill::Blocks:
            row.blocksRuns += g.runs;
            if (g.hasSpeed)
                keepBest(course == 2 ? row.blocksBest2 : row.blocksBest4, g.bestSpeed, true);
            break;
        case Drill::Hiragana:
            row.hiraganaRuns += g.runs;
            if (g.hasTime && course <= kKinds)
                keepBest(row.hiraganaBest[course - 1], g.bestTime, false);
            break;
        case Drill::Other:
            break;
        }
        if (g.lastDay.isValid() && (!row.lastDay.isValid() || g.lastDay > row.lastDay))
            row.lastDay = g.lastDay;
    }
    std::sort(rows.begin() + known, rows.end(), [](const OverviewRow& a, const OverviewRow& b) {
        return a.learner.compare(b.learner, Qt::CaseInsensitive) < 0;
    });
    return rows;
}

QStringList classesOf(const QList<DB_LEARNER>& learners) {
    QStringList classes;
    for (const DB_LEARNER& l : learners) {
        if (l.registered && !l.className.trimmed().isEmpty() &&
            !classes.contains(l.className.trimmed(), Qt::CaseInsensitive))
            classes << l.className.trimmed();
    }
    return classes;
}

QString rangeName(Range range) {
    switch (range) {
    case Range::All:
        return QStringLiteral("すべて");
    case Range::ThisWeek:
        return QStringLiteral("今週");
    case Range::ThisMonth:
        return QStringLiteral("今月");
    case Range::Term1:
        return QStringLiteral("1学期");
    case Range::Term2:
        return QStringLiteral("2学期");
    case Range::Term3:
        return QStringLiteral("3学期");
    case Range::SchoolYear:
        return QStringLiteral("今年度");
    case Range::Custom:
        break;
    }
    return QStringLiteral("日付を えらぶ");
}

DateRange rangeFor(Range range, const QDate& today) {
    const int schoolYear = today.month() >= 4 ? today.year() : today.year() - 1;
    switch (range) {
    case Range::Term1:
        return {QDate(schoolYear, 4, 1), QDate(schoolYear, 8, 31)};
    case Range::Term2:
        return {QDate(schoolYear, 9, 1), QDate(schoolYear, 12, 31)};
    case Range::Term3:
        return {QDate(schoolYear + 1, 1, 1), QDate(schoolYear + 1, 3, 31)};
    case Range::ThisWeek: {
        const QDate monday = today.addDays(1 - today.dayOfWeek());
        return {monday, monday.addDays(6)};
    }
    case Range::ThisMonth:
        return {QDate(today.year(), today.month(), 1),
                QDate(today.year(), today.month(), today.daysInMonth())};
    case Range::SchoolYear:
        return {QDate(schoolYear, 4, 1), QDate(schoolYear + 1, 3, 31)};
    case Range::All:
    case Range::Custom:
        break;
    }
    return {};
}

QString rangeProblem(const DateRange& range) {
    if (range.from.isValid() && range.to.isValid() && range.from > range.to)
        return QStringLiteral(
            "はじめの 日が おわりの 日より あとに なっています。 日づけを なおして ください。");
    return {};
}

QString rangeText(const DateRange& range) {
    const auto day = [](const QDate& d) { return dayText(d); };
    if (range.from.isValid() && range.to.isValid())
        return day(range.from) + QStringLiteral(" 〜 ") + day(range.to);
    if (range.from.isValid())
        return day(range.from) + QStringLiteral(" から");
    if (range.to.isValid())
        return day(range.to) + QStringLiteral(" まで");
    return QStringLiteral("すべての 日");
}

namespace {

// The biggest gain of the period: for each drill and course, the best of the first day practised against the
// best of the days after it.
struct Gain {
    QString sentence;
    double change = 0;
};

Gain biggestGain(const QList<DB_RUN>& runs) {
    struct Bests {
        QDate firstDay;
        std::optional<double> first;
        std::optional<double> later;
    };
    std::map<std::pair<Drill, int>, Bests> bests;
    for (const DB_RUN& run : runs) {
        const Drill drill = drillOf(run);
        const bool byTime = drill == Drill::Hiragana;
        const bool has = byTime ? run.fields.TimeFlag != 0 : run.fields.result3Flag != 0;
        if (drill == Drill::Other || !has || !run.fields.Y4mmdd.isValid() || !comparable(run))
            continue;
        Bests& b = bests[{drill, courseOf(run)}];
        const QDate day = run.fields.Y4mmdd;
        const double value = byTime ? run.fields.Time : run.fields.result3;
        if (!b.firstDay.isValid() || day < b.firstDay) {
            // Runs may come in any order: what was the first day's becomes a later day's.
            if (b.first)
                keepBest(b.later, *b.first, !byTime);
            b.firstDay = day;
            b.first.reset();
        }
        keepBest(day == b.firstDay ? b.first : b.later, value, !byTime);
    }
    Gain gain;
    for (const auto& [key, b] : bests) {
        if (!b.first || !b.later || *b.first <= 0)
            continue;
        const bool byTime = key.first == Drill::Hiragana;
        const double change = byTime ? (*b.first - *b.later) / *b.first : (*b.later - *b.first) / *b.first;
        if (change <= gain.change)
            continue;
        gain.change = change;
        const QString what = drillName(key.first) + QLatin1Char(' ') + courseName(key.first, key.second);
        gain.sentence = byTime ? QStringLiteral("%1の さいこうタイムが %2秒 から %3秒 に ちぢまりました。")
                                     .arg(what, number(*b.first), number(*b.later))
                               : QStringLiteral("%1の さいこう速度が 1分に %2回 から %3回 に あがりました。")
                                     .arg(what, number(*b.first), number(*b.later));
    }
    return gain;
}

} // namespace

QString summarize(const QList<DB_RUN>& runs) {
    if (runs.isEmpty())
        return QStringLiteral("この きかんには れんしゅうの きろくが ありません。");
    QSet<QDate> days;
    for (const DB_RUN& run : runs)
        days.insert(run.fields.Y4mmdd);
    const QString count =
        QStringLiteral("この きかんに %1日、 %2回 れんしゅうしました。").arg(days.size()).arg(runs.size());
    const Gain gain = biggestGain(runs);
    return gain.sentence.isEmpty() ? count : count + QLatin1Char(' ') + gain.sentence;
}

QString encouragement(const QList<DB_RUN>& runs) {
    if (runs.isEmpty())
        return QStringLiteral("つぎの きかんは、 すこしずつ いっしょに れんしゅうして みましょう。");
    if (!biggestGain(runs).sentence.isEmpty())
        return QStringLiteral("よく がんばりました。 この ちょうしで つづけましょう！");
    return QStringLiteral("れんしゅうを つづけると、 かならず はやく なります。 がんばりましょう！");
}

} // namespace seiseki
