// The windmill window: start-up, a whole run driven with an injected clock, the stored row, the keys that
// must never press a button, closing, the failure roads and the chart.
#include "Common.h"
#include "MSChart.h"
#include "PresenceDoubles.h"
#include "SaveQueue.h"
#include "Setsumei.h"
#include "TestDoubles.h"
#include "WindmillDlg.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using halvor::CWindmillDlg;

namespace {

const QString Caller = QStringLiteral("/opt/halvor/bin/Quenmarl");

QString line(const QString& level) {
    return QString("\"/opt/halvor/bin/Pelvoran12\" \"%1\" %2").arg(Caller, level);
}

void screenshot(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (!dir.isEmpty())
        w.grab().save(QDir(dir).filePath(name + ".png"));
}

int rowCount(const QString& path, const QString& table) {
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "count");
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            n = q.exec("select count(*) from " + table) && q.next() ? q.value(0).toInt() : 0;
        }
    }
    QSqlDatabase::removeDatabase("count");
    return n;
}

} // namespace

class TestDialog : public QObject {
    Q_OBJECT

private:
    QString mdb_;
    QStringList started_;
    QStringList modalsClosed_;
    QMap<QString, QString> messagesSeen_; // message boxes by object name: their text
    QStringList shownLines_;
    QTimer modalGuard_;

    // Types keys at whatever has the focus, as a learner would.
    void type(QWidget& dlg, const QString& text) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &dlg;
        QTest::keyClicks(target, text);
    }
    // A run of up to `seconds`, `perSecond` keys a second spread over the frames (every `wrongEvery`-th
    // one wrong), stepping the timers by hand as they would fire.
    void drive(CWindmillDlg& dlg, FakeClock& clock, int seconds, int perSecond, int wrongEvery = 0) {
        int typed = 0;
        for (int s = 0; s < seconds && dlg.isCounting(); ++s) {
            for (int f = 0; f < 10 && dlg.isCounting(); ++f) {
                clock.advance(100);
                const int n = (f + 1) * perSecond / 10 - f * perSecond / 10;
                for (int k = 0; k < n; ++k) {
                    ++typed;
                    if (wrongEvery && typed % wrongEvery == 0)
                        type(dlg, "#");
                    else
                        type(dlg, dlg.run().keys().mid(dlg.run().nextKey(), 1));
                }
                dlg.frameTimerTick();
                if (f == 9 && dlg.isCounting())
                    dlg.clockTimerTick();
            }
        }
        // A finished run is saved on the save queue's thread.
        QVERIFY(halvor::db::SaveQueue::instance().waitForIdle(30000));
    }

