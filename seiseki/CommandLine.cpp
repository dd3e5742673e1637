#include "CommandLine.h"

#include "Export.h"

#include <QRegularExpression>

#include <algorithm>

namespace seiseki {

namespace {

std::optional<QDate> strictDate(const QString& text) {
    // Only the one form, so "2026-4-1" or "01.04.2026" is refused rather than guessed at.
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (!form.match(text).hasMatch() || !day.isValid())
        return std::nullopt;
    return day;
}

} // namespace

bool wantsExport(const QStringList& arguments) {
    // Qt's own options (-platform, -style, ...) take one dash; everything else is ours to judge.
    return std::any_of(arguments.begin(), arguments.end(), [](const QString& a) {
        return a.startsWith(QLatin1String("--")) || !a.startsWith(QLatin1Char('-'));
    });
}

std::optional<ExportOptions> parseExportOptions(const QStringList& arguments, QString* error) {
    ExportOptions options;
    const auto refuse = [&](const QString& why) {
        *error = why;
        return std::nullopt;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        QString value;
        bool hasValue = false;
        if (const qsizetype eq = name.indexOf(QLatin1Char('='));
            name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
            hasValue = true;
        } else if (i + 1 < arguments.size()) {
            value = arguments[i + 1];
            hasValue = !value.startsWith(QLatin1String("--"));
            i += hasValue ? 1 : 0;
        }
        static const QStringList known = {"--csv", "--pdf", "--learner", "--from", "--to"};
        if (!known.contains(name))
            return refuse(QStringLiteral("知らない オプションです: %1 (つかえるのは --csv --pdf --learner "
                                         "--from --to)")
                              .arg(name));
        if (!hasValue || value.isEmpty())
            return refuse(QStringLiteral("%1 の あとに あたいが ありません").arg(name));
        if (name == QLatin1String("--csv")) {
            options.csv = value;
        } else if (name == QLatin1String("--pdf")) {
            options.pdf = value;
        } else if (name == QLatin1String("--learner")) {
            if (!DB_ValidLearnerName(value))
                return refuse(QStringLiteral("--learner の 名前が つかえません: %1").arg(value));
            options.filter.learner = value;
        } else {
            const std::optional<QDate> day = strictDate(value);
            if (!day)
                return refuse(
                    QStringLiteral("%1 の 日付は YYYY-MM-DD で かいて ください: %2").arg(name, value));
            (name == QLatin1String("--from") ? options.filter.from : options.filter.to) = *day;
        }
    }
    if (options.csv.isEmpty() && options.pdf.isEmpty())
        return refuse(QStringLiteral("--csv FILE か --pdf FILE を つけて ください"));
    if (options.filter.from.isValid() && options.filter.to.isValid() &&
        options.filter.from > options.filter.to)
        return refuse(QStringLiteral("--from の 日付が --to より あとです"));
    return options;
}

int runExport(const ExportOptions& options, const QString& databasePath, const QDate& today,
              const PdfWriter& writePdf, QString* message) {
    const auto failed = [&](const QString& why) {
        *message = why;
        return kExitFailed;
    };
    ReportData data;
    data.filter = options.filter;
    data.today = today;
    if (!DB_ReadRuns(databasePath, options.filter, data.runs))
        return failed(QStringLiteral("成績を 読めません: %1").arg(DB_LastError()));
    // An export of this computer's rows only would pass for the school's.
    if (DB_ServerProblem() != halvor::db::Problem::None)
        return failed(
            QStringLiteral("サーバーに つながりません: %1").arg(DB_ProblemText(DB_ServerProblem())));
    if (!DB_KnownLearners(databasePath, data.learners))
        return failed(QStringLiteral("学習者を 読めません: %1").arg(DB_LastError()));
    if (!options.filter.learner.isEmpty()) {
        const auto known = std::find_if(data.learners.begin(), data.learners.end(), [&](const DB_LEARNER& l) {
            return l.name.compare(options.filter.learner, Qt::CaseInsensitive) == 0;
        });
        if (known == data.learners.end())
            return failed(QStringLiteral("「%1」という 学習者は いません").arg(options.filter.learner));
        data.learner = known->name;
    }
    if (!options.pdf.isEmpty() && data.learner.isEmpty() &&
        !DB_ReadRunGroups(databasePath, options.filter, data.groups))
        return failed(QStringLiteral("成績を 読めません: %1").arg(DB_LastError()));
    QString why;
    if (!options.csv.isEmpty() && !writeWhole(options.csv, runsCsv(data.runs), &why))
        return failed(QStringLiteral("%1 に 書けません: %2").arg(options.csv, why));
    if (!options.pdf.isEmpty() && !writePdf(options.pdf, data, &why))
        return failed(QStringLiteral("%1 に 書けません: %2").arg(options.pdf, why));
    *message = QStringLiteral("%1件の きろくを 書きだしました").arg(data.runs.size());
    return kExitOk;
}

} // namespace seiseki
