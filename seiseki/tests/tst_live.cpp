// The live page's tiles and the lesson's summary, from scripted reports: states and their bounds, what a
// tile says by name and in projector mode, old news, runs that land, and who practised what for how long.
#include "LiveClass.h"

#include <QtTest>

using namespace seiseki;
using halvor::presence::Event;
using halvor::presence::Record;

namespace {

const QDateTime kStart(QDate(2026, 5, 14), QTime(10, 0), Qt::UTC);

// One record in a line: "event@second" then any of: run, input=S, started=S, acc=X, keys=N, speed=X,
// secs=X, errors=N, who=NAME, pc=NAME, login=NAME, prog=NAME, course=CODE, id=RUNID. By default the learner
// A at pc1 through login l1, the windmill at level 3, the program up since second 0.
Record record(const QString& line) {
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    Record r;
    r.event = *halvor::presence::eventFromName(words[0].section(QLatin1Char('@'), 0, 0));
    r.time = kStart.addSecs(words[0].section(QLatin1Char('@'), 1).toInt());
    r.learner = QStringLiteral("A");
    r.computer = QStringLiteral("pc1");
    r.login = QStringLiteral("l1");
    r.program = QStringLiteral("Pelvoran12");
    r.course = QStringLiteral("LEVEL3");
    r.started = kStart;
    for (const QString& word : words.mid(1)) {
        const QString key = word.section(QLatin1Char('='), 0, 0);
        const QString value = word.section(QLatin1Char('='), 1);
        if (key == QLatin1String("run"))
            r.running = true;
        else if (key == QLatin1String("input"))
            r.lastInput = kStart.addSecs(value.toInt());
        else if (key == QLatin1String("started"))
            r.started = kStart.addSecs(value.toInt());
        else if (key == QLatin1String("acc"))
            r.figures.accuracy = value.toDouble();
        else if (key == QLatin1String("keys"))
            r.figures.keystrokes = value.toInt();
        else if (key == QLatin1String("speed"))
            r.figures.speed = value.toDouble();
        else if (key == QLatin1String("secs"))
            r.figures.seconds = value.toDouble();
        else if (key == QLatin1String("errors"))
            r.figures.errors = value.toInt();
        else if (key == QLatin1String("who"))
            r.learner = value;
        else if (key == QLatin1String("pc"))
            r.computer = value;
        else if (key == QLatin1String("login"))
            r.login = value;
        else if (key == QLatin1String("prog"))
            r.program = value;
        else if (key == QLatin1String("course"))
            r.course = value;
        else if (key == QLatin1String("id"))
            r.runId = value;
    }
    return r;
}

QString play(LiveClass& live, const QStringList& lines) {
    QString last;
    for (const QString& line : lines)
        last = live.apply(record(line), kStart);
    return last;
}

QDateTime at(int second) {
    return kStart.addSecs(second);
}

} // namespace

class LiveTest : public QObject {
    Q_OBJECT
private slots:
    void tileState_data();
    void tileState();
    void tilesGo_data();
    void tilesGo();
    void tileView_data();
    void tileView();
    void oldNewsOtherLoginsAndRuns();
    void summary();
    void aLateViewerTakesTodaysEarlierRunsForTheBestOnly();
    void watchLines();
};

