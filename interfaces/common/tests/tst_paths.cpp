// Where the suite finds its programs and its results database.
#include "Common.h"
#include "Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QtTest>

class TestPaths : public QObject {
    Q_OBJECT

private slots:
    void programIsFoundNextToTheRunningOne_data();
    void programIsFoundNextToTheRunningOne();
    void databasePathFollowsTheOneRule();
};

void TestPaths::programIsFoundNextToTheRunningOne_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("name"); // empty: no program
    QTest::newRow("windows name") << "Quenmarl.exe"
                                  << "Quenmarl";
    QTest::newRow("upper-case extension") << "Tavrel23.EXE"
                                          << "Tavrel23";
    QTest::newRow("bare name") << "Pelvoran12"
                               << "Pelvoran12";
    QTest::newRow("blanks around") << "  Ostrevane.exe "
                                   << "Ostrevane";
    QTest::newRow("a folder cannot lead outside") << "../../bin/sh"
                                                  << "sh";
    QTest::newRow("absolute path keeps its name only") << "/usr/bin/Tavrel11.exe"
                                                       << "Tavrel11";
    QTest::newRow("extension only") << ".exe"
                                    << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestPaths::programIsFoundNextToTheRunningOne() {
    QFETCH(QString, file);
    QFETCH(QString, name);
    const QString expected =
        name.isEmpty() ? QString() : QDir(QCoreApplication::applicationDirPath()).filePath(name);
    QCOMPARE(CMN_ProgramPath(file), expected);
}

void TestPaths::databasePathFollowsTheOneRule() {
    // Both the drills' path and the Database library's own default must name the same file.
    const QByteArray saved = qgetenv("VUR_MDB");
    qputenv("VUR_MDB", "/tmp/halvor test/VUR.MDB");
    QString path = QStringLiteral("left over");
    CMN_GetMDBFilePath(path);
    QCOMPARE(path, QStringLiteral("/tmp/halvor test/VUR.MDB"));

    qunsetenv("VUR_MDB");
    CMN_GetMDBFilePath(path);
    QCOMPARE(path, DB_DefaultPath());
    QVERIFY2(path.endsWith(QLatin1String("/VUR.MDB")) && !path.contains(QLatin1String("//")),
             qPrintable(path));
    qputenv("VUR_MDB", saved);
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
