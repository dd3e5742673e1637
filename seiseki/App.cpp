#include "App.h"

#include "CommandLine.h"
#include "Common.h"
#include "Database.h"
#include "Report.h"
#include "Startup.h"
#include "Window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace seiseki {

namespace {

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
        // A report needs fonts; a script on a server has no display for them.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setOrganizationName(QStringLiteral("Halvor"));
    QCoreApplication::setApplicationName(QStringLiteral("Halvor"));
    int status = kExitFailed;
    if (options)
        status = runExport(*options, DB_DefaultPath(), QDate::currentDate(), writeReportPdf, &message);
    // One line, in Japanese; the technical reason is in the log already.
    std::fprintf(status == kExitOk ? stdout : stderr, "Seiseki: %s\n", message.toUtf8().constData());
    return status;
}

} // namespace

bool loadQtTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

int run(int argc, char* argv[]) {
    const QStringList arguments = argumentsOf(argc, argv);
    const QString className = windowClass(arguments);
    if (className.isEmpty() && wantsExport(arguments))
        return exportFromCommandLine(argc, argv, arguments);
    CMN_PrepareDisplay(argv[0]);
    QApplication app(argc, argv);
    HalvorInitApplication();
    // Qt's own dialogs and buttons (the file dialogs, はい / いいえ) and the calendar speak Japanese.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    loadQtTranslations(app);
    SeisekiWindow window(DB_DefaultPath(), [] { return QDate::currentDate(); });
    window.showClass(className);
    window.show();
    return app.exec();
}

} // namespace seiseki
