#include "App.h"

#include "CommandLine.h"
#include "Common.h"
#include "Database.h"
#include "LiveClass.h"
#include "LiveFeed.h"
#include "LivePage.h"
#include "Report.h"
#include "Startup.h"
#include "Window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
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

// `Seiseki --watch`: one JSON line for every presence change and every run that lands, until ended; exit
// status 2 with a one-line reason when no server is set or it cannot be reached at the start.
int watchFromCommandLine(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Halvor"));
    QCoreApplication::setApplicationName(QStringLiteral("Halvor"));
    const QString path = DB_DefaultPath();
    if (!DB_IsServerAddress(path)) {
        std::fprintf(stderr, "Seiseki: %s\n",
                     QStringLiteral("学校の サーバーが せっていされて いません (Database/Url)。ようすは "
                                    "サーバーの ある ときだけ みられます。")
                         .toUtf8()
                         .constData());
        return kExitFailed;
    }
    LiveFeed feed(path);
    WatchLines lines;
    bool begun = false;
    const auto print = [](const QByteArray& line) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
        // A reader that went away (a closed pipe) ends the watch.
        if (std::fflush(stdout) != 0)
            QCoreApplication::exit(kExitFailed);
    };
    QObject::connect(&feed, &LiveFeed::heard, &app,
                     [&](const halvor::presence::Record& r) { print(lines.heard(r, feed.serverNow())); });
    QObject::connect(&feed, &LiveFeed::state, &app, [&](halvor::db::Problem p) {
        if (p == halvor::db::Problem::None) {
            begun = true;
        } else if (!begun) {
            std::fprintf(stderr, "Seiseki: %s\n",
                         DB_ProblemText(p).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8().constData());
            QCoreApplication::exit(kExitFailed);
        }
    });
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, &app, [&] {
        for (const QByteArray& line : lines.tick(feed.serverNow()))
            print(line);
    });
    ticks.start(1000);
    return app.exec();
}

// The live page among the class's views, on a computer whose results go to a server.
void addLivePage(SeisekiWindow& window, const QString& path) {
    auto* feed = new LiveFeed(path, &window, true);
    auto* page = new LivePage([feed] { return feed->serverNow(); });
    QObject::connect(feed, &LiveFeed::heard, page, &LivePage::apply);
    QObject::connect(feed, &LiveFeed::state, page, [page](halvor::db::Problem p) {
        page->setListening(p == halvor::db::Problem::None,
                           p == halvor::db::Problem::None ? QString() : DB_ProblemText(p));
    });
    // The class list the overview read gives the tiles their order and the projector its numbers.
    QObject::connect(&window, &SeisekiWindow::loaded, page, [&window, page] {
        QList<RosterEntry> roster;
        for (const DB_LEARNER& l : window.shown().learners) {
            if (l.registered)
                roster << RosterEntry{l.name, l.number > 0 ? std::optional<int>(l.number) : std::nullopt};
        }
        page->setRoster(roster);
    });
    window.addClassView(page, QStringLiteral("いまの ようす"));
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
    if (CMN_AnswerInfoOption(
            argc, argv,
            "[--class NAME] | [--csv FILE] [--csv-units FILE] [--pdf FILE] [--learner NAME | --class NAME] "
            "[--from YYYY-MM-DD] [--to YYYY-MM-DD] | --import-class-list FILE [--class NAME] | --watch",
            "The results viewer (せいせき); --class alone opens it on that class. With --csv or --pdf it "
            "writes the runs\nto FILE without a window (CSV for a spreadsheet, an A4 report), of the "
            "learner, "
            "the class or everyone,\nfrom and to the days given; --csv-units writes a line per kana or key "
            "each run practised;\n--import-class-list registers a class list. "
            "The exit status is 2,\nwith the reason, when it cannot. --watch prints a JSON line for every "
            "change of who is practising\nand every run that lands on the school's server."))
        return 0;
    const QStringList arguments = argumentsOf(argc, argv);
    if (arguments == QStringList{QStringLiteral("--watch")})
        return watchFromCommandLine(argc, argv);
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
    if (DB_IsServerAddress(DB_DefaultPath()))
        addLivePage(window, DB_DefaultPath());
    window.showClass(className);
    window.show();
    return app.exec();
}

} // namespace seiseki
