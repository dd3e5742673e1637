// Speed of what the learner feels: converting a typed line, a keystroke's round trip from the input box
// to the kana label, opening the chart of many stored runs, and the first frame of the drill window.
#include "Common.h"
#include "FrmGraph.h"
#include "FrmMain.h"
#include "modCommon.h"
#include "modConvert.h"
#include "modMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double medianOf(int rounds, const std::function<double()>& measure) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        times.push_back(measure());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double microseconds(const QElapsedTimer& timer) {
    return timer.nsecsElapsed() / 1000.0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CMN_InitApplication();
    hiragana::SetMessageHandler([](QWidget*, QMessageBox::Icon, const QString&, const QString&) {});
    InitConvertTable();

    // A 40-character line, well formed, and one that stops converting early (the scanner's worst case).
    const QString good = QStringLiteral("ittyouittannissinnittaikippariwi-nnsappa");
    const QString stuck = QStringLiteral("k1") + QString(38, u'x');
    for (const QString& line : {good, stuck}) {
        volatile qsizetype sink = 0;
        const double us = medianOf(201, [&] {
            QElapsedTimer t;
            t.start();
            for (int i = 0; i < 100; ++i) {
                sink = sink + ConvertRomaji(line).size();
            }
            return microseconds(t) / 100;
        });
        std::printf("convert a %lld-character line (%s): median %.2f us\n", (long long)line.size(),
                    line == good ? "romaji" : "stuck after 2", us);
    }

    {
        hiragana::FrmMain window;
        window.setCommandLine(QString());
        window.show();
        auto* input = window.findChild<QLineEdit*>(QStringLiteral("txtInput"));
        // A run going on, so each keystroke is also read for the record of the kana.
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdStart")), Qt::LeftButton);
        QString typed;
        const double us = medianOf(401, [&] {
            if (typed.size() >= good.size()) {
                input->clear();
                typed.clear();
            }
            const QChar c = good.at(typed.size());
            typed += c;
            QElapsedTimer t;
            t.start();
            QTest::keyClick(input, c.toLatin1());
            return microseconds(t);
        });
        std::printf(
            "keystroke into txtInput -> lblInput updated (lines up to 40 characters): median %.2f us\n", us);
        // The costliest edits for the record: a Backspace at the end of a long wrong line, and Enter on it.
        QTest::keyClicks(input, good.mid(input->text().size()));
        const double back = medianOf(401, [&] {
            QTest::keyClick(input, 'x');
            QElapsedTimer t;
            t.start();
            QTest::keyClick(input, Qt::Key_Backspace);
            return microseconds(t);
        });
        const double enter = medianOf(401, [&] {
            QElapsedTimer t;
            t.start();
            QTest::keyClick(input, Qt::Key_Return);
            return microseconds(t);
        });
        std::printf("Backspace at the end of a wrong 40-character line: median %.2f us; Enter on it: median "
                    "%.2f us\n",
                    back, enter);
    }

    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bench.mdb"));
        const QDate start(2000, 1, 1);
        for (int i = 0; i < 10000; ++i) {
            DB_T_KEY r;
            DB_ClearStructT_Key(&r);
            r.Y4mmdd = start.addDays(i / 3);
            r.Y4mmddFlag = r.TavrelFlag = r.RoundFlag = r.COND1Flag = r.TimeFlag = 1;
            r.Tavrel = 23;
            r.Round = 1;
            r.COND1 = QStringList{"AI", "GA", "NN"}.at(i % 3);
            r.Time = 30 + i % 40;
            DB_InsertT_Key(path, &r);
        }
        const double ms = medianOf(5, [&] {
            QElapsedTimer t;
            t.start();
            hiragana::FrmGraph graph(path);
            graph.show();
            (void)graph.grab();
            return microseconds(t) / 1000;
        });
        std::printf("chart of 10000 stored runs, read, filled and first painted: median %.1f ms\n", ms);
    }

    {
        const double ms = medianOf(7, [&] {
            QElapsedTimer t;
            t.start();
            hiragana::FrmMain window;
            window.setCommandLine(QString());
            window.show();
            (void)window.grab();
            return microseconds(t) / 1000;
        });
        std::printf("drill window built and first frame painted: median %.1f ms\n", ms);
    }
    return 0;
}
