// Leaves a hot journal beside a results file, as a save killed in the middle would: a large change begun and
// never committed, with a cache so small that SQLite writes changed pages into the file itself after saving
// their old contents in the journal. Prints "spilled" and waits to be killed.
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(QString::fromLocal8Bit(argv[1]));
    if (!db.open())
        return 1;
    QSqlQuery q(db);
    bool ok = q.exec(QStringLiteral("PRAGMA cache_size = 4")) && q.exec(QStringLiteral("BEGIN"));
    // Every committed row is changed too, so the pages written early hold the committed ones.
    ok = ok && q.exec(QStringLiteral("UPDATE T_Key SET REM = 'half-written'"));
    ok = ok && q.prepare(QStringLiteral("INSERT INTO T_Key (Tavrel, REM) VALUES (99, ?)"));
    for (int i = 0; ok && i < 2000; ++i) {
        q.addBindValue(QString(400, QLatin1Char('x')));
        ok = q.exec();
    }
    if (!ok)
        return 1;
    std::printf("spilled\n");
    std::fflush(stdout);
    for (;;)
        QThread::sleep(60);
}
