// How long a learner waits for a save and for a chart fill, on files of growing size. Prints medians.
#include "BenchKit.h"
#include "Database.h"
#include "SaveQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using halvor::bench::medianMs;

// Fills T_Key with rows of all three drills over many days, in one transaction beside the library.
void fill(const QString& path, int rows) {
    DB_T_KEY first;
    DB_InsertT_Key(path, &first); // creates the file with its schema
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        db.open();
        db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral(
            "insert into T_Key (Y4mmdd, Tavrel, Round, REM, COND1, Time) values (?,?,?,?,?,?)"));
        const int drills[] = {11, 12, 23};
        for (int i = 0; i < rows; ++i) {
            q.addBindValue(QDate(2020, 1, 1).addDays(i / 9).toString(Qt::ISODate));
            q.addBindValue(drills[i % 3]);
            q.addBindValue(i % 9 / 3 + 1);
            q.addBindValue(QStringLiteral("指2本訓練"));
            q.addBindValue(QStringLiteral("AI"));
            q.addBindValue(30.0 + i % 17);
            q.exec();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

// The kana of a lesson of 50, as the hiragana drill stores them with its run: a few missed, most timed.
QList<DB_UNIT> lessonUnits() {
    const QString kana =
        QStringLiteral("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよ"
                       "らりるれろわをんがぎぐげ");
    QList<DB_UNIT> units;
    for (qsizetype i = 0; i < kana.size(); ++i)
        units.append({kana.mid(i, 1), 1 + int(i % 3), i % 7 == 0 ? 1 : 0, i == 0 ? -1 : 300 + int(i) * 7,
                      i % 7 == 0 ? QStringLiteral("k") : QString()});
    return units;
}

int saveOnce(const QString& path, const QDate& day, const QList<DB_UNIT>& units = {}) {
    DB_T_KEY rec;
    DB_OpenT_Key(path, QStringLiteral(" where [Y4mmdd] = #%1# and [Tavrel] = 11 order by [round] desc")
                           .arg(day.toString(QStringLiteral("yyyy/MM/dd"))));
    const int round = DB_GetRecordT_Key(&rec) ? rec.Round + 1 : 1;
    DB_CloseT_Key();
    DB_ClearStructT_Key(&rec);
    rec.Y4mmdd = day;
    rec.Y4mmddFlag = 1;
    rec.Tavrel = 11;
    rec.TavrelFlag = 1;
    rec.Round = static_cast<std::int16_t>(round);
    rec.RoundFlag = 1;
    return DB_InsertT_Key(path, &rec, units);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::printf("%-44s %10s\n", "operation", "median ms");
    for (const int rows : {0, 1000, 10000, 100000}) {
        const QString path = dir.filePath(QStringLiteral("bench%1.mdb").arg(rows));
        fill(path, rows);
        const double save = medianMs(21, [&] { saveOnce(path, QDate(2026, 12, 7)); });
        const QList<DB_UNIT> units = lessonUnits();
        const double saveWithUnits = medianMs(21, [&] { saveOnce(path, QDate(2026, 12, 7), units); });
        // As the drills save: on the save thread, which keeps the file open between runs.
        const auto onSaveThread = [&](const QList<DB_UNIT>& with) {
            return medianMs(21, [&] {
                halvor::db::SaveQueue::instance().submit(
                    [&] { return DB_SaveOutcome(saveOnce(path, QDate(2026, 12, 7), with), 1); }, nullptr, {});
                halvor::db::SaveQueue::instance().waitForIdle(10000);
            });
        };
        const double kept = onSaveThread({});
        const double keptWithUnits = onSaveThread(units);
        int read = 0;
        const double chart = medianMs(11, [&] {
            DB_OpenT_Key(path,
                         QStringLiteral(" where [Tavrel] in (11,12) order by [Y4mmdd] , [round] , [Tavrel]"));
            DB_T_KEY rec;
            read = 0;
            while (DB_GetRecordT_Key(&rec))
                ++read;
            DB_CloseT_Key();
        });
        QList<DB_T_KEY> found;
        const double count = medianMs(21, [&] {
            DB_SelectT_Key(
                path,
                QStringLiteral("select * from [T_Key] where [Y4mmdd] = #2026/12/07# and [tavrel]= 23 and "
                               "[COND1] = 'AI'"),
                found);
        });
        std::printf("save sequence, %6d rows                     %10.2f\n", rows, save);
        std::printf("  the same with a lesson's %lld kana as units   %10.2f\n",
                    static_cast<long long>(units.size()), saveWithUnits);
        std::printf("  on the save thread, the file kept open      %10.2f\n", kept);
        std::printf("  the same with the 50 kana                   %10.2f\n", keptWithUnits);
        std::printf("chart fill (%6d of them read)             %10.2f\n", read, chart);
        std::printf("hiragana count statement, %6d rows         %10.2f\n", rows, count);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %ld MB\n", usage.ru_maxrss / 1024);
    return 0;
}
