#include "App.h"

#include "CommandLine.h"
#include "Common.h"
#include "Database.h"
#include "Report.h"
#include "Window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <memory>

namespace seiseki {

namespace {

Q_LOGGING_CATEGORY(lcSeiseki, "halvor.seiseki")

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList out;
    for (int i = 1; i < argc; ++i)
        out << QString::fromLocal8Bit(argv[i]);
    return out;
}

int exportFromCommandLine(int argc, char* argv[], const QStringList& arguments) {
    QString message;
    const std::optional<ExportOptions> options = parseExportOptions(arguments, &message);
    std::unique_ptr<QCoreApplication> app;
    if (options && !options->pdf.isEmpty()) {
        // A report is drawn with the chart widgets; a script on a server has no display for them.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setOrganizationName(QStringLiteral("Halvor"));
    QCoreApplication::setApplicationName(QStringLiteral("Halvor"));
    int status = kExitFailed;
    if (options)
        status = runExport(*options, DB_DefaultPath(), QDate::currentDate(), writeReportPdf, &message);
    if (status != kExitOk)
        qCWarning(lcSeiseki).noquote() << "export failed:" << message;
    std::fprintf(status == kExitOk ? stdout : stderr, "Seiseki: %s\n", message.toUtf8().constData());
    return status;
}

} // namespace

int run(int argc, char* argv[]) {
    if (CMN_AnswerInfoOption(
            argc, argv, "[--csv FILE] [--pdf FILE] [--learner NAME] [--from YYYY-MM-DD] [--to YYYY-MM-DD]",
            "The results viewer (せいせき). With --csv or --pdf it writes the runs to FILE without a "
            "window\n(CSV for a spreadsheet, an A4 report), of the learner NAME or the class, from "
            "and to the days given;\nthe exit status is 2, with the reason, when it cannot."))
        return 0;
    const QStringList arguments = argumentsOf(argc, argv);
    if (wantsExport(arguments))
        return exportFromCommandLine(argc, argv, arguments);
    CMN_PrepareDisplay(argv[0]);
    QApplication app(argc, argv);
    CMN_InitApplication();
    SeisekiWindow window(DB_DefaultPath(), [] { return QDate::currentDate(); });
    window.show();
    return app.exec();
}

} // namespace seiseki
