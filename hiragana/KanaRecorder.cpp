#include "KanaRecorder.h"

#include "KanaUnits.h"
#include "Lessons.h"

#include <algorithm>

namespace hiragana {

namespace {

bool isSpace(QChar c) {
    return c == u' ' || c == QChar(0x3000);
}

QStringList keysOf(const QVector<KanaPair>& keys, QStringView kana) {
    QStringList out;
    for (const KanaPair& pair : keys) {
        if (pair.Kana == kana)
            out.append(pair.Romaji);
    }
    return out;
}

// Every way of typing a unit: its own keys, the keys of its two kana one after the other, and for っ the
// doubled first letter of the unit after it (for ん with an input method's spellings, a lone n).
QStringList spellingsOf(const QString& unit, const QString& next, Spellings spellings) {
    const QVector<KanaPair> keys = AcceptedKeys(spellings);
    QStringList out = keysOf(keys, unit);
    if (unit.size() == 2) {
        for (const QString& first : keysOf(keys, QStringView(unit).left(1)))
            for (const QString& second : keysOf(keys, QStringView(unit).mid(1)))
                out.append(first + second);
    }
    if (unit == QStringLiteral("っ") && !next.isEmpty()) {
        for (const QString& spelling : spellingsOf(next, QString(), spellings)) {
            if (spelling.at(0).isLetter())
                out.append(spelling.left(1));
        }
    }
    if (unit == QStringLiteral("ん") && spellings == Spellings::Ime)
        out.append(QStringLiteral("n"));
    return out;
}

} // namespace

void KanaRecorder::clear() {
    tally_.clear();
    startLine(QString());
}

void KanaRecorder::startLine(const QString& kanaLine) {
    units_ = halvor::KanaUnits(ExpectedText(kanaLine));
    missed_ = QList<bool>(units_.size(), false);
    wrongSeen_ = QList<QSet<QString>>(units_.size());
    text_.clear();
    typedAt_.clear();
}

QString KanaRecorder::WrongKey(const QString& unit, const QString& next, const QString& romaji,
                               Spellings spellings) {
    QString typed;
    for (const QChar c : romaji) {
        if (!isSpace(c))
            typed += c.toLower();
    }
    const QStringList all = spellingsOf(unit, next, spellings);
    for (qsizetype length = 1; length <= typed.size(); ++length) {
        const QStringView start = QStringView(typed).left(length);
        if (std::none_of(all.begin(), all.end(), [&](const QString& s) { return s.startsWith(start); }))
            return typed.mid(length - 1, 1);
    }
    return {};
}

QList<KanaRecorder::Token> KanaRecorder::tokens(bool commit) const {
    const QList<ConvertedPiece> pieces =
        commit ? CommitPieces(text_, spellings_) : ConvertPieces(text_, spellings_);
    // The kana made, each character with the typed characters of its piece; then grouped as the line is.
    QString kana;
    QList<std::pair<qsizetype, qsizetype>> typedFor;
    QList<Token> raw;
    for (const ConvertedPiece& piece : pieces) {
        if (piece.converted) {
            kana += piece.text;
            for (qsizetype i = 0; i < piece.text.size(); ++i)
                typedFor.append({piece.from, piece.from + piece.length});
            continue;
        }
        // What stayed as typed: romaji not yet converted is one token (typed for one unit); anything else
        // (kana pasted in) in the units it makes. Spaces count for nothing, as in the line check.
        for (qsizetype i = 0; i < piece.text.size(); ++i) {
            const QChar c = piece.text.at(i);
            const qsizetype at = piece.from + i;
            if (isSpace(c))
                continue;
            const bool ascii = c.unicode() < 0x80;
            const bool joins = !raw.isEmpty() && raw.last().to == at &&
                               (ascii ? raw.last().text.at(0).unicode() < 0x80
                                      : halvor::IsSmallKana(c) && raw.last().text.size() == 1 &&
                                            halvor::KanaUnits(raw.last().text + c).size() == 1);
            if (joins) {
                raw.last().text += c;
                raw.last().to = at + 1;
            } else {
                raw.append({QString(c), at, at + 1});
            }
        }
    }
    QList<Token> out;
    qsizetype at = 0;
    for (const QString& unit : halvor::KanaUnits(kana)) {
        Token t{unit, typedFor[at].first, typedFor[at].second};
        for (qsizetype i = at; i < at + unit.size(); ++i) {
            t.from = std::min(t.from, typedFor[i].first);
            t.to = std::max(t.to, typedFor[i].second);
        }
        at += unit.size();
        out.append(t);
    }
    return out + raw;
}

QList<KanaRecorder::Placed> KanaRecorder::place(const QList<Token>& tokens, QList<int>* omitted) const {
    const qsizetype m = units_.size();
    const qsizetype k = tokens.size();
    const auto differs = [&](qsizetype i, qsizetype j) {
        return units_[i - 1] == tokens[j - 1].text ? 0 : 1;
    };
    // A unit typed in two pieces that do not join (き and や for きゃ) stands as one wrong unit.
    const auto split = [&](qsizetype i, qsizetype j) {
        return j >= 2 && units_[i - 1].size() > tokens[j - 2].text.size() &&
               units_[i - 1].startsWith(tokens[j - 2].text);
    };
    // Edit distance between the line's units and the tokens; units after the last token are not reached yet
    // and cost nothing.
    QList<int> cost((m + 1) * (k + 1), 0);
    const auto at = [&](qsizetype i, qsizetype j) -> int& { return cost[i * (k + 1) + j]; };
    for (qsizetype i = 0; i <= m; ++i) {
        for (qsizetype j = 0; j <= k; ++j) {
            if (i == 0 || j == 0) {
                at(i, j) = int(i + j);
                continue;
            }
            at(i, j) = std::min({at(i - 1, j - 1) + differs(i, j), at(i, j - 1) + 1, at(i - 1, j) + 1});
            if (split(i, j))
                at(i, j) = std::min(at(i, j), at(i - 1, j - 2) + 1);
        }
    }
    qsizetype i = 0;
    for (qsizetype r = 1; r <= m; ++r) {
        if (at(r, k) <= at(i, k))
            i = r; // among equals the alignment that reaches furthest: romaji typed for a unit stands at it
    }
    QList<Placed> placed(k);
    qsizetype j = k;
    while (j > 0) {
        if (i > 0 && at(i, j) == at(i - 1, j - 1) + differs(i, j)) {
            placed[j - 1] = {int(i - 1), differs(i, j) == 1};
            --i;
            --j;
        } else if (i > 0 && split(i, j) && at(i, j) == at(i - 1, j - 2) + 1) {
            placed[j - 1] = placed[j - 2] = {int(i - 1), true};
            --i;
            j -= 2;
        } else if (at(i, j) == at(i, j - 1) + 1) {
            // Typed in excess: it belongs to the unit the learner was heading for.
            placed[j - 1] = {m == 0 ? -1 : int(std::min(i, m - 1)), true};
            --j;
        } else {
            omitted->append(int(i - 1));
            --i;
        }
    }
    // Units left out before the first token.
    for (; i > 0; --i)
        omitted->append(int(i - 1));
    return placed;
}

void KanaRecorder::miss(int unit, const QString& romaji) {
    if (unit < 0 || unit >= units_.size())
        return;
    missed_[unit] = true;
    const QString next = unit + 1 < units_.size() ? units_[unit + 1] : QString();
    const QString key = WrongKey(units_[unit], next, romaji, spellings_);
    // A wrong key counts once per unit of a line, however often the same mistake is deleted letter by letter.
    if (!key.isEmpty() && !wrongSeen_[unit].contains(key)) {
        wrongSeen_[unit].insert(key);
        tally_.wrong(units_[unit], key);
    }
}

void KanaRecorder::missTokens(const QList<Token>& tokens, const QList<Placed>& placed,
                              const std::function<bool(qsizetype)>& which) {
    // Tokens side by side at one unit were typed for it together: their romaji is read as one.
    for (qsizetype t = 0; t < tokens.size(); ++t) {
        if (!which(t))
            continue;
        qsizetype last = t;
        while (last + 1 < tokens.size() && placed[last + 1].unit == placed[t].unit && which(last + 1))
            ++last;
        miss(placed[t].unit, text_.mid(tokens[t].from, tokens[last].to - tokens[t].from));
        t = last;
    }
}

void KanaRecorder::edited(const QString& romaji, std::uint32_t tick) {
    qsizetype prefix = 0;
    const qsizetype shorter = std::min(text_.size(), romaji.size());
    while (prefix < shorter && text_[prefix] == romaji[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           text_[text_.size() - 1 - suffix] == romaji[romaji.size() - 1 - suffix])
        ++suffix;
    const qsizetype removedEnd = text_.size() - suffix;
    if (removedEnd > prefix) {
        QList<int> omitted;
        const QList<Token> typed = tokens(false);
        const QList<Placed> placed = place(typed, &omitted);
        missTokens(typed, placed,
                   [&](qsizetype t) { return typed[t].from < removedEnd && typed[t].to > prefix; });
    }
    const qsizetype inserted = romaji.size() - prefix - suffix;
    typedAt_ = typedAt_.mid(0, prefix) + QList<std::uint32_t>(inserted, tick) + typedAt_.mid(removedEnd);
    text_ = romaji;
}

void KanaRecorder::entered(bool passed) {
    QList<int> omitted;
    const QList<Token> typed = tokens(true);
    const QList<Placed> placed = place(typed, &omitted);
    missTokens(typed, placed, [&](qsizetype t) { return placed[t].wrong; });
    for (const int unit : omitted)
        miss(unit, QString());
    if (!passed)
        return;
    // When each unit was complete: the last keystroke of what stands at its place.
    QList<qint64> doneAt(units_.size(), -1);
    for (qsizetype t = 0; t < typed.size(); ++t) {
        if (placed[t].wrong || placed[t].unit < 0)
            continue;
        for (qsizetype c = typed[t].from; c < typed[t].to && c < typedAt_.size(); ++c)
            doneAt[placed[t].unit] = std::max<qint64>(doneAt[placed[t].unit], typedAt_[c]);
    }
    qint64 before = -1;
    for (qsizetype u = 0; u < units_.size(); ++u) {
        tally_.count(units_[u], 1, missed_[u] ? 1 : 0);
        if (doneAt[u] < 0)
            continue;
        if (before >= 0 && doneAt[u] > before)
            tally_.time(units_[u], doneAt[u] - before);
        before = std::max(before, doneAt[u]);
    }
}

} // namespace hiragana
