#include "modConvert.h"

namespace {

struct Entry {
    const char16_t* kana;
    const char16_t* romaji;
};

// Table order matters only for speed; keys are unique and none is a prefix of another.
constexpr Entry kEntries[] = {
    // punctuation
    {u"、", u","},
    {u"ー", u"-"},
    {u"。", u"."},
    {u"・", u"/"},
    {u"「", u"["},
    {u"」", u"]"},
    // a-
    {u"あ", u"a"},
    // b-
    {u"ば", u"ba"},
    {u"べ", u"be"},
    {u"び", u"bi"},
    {u"ぼ", u"bo"},
    {u"ぶ", u"bu"},
    {u"びゃ", u"bya"},
    {u"びぇ", u"bye"},
    {u"びぃ", u"byi"},
    {u"びょ", u"byo"},
    {u"びゅ", u"byu"},
    // c-
    {u"ちゃ", u"cha"},
    {u"ちぇ", u"che"},
    {u"ち", u"chi"},
    {u"ちょ", u"cho"},
    {u"ちゅ", u"chu"},
    {u"ちゃ", u"cya"},
    {u"ちぇ", u"cye"},
    {u"ちぃ", u"cyi"},
    {u"ちょ", u"cyo"},
    {u"ちゅ", u"cyu"},
    // d-
    {u"だ", u"da"},
    {u"で", u"de"},
    {u"でゃ", u"dha"},
    {u"でぇ", u"dhe"},
    {u"でぃ", u"dhi"},
    {u"でょ", u"dho"},
    {u"でゅ", u"dhu"},
    {u"ぢ", u"di"},
    {u"ど", u"do"},
    {u"づ", u"du"},
    {u"どぅ", u"dwu"},
    {u"ぢゃ", u"dya"},
    {u"ぢぇ", u"dye"},
    {u"ぢぃ", u"dyi"},
    {u"ぢょ", u"dyo"},
    {u"ぢゅ", u"dyu"},
    // e-
    {u"え", u"e"},
    // f-
    {u"ふぁ", u"fa"},
    {u"ふぇ", u"fe"},
    {u"ふぃ", u"fi"},
    {u"ふぉ", u"fo"},
    {u"ふ", u"fu"},
    {u"ふゃ", u"fya"},
    {u"ふぇ", u"fye"},
    {u"ふぃ", u"fyi"},
    {u"ふょ", u"fyo"},
    {u"ふゅ", u"fyu"},
    // g-
    {u"が", u"ga"},
    {u"げ", u"ge"},
    {u"ぎ", u"gi"},
    {u"ご", u"go"},
    {u"ぐ", u"gu"},
    {u"ぐぁ", u"gwa"},
    {u"ぎゃ", u"gya"},
    {u"ぎぇ", u"gye"},
    {u"ぎぃ", u"gyi"},
    {u"ぎょ", u"gyo"},
    {u"ぎゅ", u"gyu"},
    // h-
    {u"は", u"ha"},
    {u"へ", u"he"},
    {u"ひ", u"hi"},
    {u"ほ", u"ho"},
    {u"ふ", u"hu"},
    {u"ひゃ", u"hya"},
    {u"ひぇ", u"hye"},
    {u"ひぃ", u"hyi"},
    {u"ひょ", u"hyo"},
    {u"ひゅ", u"hyu"},
    // i-
    {u"い", u"i"},
    // j-
    {u"じゃ", u"ja"},
    {u"じぇ", u"je"},
    {u"じ", u"ji"},
    {u"じょ", u"jo"},
    {u"じゅ", u"ju"},
    {u"じゃ", u"jya"},
    {u"じぇ", u"jye"},
    {u"じぃ", u"jyi"},
    {u"じょ", u"jyo"},
    {u"じゅ", u"jyu"},
    // k-
    {u"か", u"ka"},
    {u"け", u"ke"},
    {u"き", u"ki"},
    {u"こ", u"ko"},
    {u"く", u"ku"},
    {u"くぁ", u"kwa"},
    {u"きゃ", u"kya"},
    {u"きぇ", u"kye"},
    {u"きぃ", u"kyi"},
    {u"きょ", u"kyo"},
    {u"きゅ", u"kyu"},
    // l-
    {u"ぁ", u"la"},
    {u"ぇ", u"le"},
    {u"ぃ", u"li"},
    {u"ぉ", u"lo"},
    {u"っ", u"ltu"},
    {u"ぅ", u"lu"},
    {u"ゃ", u"lya"},
    {u"ぇ", u"lye"},
    {u"ぃ", u"lyi"},
    {u"ょ", u"lyo"},
    {u"ゅ", u"lyu"},
    // m-
    {u"ま", u"ma"},
    {u"め", u"me"},
    {u"み", u"mi"},
    {u"も", u"mo"},
    {u"む", u"mu"},
    {u"みゃ", u"mya"},
    {u"みぇ", u"mye"},
    {u"みぃ", u"myi"},
    {u"みょ", u"myo"},
    {u"みゅ", u"myu"},
    // n-
    {u"ん", u"nn"},
    {u"な", u"na"},
    {u"ね", u"ne"},
    {u"に", u"ni"},
    {u"の", u"no"},
    {u"ぬ", u"nu"},
    {u"にゃ", u"nya"},
    {u"にぇ", u"nye"},
    {u"にぃ", u"nyi"},
    {u"にょ", u"nyo"},
    {u"にゅ", u"nyu"},
    // o-
    {u"お", u"o"},
    // p-
    {u"ぱ", u"pa"},
    {u"ぺ", u"pe"},
    {u"ぴ", u"pi"},
    {u"ぽ", u"po"},
    {u"ぷ", u"pu"},
    {u"ぴゃ", u"pya"},
    {u"ぴぇ", u"pye"},
    {u"ぴぃ", u"pyi"},
    {u"ぴょ", u"pyo"},
    {u"ぴゅ", u"pyu"},
    // r-
    {u"ら", u"ra"},
    {u"れ", u"re"},
    {u"り", u"ri"},
    {u"ろ", u"ro"},
    {u"る", u"ru"},
    {u"りゃ", u"rya"},
    {u"りぇ", u"rye"},
    {u"りぃ", u"ryi"},
    {u"りょ", u"ryo"},
    {u"りゅ", u"ryu"},
    // s-
    {u"さ", u"sa"},
    {u"せ", u"se"},
    {u"しゃ", u"sha"},
    {u"しぇ", u"she"},
    {u"し", u"shi"},
    {u"しょ", u"sho"},
    {u"しゅ", u"shu"},
    {u"し", u"si"},
    {u"そ", u"so"},
    {u"す", u"su"},
    {u"しゃ", u"sya"},
    {u"しぇ", u"sye"},
    {u"しぃ", u"syi"},
    {u"しょ", u"syo"},
    {u"しゅ", u"syu"},
    // t-
    {u"た", u"ta"},
    {u"て", u"te"},
    {u"てゃ", u"tha"},
    {u"てぇ", u"the"},
    {u"てぃ", u"thi"},
    {u"てょ", u"tho"},
    {u"てゅ", u"thu"},
    {u"ち", u"ti"},
    {u"と", u"to"},
    {u"つぁ", u"tsa"},
    {u"つぇ", u"tse"},
    {u"つぃ", u"tsi"},
    {u"つぉ", u"tso"},
    {u"つ", u"tsu"},
    {u"つ", u"tu"},
    {u"とぅ", u"twu"},
    {u"ちゃ", u"tya"},
    {u"ちぇ", u"tye"},
    {u"ちぃ", u"tyi"},
    {u"ちょ", u"tyo"},
    {u"ちゅ", u"tyu"},
    // u-
    {u"う", u"u"},
    // v-
    {u"ヴぁ", u"va"},
    {u"ヴぇ", u"ve"},
    {u"ヴぃ", u"vi"},
    {u"ヴぉ", u"vo"},
    {u"ヴ", u"vu"},
    // w-
    {u"わ", u"wa"},
    {u"うぇ", u"we"},
    {u"うぃ", u"wi"},
    {u"を", u"wo"},
    {u"う", u"wu"},
    // x-
    {u"ぁ", u"xa"},
    {u"ぇ", u"xe"},
    {u"ぃ", u"xi"},
    {u"ぉ", u"xo"},
    {u"っ", u"xtu"},
    {u"ぅ", u"xu"},
    {u"ゃ", u"xya"},
    {u"ぇ", u"xye"},
    {u"ぃ", u"xyi"},
    {u"ょ", u"xyo"},
    {u"ゅ", u"xyu"},
    // y-
    {u"や", u"ya"},
    {u"いぇ", u"ye"},
    {u"い", u"yi"},
    {u"よ", u"yo"},
    {u"ゆ", u"yu"},
    // z-
    {u"ざ", u"za"},
    {u"ぜ", u"ze"},
    {u"じ", u"zi"},
    {u"ぞ", u"zo"},
    {u"ず", u"zu"},
    {u"じゃ", u"zya"},
    {u"じぇ", u"zye"},
    {u"じぃ", u"zyi"},
    {u"じょ", u"zyo"},
    {u"じゅ", u"zyu"},
    // last four
    {u"ぐぃ", u"gwi"},
    {u"ぐぅ", u"gwu"},
    {u"ぐぇ", u"gwe"},
    {u"ぐぉ", u"gwo"},
};

// Keys beyond the table. The hint of "うぃーん" shows "whi", so the drill takes it whatever the setting.
constexpr Entry kMended[] = {
    {u"うぃ", u"whi"},
};

// What the common input methods accept besides the table (with the lone n before a consonant, which is a rule
// of the scanner rather than a key).
constexpr Entry kInputMethod[] = {
    {u"ん", u"n'"},    {u"ん", u"xn"},     {u"か", u"ca"},    {u"し", u"ci"},    {u"く", u"cu"},
    {u"せ", u"ce"},    {u"こ", u"co"},     {u"くぁ", u"qa"},  {u"くぃ", u"qi"},  {u"く", u"qu"},
    {u"くぇ", u"qe"},  {u"くぉ", u"qo"},   {u"くぁ", u"qwa"}, {u"くぃ", u"qwi"}, {u"くぅ", u"qwu"},
    {u"くぇ", u"qwe"}, {u"くぉ", u"qwo"},  {u"くゃ", u"qya"}, {u"くゅ", u"qyu"}, {u"くょ", u"qyo"},
    {u"うぁ", u"wha"}, {u"う", u"whu"},    {u"うぇ", u"whe"}, {u"うぉ", u"who"}, {u"とぁ", u"twa"},
    {u"とぃ", u"twi"}, {u"とぇ", u"twe"},  {u"とぉ", u"two"}, {u"どぁ", u"dwa"}, {u"どぃ", u"dwi"},
    {u"どぇ", u"dwe"}, {u"どぉ", u"dwo"},  {u"ふぁ", u"hwa"}, {u"ふぃ", u"hwi"}, {u"ふぇ", u"hwe"},
    {u"ふぉ", u"hwo"}, {u"ふゅ", u"hwyu"}, {u"ふぁ", u"fwa"}, {u"ふぃ", u"fwi"}, {u"ふぅ", u"fwu"},
    {u"ふぇ", u"fwe"}, {u"ふぉ", u"fwo"},  {u"すぁ", u"swa"}, {u"すぃ", u"swi"}, {u"すぅ", u"swu"},
    {u"すぇ", u"swe"}, {u"すぉ", u"swo"},  {u"ヴゃ", u"vya"}, {u"ヴゅ", u"vyu"}, {u"ヴょ", u"vyo"},
    {u"っ", u"xtsu"},  {u"っ", u"ltsu"},   {u"ゐ", u"wyi"},   {u"ゑ", u"wye"},   {u"ゎ", u"xwa"},
    {u"ゎ", u"lwa"},   {u"ヵ", u"xka"},    {u"ヵ", u"lka"},   {u"ヶ", u"xke"},   {u"ヶ", u"lke"},
};

// The longest key. Lower-casing never shortens a string, so a longer unit cannot equal any key.
constexpr qsizetype kLongestKey = 4;

QVector<KanaPair>& table() {
    static QVector<KanaPair> entries;
    return entries;
}

template <std::size_t N> QString find(const Entry (&entries)[N], const QString& key) {
    for (const Entry& e : entries) {
        if (key == QStringView(e.romaji)) {
            return QString::fromUtf16(e.kana);
        }
    }
    return {};
}

template <std::size_t N> void appendKeys(QVector<KanaPair>& out, const Entry (&entries)[N]) {
    for (const Entry& e : entries) {
        out.append(KanaPair{QString::fromUtf16(e.kana), QString::fromUtf16(e.romaji)});
    }
}

bool isLatinLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// A lone n before a consonant is ん to an input method: the consonant then starts the next syllable.
bool loneNBeforeConsonant(QChar n, QChar next) {
    return (n == u'n' || n == u'N') && isLatinLetter(next) &&
           !QStringLiteral("aiueonyAIUEONY").contains(next);
}

} // namespace