void LiveTest::tileState_data() {
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("manyMistakes");
    const QStringList typing{"open@0", "start@5 run", "progress@20 run input=19"};
    const QStringList sloppy{"open@0", "start@1 run", "progress@10 run input=10 acc=75 keys=40"};
    QTest::newRow("open, no run yet") << QStringList{"open@0"} << 10 << "スタート まえ" << false;
    QTest::newRow("typing") << typing << 30 << "れんしゅう中" << false;
    QTest::newRow("29 s after the last key") << typing << 48 << "れんしゅう中" << false;
    QTest::newRow("30 s after the last key") << typing << 49 << "てが とまっている" << false;
    QTest::newRow("30 s after the start, no key yet")
        << QStringList{"open@0", "start@5 run"} << 35 << "てが とまっている" << false;
    QTest::newRow("a key long ago, before the run")
        << QStringList{"open@0 input=1", "start@40 run input=1"} << 60 << "れんしゅう中" << false;
    QTest::newRow("first heard midway, the last key 30 s ago")
        << QStringList{"progress@20 run input=5"} << 35 << "てが とまっている" << false;
    QTest::newRow("first heard midway, no key since the program came up")
        << QStringList{"progress@20 run"} << 30 << "てが とまっている" << false;
    QTest::newRow("below 80 %") << sloppy << 12 << "れんしゅう中" << true;
    QTest::newRow("below 80 % and idle") << sloppy << 40 << "てが とまっている" << true;
    QTest::newRow("below 80 % on the first keys")
        << QStringList{"open@0", "start@1 run", "progress@10 run input=10 acc=60 keys=5"} << 12
        << "れんしゅう中" << false;
    QTest::newRow("exactly 80 %") << QStringList{"open@0", "start@1 run",
                                                 "progress@10 run input=10 acc=80 keys=40"}
                                  << 12 << "れんしゅう中" << false;
    QTest::newRow("run over") << QStringList{"open@0", "start@1 run", "finish@9 acc=50 keys=40"} << 12
                              << "スタート まえ" << false;
    QTest::newRow("closed") << QStringList{"open@0", "close@20"} << 21 << "おわり" << false;
    QTest::newRow("59 s without news") << QStringList{"open@0"} << 59 << "スタート まえ" << false;
    QTest::newRow("60 s without news") << QStringList{"open@0"} << 60 << "れんらくが ありません" << false;
    QTest::newRow("no news hides a run's mistakes") << sloppy << 70 << "れんらくが ありません" << false;
}

void LiveTest::tileState() {
    QFETCH(QStringList, records);
    QFETCH(int, second);
    QFETCH(QString, status);
    QFETCH(bool, manyMistakes);
    LiveClass live;
    const QString key = play(live, records);
    QCOMPARE(key, QStringLiteral("l1/pc1"));
    const TileView view = live.view(*live.tile(key), at(second), false);
    QCOMPARE(view.status, status);
    QCOMPARE(view.manyMistakes, manyMistakes);
}

void LiveTest::tilesGo_data() {
    // What tick() says at each second: "gone", "stale" or "-".
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QList<int>>("ticks");
    QTest::addColumn<QStringList>("told");
    QTest::newRow("closed: gone a minute later")
        << QStringList{"open@0", "close@10"} << QList<int>{30, 69, 70} << QStringList{"-", "-", "gone"};
    QTest::newRow("killed: stale once, gone after five minutes")
        << QStringList{"open@0", "progress@15"} << QList<int>{74, 75, 76, 314, 315}
        << QStringList{"-", "stale", "-", "-", "gone"};
    QTest::newRow("heard again after going stale")
        << QStringList{"open@0"} << QList<int>{60, 61} << QStringList{"stale", "-"};
}

void LiveTest::tilesGo() {
    QFETCH(QStringList, records);
    QFETCH(QList<int>, ticks);
    QFETCH(QStringList, told);
    LiveClass live;
    play(live, records);
    for (int i = 0; i < ticks.size(); ++i) {
        const LiveClass::Passed passed = live.tick(at(ticks[i]));
        const QString said = !passed.gone.isEmpty()    ? QStringLiteral("gone")
                             : !passed.stale.isEmpty() ? QStringLiteral("stale")
                                                       : QStringLiteral("-");
        QVERIFY2(said == told[i], qPrintable(QStringLiteral("at %1 s: %2").arg(ticks[i]).arg(said)));
        QCOMPARE(live.order().isEmpty(), said == QLatin1String("gone"));
    }
    // A computer that is heard of again after going stale is told stale again only after new silence.
    live.apply(record(QStringLiteral("progress@100")), at(100));
    QVERIFY(live.tick(at(159)).stale.isEmpty());
    QCOMPARE(live.tick(at(160)).stale, QStringList{QStringLiteral("l1/pc1")});
}

