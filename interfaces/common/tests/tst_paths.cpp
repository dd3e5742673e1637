// Where the suite finds its programs and its results database.
#include "Common.h"

#include <QCoreApplication>
#include <QDir>
#include <QtTest>

class TestPaths : public QObject {
    Q_OBJECT

private slots:
    void programIsFoundNextToTheRunningOne_data();
    void programIsFoundNextToTheRunningOne();
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

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
