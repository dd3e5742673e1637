// A program of the suite in miniature, for the tests that start one:
//   program_start          what every program does as it starts, and nothing more: the runs kept on this
//                          computer are written and sent, and the program ends once that is done
//   program_start save     a finished windmill run saved as the drills save it; prints "saved <ms>" once
//                          the run is safe on this computer, then ends at once, as after 終了
//   program_start exit     three windmill runs finish one after the other; soon after the first is saved the
//                          program ends by exit(), as Qt ends it when the display goes, while the second is
//                          being written and the third waits
//   program_start live     a windmill drill's presence and a viewer's listener on the school's server; given
//                          a line, it ends by exit() at once, as Qt does when the display goes
//   program_start live save   the same, with a run saved and sent as well
#include "Database.h"
#include "Live.h"
#include "SaveQueue.h"
#include "SaveSequences.h"
#include "Startup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    using halvor::db::SaveQueue;
    const QString target = DB_DefaultPath();
    const auto saveRun = [target](unsigned long writingMs) {
        return [target, writingMs] {
            QThread::msleep(writingMs); // as a file held by another program a moment
            const int round = dbtest::saveDigit(target, QDate::currentDate(), 12);
            return DB_SaveOutcome(round > 0 ? 1 : 0, round);
        };
    };
    if (argc >= 2 && qstrcmp(argv[1], "live") == 0) {
        HalvorStartPresence(DB_DefaultPath(), QStringLiteral("Pelvoran12"));
        if (argc == 3)
            SaveQueue::instance().submit(saveRun(0), &app, {});
        new halvor::db::LiveListener(DB_DefaultPath(), {[](const halvor::presence::Record&) {}, {}});
        QSocketNotifier input(0, QSocketNotifier::Read);
        QObject::connect(&input, &QSocketNotifier::activated, [] { std::exit(1); });
        return app.exec();
    }
    if (argc < 2) {
        DB_StartOutboxSend();
        SaveQueue::instance().waitForIdle(60000);
        return halvor::db::waitForSender(600000) ? 0 : 1;
    }
    if (QByteArray(argv[1]) == "exit") {
        // The first run's send is under way by the end.
        SaveQueue::instance().submit(saveRun(0), &app, [](const halvor::db::SaveOutcome&) {
            QTimer::singleShot(300, [] { std::exit(0); });
        });
        SaveQueue::instance().submit(saveRun(600), &app, {});
        SaveQueue::instance().submit(saveRun(0), &app, {});
        return app.exec();
    }
    QElapsedTimer sinceEnd;
    sinceEnd.start();
    SaveQueue::instance().submit(saveRun(0), &app, [&](const halvor::db::SaveOutcome& outcome) {
        std::printf("%s %lld\n", outcome.stored ? "saved" : "lost",
                    static_cast<long long>(sinceEnd.elapsed()));
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    return app.exec();
}
