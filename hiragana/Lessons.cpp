#include "Lessons.h"

#include <array>
#include <utility>

namespace hiragana {

namespace {

using Pair = std::pair<const char16_t*, const char16_t*>;

// Spaces are part of the lines: two between plain kana, one between contracted sounds, so that each
// romaji sits under its kana in the fixed-pitch list. Kind 2's fourth line uses ideographic spaces.
constexpr Pair kKind0[] = {
    {u"あ  い  う  え  お", u" a   i  u   e   o"},
    {u"か  き  く  け  こ", u"ka  ki  ku  ke  ko"},
    {u"さ  し  す  せ  そ", u"sa  si  su  se  so"},
    {u"た  ち  つ  て  と", u"ta  ti  tu  te  to"},
    {u"な  に  ぬ  ね  の", u"na  ni  nu  ne  no"},
    {u"は  ひ  ふ  へ  ほ", u"ha  hi  hu  he  ho"},
    {u"ま  み  む  め  も", u"ma  mi  mu  me  mo"},
    {u"や  ゆ  よ", u"ya  yu  yo"},
    {u"ら  り  る  れ  ろ", u"ra  ri  ru  re  ro"},
    {u"わ  うぃ  うぇ  を", u"wa  wi  we  wo"},
    {u"ん", u"nn"},
};

constexpr Pair kKind1[] = {
    {u"が  ぎ  ぐ  げ  ご", u"ga  gi  gu  ge  go"}, {u"ざ  じ  ず  ぜ  ぞ", u"za  zi  zu  ze  zo"},
    {u"だ  ぢ  づ  で  ど", u"da  di  du  de  do"}, {u"ば  び  ぶ  べ  ぼ", u"ba  bi  bu  be  bo"},
    {u"ぱ  ぴ  ぷ  ぺ  ぽ", u"pa  pi  pu  pe  po"}, {u"きゃ きゅ きょ", u"kya  kyu  kyo"},
    {u"ぎゃ ぎゅ ぎょ", u"gya  gyu  gyo"},          {u"しゃ しゅ しょ", u"sya  syu  syo"},
    {u"じゃ じゅ じょ", u"zya  zyu  zyo"},          {u"ちゃ ちゅ ちょ", u"tya  tyu  tyo"},
    {u"ぢゃ ぢゅ ぢょ", u"dya  dyu  dyo"},          {u"にゃ にゅ にょ", u"nya  nyu  nyo"},
    {u"ひゃ ひゅ ひょ", u"hya  hyu  hyo"},          {u"びゃ びゅ びょ", u"bya  byu  byo"},
    {u"ヴぁヴぃヴヴぇヴぉ", u"va  vi  vu  ve  vo"}, {u"ぴゃ ぴゅ ぴょ", u"pya  pyu  pyo"},
    {u"みゃ みゅ みょ", u"mya  myu  myo"},          {u"りゃ りゅ りょ", u"rya  ryu  ryo"},
};

constexpr Pair kKind2[] = {
    {u"ぁ ぃ ぅ ぇ ぉ(小文字)", u"la li lu le lo"},
    {u"ぁ ぃ ぅ ぇ ぉ(小文字)", u"xa xi xu xe xo"},
    {u"っ  ゃ  ゅ  ょ(小文字)", u"ltu lya lyu lyo"},
    {u"っ\u3000ゃ\u3000ゅ\u3000ょ(小文字)", u"xtu xya xyu xyo"},
    {u"いっしんいったい(一進一退)", u"issinnittai"},
    {u"いっぱん(一般)", u"ippann"},
    {u"えんいんきんいん(遠因近因)", u"enninnkinninn"},
    {u"さっぱり", u"sappari"},
    {u"きっぱり", u"kippari"},
    {u"いっちょういったん(一長一短)", u"ittyouittann icchouittann"},
    {u"うぃーん", u"wi-nn whi-nn"},
};

template <std::size_t N> QStringList rowsOf(const Pair (&pairs)[N]) {
    QStringList rows;
    for (std::size_t i = 0; i < N; ++i) {
        rows << QString::fromUtf16(pairs[i].first) << QString::fromUtf16(pairs[i].second);
        if (i + 1 < N) {
            rows << QStringLiteral("  ");
        }
    }
    return rows;
}

const std::array<PracticeKind, kKindCount>& kinds() {
    // The painted captions are the three-character pieces of one string.
    static const QString captions = QStringLiteral("５０音濁音等促音等");
    static const std::array<PracticeKind, kKindCount> all = {
        PracticeKind{QStringLiteral("§ あいうえお５０音"), captions.mid(0, 3), QStringLiteral("AI"),
                     QStringLiteral("あいうえお")},
        PracticeKind{QStringLiteral("§ 濁音、半濁音"), captions.mid(3, 3), QStringLiteral("GA"),
                     QStringLiteral("濁音")},
        PracticeKind{QStringLiteral("§ 促音、ん、小文字"), captions.mid(6, 3), QStringLiteral("NN"),
                     QStringLiteral("促音")},
    };
    return all;
}

} // namespace

const PracticeKind& Kind(int index) {
    static const PracticeKind nigate{QStringLiteral("§ にがて れんしゅう"), QStringLiteral("にがて"),
                                     QStringLiteral("NG"), QStringLiteral("にがて")};
    if (index == kNigateKind)
        return nigate;
    return kinds()[index >= 0 && index < kKindCount ? index : 0];
}

QStringList SampleRows(int kind) {
    switch (kind) {
    case 0:
        return rowsOf(kKind0);
    case 1:
        return rowsOf(kKind1);
    case 2:
        return rowsOf(kKind2);
    default:
        return {};
    }
}

QString RemoveSpaces(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c != QChar(0x0020) && c != QChar(0x3000)) {
            out += c;
        }
    }
    return out;
}

QString ExpectedText(const QString& kanaLine) {
    QString text = RemoveSpaces(kanaLine);
    const qsizetype note = text.indexOf(QLatin1Char('('));
    if (note >= 0) {
        text.truncate(note);
    }
    return text;
}

bool LineMatches(const QString& kanaLine, const QString& typedKana) {
    return ExpectedText(kanaLine) == RemoveSpaces(typedKana);
}

} // namespace hiragana
