// What the tests type and store: the romaji for a lesson line, and result rows of this drill.
#pragma once

#include "Database.h"
#include "Lessons.h"
#include "modConvert.h"

#include <QStringList>

// The romaji a learner types for a kana line: the hint without its spaces, or, where the hint shows two
// spellings, the first one that passes. Empty when no spelling passes.
inline QString typingFor(const QString& kanaLine, const QString& hint) {
    using hiragana::LineMatches;
    const QString whole = hiragana::RemoveSpaces(hint);
    if (LineMatches(kanaLine, ConvertRomaji(whole))) {
        return whole;
    }
    for (const QString& word : hint.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (LineMatches(kanaLine, ConvertRomaji(word))) {
            return word;
        }
    }
    return {};
}

// A T_Key row of this drill; a null code leaves COND1 unset.
inline DB_T_KEY keyRecord(const QDate& day, int round, const QString& code, double time) {
    DB_T_KEY r;
    DB_ClearStructT_Key(&r);
    r.Y4mmdd = day;
    r.Y4mmddFlag = 1;
    r.Tavrel = 23;
    r.TavrelFlag = 1;
    r.Round = std::int16_t(round);
    r.RoundFlag = 1;
    if (!code.isNull()) {
        r.COND1 = code;
        r.COND1Flag = 1;
    }
    r.Time = time;
    r.TimeFlag = 1;
    return r;
}
