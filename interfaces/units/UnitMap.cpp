#include "UnitMap.h"

#include <QHash>
#include <algorithm>

namespace halvor {

namespace {

QList<QStringList> rowsOf(std::initializer_list<const char16_t*> lines) {
    // A line lists its cells separated by spaces; "・" is a gap.
    QList<QStringList> rows;
    for (const char16_t* line : lines) {
        QStringList cells = QString::fromUtf16(line).split(u' ');
        for (QString& cell : cells) {
            if (cell == QStringLiteral("・"))
                cell.clear();
        }
        rows.append(cells);
    }
    return rows;
}

} // namespace

const QList<KanaChartSection>& KanaChart() {
    static const QList<KanaChartSection> chart = {
        {QStringLiteral("清音"),
         rowsOf({u"あ い う え お", u"か き く け こ", u"さ し す せ そ", u"た ち つ て と",
                 u"な に ぬ ね の", u"は ひ ふ へ ほ", u"ま み む め も", u"や ・ ゆ ・ よ",
                 u"ら り る れ ろ", u"わ ・ ・ ・ を", u"ん ・ ・ ・ ・"})},
        {QStringLiteral("濁音・半濁音"), rowsOf({u"が ぎ ぐ げ ご", u"ざ じ ず ぜ ぞ", u"だ ぢ づ で ど",
                                                 u"ば び ぶ べ ぼ", u"ぱ ぴ ぷ ぺ ぽ"})},
        {QStringLiteral("拗音"),
         rowsOf({u"きゃ きゅ きょ", u"しゃ しゅ しょ", u"ちゃ ちゅ ちょ", u"にゃ にゅ にょ",
                 u"ひゃ ひゅ ひょ", u"みゃ みゅ みょ", u"りゃ りゅ りょ", u"ぎゃ ぎゅ ぎょ",
                 u"じゃ じゅ じょ", u"ぢゃ ぢゅ ぢょ", u"びゃ びゅ びょ", u"ぴゃ ぴゅ ぴょ"})},
        {QStringLiteral("促音・小文字など"),
         rowsOf({u"っ ー うぃ うぇ ・", u"ぁ ぃ ぅ ぇ ぉ", u"ゃ ・ ゅ ・ ょ", u"ヴぁ ヴぃ ヴ ヴぇ ヴぉ"})},
    };
    return chart;
}

const QStringList& KeyboardRows() {
    static const QStringList rows = {QStringLiteral("1234567890"), QStringLiteral("qwertyuiop"),
                                     QStringLiteral("asdfghjkl;"), QStringLiteral("zxcvbnm,./")};
    return rows;
}

std::pair<QDate, QDate> PeriodBefore(const QDate& from, const QDate& to) {
    if (!from.isValid() || !to.isValid() || from > to)
        return {};
    return {from.addDays(-(from.daysTo(to) + 1)), from.addDays(-1)};
}

QList<UnitChange> UnitsWithChange(const QList<UnitHistory>& history, const QDate& from, const QDate& to,
                                  Weighting weighting) {
    const auto within = [](const QDate& day, const QDate& first, const QDate& last) {
        return (!first.isValid() || day >= first) && (!last.isValid() || day <= last);
    };
    const auto [beforeFrom, beforeTo] = PeriodBefore(from, to);
    QList<UnitHistory> now;
    QList<UnitHistory> then;
    for (const UnitHistory& row : history) {
        if (within(row.day, from, to))
            now.append(row);
        else if (beforeFrom.isValid() && within(row.day, beforeFrom, beforeTo))
            then.append(row);
    }
    return UnitsWithChange(SummariseUnits(now, weighting), SummariseUnits(then, weighting));
}

QList<UnitChange> UnitsWithChange(const QList<UnitSummary>& units, const QList<UnitSummary>& before) {
    QHash<QString, UnitSummary> earlier;
    for (const UnitSummary& u : before)
        earlier.insert(u.unit, u);

    // The weakest first, then the rest in the order of the text.
    QList<UnitSummary> ordered = WeakestUnits(units, int(units.size()));
    QList<UnitSummary> rest;
    for (const UnitSummary& u : units) {
        if (std::none_of(ordered.begin(), ordered.end(),
                         [&](const UnitSummary& w) { return w.unit == u.unit; }))
            rest.append(u);
    }
    std::sort(rest.begin(), rest.end(),
              [](const UnitSummary& a, const UnitSummary& b) { return a.unit < b.unit; });
    ordered += rest;

    QList<UnitChange> changes;
    for (const UnitSummary& u : ordered) {
        UnitChange c;
        c.now = u;
        const auto found = earlier.constFind(u.unit);
        if (found != earlier.constEnd()) {
            c.before = true;
            c.then = *found;
            c.change = u.missRate - found->missRate;
        }
        changes.append(c);
    }
    return changes;
}

int LessonKana(const QString& code) {
    // The kana of the kana lines of each lesson, the readers' notes in brackets left out.
    static const QHash<QString, int> kana = {
        {QStringLiteral("AI"), 50}, {QStringLiteral("GA"), 106}, {QStringLiteral("NN"), 59}};
    return kana.value(code.toUpper(), 0);
}

namespace {

int kanaOf(const UnitHistory& u) {
    return int(u.unit.size()) * std::max(u.attempts, 0);
}

} // namespace

int KanaTyped(const QList<UnitHistory>& unitsOfRun) {
    int kana = 0;
    for (const UnitHistory& u : unitsOfRun)
        kana += kanaOf(u);
    return kana;
}

QHash<QString, int> KanaTypedByRun(const QList<UnitHistory>& units) {
    QHash<QString, int> kana;
    for (const UnitHistory& u : units)
        kana[u.runId] += kanaOf(u);
    return kana;
}

bool IsNigateCode(const QString& code) {
    return code.trimmed().compare(QLatin1String("NG"), Qt::CaseInsensitive) == 0;
}

double KanaPerMinute(int kana, double seconds) {
    return seconds > 0 ? kana / seconds * 60.0 : 0.0;
}

} // namespace halvor