private slots:
    void initTestCase() {
        CMN_InitApplication();
        mdb_ = DB_DefaultPath();
        QVERIFY(!mdb_.isEmpty());
        CMN_SetLauncher([this](const QString& program, const QStringList&) {
            started_ << program;
            return true;
        });
        // A modal window that a key opened by mistake must fail the test, not hang it.
        connect(&modalGuard_, &QTimer::timeout, this, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                    messagesSeen_.insert(box->objectName(), box->text());
            }
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modalsClosed_ << modal->metaObject()->className();
                if (auto* help = qobject_cast<CSetsumeiDlg*>(modal))
                    shownLines_ = help->lines();
                modal->close();
            }
        });
        modalGuard_.start(50);
    }
    void init() {
        started_.clear();
        modalsClosed_.clear();
        messagesSeen_.clear();
        shownLines_.clear();
        QFile::remove(mdb_);
        CMN_DXForceInitFailure(false);
        CMN_DSForceInitFailure(false);
    }

    void startUpLaysOutTheWindow() {
        FakeClock clock;
        halvor::StdRandom random;
        CWindmillDlg dlg(clock, random, line("3"));
        dlg.show();
        QVERIFY(dlg.isSetUp());
        QCOMPARE(dlg.level(), 3);
        QCOMPARE(dlg.windowTitle(), CMN_WindowTitle("PELVORAN12"));
        QCOMPARE(dlg.size(), QSize(720, 540));
        auto* start = dlg.findChild<QPushButton*>("cmdStart");
        auto* end = dlg.findChild<QPushButton*>("cmdEnd");
        QVERIFY(start && end);
        QCOMPARE(start->geometry().right() + 1 + 4, end->geometry().left());
        QCOMPARE(start->size(), end->size());
        QCOMPARE(start->y(), end->y());
        QCOMPARE(CWindmillDlg::InstructionLines().size(), 28);
        QVERIFY(!dlg.isCounting());
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        screenshot(dlg, "windmill_idle");
    }

    void aWholeRunStoresExactlyItsRow() {
        FakeClock clock;
        halvor::StdRandom random;
        CWindmillDlg dlg(clock, random, line("2"));
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
        QVERIFY(dlg.isCounting());
        QVERIFY(!dlg.findChild<QPushButton*>("cmdStart")->isEnabled());
        QCOMPARE(dlg.run().keyCount(), 2);
        // 4 right keys a second with every 10th keystroke wrong, for the whole minute.
        drive(dlg, clock, 61, 4, 10);
        QVERIFY(!dlg.isCounting());
        QVERIFY(dlg.findChild<QPushButton*>("cmdStart")->isEnabled());
        QVERIFY(modalsClosed_.isEmpty());
        screenshot(dlg, "windmill_end");

        const halvor::FingerRun& run = dlg.run();
        QCOMPARE(rowCount(mdb_, "T_Digit"), 1);
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "row");
        db.setDatabaseName(mdb_);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("select Y4mmdd, Pelvoran, round, REM, COND1, Time, result1, result3, result4, ERR1 "
                       "from T_Digit"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QString("2026-05-14"));
        QCOMPARE(q.value(1).toInt(), 12);
        QCOMPARE(q.value(2).toInt(), 1);
        QCOMPARE(q.value(3).toString(), QString("LEVEL2"));
        QCOMPARE(q.value(4).toString(), QString("2"));
        // The frame tick ends the run before the 60th clock tick; the stored time is still the whole minute.
        QCOMPARE(q.value(5).toDouble(), 60.0);
        QCOMPARE(q.value(6).toDouble(), double(run.keystrokes()));
        QCOMPARE(q.value(7).toDouble(), std::trunc(run.maxSpeed() * 10.0) * 0.1);
        QCOMPARE(q.value(8).toDouble(), double(run.errors()));
        QVERIFY(run.errors() > 0);
        const QString worst = run.keyErrors(1) > run.keyErrors(0) ? run.keys().mid(1, 1) : run.keys().left(1);
        QCOMPARE(q.value(9).toString(), worst);
        q = QSqlQuery();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("row");
    }

    void speedAndPanelDuringARun() {
        FakeClock clock;
        halvor::StdRandom random;
        CWindmillDlg dlg(clock, random, line("1"));
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
        drive(dlg, clock, 10, 5); // 5 a second: 300 a minute
        QCOMPARE(dlg.run().currentSpeed(), 300.0);
        QCOMPARE(dlg.run().errorNumber(), 0);
        QVERIFY(dlg.game().shownSpeed() > 150);
        QCOMPARE(dlg.run().secondNumber(), 10);
        screenshot(dlg, "windmill_running_level1");
        // a one-key run ends at 30 seconds
        drive(dlg, clock, 25, 5);
        QVERIFY(!dlg.isCounting());
        QCOMPARE(dlg.run().elapsedSeconds(), 30u);
        QCOMPARE(rowCount(mdb_, "T_Digit"), 1);
    }

    // With a school server the teacher sees the run as it goes: its level, speed and accuracy, and its end.
    void theTeacherSeesTheRunLive() {
        presencetest::InstalledReporter live(QStringLiteral("Pelvoran12"));
        FakeClock clock;
        halvor::StdRandom random;
        CWindmillDlg dlg(clock, random, line("3"));
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
        using halvor::presence::Event;
        using halvor::presence::Report;
        QVERIFY(
            live.waitFor([](const Report& r) { return r.event == Event::Start && r.course == "LEVEL3"; }));
        drive(dlg, clock, 10, 5, 4); // every fourth key wrong
        const auto going =
            live.waitFor([](const Report& r) { return r.running && r.figures.seconds == 10.0; });
        QVERIFY(going);
        QVERIFY(*going->figures.speed > 0);
        QCOMPARE(going->figures.accuracy, halvor::presence::accuracyOf(50, 12));
        drive(dlg, clock, 60, 5, 4);
        QVERIFY(!dlg.isCounting());
        const auto finished = live.waitFor([](const Report& r) { return r.event == Event::Finish; });
        QVERIFY(finished);
        QVERIFY(!finished->running);
        QCOMPARE(finished->figures,
                 halvor::FingerRecord::fromRun(halvor::FingerRecord::Table::Digit, 3, dlg.run()).figures());
        // A run dropped by closing the window is reported as ended without a result.
        QTest::mouseClick(dlg.findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
        drive(dlg, clock, 2, 5);
        dlg.close();
        QVERIFY(live.waitFor(
            [](const Report& r) { return r.event == Event::Progress && !r.running && r.figures.empty(); }));
    }

    void runningScreenshotsAtLevels4And7_data() {
        QTest::addColumn<QString>("level");
        QTest::newRow("4") << "4";
        QTest::newRow("7") << "7";
    }
    void runningScreenshotsAtLevels4And7() {
        QFETCH(QString, level);
        FakeClock clock;
        halvor::StdRandom random;
        CWindmillDlg dlg(clock, random, line(level));
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
        QCOMPARE(dlg.run().keyCount(), level == "4" ? 2 : 4);
        drive(dlg, clock, 12, 4, 7);
        QVERIFY(dlg.isCounting());
        QVERIFY(dlg.run().errors() > 0);
        screenshot(dlg, "windmill_running_level" + level);
    }

    void enterEscAndSpaceNeverPressAButton() {
        FakeClock clock;
        halvor::StdRandom random;
        CWindmillDlg dlg(clock, random, line("5"));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* start = dlg.findChild<QPushButton*>("cmdStart");
        auto* end = dlg.findChild<QPushButton*>("cmdEnd");
        for (QPushButton* b :
             {start, end, dlg.findChild<QPushButton*>("cmdHelp"), dlg.findChild<QPushButton*>("cmdGraph")}) {
            b->setFocus();
            for (Qt::Key k : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space})
                QTest::keyClick(b, k);
        }
        QTest::qWait(200);
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.isCounting());
        QVERIFY(modalsClosed_.isEmpty());
        QVERIFY(started_.isEmpty());

        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(dlg.isCounting());
        QVERIFY(dlg.findChild<QPushButton*>("cmdHelp")->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // a keystroke, and a wrong one
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // no character: not counted
        // The Delete key arrives with the text 0x7f; it is no character either.
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7f)));
        QApplication::sendEvent(QApplication::focusWidget(), &del);
        // Keys held with Ctrl, Alt or the system key are commands, whatever text they carry.
        const QString expected = dlg.run().keys().mid(dlg.run().nextKey(), 1);
        for (const Qt::KeyboardModifier m : {Qt::AltModifier, Qt::ControlModifier, Qt::MetaModifier}) {
            QKeyEvent chord(QEvent::KeyPress, Qt::Key_A, m, expected);
            QApplication::sendEvent(QApplication::focusWidget(), &chord);
        }
        QTest::qWait(200);
        QVERIFY(modalsClosed_.isEmpty());
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.run().keystrokes(), 1);
        QCOMPARE(dlg.run().errors(), 1);
    }

    void theInstructionsShowTheirLinesOnTheButtonAndOnceByTheFirstUserEvent() {
        FakeClock clock;
        halvor::StdRandom random;
        CWindmillDlg dlg(clock, random, line("1"));
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>("cmdHelp"), Qt::LeftButton);
        QCOMPARE(modalsClosed_, QStringList{"CSetsumeiDlg"});
        QCOMPARE(shownLines_, CWindmillDlg::InstructionLines());
        QCOMPARE(shownLines_.size(), 28);
        QCOMPARE(shownLines_.last(), QString("     "));

        QEvent first(QEvent::User), second(QEvent::User);
        QCoreApplication::sendEvent(&dlg, &first);
        QCOMPARE(modalsClosed_.size(), 2);
        QCoreApplication::sendEvent(&dlg, &second); // only the first one
        QCOMPARE(modalsClosed_.size(), 2);
    }

    void idleTypingIsNotCounted() {
        FakeClock clock;
        halvor::StdRandom random;
        CWindmillDlg dlg(clock, random, line("1"));
        dlg.show();
        type(dlg, "asdf");
        QCOMPARE(dlg.run().keystrokes(), 0);
    }

    void closingDuringARunStartsTheCallerAndWritesNoRow() {
        FakeClock clock;
        halvor::StdRandom random;
        auto* dlg = new CWindmillDlg(clock, random, line("6"));
        dlg->show();
        QTest::mouseClick(dlg->findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
        drive(*dlg, clock, 20, 3);
        QTest::mouseClick(dlg->findChild<QPushButton*>("cmdEnd"), Qt::LeftButton);
        QTRY_VERIFY(!dlg->isVisible());
        QCOMPARE(started_, QStringList{Caller});
        delete dlg;
        QCOMPARE(started_.size(), 1); // once, not again on destruction
        QVERIFY(rowCount(mdb_, "T_Digit") <= 0);
    }

    void withoutACallerNothingIsStarted() {
        FakeClock clock;
        halvor::StdRandom random;
        {
            CWindmillDlg dlg(clock, random, "\"/opt/halvor/bin/Pelvoran12\"");
            dlg.show();
            QCOMPARE(dlg.level(), 1);
            dlg.close();
        }
        QVERIFY(started_.isEmpty());
    }

    void aSetUpFailureClosesAtOnceAndStillReturns_data() {
        QTest::addColumn<bool>("graphics");
        QTest::newRow("drawing") << true;
        QTest::newRow("sound") << false;
    }
    void aSetUpFailureClosesAtOnceAndStillReturns() {
        QFETCH(bool, graphics);
        (graphics ? CMN_DXForceInitFailure : CMN_DSForceInitFailure)(true);
        FakeClock clock;
        halvor::StdRandom random;
        CWindmillDlg dlg(clock, random, line("2"));
        dlg.show();
        QVERIFY(!dlg.isSetUp());
        QTRY_VERIFY(!dlg.isVisible());
        QCOMPARE(started_, QStringList{Caller});
        CMN_DXForceInitFailure(false);
        CMN_DSForceInitFailure(false);
    }

    void aFailedSaveIsToldAndTheRunStillEnds() {
        // The database path is a folder: nothing can be stored there, and the run is kept beside it.
        // The folder lies inside a temporary one, so the runs kept beside it go when the test ends.
        QTemporaryDir scratch;
        const QString folder = scratch.filePath("VUR.MDB");
        QVERIFY(QDir().mkpath(folder));
        const QByteArray saved = qgetenv("VUR_MDB");
        qputenv("VUR_MDB", folder.toLocal8Bit());
        FakeClock clock;
        halvor::StdRandom random;
        CWindmillDlg dlg(clock, random, line("1"));
        qputenv("VUR_MDB", saved);
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
        drive(dlg, clock, 31, 2);
        QVERIFY(!dlg.isCounting());
        QVERIFY(dlg.findChild<QPushButton*>("cmdStart")->isEnabled());
        // The save ends on the save queue's thread; its message comes later (the guard may have closed it).
        QTRY_VERIFY(messagesSeen_.contains("saveKeptMessage"));
        const QString text = messagesSeen_.value("saveKeptMessage");
        // Japanese only: what happened and what to do; the path and the engine's words go to the log.
        QVERIFY2(!text.contains(QRegularExpression("[A-Za-z/]")), qPrintable(text));
    }

    void theChartShowsTheStoredRuns() {
        FakeClock clock;
        halvor::StdRandom random;
        {
            halvor::CGraphDlg empty(halvor::GraphKind::Windmill);
            empty.show();
            // The guard records the message as it closes it.
            QTRY_VERIFY(messagesSeen_.value("graphMessage").contains("サンプル"));
            QVERIFY(empty.chart()->showsSample());
        }
        QList<double> best;
        for (int i = 0; i < 3; ++i) {
            CWindmillDlg dlg(clock, random, line("1"));
            dlg.show();
            QTest::mouseClick(dlg.findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
            drive(dlg, clock, 31, 3 + i);
            best << std::trunc(dlg.run().maxSpeed() * 10.0) * 0.1;
            if (i == 0) {
                halvor::CGraphDlg one(halvor::GraphKind::Windmill);
                one.show();
                QTRY_VERIFY(messagesSeen_.value("graphMessage").contains("棒グラフ"));
                QCOMPARE(one.chart()->GetChartType(), int(CMSChart::VtChChartType2dBar));
            }
        }
        halvor::CGraphDlg graph(halvor::GraphKind::Windmill);
        graph.show();
        QVERIFY(QTest::qWaitForWindowExposed(&graph));
        QTRY_VERIFY(graph.loaded());
        QCOMPARE(graph.windowTitle(), QString("グラフ"));
        QCOMPARE(graph.chart()->GetChartType(), int(CMSChart::VtChChartType2dLine));
        QCOMPARE(graph.chart()->GetRowCount(), short(3));
        QCOMPARE(graph.chart()->GetColumnCount(), short(1));
        QCOMPARE(graph.chart()->GetTitleText(), QString("これまでの練習結果"));
        for (int row = 1; row <= 3; ++row)
            QVERIFY(qAbs(graph.chart()->value(row, 1) - best[row - 1]) < 1e-6);
        QVERIFY(best[2] > best[0]);
        graph.chart()->SetRow(2);
        QCOMPARE(graph.chart()->GetRowLabel(), QString("2026/05/14_2"));
        auto* close = graph.findChild<QPushButton*>("cmdClose");
        QCOMPARE(close->geometry(), QRect(620, 502, 92, 30));
        QCOMPARE(graph.chart()->geometry(), QRect(8, 8, 704, 486));
        screenshot(graph, "windmill_chart");
        QTest::mouseClick(close, Qt::LeftButton);
        QTRY_VERIFY(!graph.isVisible());
    }
};

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
