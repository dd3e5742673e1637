// A program of the suite in miniature, for the tests that start one:
//   program_start          what every program does as it starts, and nothing more: the runs kept on this
//                          computer are written and sent, and the program ends once that is done
//   program_start save     a finished windmill run saved as the drills save it; prints "saved <ms>" once
//                          the run is safe on this computer, then ends at once, as after 終了
#include "Database.h"
#include "SaveQueue.h"
#include "SaveSequences.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    using halvor::db::SaveQueue;
    if (argc < 2) {
        DB_StartOutboxSend();
        SaveQueue::instance().waitForIdle(60000);
        return halvor::db::waitForSender(600000) ? 0 : 1;
    }
    QElapsedTimer sinceEnd;
    sinceEnd.start();
    const QString target = DB_DefaultPath();
    SaveQueue::instance().submit(
        [target] {
            const int round = dbtest::saveDigit(target, QDate::currentDate(), 12);
            return DB_SaveOutcome(round > 0 ? 1 : 0, round);
        },
        &app,
        [&](const halvor::db::SaveOutcome& outcome) {
            std::printf("%s %lld\n", outcome.stored ? "saved" : "lost",
                        static_cast<long long>(sinceEnd.elapsed()));
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    return app.exec();
}
