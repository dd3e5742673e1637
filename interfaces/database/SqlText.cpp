#include "SqlText.h"

#include <QDate>
#include <QRegularExpression>

namespace halvor::db {
namespace {

// Walks the text once, knowing where quoted strings and names begin and end. The mask is the same text
// with the inside of every string literal blanked, so checks for keywords and separators never trip over
// a learner's value such as 'a;b'.
struct Scan {
    QString mask;
    bool unterminated = false;
};

Scan scan(const QString& text) {
    Scan s;
    s.mask = text;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            qsizetype j = i + 1;
            bool closed = false;
            while (j < n) {
                if (text[j] == c) {
                    if (j + 1 < n && text[j + 1] == c) { // doubled quote inside the literal
                        j += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                ++j;
            }
            for (qsizetype k = i + 1; k < std::min(j, n); ++k)
                s.mask[k] = QLatin1Char(' ');
            if (!closed) {
                s.unterminated = true;
                return s;
            }
            i = j + 1;
        } else if (c == QLatin1Char('[')) {
            const qsizetype j = text.indexOf(QLatin1Char(']'), i + 1);
            if (j < 0) {
                s.unterminated = true;
                return s;
            }
            i = j + 1;
        } else {
            ++i;
        }
    }
    return s;
}

const QRegularExpression& jetDate() {
    static const QRegularExpression re(QStringLiteral("#\\s*(\\d{4})/(\\d{1,2})/(\\d{1,2})\\s*#"));
    return re;
}

bool check(const QString& translated, QString* why, const QString& what) {
    const Scan s = scan(translated);
    auto reject = [&](const QString& reason) {
        if (why)
            *why = QStringLiteral("%1 refused: %2: %3").arg(what, reason, translated.trimmed());
        return false;
    };
    if (s.unterminated)
        return reject(QStringLiteral("a quote or bracket is not closed"));
    if (s.mask.contains(QLatin1Char(';')))
        return reject(QStringLiteral("only one statement may be given"));
    if (s.mask.contains(QLatin1String("--")) || s.mask.contains(QLatin1String("/*")))
        return reject(QStringLiteral("comments are not accepted"));
    if (s.mask.contains(QLatin1Char('#')))
        return reject(QStringLiteral("a date is not written as #yyyy/mm/dd#"));
    // Placeholders are the library's, for the values it binds (such as the learner).
    if (s.mask.contains(QLatin1Char('?')))
        return reject(QStringLiteral("a placeholder (?) is not accepted"));
    return true;
}

// Words that would take a query beyond one select over one table.
const QRegularExpression& forbiddenWord() {
    static const QRegularExpression re(
        QStringLiteral(
            "\\b(select|from|union|intersect|except|join|attach|detach|pragma|insert|update|delete|"
            "drop|create|alter|replace|vacuum|reindex|analyze|with|returning|load_extension)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

bool checkTail(const QString& mask, QString* why, const QString& what, const QString& text) {
    static const QRegularExpression start(QStringLiteral("^\\s*(where|order\\s+by)\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (!mask.trimmed().isEmpty() && !start.match(mask).hasMatch()) {
        if (why)
            *why = QStringLiteral("%1 refused: it must begin with where or order by: %2")
                       .arg(what, text.trimmed());
        return false;
    }
    const auto m = forbiddenWord().match(mask);
    if (m.hasMatch()) {
        if (why)
            *why = QStringLiteral("%1 refused: \"%2\" is not accepted here: %3")
                       .arg(what, m.captured(1), text.trimmed());
        return false;
    }
    return true;
}

// [Name] and "Name" become "name": PostgreSQL folds unquoted names to lower case, and the server's tables use
// lower-case names, so quoting the lower-cased name finds the column even where a bare word would be a
// keyword (time). Text in single quotes is a value and stays as it is.
QString quoteNamesForPostgres(const QString& text) {
    QString out;
    out.reserve(text.size() + 8);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = text[i];
        if (c == QLatin1Char('\'')) {
            qsizetype j = i + 1;
            while (j < n && (text[j] != c || (j + 1 < n && text[j + 1] == c)))
                j += text[j] == c ? 2 : 1;
            out += QStringView(text).mid(i, std::min(j + 1, n) - i);
            i = j + 1;
        } else if (c == QLatin1Char('[') || c == QLatin1Char('"')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            qsizetype j = text.indexOf(close, i + 1);
            if (j < 0)
                j = n; // unclosed: the check refuses it
            const QString name = text.mid(i + 1, j - i - 1).toLower();
            out += QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                   QLatin1Char('"');
            i = j + 1;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace

QString translateJet(const QString& jet, Dialect dialect) {
    const Scan s = scan(jet);
    QString out;
    out.reserve(jet.size() + 8);
    qsizetype from = 0;
    auto it = jetDate().globalMatch(s.mask);
    while (it.hasNext()) {
        const auto m = it.next();
        const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (!d.isValid())
            continue; // left as it stands, so the check reports it instead of matching nothing
        out += QStringView(jet).mid(from, m.capturedStart() - from);
        out += QLatin1Char('\'') + d.toString(Qt::ISODate) + QLatin1Char('\'');
        from = m.capturedEnd();
    }
    out += QStringView(jet).mid(from);
    return dialect == Dialect::Postgres ? quoteNamesForPostgres(out) : out;
}

QString tableName(const QString& table, Dialect dialect) {
    return dialect == Dialect::Postgres ? table.toLower() : table;
}

std::optional<QString> selectWithClause(const QString& table, const QString& clause, QString* why,
                                        Dialect dialect, const QString& source) {
    const QString what = QStringLiteral("The query of %1").arg(table);
    const QString sql = translateJet(clause, dialect);
    if (!check(sql, why, what))
        return std::nullopt;
    if (!checkTail(scan(sql).mask, why, what, sql))
        return std::nullopt;
    QString head = QStringLiteral("SELECT * FROM ") + (source.isEmpty() ? tableName(table, dialect) : source);
    if (!sql.isEmpty() && !sql.front().isSpace())
        head += QLatin1Char(' ');
    return head + sql;
}

std::optional<QString> selectStatement(const QString& table, const QString& statement, QString* why,
                                       Dialect dialect, const QString& source) {
    const QString what = QStringLiteral("The statement over %1").arg(table);
    const QString sql = translateJet(statement, dialect);
    if (!check(sql, why, what))
        return std::nullopt;
    // The shape is found in the statement as written, where quoted text is blanked out, so the table named
    // is the one read and never a word inside a value.
    const QString mask = scan(statement).mask;
    const QRegularExpression shape(QStringLiteral("^\\s*select\\s+(.+?)\\s+from\\s+(\\[%1\\]|%1)(?=\\s|$)")
                                       .arg(QRegularExpression::escape(table)),
                                   QRegularExpression::CaseInsensitiveOption |
                                       QRegularExpression::DotMatchesEverythingOption);
    const auto m = shape.match(mask);
    if (!m.hasMatch()) {
        if (why)
            *why = QStringLiteral("%1 refused: only \"select ... from %2\" is accepted: %3")
                       .arg(what, table, sql.trimmed());
        return std::nullopt;
    }
    const QString columns = m.captured(1);
    if (const auto bad = forbiddenWord().match(columns); bad.hasMatch()) {
        if (why)
            *why = QStringLiteral("%1 refused: \"%2\" is not accepted here: %3")
                       .arg(what, bad.captured(1), sql.trimmed());
        return std::nullopt;
    }
    const QString tail = statement.mid(m.capturedEnd(2));
    if (!checkTail(scan(translateJet(tail, dialect)).mask, why, what, sql))
        return std::nullopt;
    // Each piece is translated on its own; no date or name spans the table's name.
    return translateJet(statement.left(m.capturedStart(2)), dialect) +
           (source.isEmpty() ? translateJet(m.captured(2), dialect) : source) + translateJet(tail, dialect);
}

} // namespace halvor::db
