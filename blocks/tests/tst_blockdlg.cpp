// The block game's window driven as a learner would: typed keys, timer ticks by hand, rows read back.
#include "BlockDlg.h"
#include "Database.h"
#include "GraphDlg.h"
#include "MSChart.h"
#include "SaveQueue.h"
#include "TestDoubles.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using halvor::CBlockDlg;
using State = halvor::blocks::BlocksCore::State;

namespace {

const QString MenuLine = QStringLiteral(R"("/opt/halvor/Tavrel11" "/opt/halvor/Quenmarl" 12)");

// The rows stored so far, once the saves on the save queue's thread have ended.
QList<QVariantMap> keyRows(const QString& path) {
    halvor::db::SaveQueue::instance().waitForIdle(30000);
    QList<QVariantMap> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec("select * from T_Key order by rowid");
            while (q.next()) {
                QVariantMap row;
                for (int i = 0; i < q.record().count(); ++i)
                    row.insert(q.record().fieldName(i).toLower(), q.value(i));
                out << row;
            }
        }
    }
    QSqlDatabase::removeDatabase("check");
    return out;
}

void saveScreenshot(QWidget& widget, const QString& name) {
    const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    QVERIFY(widget.grab().save(folder + "/blocks_" + name + ".png"));
}

// A window with its clock and random source; frame() is 100 ms of play.
struct Session {
    explicit Session(const QString& commandLine = MenuLine, QList<int> randoms = {1, 5, 9, 13})
        : random(std::move(randoms)), dialog(clock, random, commandLine) {
        dialog.show();
    }
    QPushButton* button(const char* name) { return dialog.findChild<QPushButton*>(name); }
    void start() { QTest::mouseClick(button("cmdStart"), Qt::LeftButton); }
    void type(QChar c) { QTest::keyClick(&dialog, c.toLatin1()); }
    void typeCorrect(int count) {
        for (int i = 0; i < count; ++i)
            type(dialog.game().keys().at(dialog.run().nextKey()));
    }
    void frame() {
        clock.advance(100);
        dialog.frameTimerTick();
        if (++frames % 10 == 0 && dialog.isCounting())
            dialog.clockTimerTick();
    }

    FakeClock clock;
    ScriptedRandom random;
    CBlockDlg dialog;
    int frames = 0;
};

} // namespace

class TestBlockDlg : public QObject {
    Q_OBJECT

private:
    QString mdbPath() const { return DB_DefaultPath(); }

private slots:
    void init() {
        QFile::remove(mdbPath());
        CMN_DXForceInitFailure(false);
        CMN_DSForceInitFailure(false);
        CMN_SetLauncher([](const QString&, const QStringList&) { return true; });
    }

