// Class lists as schools keep them: a spreadsheet's CSV (UTF-8 with or without a byte-order mark, Shift_JIS
// as a Japanese spreadsheet saves it, UTF-16 as its "Unicode text"), comma or tab separated, with or without
// a header line. Which column is what is recognised from the usual headers or guessed from the values; the
// teacher may choose otherwise in the preview before anything is registered. No widgets.
#pragma once

#include "Database.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace seiseki {

enum class RosterField { Ignore, Name, Furigana, Number, Class, Grade };
QString rosterFieldName(RosterField field); // "名前", "ふりがな", "出席番号", "クラス", "学年", "つかわない"
constexpr RosterField kRosterFields[] = {RosterField::Name,  RosterField::Furigana, RosterField::Number,
                                         RosterField::Class, RosterField::Grade,    RosterField::Ignore};

// The file's cells and what each column is taken to be.
struct RosterTable {
    QString encoding; // "UTF-8", "Shift_JIS", "UTF-16"; empty when the bytes could not be read
    QList<QStringList> rows;
    int columns = 0;
    bool header = false; // the first row names the columns
    QList<RosterField> fields;
};
RosterTable readRoster(const QByteArray& bytes);

// The learners a table gives with the choices made: one per row that has a usable name (the names compared
// without regard to case, a name twice is reported), the class given for all when not empty. Reasons for the
// rows left out read "3行目: …".
struct RosterLearners {
    QList<DB_LEARNER> learners;
    QStringList rejected;
};
RosterLearners rosterLearners(const RosterTable& table, const QString& classForAll = {});

// What undoes an import: the learners it added are taken off again, the ones it changed get back what they
// had. `before` is the list of known learners read just before the import.
struct RosterUndo {
    QList<DB_LEARNER> restore;
    QStringList remove;
    bool isEmpty() const { return restore.isEmpty() && remove.isEmpty(); }
};
RosterUndo undoOf(const QList<DB_LEARNER>& before, const QList<DB_LEARNER>& imported);

// Text as a search compares it: the same after Unicode compatibility folding (full- and half-width forms),
// without case, katakana read as hiragana, and without spaces of any width.
QString searchKey(const QString& text);

} // namespace seiseki