void LiveTest::tileView_data() {
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("projector");
    QTest::addColumn<QString>("shown"); // name | activity | time | figures | last
    const QStringList windmill{"open@0 who=田中", "start@60 run who=田中",
                               "progress@700 run input=700 speed=120.7 acc=95.4 keys=200 who=田中"};
    QTest::newRow("a run going") << windmill << 720 << false
                                 << "田中 | 風車 レベル3 | 12分 | 120回／分  95% | ";
    QTest::newRow("projector: the roster's number")
        << windmill << 720 << true << "12番 | 風車 レベル3 | 12分 | 120回／分  95% | ";
    QTest::newRow("projector: no number, the computer")
        << QStringList{"open@0 who=Bob pc=pc09"} << 10 << true << "pc09 | 風車 レベル3 | 1分 みまん |  | ";
    QTest::newRow("a finished run") << QStringList{"open@0", "start@1 run",
                                                   "finish@40 speed=142.3 errors=2 secs=30"}
                                    << 50 << false
                                    << "A | 風車 レベル3 | 1分 みまん |  | さいご 142回／分  ミス 2";
    QTest::newRow("hiragana: the time")
        << QStringList{"open@0 prog=Tavrel23 course=GA", "start@1 run prog=Tavrel23 course=GA",
                       "finish@100 secs=85.55 prog=Tavrel23 course=GA"}
        << 130 << false << "A | ひらがな 濁音 | 2分 |  | さいご 85.5秒";
    QTest::newRow("the last result of another program")
        << QStringList{"open@0 prog=Tavrel23 course=GA", "finish@50 prog=Tavrel23 course=GA secs=85",
                       "open@60 started=60 course=LEVEL1"}
        << 70 << false << "A | 風車 レベル1 | 1分 みまん |  | さいご ひらがな 85秒";
    QTest::newRow("another learner at the computer: no last result")
        << QStringList{"open@0", "finish@50 speed=99", "open@60 started=60 who=B"} << 70 << false
        << "B | 風車 レベル3 | 1分 みまん |  | ";
    QTest::newRow("ended: the time until the end")
        << QStringList{"open@0", "close@600"} << 900 << false << "A | 風車 レベル3 | 10分 |  | ";
}

void LiveTest::tileView() {
    QFETCH(QStringList, records);
    QFETCH(int, second);
    QFETCH(bool, projector);
    QFETCH(QString, shown);
    LiveClass live;
    live.setRoster({{QStringLiteral("佐藤"), 3}, {QStringLiteral("田中"), 12}, {QStringLiteral("Bob"), {}}});
    const QString key = play(live, records);
    const TileView v = live.view(*live.tile(key), at(second), projector);
    QCOMPARE(QStringList({v.name, v.activity, v.time, v.figures, v.last}).join(QStringLiteral(" | ")), shown);
}

void LiveTest::oldNewsOtherLoginsAndRuns() {
    LiveClass live;
    live.setRoster({{QStringLiteral("B"), 2}, {QStringLiteral("A"), 1}});
    play(live, {"open@0", "progress@20 run input=20 keys=30", "open@5 login=l2 who=B"});
    // A row read at the start that is older than what was announced since changes nothing.
    QVERIFY(live.apply(record(QStringLiteral("progress@10 keys=3")), at(30)).isEmpty());
    QCOMPARE(live.tile(QStringLiteral("l1/pc1"))->figures.keystrokes, std::optional<int>(30));
    // The same computer name through another login is another tile; the roster's order holds.
    QCOMPARE(live.order(), QStringList({"l2/pc1", "l1/pc1"}));
    // A run that lands shows on its learner's tile when no finish was heard, once however often it comes.
    const QString run = QStringLiteral("run@40 pc=l1@10.0.0.1 speed=150 id=r1");
    QCOMPARE(live.apply(record(run), at(40)), QStringLiteral("l1/pc1"));
    QVERIFY(live.apply(record(run), at(41)).isEmpty());
    QCOMPARE(live.summary(at(60)).at(1).runs, 1);
    QVERIFY(live.apply(record(QStringLiteral("run@50 who=Nobody id=r2")), at(50)).isEmpty());
}

