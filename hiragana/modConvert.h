// Romaji to kana: a fixed table of romaji keys and a left-to-right scanner that converts what the learner
// typed, writes "っ" for a doubled letter and leaves whatever it cannot convert exactly as typed.
// Strings are UTF-16 code units throughout; every comparison is exact.
#pragma once

#include <QList>
#include <QString>
#include <QVector>

struct KanaPair {
    QString Kana;   // one or two characters
    QString Romaji; // the key: one to four lower-case letters, or one punctuation mark
};

// Which romaji the drill accepts (the setting Romaji/Spellings). Table: the drill's own table. Ime: also the
// spellings the common Japanese input methods accept (n', xn, a lone n before a consonant, ca, qa, wha, twa,
// xtsu, wyi, xwa, ...), and a lone n at the end of a confirmed line.
enum class Spellings { Table, Ime };

// "ime" in any case gives Ime; anything else (empty, unknown) the table.
Spellings SpellingsFromSetting(const QString& value);

// Fills the table (227 entries, fixed order). Calling it again writes the same contents.
void InitConvertTable();
// The table as filled by InitConvertTable; empty before the first call.
const QVector<KanaPair>& ConversionTable();
// Every key accepted with these spellings: the table, then the keys added to it ("whi", whose spelling the
// lessons show, in both modes).
QVector<KanaPair> AcceptedKeys(Spellings spellings);
// The kana of one romaji unit (lower-cased first), or the empty string when no key equals it.
QString LookupKana(const QString& unit, Spellings spellings = Spellings::Table);
// The kana the whole typed text stands for; unconvertible text from its first such character stays as typed.
QString ConvertRomaji(const QString& input, Spellings spellings = Spellings::Table);
// The same when the learner confirms the line with Enter: as an input method does then, Ime makes a lone n at
// the end ん. With the table it is ConvertRomaji.
QString CommitRomaji(const QString& input, Spellings spellings);

// One piece of a conversion: kana made from the typed characters [from, from + length), or (not converted)
// the rest of the input from its first unconvertible character on, as typed. Only the last piece can be raw.
struct ConvertedPiece {
    QString text;
    qsizetype from = 0;
    qsizetype length = 0;
    bool converted = true;
};
QList<ConvertedPiece> ConvertPieces(const QString& input, Spellings spellings);
QList<ConvertedPiece> CommitPieces(const QString& input, Spellings spellings);
