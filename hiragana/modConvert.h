// Romaji to kana: a fixed table of romaji keys and a left-to-right scanner that converts what the learner
// typed, writes "っ" for a doubled letter and leaves whatever it cannot convert exactly as typed.
// Strings are UTF-16 code units throughout; every comparison is exact.
#pragma once

#include <QString>
#include <QVector>

struct KanaPair {
    QString Kana;   // one or two characters
    QString Romaji; // the key: one to three lower-case letters, or one punctuation mark
};

// Fills the table (227 entries, fixed order). Calling it again writes the same contents.
void InitConvertTable();
// The table as filled by InitConvertTable; empty before the first call.
const QVector<KanaPair>& ConversionTable();
// The kana of one romaji unit (lower-cased first), or the empty string when no key equals it.
QString LookupKana(const QString& unit);
// The kana the whole typed text stands for; unconvertible text from its first such character stays as typed.
QString ConvertRomaji(const QString& input);