void LiveTest::summary() {
    LiveClass live;
    live.setRoster({{QStringLiteral("A"), 1}, {QStringLiteral("B"), 2}, {QStringLiteral("C"), 3}});
    play(live, {
                   // A: the windmill on pc1 for ten minutes, then hiragana on pc2 overlapping by five.
                   "open@0",
                   "close@600",
                   "open@300 started=300 login=l2 pc=pc2 prog=Tavrel23 course=GA",
                   "close@900 started=300 login=l2 pc=pc2 prog=Tavrel23 course=GA",
                   "run@200 speed=120 errors=3 id=1",
                   "run@400 speed=150.5 errors=9 id=2",
                   "run@500 speed=140 id=3",
                   // B: two hiragana runs, the shorter time is the best; still going at the summary.
                   "open@100 started=100 who=B login=l3 pc=pc3 prog=Tavrel23 course=AI",
                   "run@300 who=B prog=Tavrel23 course=AI secs=85 id=4",
                   "run@400 who=B prog=Tavrel23 course=AI secs=80.25 id=5",
                   "progress@1190 started=100 who=B login=l3 pc=pc3 prog=Tavrel23 course=AI",
                   // Not on the roster.
                   "open@0 who=Zed login=l4 pc=pc4",
                   "open@0 who=Eve login=l5 pc=pc5",
               });
    QStringList shown;
    for (const SummaryLine& l : live.summary(at(1200)))
        shown << QStringLiteral("%1 %2 | %3 | %4 | %5 | %6")
                     .arg(l.number ? QString::number(*l.number) : QStringLiteral("-"), l.learner,
                          l.practised.join(QStringLiteral(", ")))
                     .arg(l.seconds)
                     .arg(l.runs)
                     .arg(l.best.join(QStringLiteral(", ")));
    QCOMPARE(shown, QStringList({
                        "1 A | 風車 レベル3, ひらがな 濁音 | 900 | 3 | 風車 レベル3 150回／分  ミス 9",
                        "2 B | ひらがな あいうえお | 1100 | 2 | ひらがな あいうえお 80.2秒",
                        "3 C |  | 0 | 0 | ",
                        // Eve and Zed were last heard of at the start: their time ends there.
                        "- Eve | 風車 レベル3 | 0 | 0 | ",
                        "- Zed | 風車 レベル3 | 0 | 0 | ",
                    }));
}

void LiveTest::aLateViewerTakesTodaysEarlierRunsForTheBestOnly() {
    LiveClass live;
    live.setRoster({{QStringLiteral("A"), 1}, {QStringLiteral("B"), 2}});
    // The viewer starts at 1000 and reads the rows: A's drill came up at 600; the runs of the day, one of
    // them from a morning's lesson.
    for (const char* line :
         {"open@900 started=600", "run@100 speed=200 id=e1", "run@150 who=B speed=90 id=e2",
          "run@700 speed=150 id=l1", "run@120 who=Zed speed=80 id=e3"})
        live.apply(record(QString::fromLatin1(line)), at(1000));
    QCOMPARE(live.tile(QStringLiteral("l1/pc1"))->last->figures.speed, std::optional<double>(150));
    const QList<SummaryLine> lines = live.summary(at(1200));
    QCOMPARE(lines.size(), 2); // Zed practised only earlier in the day
    QCOMPARE(lines[0].runs, 1);
    QCOMPARE(lines[0].best, QStringList(QStringLiteral("風車 レベル3 200回／分")));
    QCOMPARE(lines[1].runs, 0);
    QVERIFY(lines[1].practised.isEmpty());
    QCOMPARE(lines[1].best, QStringList(QStringLiteral("風車 レベル3 90回／分")));
}

void LiveTest::watchLines() {
    WatchLines watch;
    const QByteArray line = watch.heard(record(QStringLiteral("start@0 run input=0")), at(0));
    QCOMPARE(line, record(QStringLiteral("start@0 run input=0")).toJsonLine());
    QVERIFY(watch.tick(at(59)).isEmpty());
    const QList<QByteArray> stale = watch.tick(at(60));
    QCOMPARE(stale.size(), 1);
    const std::optional<Record> r = Record::fromJson(stale[0], nullptr);
    QVERIFY(r);
    QCOMPARE(r->event, Event::Stale);
    QCOMPARE(r->time, at(60));
    QCOMPARE(r->computer, QStringLiteral("pc1"));
    QCOMPARE(r->lastInput, at(0));
    QVERIFY(watch.tick(at(61)).isEmpty());
}

QTEST_APPLESS_MAIN(LiveTest)
#include "tst_live.moc"
