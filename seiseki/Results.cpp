#include "Results.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <map>

namespace seiseki {

Drill drillOf(const DB_RUN& run) {
    const int n = run.fields.Tavrel;
    if (run.windmill)
        return n == 12 ? Drill::Windmill : Drill::Other;
    if (n == 11 || n == 12)
        return Drill::Blocks;
    return n == 23 ? Drill::Hiragana : Drill::Other;
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

QString courseName(Drill drill, int course) {
    switch (drill) {
    case Drill::Windmill:
        return course > 0 ? QStringLiteral("レベル%1").arg(course) : QString();
    case Drill::Blocks:
        return QStringLiteral("%1文字").arg(course);
    case Drill::Hiragana: {
        static const QString kinds[] = {QStringLiteral("あいうえお"), QStringLiteral("濁音"),
                                        QStringLiteral("促音")};
        return course >= 1 && course <= kKinds ? kinds[course - 1] : QString();
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

namespace {

void keepBest(std::optional<double>& best, double value, bool higherIsBetter) {
    if (!best || (higherIsBetter ? value > *best : value < *best))
        best = value;
}

} // namespace

QStringList overviewHeaders() {
    QStringList headers{QStringLiteral("名前"), QStringLiteral("クラス"), QStringLiteral("風車\n回数")};
    for (int level = 1; level <= kLevels; ++level)
        headers << QStringLiteral("風車\nL%1").arg(level);
    headers << QStringLiteral("ブロック\n回数") << QStringLiteral("ブロック\n2文字")
            << QStringLiteral("ブロック\n4文字") << QStringLiteral("ひらがな\n回数");
    for (int kind = 1; kind <= kKinds; ++kind)
        headers << courseName(Drill::Hiragana, kind) + QStringLiteral("\n(秒)");
    headers << QStringLiteral("さいごの日");
    return headers;
}

QVariantList overviewValues(const OverviewRow& row) {
    const auto figure = [](const std::optional<double>& v) { return v ? QVariant(*v) : QVariant(); };
    QVariantList values{row.learner, row.className, row.windmillRuns};
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
        return value.toDate().toString(QStringLiteral("yyyy/MM/dd"));
    default:
        return value.toString();
    }
}

QList<OverviewRow> buildOverview(const QList<DB_LEARNER>& learners, const QList<DB_RUN_GROUP>& groups) {
    QList<OverviewRow> rows;
    QHash<QString, qsizetype> index; // case-folded name -> row
    const auto rowOf = [&](const QString& name, const QString& className) -> OverviewRow& {
        const QString key = name.toCaseFolded();
        auto it = index.find(key);
        if (it == index.end()) {
            it = index.insert(key, rows.size());
            OverviewRow row;
            row.learner = name;
            row.className = className;
            rows.append(row);
        }
        return rows[*it];
    };
    for (const DB_LEARNER& l : learners)
        rowOf(l.name, l.className);
    const qsizetype known = rows.size();
    for (const DB_RUN_GROUP& g : groups) {
        OverviewRow& row = rowOf(g.learner, {});
        DB_RUN probe;
        probe.windmill = g.windmill;
        probe.fields.Tavrel = static_cast<std::int16_t>(g.drill);
        const Drill drill = drillOf(probe);
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
            if (g.hasTime)
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

DateRange rangeFor(Range range, const QDate& today) {
    switch (range) {
    case Range::ThisWeek: {
        const QDate monday = today.addDays(1 - today.dayOfWeek());
        return {monday, monday.addDays(6)};
    }
    case Range::ThisMonth:
        return {QDate(today.year(), today.month(), 1),
                QDate(today.year(), today.month(), today.daysInMonth())};
    case Range::SchoolYear: {
        const int year = today.month() >= 4 ? today.year() : today.year() - 1;
        return {QDate(year, 4, 1), QDate(year + 1, 3, 31)};
    }
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
    const auto day = [](const QDate& d) { return d.toString(QStringLiteral("yyyy/MM/dd")); };
    if (range.from.isValid() && range.to.isValid())
        return day(range.from) + QStringLiteral(" 〜 ") + day(range.to);
    if (range.from.isValid())
        return day(range.from) + QStringLiteral(" から");
    if (range.to.isValid())
        return day(range.to) + QStringLiteral(" まで");
    return QStringLiteral("すべての 日");
}

QString summarize(const QList<DB_RUN>& runs, const QDate& today) {
    if (runs.isEmpty())
        return QStringLiteral("まだ きろくが ありません。 ドリルで れんしゅうすると、 ここに でます。");
    const QDate weekStart = today.addDays(-6);
    struct Bests {
        std::optional<double> before;
        std::optional<double> recent;
    };
    std::map<std::pair<Drill, int>, Bests> bests;
    int recentRuns = 0;
    QDate lastDay;
    for (const DB_RUN& run : runs) {
        const QDate day = run.fields.Y4mmdd;
        if (!lastDay.isValid() || day > lastDay)
            lastDay = day;
        const bool recent = day >= weekStart && day <= today;
        recentRuns += recent ? 1 : 0;
        const Drill drill = drillOf(run);
        if (drill == Drill::Other || day > today)
            continue;
        const bool byTime = drill == Drill::Hiragana;
        const bool has = byTime ? run.fields.TimeFlag != 0 : run.fields.result3Flag != 0;
        if (!has)
            continue;
        Bests& b = bests[{drill, courseOf(run)}];
        keepBest(recent ? b.recent : b.before, byTime ? run.fields.Time : run.fields.result3, !byTime);
    }
    QString gain;
    double biggest = 0;
    for (const auto& [key, b] : bests) {
        if (!b.before || !b.recent || *b.before <= 0)
            continue;
        const bool byTime = key.first == Drill::Hiragana;
        const double change =
            byTime ? (*b.before - *b.recent) / *b.before : (*b.recent - *b.before) / *b.before;
        if (change <= biggest)
            continue;
        biggest = change;
        const QString what = drillName(key.first) + QLatin1Char(' ') + courseName(key.first, key.second);
        gain =
            byTime
                ? QStringLiteral("さいごの 1週間で %1の さいこうタイムが %2秒 から %3秒 に ちぢまりました。")
                      .arg(what, number(*b.before), number(*b.recent))
                : QStringLiteral("さいごの 1週間で %1の さいこう速度が %2 から %3 に あがりました。")
                      .arg(what, number(*b.before), number(*b.recent));
    }
    if (recentRuns == 0)
        return QStringLiteral(
                   "さいごの 1週間は れんしゅうが ありません。 さいごに れんしゅうしたのは %1 です。")
            .arg(lastDay.toString(QStringLiteral("yyyy/MM/dd")));
    const QString count = QStringLiteral("さいごの 1週間に %1回 れんしゅうしました。").arg(recentRuns);
    return gain.isEmpty() ? count : gain + QLatin1Char(' ') + count;
}

} // namespace seiseki
