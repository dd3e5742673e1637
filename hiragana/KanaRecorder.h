// Which kana of a run the learner found hard: per unit (a kana, or a kana pair such as きゃ) the attempts,
// the misses, the time it took and the wrong keys, fed with every edit of the input box and every Enter.
//
// A unit is attempted once for each time it stands in a line that passed. It is missed when a wrong kana (or
// unconverted romaji) stood at its place when Enter was pressed, or when the learner deleted keystrokes typed
// for it. Its place comes from aligning the typed kana with the line's units, so a kana left out or typed
// twice marks that one unit, not every unit after it; units not yet reached are not missed. Its time is from
// the keystroke that completed the unit before it to the keystroke that completed it (the first unit of a
// line has none: its time would include reading the line).
#pragma once

#include "UnitTally.h"
#include "modConvert.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace hiragana {

class KanaRecorder {
public:
    explicit KanaRecorder(Spellings spellings = Spellings::Table) : spellings_(spellings) {}

    void setSpellings(Spellings spellings) { spellings_ = spellings; }
    // A new run: everything counted so far is dropped.
    void clear();
    // The line to type now (a kana line of the lesson), with an empty input box.
    void startLine(const QString& kanaLine);
    // The learner changed the box's text to `romaji` at `tick` (milliseconds).
    void edited(const QString& romaji, std::uint32_t tick);
    // Enter with the box's text; `passed`: the line was accepted, so its units count as attempted.
    void entered(bool passed);

    const halvor::UnitTally& tally() const { return tally_; }
    const QStringList& units() const { return units_; }

    // The first key of `romaji` (lower case) that no accepted spelling of `unit` continues with; empty when
    // the romaji is a spelling of it or the start of one. `next` is the unit after it (for っ's doubled
    // letter).
    static QString WrongKey(const QString& unit, const QString& next, const QString& romaji,
                            Spellings spellings);

private:
    // What the conversion made of the box's text, in units: each with the typed characters it came from.
    struct Token {
        QString text;
        qsizetype from = 0;
        qsizetype to = 0; // past the last typed character
    };
    // Where each token went: the unit it stands at or was typed for (-1 when there is no unit), and whether
    // it is wrong there.
    struct Placed {
        int unit = -1;
        bool wrong = false;
    };
    QList<Token> tokens(bool commit) const;
    // Aligns tokens with the line's units; the units left out before the last token are in `omitted`.
    QList<Placed> place(const QList<Token>& tokens, QList<int>* omitted) const;
    // The unit was missed; `romaji` is what was typed for it (its first wrong key counts).
    void miss(int unit, const QString& romaji);
    void missTokens(const QList<Token>& tokens, const QList<Placed>& placed,
                    const std::function<bool(qsizetype)>& which);

    Spellings spellings_;
    halvor::UnitTally tally_;
    QStringList units_;
    QList<bool> missed_;
    QList<QSet<QString>> wrongSeen_; // wrong keys already counted for each unit of the line
    QString text_;
    QList<std::uint32_t> typedAt_; // when each character of text_ was typed
};

} // namespace hiragana
