#include "Roster.h"

#include "Export.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

#include <iconv.h>

#include <optional>

namespace seiseki {

namespace {

// Shift_JIS as Windows writes it (CP932: with its extra characters such as ① and ～), through the C library.
std::optional<QString> fromCp932(const QByteArray& bytes) {
    const iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray out(bytes.size() * 3 + 4, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* to = out.data();
    size_t outLeft = size_t(out.size());
    const size_t done = iconv(cd, &in, &inLeft, &to, &outLeft);
    iconv_close(cd);
    if (done == size_t(-1) || inLeft != 0)
        return std::nullopt;
    out.truncate(out.size() - qsizetype(outLeft));
    return QString::fromUtf8(out);
}

std::optional<QString> decode(const QByteArray& bytes, QString* encoding) {
    const auto with = [&](QStringConverter::Encoding e, const char* name) -> std::optional<QString> {
        QStringDecoder decoder(e, QStringConverter::Flag::Stateless);
        QString text = decoder.decode(bytes);
        if (decoder.hasError())
            return std::nullopt;
        *encoding = QLatin1String(name);
        return text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
    };
    if (bytes.startsWith("\xFF\xFE"))
        return with(QStringConverter::Utf16LE, "UTF-16");
    if (bytes.startsWith("\xFE\xFF"))
        return with(QStringConverter::Utf16BE, "UTF-16");
    if (auto utf8 = with(QStringConverter::Utf8, "UTF-8"))
        return utf8;
    if (auto sjis = fromCp932(bytes)) {
        *encoding = QStringLiteral("Shift_JIS");
        return sjis;
    }
    return std::nullopt;
}

QString folded(const QString& text) {
    QString s = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    s.remove(QRegularExpression(QStringLiteral("[\\s._#＃]")));
    return s;
}

// The usual headers of a Japanese class list, and their English forms, folded as folded() folds them.
RosterField fieldOfHeader(const QString& header) {
    static const QHash<QString, RosterField> known = [] {
        QHash<QString, RosterField> h;
        const auto add = [&](RosterField f, std::initializer_list<const char*> names) {
            for (const char* n : names)
                h.insert(folded(QString::fromUtf8(n)), f);
        };
        add(RosterField::Name, {"氏名", "名前", "なまえ", "児童名", "生徒名", "児童氏名", "生徒氏名", "name",
                                "fullname", "studentname", "student", "pupil"});
        add(RosterField::Furigana, {"ふりがな", "フリガナ", "よみ", "よみがな", "ヨミ", "読み", "読みがな",
                                    "かな", "カナ", "furigana", "kana", "reading", "yomi"});
        add(RosterField::Number,
            {"番号", "出席番号", "出席番", "番", "no", "number", "nr", "attendancenumber"});
        add(RosterField::Class, {"組", "クラス", "学級", "くみ", "class", "homeroom"});
        add(RosterField::Grade, {"学年", "年", "grade", "year"});
        return h;
    }();
    return known.value(folded(header), RosterField::Ignore);
}

QString normalizedDigits(const QString& text) {
    QString s = text.normalized(QString::NormalizationForm_KC).trimmed();
    if (s.endsWith(QStringLiteral("番")))
        s.chop(1);
    return s;
}

int numberOf(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^\\d{1,6}$"));
    const QString s = normalizedDigits(text);
    return digits.match(s).hasMatch() ? s.toInt() : 0;
}

bool isKana(const QString& text) {
    static const QRegularExpression kana(QStringLiteral("^[\\x{3041}-\\x{309F}\\x{30A0}-\\x{30FF}\\s・]+$"));
    return kana.match(text.normalized(QString::NormalizationForm_KC)).hasMatch();
}

bool isClassLike(const QString& text) {
    static const QRegularExpression classy(QStringLiteral("(組|クラス|class|^\\d{1,2}-\\d{1,2}$|^[A-Za-z]$)"),
                                           QRegularExpression::CaseInsensitiveOption);
    return classy.match(text.normalized(QString::NormalizationForm_KC)).hasMatch();
}

// Without a header the columns are told by their values: a column of numbers is the attendance number, the
// first column of text the name, a column of kana beside names that are not all kana the reading, and a
// column of classes ("1組") or else the next column of text the class (the plain list: name, tab, class).
QList<RosterField> guessFields(const QList<QStringList>& rows, int columns) {
    enum Kind { Empty, Digits, Kana, ClassLike, Text };
    QList<Kind> kinds;
    for (int c = 0; c < columns; ++c) {
        bool any = false, digits = true, kana = true, classy = true;
        for (const QStringList& row : rows) {
            const QString v = row.value(c).trimmed();
            if (v.isEmpty())
                continue;
            any = true;
            digits = digits && numberOf(v) > 0;
            kana = kana && isKana(v);
            classy = classy && isClassLike(v);
        }
        kinds << (!any ? Empty : digits ? Digits : classy ? ClassLike : kana ? Kana : Text);
    }
    QList<RosterField> fields(columns, RosterField::Ignore);
    const int number = int(kinds.indexOf(Digits));
    if (number >= 0)
        fields[number] = RosterField::Number;
    int name = -1;
    for (int c = 0; c < columns && name < 0; ++c) {
        if (kinds[c] == Text || kinds[c] == Kana)
            name = c;
    }
    if (name < 0)
        return fields;
    fields[name] = RosterField::Name;
    const int classColumn = int(kinds.indexOf(ClassLike));
    if (classColumn >= 0)
        fields[classColumn] = RosterField::Class;
    for (int c = name + 1; c < columns; ++c) {
        if (fields[c] != RosterField::Ignore || kinds[c] == Empty || kinds[c] == Digits)
            continue;
        if (kinds[c] == Kana && kinds[name] != Kana && !fields.contains(RosterField::Furigana))
            fields[c] = RosterField::Furigana;
        else if (!fields.contains(RosterField::Class))
            fields[c] = RosterField::Class;
    }
    return fields;
}

// 学年 and 組 in columns of their own make one class: "3" and "1" are "3年1組".
QString classOf(const QString& grade, const QString& kumi) {
    if (grade.isEmpty())
        return kumi;
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    const QString g = normalizedDigits(grade);
    const QString k = normalizedDigits(kumi);
    const QString year = digits.match(g).hasMatch() ? g + QStringLiteral("年") : grade;
    if (kumi.isEmpty())
        return year;
    return year + (digits.match(k).hasMatch() ? k + QStringLiteral("組") : kumi);
}

} // namespace

QString rosterFieldName(RosterField field) {
    switch (field) {
    case RosterField::Name:
        return QStringLiteral("名前");
    case RosterField::Furigana:
        return QStringLiteral("ふりがな");
    case RosterField::Number:
        return QStringLiteral("出席番号");
    case RosterField::Class:
        return QStringLiteral("クラス");
    case RosterField::Grade:
        return QStringLiteral("学年");
    case RosterField::Ignore:
        break;
    }
    return QStringLiteral("つかわない");
}

RosterTable readRoster(const QByteArray& bytes) {
    RosterTable table;
    const std::optional<QString> text = decode(bytes, &table.encoding);
    if (!text)
        return table;
    // A list with a tab in its first line is tab separated (a spreadsheet's text, or name, tab, class).
    const QString firstLine = text->section(QLatin1Char('\n'), 0, 0);
    const QChar separator = firstLine.contains(QLatin1Char('\t')) ? QLatin1Char('\t') : QLatin1Char(',');
    for (QStringList& row : parseCsv(*text, separator)) {
        for (QString& cell : row)
            cell = cell.trimmed();
        if (row.join(QString()).isEmpty())
            continue;
        table.columns = std::max(table.columns, int(row.size()));
        table.rows << row;
    }
    if (table.rows.isEmpty())
        return table;
    QList<RosterField> named;
    for (int c = 0; c < table.columns; ++c) {
        const RosterField f = fieldOfHeader(table.rows.first().value(c));
        named << (named.contains(f) ? RosterField::Ignore : f);
    }
    table.header = named.contains(RosterField::Name);
    table.fields = table.header ? named : guessFields(table.rows, table.columns);
    return table;
}

RosterLearners rosterLearners(const RosterTable& table, const QString& classForAll) {
    RosterLearners out;
    const auto column = [&](RosterField f) { return int(table.fields.indexOf(f)); };
    const int name = column(RosterField::Name);
    const int furigana = column(RosterField::Furigana);
    const int number = column(RosterField::Number);
    const int kumi = column(RosterField::Class);
    const int grade = column(RosterField::Grade);
    QHash<QString, int> seen; // folded name -> line
    for (qsizetype r = table.header ? 1 : 0; r < table.rows.size(); ++r) {
        const QStringList& row = table.rows[r];
        const int line = int(r) + 1;
        const QString learner = name >= 0 ? row.value(name) : QString();
        if (!DB_ValidLearnerName(learner)) {
            out.rejected << QStringLiteral("%1行目: 「%2」は 名前に つかえません").arg(line).arg(learner);
            continue;
        }
        const QString key = learner.toCaseFolded();
        if (seen.contains(key)) {
            out.rejected << QStringLiteral("%1行目: 「%2」は %3行目と おなじ 名前です")
                                .arg(line)
                                .arg(learner)
                                .arg(seen.value(key));
            continue;
        }
        seen.insert(key, line);
        DB_LEARNER l;
        l.name = learner;
        l.registered = true;
        l.className = classForAll.trimmed().isEmpty() ? classOf(grade >= 0 ? row.value(grade) : QString(),
                                                                kumi >= 0 ? row.value(kumi) : QString())
                                                      : classForAll.trimmed();
        l.number = number >= 0 ? numberOf(row.value(number)) : 0;
        // A reading keeps no half-width katakana.
        l.furigana =
            furigana >= 0 ? row.value(furigana).normalized(QString::NormalizationForm_KC) : QString();
        out.learners << l;
    }
    return out;
}

RosterUndo undoOf(const QList<DB_LEARNER>& before, const QList<DB_LEARNER>& imported) {
    RosterUndo undo;
    QHash<QString, DB_LEARNER> registered;
    for (const DB_LEARNER& l : before) {
        if (l.registered)
            registered.insert(l.name.toCaseFolded(), l);
    }
    for (const DB_LEARNER& l : imported) {
        const auto it = registered.constFind(l.name.toCaseFolded());
        if (it == registered.constEnd())
            undo.remove << l.name;
        else if (it->className != l.className || it->number != l.number || it->furigana != l.furigana)
            undo.restore << *it;
    }
    return undo;
}

QString searchKey(const QString& text) {
    QString s = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    for (QChar& c : s) {
        // Katakana ァ..ヶ read as their hiragana.
        if (c.unicode() >= 0x30A1 && c.unicode() <= 0x30F6)
            c = QChar(c.unicode() - 0x60);
    }
    s.remove(QRegularExpression(QStringLiteral("\\s")));
    return s;
}

} // namespace seiseki