Spellings SpellingsFromSetting(const QString& value) {
    return value.trimmed().compare(QLatin1String("ime"), Qt::CaseInsensitive) == 0 ? Spellings::Ime
                                                                                   : Spellings::Table;
}

void InitConvertTable() {
    QVector<KanaPair>& entries = table();
    entries.clear();
    entries.reserve(qsizetype(std::size(kEntries)));
    appendKeys(entries, kEntries);
}

const QVector<KanaPair>& ConversionTable() {
    return table();
}

QVector<KanaPair> AcceptedKeys(Spellings spellings) {
    QVector<KanaPair> keys = table();
    appendKeys(keys, kMended);
    if (spellings == Spellings::Ime) {
        appendKeys(keys, kInputMethod);
    }
    return keys;
}

QString LookupKana(const QString& unit, Spellings spellings) {
    if (unit.isEmpty() || unit.size() > kLongestKey) {
        return {};
    }
    const QString key = unit.toLower();
    for (const KanaPair& pair : table()) {
        if (pair.Romaji == key) {
            return pair.Kana;
        }
    }
    QString kana = find(kMended, key);
    if (kana.isEmpty() && spellings == Spellings::Ime) {
        kana = find(kInputMethod, key);
    }
    return kana;
}

QList<ConvertedPiece> ConvertPieces(const QString& input, Spellings spellings) {
    static const QString smallTsu = QStringLiteral("っ");
    static const QString syllabicN = QStringLiteral("ん");
    const qsizetype n = input.size();
    QList<ConvertedPiece> pieces;
    if (n == 0) {
        return pieces;
    }
    // The window is input[start .. end], both included (0-based here).
    qsizetype start = 0;
    qsizetype end = 0;
    for (;;) {
        const QString piece = LookupKana(input.mid(start, end - start + 1), spellings);
        if (!piece.isEmpty()) {
            pieces.append({piece, start, end - start + 1, true});
            start = end + 1;
            end = start;
        } else if (spellings == Spellings::Ime && end == start + 1 &&
                   loneNBeforeConsonant(input.at(start), input.at(end))) {
            pieces.append({syllabicN, start, 1, true});
            start = end;
        } else {
            // The last two letters of the window doubled: the first letter of the window stands for "っ".
            if (end > start && input.at(end) == input.at(end - 1)) {
                pieces.append({smallTsu, start, 1, true});
                ++start;
            }
            ++end;
        }
        if (start >= n) {
            return pieces;
        }
        if (end >= n) {
            pieces.append({input.mid(start), start, n - start, false});
            return pieces;
        }
    }
}

