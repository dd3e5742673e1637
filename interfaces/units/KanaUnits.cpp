#include "KanaUnits.h"

#include <QHash>

namespace halvor {

namespace {

constexpr char16_t kSmall[] = u"ぁぃぅぇぉゃゅょゎァィゥェォャュョヮ";

bool isKanaLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x3041 && u <= 0x3096) || (u >= 0x30A1 && u <= 0x30FA);
}

// Per mille of the kana typed for everyday text (kanji are typed as their readings). Reasoning: the particles
// and endings (の に は を が, い う る す た て, ます です) make the plain kana of the あ-, か-, さ-, た-,
// な- and ま-rows and ん the bulk of what is typed, in the order published kana counts of news and web text
// give; voiced kana come at about a fifth of their plain ones, the p-row and ぢ づ rarely; the contracted
// sounds are mostly the on-readings of kanji (しょう, きょう, じゅう, ちょう, りょう), each at a few per
// mille at most; the small kana typed alone and the foreign-sound pairs (うぃ, ヴぁ, てぃ) almost never. Only
// the order and the rough ratios matter: the weakness score takes the square root.
const QHash<QString, double>& frequencies() {
    static const QHash<QString, double> table = [] {
        const std::pair<const char16_t*, double> entries[] = {
            {u"い", 50},    {u"う", 45},    {u"ん", 40},    {u"の", 35},    {u"し", 35},    {u"か", 30},
            {u"た", 30},    {u"て", 28},    {u"に", 28},    {u"な", 25},    {u"と", 25},    {u"は", 22},
            {u"る", 22},    {u"ま", 20},    {u"す", 20},    {u"く", 20},    {u"っ", 18},    {u"こ", 18},
            {u"が", 16},    {u"で", 15},    {u"き", 14},    {u"り", 14},    {u"を", 12},    {u"ら", 12},
            {u"つ", 12},    {u"さ", 12},    {u"も", 12},    {u"れ", 12},    {u"け", 10},    {u"あ", 10},
            {u"よ", 9},     {u"だ", 9},     {u"そ", 9},     {u"ち", 8},     {u"せ", 8},     {u"じ", 8},
            {u"お", 7},     {u"め", 6},     {u"え", 6},     {u"わ", 6},     {u"み", 6},     {u"ろ", 5},
            {u"ど", 5},     {u"や", 5},     {u"しょ", 5},   {u"ひ", 4},     {u"ご", 4},     {u"ほ", 4},
            {u"ふ", 4},     {u"しゅ", 4},   {u"ば", 3},     {u"げ", 3},     {u"ず", 3},     {u"ね", 3},
            {u"む", 3},     {u"ぶ", 3},     {u"ゆ", 3},     {u"ー", 3},     {u"きょ", 3},   {u"じょ", 3},
            {u"び", 2},     {u"べ", 2},     {u"ぐ", 2},     {u"ぎ", 2},     {u"ざ", 2},     {u"ぜ", 2},
            {u"ぞ", 2},     {u"へ", 2},     {u"ちょ", 2},   {u"りょ", 2},   {u"じゅ", 2},   {u"きゅ", 1.5},
            {u"しゃ", 1.5}, {u"ぼ", 1},     {u"ぱ", 1},     {u"ぬ", 1},     {u"ちゅ", 1},   {u"ちゃ", 1},
            {u"ぎょ", 1},   {u"じゃ", 0.8}, {u"ぽ", 0.5},   {u"ぷ", 0.5},   {u"ぴ", 0.5},   {u"ぺ", 0.5},
            {u"づ", 0.5},   {u"ひょ", 0.5}, {u"にゅ", 0.5}, {u"びょ", 0.5}, {u"りゅ", 0.5}, {u"きゃ", 0.5},
            {u"みょ", 0.3}, {u"ぎゅ", 0.3}, {u"ぢ", 0.1},   {u"ぴょ", 0.1}, {u"にゃ", 0.1}, {u"ひゃ", 0.1},
        };
        QHash<QString, double> t;
        for (const auto& [unit, perMille] : entries)
            t.insert(QString::fromUtf16(unit), perMille);
        return t;
    }();
    return table;
}

} // namespace

bool IsSmallKana(QChar c) {
    return QStringView(kSmall).contains(c);
}

QStringList KanaUnits(const QString& text) {
    QStringList units;
    for (const QChar c : text) {
        if (IsSmallKana(c) && !units.isEmpty() && units.last().size() == 1) {
            const QChar base = units.last().at(0);
            if (isKanaLetter(base) && !IsSmallKana(base) && base != u'っ' && base != u'ッ') {
                units.last() += c;
                continue;
            }
        }
        units.append(QString(c));
    }
    return units;
}

double KanaFrequency(const QString& unit) {
    return frequencies().value(unit, 0.05);
}

} // namespace halvor
