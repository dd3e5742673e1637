// Kana as units of practice: how a line of kana divides into the units a learner types (a kana, or a kana
// with the small kana it carries, as きゃ or うぃ), and how often each unit occurs in ordinary Japanese.
#pragma once

#include <QString>
#include <QStringList>

namespace halvor {

// ぁぃぅぇぉゃゅょゎ and their katakana.
bool IsSmallKana(QChar c);
// The units of a kana text, in order: every character is one, except that a small kana after a full-size kana
// joins it (きゃ, ヴぁ, てぃ); after another small kana or っ it stands alone.
QStringList KanaUnits(const QString& text);
// How often a unit occurs in the readings of everyday written Japanese, per mille of all kana typed; a small
// value for units the table does not know. Coarse estimates: only their order and rough ratios matter.
double KanaFrequency(const QString& unit);

} // namespace halvor