QList<ConvertedPiece> CommitPieces(const QString& input, Spellings spellings) {
    QList<ConvertedPiece> pieces = ConvertPieces(input, spellings);
    if (spellings == Spellings::Ime && !pieces.isEmpty() && !pieces.last().converted) {
        // The input method makes a lone n at the end ん when the line is confirmed; spaces after it stay.
        ConvertedPiece& tail = pieces.last();
        const QString trimmed = tail.text.trimmed();
        if (trimmed.compare(QLatin1String("n"), Qt::CaseInsensitive) == 0 && !tail.text.at(0).isSpace()) {
            const QString spaces = tail.text.mid(1);
            tail = {QStringLiteral("ん"), tail.from, 1, true};
            if (!spaces.isEmpty()) {
                pieces.append({spaces, tail.from + 1, spaces.size(), false});
            }
        }
    }
    return pieces;
}

QString JoinPieces(const QList<ConvertedPiece>& pieces) {
    QString result;
    for (const ConvertedPiece& piece : pieces) {
        result += piece.text;
    }
    return result;
}

QString ConvertRomaji(const QString& input, Spellings spellings) {
    return JoinPieces(ConvertPieces(input, spellings));
}

QString CommitRomaji(const QString& input, Spellings spellings) {
    return JoinPieces(CommitPieces(input, spellings));
}
