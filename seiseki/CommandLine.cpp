#include "CommandLine.h"

#include "Export.h"
#include "Roster.h"

#include <QFile>

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
        static const QStringList known = {"--csv",  "--csv-units", "--pdf",   "--learner",
                                          "--from", "--to",        "--class", "--import-class-list"};
        if (!known.contains(name))
            return refuse(QStringLiteral("知らない オプションです: %1 (つかえるのは --csv --csv-units --pdf "
                                         "--learner --class --from --to --import-class-list)")
                              .arg(name));
        if (!hasValue || value.isEmpty())
            return refuse(QStringLiteral("%1 の あとに あたいが ありません").arg(name));
        if (name == QLatin1String("--csv")) {
            options.csv = value;
        } else if (name == QLatin1String("--csv-units")) {
            options.csvUnits = value;
        } else if (name == QLatin1String("--pdf")) {
            options.pdf = value;
        } else if (name == QLatin1String("--import-class-list")) {
            options.classList = value;
        } else if (name == QLatin1String("--class")) {
            options.filter.className = value.trimmed();
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
    const bool exports = !options.csv.isEmpty() || !options.pdf.isEmpty() || !options.csvUnits.isEmpty();
    if (!options.classList.isEmpty() && (exports || !options.filter.learner.isEmpty() ||
                                         options.filter.from.isValid() || options.filter.to.isValid()))
        return refuse(QStringLiteral("--import-class-list と いっしょに つかえるのは --class だけです"));
    if (options.classList.isEmpty() && !exports)
        return refuse(
            QStringLiteral("--csv FILE か --csv-units FILE か --pdf FILE か --import-class-list FILE を "
                           "つけて ください"));
    if (!options.filter.learner.isEmpty() && !options.filter.className.isEmpty())
        return refuse(QStringLiteral("--learner と --class は いっしょに つかえません"));
    if (options.filter.from.isValid() && options.filter.to.isValid() &&
        options.filter.from > options.filter.to)
        return refuse(QStringLiteral("--from の 日付が --to より あとです"));
    return options;
}

namespace {

int importClassList(const ExportOptions& options, const QString& databasePath, QString* message) {
    const auto failed = [&](const QString& why) {
        *message = why;
        return kExitFailed;
    };
    QFile file(options.classList);
    if (!file.open(QIODevice::ReadOnly))
        return failed(QStringLiteral("名簿を 読めません: %1").arg(options.classList));
    const RosterTable table = readRoster(file.readAll());
    if (table.encoding.isEmpty())
        return failed(
            QStringLiteral("名簿の 文字コードが わかりません (UTF-8 か Shift_JIS で 保存して ください): %1")
                .arg(options.classList));
    const RosterLearners list = rosterLearners(table, options.filter.className);
    if (!list.rejected.isEmpty())
        return failed(
            QStringLiteral("名簿を 登録しませんでした。 %1%2")
                .arg(list.rejected.first(), list.rejected.size() > 1
                                                ? QStringLiteral(" ほか %1行").arg(list.rejected.size() - 1)
                                                : QString()));
    if (list.learners.isEmpty())
        return failed(QStringLiteral("名簿に 名前が ありません: %1").arg(options.classList));
    if (!DB_RegisterLearners(databasePath, list.learners))
        return failed(
            QStringLiteral("名簿を 登録できませんでした。 %1").arg(DB_ProblemText(DB_LastProblem())));
    *message = QStringLiteral("%1人を 登録しました").arg(list.learners.size());
    return kExitOk;
}

} // namespace

QString windowClass(const QStringList& arguments) {
    QString error;
    const bool onlyClass = arguments.size() <= 2 && !arguments.isEmpty() &&
                           arguments.first().startsWith(QLatin1String("--class"));
    if (!onlyClass)
        return {};
    // Parsed as an export would be, with a file to satisfy it, so the same spellings work.
    const auto options =
        parseExportOptions(arguments + QStringList{QStringLiteral("--csv"), QStringLiteral("-")}, &error);
    return options ? options->filter.className : QString();
}

