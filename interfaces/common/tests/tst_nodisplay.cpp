// Every program started where no display can be reached says so in one line and exits with status 1.
#include "Common.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

class TestNoDisplay : public QObject {
    Q_OBJECT
private slots:
    void everyProgramSaysSoInOneLine_data() {
        QTest::addColumn<QString>("program");
        for (const char* name : {"Ostrevane", "Quenmarl", "Pelvoran11", "Pelvoran12", "Tavrel11", "Tavrel23",
                                 "Sorvanel11", "Seiseki"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void everyProgramSaysSoInOneLine() {
        QFETCH(QString, program);
        const QString bin = qEnvironmentVariable("HALVOR_BIN");
        if (bin.isEmpty())
            QSKIP("HALVOR_BIN is set by CTest");
        const QString path = QDir(bin).filePath(program);
        QVERIFY2(QFileInfo(path).isExecutable(), qPrintable(path));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(path, {});
        QVERIFY(process.waitForFinished(30000));
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(err, CMN_NoDisplayText(path) + QLatin1Char('\n'));
        QVERIFY(err.contains(QStringLiteral("QT_QPA_PLATFORM=offscreen")));
    }
};

QTEST_GUILESS_MAIN(TestNoDisplay)
#include "tst_nodisplay.moc"
