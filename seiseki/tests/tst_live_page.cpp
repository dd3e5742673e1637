// The live page as a teacher sees it: a classroom of tiles in every state, by name and in projector mode,
// the lesson's summary, and a change that repaints its own tile only. Screenshots go to the build tree
// (the test runs at scale 1 and, registered again, at scale 2).
#include "LivePage.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

using namespace seiseki;
using halvor::presence::Event;
using halvor::presence::Figures;
using halvor::presence::Record;

namespace {

const QDateTime kStart(QDate(2026, 5, 14), QTime(10, 0), Qt::UTC);

void screenshot(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (dir.isEmpty())
        return;
    const QString scale = qApp->devicePixelRatio() > 1 ? QStringLiteral("_x2") : QString();
    w.grab().save(dir + QStringLiteral("/seiseki_live_") + name + scale + QStringLiteral(".png"));
}

const QStringList kNames{"青木 そら",   "石川 ゆい",   "上田 はると", "遠藤 みお",
                         "大野 れん",   "加藤 さくら", "木村 そうた", "小林 ひな",
                         "斎藤 ゆうと", "佐々木 めい", "鈴木 いつき", "高橋 あおい"};

Record report(int i, Event event, int second) {
    Record r;
    r.event = event;
    r.time = kStart.addSecs(second);
    r.learner = kNames[i];
    r.login = QStringLiteral("halvor_pc%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    r.computer = QStringLiteral("pc%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    r.started = kStart.addSecs(-60 * (3 + i));
    const int kind = i % 4;
    r.program = QStringList{"Pelvoran12", "Tavrel23", "Tavrel11", "Pelvoran11"}[kind];
    r.course = QStringList{"LEVEL3", "GA", "4", "P5"}[kind];
    return r;
}

// A classroom at second 600 of the lesson: most typing, one idle, one making many mistakes, one whose run
// just finished, one whose program ended, one not heard of, one before its first run. Each program reports
// the figures it has: the finger drills speed and accuracy, the hiragana drill lines and accuracy, the
// keyboard lesson its answers.
void classroom(LivePage& page) {
    for (int i = 0; i < kNames.size(); ++i) {
        Record r = report(i, Event::Progress, 590);
        r.running = true;
        r.lastInput = r.time;
        Figures& f = r.figures;
        f.keystrokes = 120 + 7 * i;
        f.errors = 2 + i % 3;
        f.accuracy = halvor::presence::accuracyOf(*f.keystrokes, *f.errors);
        if (r.program == QLatin1String("Tavrel23")) {
            f.done = 3 + i % 5;
            f.total = 10;
        } else if (r.program == QLatin1String("Pelvoran11")) {
            f.done = 8 + i;
            f.total = 10 + i;
        } else {
            f.speed = 90 + 5 * i;
        }
        if (i == 1)
            r.lastInput = r.time.addSecs(-40); // idle
        if (i == 2)
            f.accuracy = 64;
        if (i == 9) { // a run finished
            r.event = Event::Finish;
            r.running = false;
            f = {};
            f.seconds = 92.4;
        }
        if (i == 4)
            r.event = Event::Close;
        if (i == 5)
            r.time = kStart.addSecs(540); // not heard of since
        if (i == 6) {
            r.running = false;
            f = {};
        }
        page.apply(r);
    }
    Record run = report(0, Event::Run, 500);
    run.figures.speed = 151.2;
    run.figures.errors = 3;
    run.runId = QStringLiteral("r1");
    page.apply(run);
}

} // namespace

class LivePageTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void classroomByName();
    void projectorHidesNames();
    void aChangeRepaintsItsTileOnly();
    void lessonSummary();

private:
    QDateTime now_ = kStart.addSecs(600);
    std::unique_ptr<LivePage> page_;
};

void LivePageTest::init() {
    page_ = std::make_unique<LivePage>([this] { return now_; });
    QList<RosterEntry> roster;
    for (int i = 0; i < kNames.size(); ++i)
        roster.append({kNames[i], i + 1});
    roster.append({QStringLiteral("田村 けい"), 13}); // did not practise
    page_->setRoster(roster);
    page_->resize(1200, 640);
    page_->setListening(true);
    page_->show();
    QVERIFY(QTest::qWaitForWindowExposed(page_.get()));
    classroom(*page_);
    page_->tick();
}

void LivePageTest::classroomByName() {
    const auto& views = page_->board()->views();
    QCOMPARE(views.size(), kNames.size());
    const auto status = [&](int i) {
        return views.value(QStringLiteral("halvor_pc%1/pc%1").arg(i + 1, 2, 10, QLatin1Char('0')));
    };
    QCOMPARE(status(0).status, QStringLiteral("れんしゅう中"));
    QCOMPARE(status(0).name, kNames[0]);
    QCOMPARE(status(1).status, QStringLiteral("てが とまっている"));
    QVERIFY(status(2).manyMistakes);
    QCOMPARE(status(9).last, QStringLiteral("さいご 92.4秒"));
    QCOMPARE(status(4).status, QStringLiteral("おわり"));
    QCOMPARE(status(5).status, QStringLiteral("れんらくが ありません"));
    QCOMPARE(status(6).status, QStringLiteral("スタート まえ"));
    screenshot(*page_, QStringLiteral("names"));
}

void LivePageTest::projectorHidesNames() {
    page_->findChild<QPushButton*>(QStringLiteral("cmdProjector"))->click();
    QVERIFY(page_->board()->projector());
    const auto& views = page_->board()->views();
    QCOMPARE(views.size(), kNames.size());
    for (const TileView& v : views) {
        QVERIFY2(v.name.endsWith(QStringLiteral("番")), qPrintable(v.name));
        QVERIFY(!kNames.contains(v.name));
    }
    screenshot(*page_, QStringLiteral("projector"));
}

void LivePageTest::aChangeRepaintsItsTileOnly() {
    QTest::qWait(50); // the first paint is over
    QSignalSpy painted(page_->board(), &TileBoard::painted);
    Record r = report(2, Event::Progress, 600);
    r.running = true;
    r.lastInput = r.time;
    r.figures.keystrokes = 200;
    r.figures.accuracy = 97;
    page_->apply(r);
    QTRY_VERIFY(!painted.isEmpty());
    QTest::qWait(20);
    QStringList keys;
    for (const QList<QVariant>& call : std::as_const(painted))
        keys << call.at(0).toString();
    keys.removeDuplicates();
    QCOMPARE(keys, QStringList{QStringLiteral("halvor_pc03/pc03")});
    QVERIFY(!page_->board()->views().value(keys[0]).manyMistakes);
}

void LivePageTest::lessonSummary() {
    page_->findChild<QPushButton*>(QStringLiteral("cmdSummary"))->click();
    auto* table = page_->findChild<QTableWidget*>(QStringLiteral("tblSummary"));
    QVERIFY(table->isVisible());
    QCOMPARE(table->rowCount(), kNames.size() + 1);
    QCOMPARE(table->item(0, 1)->text(), kNames[0]);
    QCOMPARE(table->item(0, 4)->text(), QStringLiteral("1"));
    QCOMPARE(table->item(0, 5)->text(), QStringLiteral("風車 レベル3 151回／分  ミス 3"));
    QCOMPARE(table->item(kNames.size(), 2)->text(), QStringLiteral("—"));
    screenshot(*page_, QStringLiteral("summary"));
    page_->setProjector(true);
    QVERIFY(table->isColumnHidden(1));
    screenshot(*page_, QStringLiteral("summary_projector"));
}

QTEST_MAIN(LivePageTest)
#include "tst_live_page.moc"
