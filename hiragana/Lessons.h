// The three practice kinds and their lessons: line pairs of kana and the romaji that types them.
#pragma once

#include <QString>
#include <QStringList>

namespace hiragana {

constexpr int kKindCount = 3;
// The fourth kind, offered once the learner's record shows weak kana: its lines are built for the learner
// (Nigate.h), it is timed and stored like the others under its own code, and the drill's chart leaves it out.
constexpr int kNigateKind = 3;

struct PracticeKind {
    QString entry;   // as listed in the kind list
    QString caption; // painted beside the kind's result box
    QString code;    // COND1 of a stored run
    QString name;    // REM of a stored run
};

// Kind 0, 1, 2 or the にがて kind; any other index gives kind 0.
const PracticeKind& Kind(int index);
// The sample list of a kind: kana line, romaji line, then a separator "  " (none after the last pair).
// Empty for an index outside 0..2 (the にがて kind's lines are the learner's own).
QStringList SampleRows(int kind);
// Without ASCII spaces and ideographic spaces.
QString RemoveSpaces(const QString& text);
// What a kana line asks to be typed: no spaces, and nothing from the first "(" on (the reader's note).
QString ExpectedText(const QString& kanaLine);
// Whether the converted kana pass the kana line.
bool LineMatches(const QString& kanaLine, const QString& typedKana);

} // namespace hiragana
