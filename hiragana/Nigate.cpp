#include "Nigate.h"

#include "KanaUnits.h"
#include "Lessons.h"
#include "modConvert.h"

#include <algorithm>

namespace hiragana {

namespace {

// Kana after which a doubled letter is easy to see.
constexpr const char16_t* kAfterSmallTsu[] = {u"か", u"さ", u"た", u"ぱ"};

// A place of a line: the kana shown and the romaji under it, each padded to the place's width so that the
// romaji stands under its kana in the fixed-pitch list (a kana is two columns wide); wide places get one
// space, narrow ones two, as in the other lessons.
struct Place {
    QString kana;
    QString romaji;
};

QString padded(const QString& text, int columns, int width) {
    return text + QString(std::max(width - columns, 0), u' ');
}

std::pair<QString, QString> lineOf(const QList<Place>& places) {
    QString kana;
    QString romaji;
    for (const Place& p : places) {
        const int kanaColumns = int(p.kana.size()) * 2;
        const int romajiColumns = int(p.romaji.size());
        const int widest = std::max(kanaColumns, romajiColumns);
        const int width = widest + (widest >= 4 ? 1 : 2);
        kana += padded(p.kana, kanaColumns, width);
        romaji += padded(p.romaji, romajiColumns, width);
    }
    while (kana.endsWith(u' '))
        kana.chop(1);
    while (romaji.endsWith(u' '))
        romaji.chop(1);
    return {kana, romaji};
}

} // namespace

NigateHints NigateHints::FromTable() {
    NigateHints out;
    for (int kind = 0; kind < kKindCount; ++kind) {
        const QStringList rows = SampleRows(kind);
        for (qsizetype r = 0; r + 1 < rows.size(); r += 3) {
            const QStringList units = halvor::KanaUnits(ExpectedText(rows[r]));
            const QStringList words = rows[r + 1].split(u' ', Qt::SkipEmptyParts);
            if (units.size() != words.size())
                continue;
            for (qsizetype at = 0; at < units.size(); ++at) {
                if (!out.hints_.contains(units[at]) && ConvertRomaji(words[at]) == units[at])
                    out.hints_.insert(units[at], words[at]);
            }
        }
    }
    for (const KanaPair& pair : ConversionTable()) {
        if (!out.hints_.contains(pair.Kana))
            out.hints_.insert(pair.Kana, pair.Romaji);
    }
    return out;
}

QString NigateHints::hintFor(const QString& unit) const {
    if (const auto it = hints_.constFind(unit); it != hints_.cend())
        return *it;
    if (unit.size() == 2) {
        const QString first = hintFor(unit.left(1));
        const QString second = hintFor(unit.mid(1));
        if (!first.isEmpty() && !second.isEmpty())
            return first + second;
    }
    return {};
}

NigateLesson BuildNigateLesson(const QList<halvor::UnitHistory>& history, const NigateHints& hints,
                               halvor::Random& random) {
    NigateLesson lesson;
    // Only what a lesson line can show: a unit the table types (not a stray row of another drill).
    QList<halvor::UnitSummary> units = SummariseUnits(history, halvor::Weighting::KanaFrequency);
    units.removeIf([&](const halvor::UnitSummary& u) { return hints.hintFor(u.unit).isEmpty(); });
    for (const halvor::UnitSummary& u : WeakestUnits(units, kNigateWeakest))
        lesson.weak.append(u.unit);
    if (lesson.weak.isEmpty())
        return lesson;
    for (const halvor::UnitSummary& u : BestKnownUnits(units, kNigateKnown, lesson.weak))
        lesson.known.append(u.unit);

    const int places = kNigateLines * kNigateLineUnits;
    const int knownPlaces = lesson.known.isEmpty() ? 0 : places / 4;
    // The weak units shuffled, the known ones spread evenly among them.
    QStringList order;
    for (int i = 0; i < places - knownPlaces; ++i)
        order.append(lesson.weak[i % lesson.weak.size()]);
    for (qsizetype i = order.size() - 1; i > 0; --i)
        order.swapItemsAt(i, random.next() % (i + 1));
    for (int k = 0; k < knownPlaces; ++k)
        order.insert(qsizetype(k) * places / knownPlaces + places / knownPlaces / 2,
                     lesson.known[k % lesson.known.size()]);
    // The same unit twice in a row reads as one long word; swap the second with a place where neither
    // repeats.
    const auto fits = [&](qsizetype at, const QString& unit) {
        return (at == 0 || order[at - 1] != unit) && (at + 1 >= order.size() || order[at + 1] != unit);
    };
    for (qsizetype i = 1; i < order.size(); ++i) {
        if (order[i] != order[i - 1])
            continue;
        for (qsizetype j = 0; j < order.size(); ++j) {
            const QString here = order[i];
            const QString there = order[j];
            if (here == there || j + 1 == i || j == i + 1)
                continue;
            if (fits(j, here) && fits(i, there)) {
                order.swapItemsAt(i, j);
                break;
            }
        }
    }

    for (int line = 0; line < kNigateLines; ++line) {
        QList<Place> placesOfLine;
        for (int i = 0; i < kNigateLineUnits; ++i) {
            const QString& unit = order[line * kNigateLineUnits + i];
            if (unit == QStringLiteral("っ")) {
                const QString after =
                    QString::fromUtf16(kAfterSmallTsu[random.next() % int(std::size(kAfterSmallTsu))]);
                const QString hint = hints.hintFor(after);
                placesOfLine.append({unit + after, hint.left(1) + hint});
            } else {
                placesOfLine.append({unit, hints.hintFor(unit)});
            }
        }
        const auto [kana, romaji] = lineOf(placesOfLine);
        if (line > 0)
            lesson.rows << QStringLiteral("  ");
        lesson.rows << kana << romaji;
    }
    return lesson;
}

} // namespace hiragana