    void startsInTheModeOfItsCommandLine_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("mode");
        QTest::newRow("course menu: four characters") << MenuLine << 12;
        QTest::newRow("two characters") << R"("/opt/Tavrel11" "/opt/Quenmarl" 11)" << 11;
        QTest::newRow("no argument") << R"("/opt/Tavrel11")" << 11;
    }
    void startsInTheModeOfItsCommandLine() {
        QFETCH(QString, commandLine);
        QFETCH(int, mode);
        Session s(commandLine);
        QVERIFY(s.dialog.isSetUp());
        QCOMPARE(s.dialog.mode(), mode);
        QCOMPARE(s.dialog.windowTitle(), CMN_WindowTitle("TAVREL11"));
        QCOMPARE(s.dialog.size(), QSize(720, 540));
        s.start();
        QCOMPARE(s.dialog.game().keys().size(), mode == 12 ? 4 : 2);
        QVERIFY(!s.button("cmdStart")->isEnabled());
        QVERIFY(s.dialog.isCounting());
        // Enter and Esc neither close the window nor count.
        QTest::keyClick(&s.dialog, Qt::Key_Return);
        QTest::keyClick(&s.dialog, Qt::Key_Escape);
        QVERIFY(s.dialog.isVisible());
        QCOMPARE(s.dialog.run().keystrokes(), 0);
        if (mode == 12) {
            s.frame();
            saveScreenshot(s.dialog, "play_start");
        }
    }

    void aFastLearnerWinsAndOneRowIsStored() {
        Session s;
        s.start();
        const QString keys = s.dialog.game().keys();
        QCOMPARE(keys, QStringLiteral("qwer"));
        s.type('Z'); // two misses against the first character, three against the second
        s.type('Z');
        s.typeCorrect(1);
        for (int i = 0; i < 3; ++i)
            s.type('Z');
        QVERIFY(s.dialog.isPlaying(144) && s.dialog.isPlaying(142));
        QVERIFY(!s.dialog.isPlaying(143));
        // Three characters a frame: 216 correct after 72 frames (7.2 s), before the water rises.
        s.typeCorrect(2);
        for (int frame = 1; s.dialog.game().state() == State::Running; ++frame) {
            QVERIFY(frame <= 72);
            s.frame();
            if (frame == 2)
                QVERIFY(s.dialog.isPlaying(143)); // the first brick laid sounds
            if (frame == 40)
                saveScreenshot(s.dialog, "play");
            if (s.dialog.game().state() == State::Running)
                s.typeCorrect(3);
        }
        QCOMPARE(s.frames, 72);
        QCOMPARE(s.dialog.run().correct(), 216);
        QVERIFY(s.dialog.isPlaying(148));
        // The clock stopped at once: typing no longer counts.
        QVERIFY(!s.dialog.isCounting());
        s.typeCorrect(4);
        QCOMPARE(s.dialog.run().correct(), 216);
        QVERIFY(keyRows(mdbPath()).isEmpty());

        int animation = 0;
        while (!s.button("cmdStart")->isEnabled()) {
            s.frame();
            ++animation;
            if (animation == 60)
                saveScreenshot(s.dialog, "success");
            if (!s.button("cmdStart")->isEnabled())
                QVERIFY(keyRows(mdbPath()).isEmpty());
            QVERIFY(animation < 200);
        }
        QCOMPARE(animation, 20 + 64); // the basin fills from 417 in 20 frames, then the boat crosses
        QCOMPARE(s.dialog.game().state(), State::Idle);
        QVERIFY(!s.dialog.isPlaying(144) && !s.dialog.isPlaying(142));

        const QList<QVariantMap> rows = keyRows(mdbPath());
        QCOMPARE(rows.size(), 1);
        const QVariantMap& row = rows.first();
        QCOMPARE(row["tavrel"].toInt(), 12);
        QCOMPARE(row["round"].toInt(), 1);
        QCOMPARE(row["rem"].toString(), QStringLiteral("指4本訓練"));
        QCOMPARE(row["cond1"].toString(), QStringLiteral("4"));
        QCOMPARE(row["time"].toDouble(), 7.0); // the clock's last whole second
        QCOMPARE(row["result1"].toDouble(), 221.0);
        QCOMPARE(row["result4"].toDouble(), 5.0);
        // Best speed from the 5th second: 177 correct at 5.9 s, counted as 5 whole seconds.
        QVERIFY(qAbs(row["result3"].toDouble() - 2124.0) < 1e-6);
        QCOMPARE(row["err1"].toString(), QStringLiteral("w"));
        QVERIFY(row["y4mmdd"].toString().startsWith("2026-05-14"));

        // The next run of the same day and mode is run 2; the chart shows it in the four-finger column.
        s.start();
        s.typeCorrect(216);
        while (!s.button("cmdStart")->isEnabled())
            s.frame();
        QCOMPARE(keyRows(mdbPath()).size(), 2);
        QCOMPARE(keyRows(mdbPath()).last()["round"].toInt(), 2);
    }

    void theChartShowsTwoAndFourCharacterRunsInTheirColumns() {
        for (const QString& line : {QStringLiteral(R"("/b/Tavrel11" "/b/Quenmarl" 11)"), MenuLine}) {
            Session s(line);
            s.start();
            for (int frame = 0; frame < 80 && s.dialog.isCounting(); ++frame) {
                s.typeCorrect(3);
                s.frame();
            }
            while (!s.button("cmdStart")->isEnabled())
                s.frame();
        }
        QCOMPARE(keyRows(mdbPath()).size(), 2);
        halvor::CGraphDlg graph(halvor::GraphKind::Blocks);
        graph.show();
        QTRY_VERIFY(graph.loaded());
        CMSChart* chart = graph.chart();
        QCOMPARE(chart->GetColumnCount(), short(2));
        chart->SetColumn(1);
        QCOMPARE(chart->GetColumnLabel(), QStringLiteral("二本指最高速度"));
        chart->SetColumn(2);
        QCOMPARE(chart->GetColumnLabel(), QStringLiteral("四本指最高速度"));
        QCOMPARE(chart->GetRowCount(), short(2));
        QVERIFY(chart->value(1, 1) > 0); // the two-character run
        QCOMPARE(chart->value(1, 2), 0.0);
        QCOMPARE(chart->value(2, 1), 0.0);
        QVERIFY(chart->value(2, 2) > 0);
        saveScreenshot(graph, "chart");
    }

    void aLearnerWhoTypesNothingLosesAndNothingIsStored() {
        Session s;
        s.start();
        int frames = 0;
        bool warned = false;
        while (s.dialog.game().state() == State::Running) {
            s.frame();
            ++frames;
            if (!warned && s.dialog.game().warningShown()) {
                warned = true;
                saveScreenshot(s.dialog, "warning");
            }
            QVERIFY(frames < 400);
        }
        QVERIFY(warned);
        QCOMPARE(s.dialog.game().state(), State::FailureAnimation);
        QVERIFY(frames >= 190 && frames <= 200); // about 20 seconds
        QVERIFY(!s.dialog.isCounting());
        int animation = 0;
        while (!s.button("cmdStart")->isEnabled()) {
            s.frame();
            if (++animation == 12)
                saveScreenshot(s.dialog, "failure");
            QVERIFY(animation < 100);
        }
        QCOMPARE(animation, 36);
        QVERIFY(keyRows(mdbPath()).isEmpty());
        QVERIFY(!s.dialog.isPlaying(144) && !s.dialog.isPlaying(142));
        QVERIFY(!s.dialog.isPlaying(148));
        saveScreenshot(s.dialog, "failure_end");
    }

    void closingDuringARunStoresNothingAndReturnsToTheMenu() {
        QStringList started;
        CMN_SetLauncher([&](const QString& program, const QStringList&) {
            started << program;
            return true;
        });
        {
            Session s;
            s.start();
            s.typeCorrect(100);
            s.frame();
            s.dialog.close();
            QCOMPARE(started, QStringList{"/opt/halvor/Quenmarl"});
        }
        QCOMPARE(started.size(), 1);
        QVERIFY(keyRows(mdbPath()).isEmpty());
    }

    void aSetUpFailureClosesTheWindowAndStillReturns_data() {
        QTest::addColumn<bool>("drawing");
        QTest::newRow("drawing") << true;
        QTest::newRow("sound") << false;
    }
    void aSetUpFailureClosesTheWindowAndStillReturns() {
        QFETCH(bool, drawing);
        QStringList started;
        CMN_SetLauncher([&](const QString& program, const QStringList&) {
            started << program;
            return true;
        });
        drawing ? CMN_DXForceInitFailure(true) : CMN_DSForceInitFailure(true);
        Session s;
        CMN_DXForceInitFailure(false);
        CMN_DSForceInitFailure(false);
        QVERIFY(!s.dialog.isSetUp());
        QTRY_VERIFY(!s.dialog.isVisible());
        QCOMPARE(started, QStringList{"/opt/halvor/Quenmarl"});
        s.dialog.frameTimerTick(); // a stray tick after the failure draws nothing and does not crash
    }

    void instructionsHaveTheirTwentyTwoLines() {
        const QStringList lines = CBlockDlg::InstructionLines();
        QCOMPARE(lines.size(), 22);
        QCOMPARE(lines.first(), QStringLiteral("     堤防のブロック -- 文 字 入 力 - -"));
        QCOMPARE(lines[1], QString());
        QCOMPARE(lines[5], QStringLiteral("\u3000  "));
        QCOMPARE(
            lines[9],
            QStringLiteral("　　(1) [ゲーム開始]ボタンをクリックすると入力練習(ﾆｭｳﾘｮｸﾚﾝｼｭｳ)する文字(ﾓｼﾞ)が"));
        QCOMPARE(lines.last(), QStringLiteral("     "));
    }
};

QTEST_MAIN(TestBlockDlg)
#include "tst_blockdlg.moc"