int runExport(const ExportOptions& options, const QString& databasePath, const QDate& today,
              const PdfWriter& writePdf, QString* message) {
    if (!options.classList.isEmpty())
        return importClassList(options, databasePath, message);
    const auto failed = [&](const QString& why) {
        *message = why;
        return kExitFailed;
    };
    const auto unreadable = [&] {
        return failed(QStringLiteral("成績を 読めません。 %1").arg(DB_ProblemText(DB_LastProblem())));
    };
    ReportData data;
    data.filter = options.filter;
    data.className = options.filter.className;
    data.today = today;
    if (!DB_KnownLearners(databasePath, data.known))
        return unreadable();
    // An export of this computer's rows only would pass for the school's.
    const auto serverAway = [&] {
        return failed(
            QStringLiteral("サーバーに つながりません。 %1").arg(DB_ProblemText(DB_ServerProblem())));
    };
    if (DB_ServerProblem() != halvor::db::Problem::None)
        return serverAway();
    QStringList order;
    for (const DB_LEARNER& l : std::as_const(data.known))
        order << l.name;
    if (!options.filter.learner.isEmpty()) {
        const auto known = std::find_if(data.known.begin(), data.known.end(), [&](const DB_LEARNER& l) {
            return l.name.compare(options.filter.learner, Qt::CaseInsensitive) == 0;
        });
        if (known == data.known.end())
            return failed(QStringLiteral("「%1」という 学習者は いません").arg(options.filter.learner));
        data.kind = ReportData::Kind::Learners;
        data.learners = {known->name};
    } else if (!options.filter.className.isEmpty() &&
               !classesOf(data.known).contains(options.filter.className, Qt::CaseInsensitive)) {
        return failed(QStringLiteral("「%1」という クラスは ありません (つかえるのは %2)")
                          .arg(options.filter.className, classesOf(data.known).join(QStringLiteral("、"))));
    }
    QString why;
    qsizetype written = 0;
    if (!options.csv.isEmpty() &&
        !writeRunsCsv(options.csv, {databasePath, options.filter, order, false}, {}, &written, &why))
        return failed(QStringLiteral("%1 に 書けません: %2").arg(options.csv, why));
    if (!options.pdf.isEmpty()) {
        QList<DB_RUN_GROUP> groups;
        if (!DB_ReadRuns(databasePath, options.filter, data.runs) ||
            (data.kind == ReportData::Kind::Class && !DB_ReadRunGroups(databasePath, options.filter, groups)))
            return unreadable();
        for (const OverviewRow& row : buildOverview(data.known, groups)) {
            if (options.filter.className.isEmpty() ||
                row.className.compare(options.filter.className, Qt::CaseInsensitive) == 0)
                data.rows << row;
        }
        if (!writePdf(options.pdf, data, {}, &why))
            return failed(QStringLiteral("%1 に 書けません: %2").arg(options.pdf, why));
        written = std::max(written, data.runs.size());
    }
    if (!options.csvUnits.isEmpty()) {
        QList<DB_UNIT_ROW> units;
        if (!DB_ReadUnits(databasePath, options.filter, 0, units))
            return unreadable();
        if (DB_ServerProblem() != halvor::db::Problem::None)
            return serverAway();
        if (!writeWhole(options.csvUnits, unitsCsv(units), &why))
            return failed(QStringLiteral("%1 に 書けません: %2").arg(options.csvUnits, why));
        if (options.csv.isEmpty() && options.pdf.isEmpty()) {
            *message = QStringLiteral("%1件の もじ・キーの きろくを 書きだしました").arg(units.size());
            return kExitOk;
        }
    }
    *message = QStringLiteral("%1件の きろくを 書きだしました").arg(written);
    return kExitOk;
}

} // namespace seiseki
