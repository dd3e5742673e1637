// The presence records on the wire, the names a teacher reads, when reports are due, and the reporter's
// thread: the window never waits for the server, and nothing piles up while it is away.
#include "Presence.h"
#include "PresenceDoubles.h"
#include "Reporter.h"
#include "TestDoubles.h"

#include <QJsonDocument>
#include <QtTest>

using namespace halvor::presence;
using presencetest::await;
using presencetest::events;
using presencetest::FakeTransport;

namespace {

Record presenceRecord() {
    Record r;
    r.event = Event::Progress;
    r.time = QDateTime(QDate(2026, 5, 14), QTime(10, 3, 4, 500), Qt::OffsetFromUTC, 9 * 3600);
    r.learner = QStringLiteral("田中 はると");
    r.login = QStringLiteral("halvor_pc07");
    r.computer = QStringLiteral("pc07");
    r.program = QStringLiteral("Pelvoran12");
    r.course = QStringLiteral("LEVEL3");
    r.started = r.time.addSecs(-300);
    r.lastInput = r.time.addMSecs(-1200);
    r.running = true;
    r.figures.speed = 123.5;
    r.figures.accuracy = 96.25;
    r.figures.keystrokes = 80;
    r.figures.errors = 3;
    r.figures.seconds = 41;
    return r;
}

Record runRecord() {
    Record r;
    r.event = Event::Run;
    r.time = QDateTime(QDate(2026, 5, 14), QTime(10, 5), Qt::UTC);
    r.learner = QStringLiteral("Bob");
    r.computer = QStringLiteral("halvor_pc03@10.0.0.3");
    r.program = QStringLiteral("Tavrel23");
    r.course = QStringLiteral("GA");
    r.figures.seconds = 85.5;
    r.figures.weakest = QStringLiteral("ぢ");
    r.drill = 23;
    r.day = QDate(2026, 5, 14);
    r.round = 4;
    r.runId = QStringLiteral("{5b1e0b3c-6a7d-4a58-9a4e-0f1d1c2b3a49}");
    return r;
}

} // namespace

Q_DECLARE_METATYPE(Record)

class PresenceTest : public QObject {
    Q_OBJECT
private slots:
    void recordsSurviveTheWire_data();
    void recordsSurviveTheWire();
    void wireFieldsThatCannotBeTrusted_data();
    void wireFieldsThatCannotBeTrusted();
    void names_data();
    void names();
    void schedule_data();
    void schedule();
    void changesInKindGoAtOnce_data();
    void changesInKindGoAtOnce();
    void windowNeverWaitsAndTheLatestStateGoes();
    void nothingQueuedWhileTheServerIsAway();
    void finishedRunGoesBeforeTheNextStart();
    void closeIsSentOrGivenUpWithinItsBound_data();
    void closeIsSentOrGivenUpWithinItsBound();
};

void PresenceTest::recordsSurviveTheWire_data() {
    QTest::addColumn<Record>("record");
    QTest::newRow("a computer's progress") << presenceRecord();
    QTest::newRow("a run that landed") << runRecord();
    Record bare;
    bare.event = Event::Close;
    bare.computer = QStringLiteral("pc01");
    QTest::newRow("a close with nothing else") << bare;
}

void PresenceTest::recordsSurviveTheWire() {
    QFETCH(Record, record);
    const QByteArray line = record.toJsonLine();
    QVERIFY(!line.contains('\n'));
    QString why;
    const std::optional<Record> back = Record::fromJson(line, &why);
    QVERIFY2(back, qPrintable(why));
    QCOMPARE(back->toJsonLine(), line);
    QCOMPARE(back->time, record.time);
    QVERIFY(*back == record);
    // Every key is there, whatever the event, so a school's script can read each line alike.
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    QCOMPARE(object.keys(), presenceRecord().toJson().keys());
}

void PresenceTest::wireFieldsThatCannotBeTrusted_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("seen"); // the record as read back, in a few fields
    const QString base = QStringLiteral("learner=A computer=pc1 speed=- accuracy=- keystrokes=- weakest=");
    QTest::newRow("plain") << QByteArray(R"({"event":"progress","computer":"pc1","learner":"A","speed":120,)"
                                         R"("accuracy":95,"keystrokes":40})")
                           << true
                           << QStringLiteral("learner=A computer=pc1 speed=120 accuracy=95 "
                                             "keystrokes=40 weakest=");
    QTest::newRow("figures out of range or of the wrong type")
        << QByteArray(R"({"event":"progress","computer":"pc1","learner":"A","speed":1e300,)"
                      R"("accuracy":"95","keystrokes":2.5,"weakest":7})")
        << true << base;
    QTest::newRow("negative figures") << QByteArray(R"({"event":"progress","computer":"pc1","learner":"A",)"
                                                    R"("speed":-1,"accuracy":-0.5,"keystrokes":-3})")
                                      << true << base;
    QTest::newRow("a name too long or with a line break")
        << QByteArray(R"({"event":"progress","computer":"pc1","learner":"A\nB","weakest":")" +
                      QByteArray(40, 'x') + R"("})")
        << true << QStringLiteral("learner= computer=pc1 speed=- accuracy=- keystrokes=- weakest=");
    QTest::newRow("no computer") << QByteArray(R"({"event":"progress","learner":"A"})") << false << QString();
    QTest::newRow("an unknown event")
        << QByteArray(R"({"event":"drop table","computer":"pc1"})") << false << QString();
    QTest::newRow("not an object") << QByteArray(R"(["progress"])") << false << QString();
    QTest::newRow("not JSON") << QByteArray("progress pc1") << false << QString();
}

void PresenceTest::wireFieldsThatCannotBeTrusted() {
    QFETCH(QByteArray, json);
    QFETCH(bool, accepted);
    QFETCH(QString, seen);
    QString why;
    const std::optional<Record> r = Record::fromJson(json, &why);
    QCOMPARE(bool(r), accepted);
    if (!r) {
        QVERIFY(!why.isEmpty());
        return;
    }
    const auto shown = [](const auto& v) { return v ? QString::number(*v) : QStringLiteral("-"); };
    QCOMPARE(QStringLiteral("learner=%1 computer=%2 speed=%3 accuracy=%4 keystrokes=%5 weakest=%6")
                 .arg(r->learner, r->computer, shown(r->figures.speed), shown(r->figures.accuracy),
                      shown(r->figures.keystrokes), r->figures.weakest),
             seen);
}

void PresenceTest::names_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("course");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("courseText");
    QTest::newRow("windmill") << "Pelvoran12"
                              << "LEVEL3"
                              << "風車"
                              << "レベル3";
    QTest::newRow("windmill, no such level") << "Pelvoran12"
                                             << "LEVEL9"
                                             << "風車"
                                             << "LEVEL9";
    QTest::newRow("blocks") << "Tavrel11"
                            << "4"
                            << "ブロック"
                            << "4文字";
    QTest::newRow("hiragana") << "Tavrel23"
                              << "GA"
                              << "ひらがな"
                              << "濁音";
    QTest::newRow("hiragana, a kind to come") << "Tavrel23"
                                              << "XX"
                                              << "ひらがな"
                                              << "XX";
    QTest::newRow("keyboard lesson") << "Pelvoran11"
                                     << "P5"
                                     << "キーボード"
                                     << "5ページ";
    QTest::newRow("mouse lesson") << "Sorvanel11"
                                  << "P2"
                                  << "マウス"
                                  << "2ページ";
    QTest::newRow("unknown program") << "Other"
                                     << "P2"
                                     << "Other"
                                     << "P2";
}

void PresenceTest::names() {
    QFETCH(QString, program);
    QFETCH(QString, course);
    QFETCH(QString, title);
    QFETCH(QString, courseText);
    QCOMPARE(programTitle(program), title);
    QCOMPARE(courseName(program, course), courseText);
    QCOMPARE(shorterIsBetter(program), program == QLatin1String("Tavrel23"));
    // The programs of the runs that land on the server are named by their table and drill number.
    QCOMPARE(programOfRun(QStringLiteral("t_digit"), 12), QStringLiteral("Pelvoran12"));
    QCOMPARE(programOfRun(QStringLiteral("t_key"), 12), QStringLiteral("Tavrel11"));
    QCOMPARE(programOfRun(QStringLiteral("t_key"), 23), QStringLiteral("Tavrel23"));
    QCOMPARE(programOfRun(QStringLiteral("t_digit"), 23), QString());
}

void PresenceTest::schedule_data() {
    // Steps "what@ms": change (something new), urgent, take (a report taken), ok / away (the server's
    // answer); after each step the milliseconds until the next report is due, -1 for none.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<qint64>>("due");
    QTest::newRow("the first report goes at once")
        << QStringList{"change@0", "take@0", "ok@0"} << QList<qint64>{0, 20000, 20000};
    QTest::newRow("typing: at most every twenty seconds")
        << QStringList{"change@0", "take@0", "ok@10", "change@1000", "change@4000", "take@20000", "ok@20000"}
        << QList<qint64>{0, 20000, 19990, 19000, 16000, 20000, 20000};
    QTest::newRow("a sign of life when nothing changes")
        << QStringList{"change@0", "take@0", "ok@0", "ok@19000", "ok@20000", "take@20000"}
        << QList<qint64>{0, 20000, 20000, 1000, 0, 20000};
    QTest::newRow("a finished run goes at once")
        << QStringList{"change@0", "take@0", "ok@0", "change@1000", "urgent@1200"}
        << QList<qint64>{0, 20000, 20000, 19000, 0};
    QTest::newRow("away: the next try after the retry, whatever changed")
        << QStringList{"change@0", "take@0", "away@3000", "change@4000", "urgent@5000", "take@30000"}
        << QList<qint64>{0, 20000, 27000, 26000, 25000, 30000};
    QTest::newRow("back again: the usual pace")
        << QStringList{"change@0", "take@0", "away@0", "take@30000", "ok@30000", "change@31000"}
        << QList<qint64>{0, 20000, 30000, 30000, 20000, 19000};
}

void PresenceTest::schedule() {
    QFETCH(QStringList, steps);
    QFETCH(QList<qint64>, due);
    Schedule s;
    // Before anything changed nothing is due, so a program with nothing to say never reports.
    QCOMPARE(s.dueIn(0), qint64(-1));
    for (int i = 0; i < steps.size(); ++i) {
        const QString what = steps[i].section(QLatin1Char('@'), 0, 0);
        const qint64 at = steps[i].section(QLatin1Char('@'), 1).toLongLong();
        if (what == QLatin1String("change") || what == QLatin1String("urgent"))
            s.changed(what == QLatin1String("urgent"));
        else if (what == QLatin1String("take"))
            s.taken(at);
        else
            s.answered(what == QLatin1String("ok"));
        QVERIFY2(s.dueIn(at) == due[i], qPrintable(QStringLiteral("after %1: due in %2, expected %3")
                                                       .arg(steps[i])
                                                       .arg(s.dueIn(at))
                                                       .arg(due[i])));
    }
}

void PresenceTest::changesInKindGoAtOnce_data() {
    // What the window's thread does, and whether it goes at once while a run's figures wait a minute.
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("atOnce");
    QTest::newRow("a run starts") << "start" << true;
    QTest::newRow("a run is dropped") << "stop" << true;
    QTest::newRow("a run finishes") << "finish" << true;
    QTest::newRow("keys after a pause") << "back" << true;
    QTest::newRow("keys while typing") << "key" << false;
    QTest::newRow("a run's figures") << "figures" << false;
}

void PresenceTest::changesInKindGoAtOnce() {
    QFETCH(QString, change);
    QFETCH(bool, atOnce);
    auto shared = std::make_shared<FakeTransport::Shared>();
    halvor::SystemClock clock;
    Reporter reporter(clock, std::make_unique<FakeTransport>(shared), Timing{60000, 60000, 60000, 1500});
    reporter.open(QStringLiteral("A"), QStringLiteral("pc1"), QStringLiteral("Pelvoran12"),
                  QStringLiteral("LEVEL1"));
    if (change == "stop" || change == "finish")
        reporter.runStarted();
    reporter.input();
    QVERIFY(await(*shared, [&] { return !shared->reports.isEmpty(); }));
    QTest::qWait(change == "back" ? 1700 : 200); // what was due went (and for "back", a pause)
    const qsizetype before = [&] {
        const std::lock_guard lock(shared->mutex);
        return shared->reports.size();
    }();
    Figures f;
    f.keystrokes = 9;
    if (change == "start")
        reporter.runStarted();
    else if (change == "stop")
        reporter.runStopped();
    else if (change == "finish")
        reporter.runFinished(f);
    else if (change == "figures")
        reporter.progress(f);
    else
        reporter.input();
    if (atOnce) {
        QVERIFY(await(*shared, [&] { return shared->reports.size() > before; }));
    } else {
        QTest::qWait(300);
        const std::lock_guard lock(shared->mutex);
        QCOMPARE(shared->reports.size(), before);
    }
}

void PresenceTest::windowNeverWaitsAndTheLatestStateGoes() {
    auto shared = std::make_shared<FakeTransport::Shared>();
    shared->hold = true;
    halvor::SystemClock clock;
    Reporter reporter(clock, std::make_unique<FakeTransport>(shared), Timing{20, 1000, 1000});
    reporter.open(QStringLiteral("A"), QStringLiteral("pc1"), QStringLiteral("Pelvoran12"),
                  QStringLiteral("LEVEL1"));
    QVERIFY(await(*shared, [&] { return shared->waiting == 1; }));
    // The server holds the first report; the window goes on changing the state without waiting.
    reporter.runStarted();
    for (int k = 1; k <= 500; ++k) {
        reporter.input();
        Figures f;
        f.keystrokes = k;
        reporter.progress(f);
    }
    {
        const std::lock_guard lock(shared->mutex);
        shared->hold = false;
        shared->changed.notify_all();
    }
    QVERIFY(await(*shared, [&] { return shared->reports.size() >= 2; }));
    const std::lock_guard lock(shared->mutex);
    QCOMPARE(events(shared->reports.mid(0, 2)), QStringLiteral("open start"));
    QCOMPARE(shared->reports[1].figures.keystrokes, std::optional<int>(500));
    QVERIFY(shared->reports[1].running);
    QVERIFY(shared->reports[1].sinceInputMs.has_value());
}

void PresenceTest::nothingQueuedWhileTheServerIsAway() {
    auto shared = std::make_shared<FakeTransport::Shared>();
    shared->fail = true;
    halvor::SystemClock clock;
    Reporter reporter(clock, std::make_unique<FakeTransport>(shared), Timing{1, 10000, 500});
    reporter.open(QStringLiteral("A"), QStringLiteral("pc1"), QStringLiteral("Tavrel11"),
                  QStringLiteral("2"));
    QTRY_COMPARE(reporter.failed(), 1);
    reporter.runStarted();
    for (int k = 1; k <= 50; ++k) {
        Figures f;
        f.keystrokes = k;
        reporter.progress(f);
    }
    Figures done;
    done.keystrokes = 60;
    reporter.runFinished(done);
    {
        const std::lock_guard lock(shared->mutex);
        shared->fail = false;
    }
    // At the next try only the state as it is then goes: one report, the finished run.
    QTRY_COMPARE(reporter.sent(), 1);
    QCOMPARE(reporter.failed(), 1);
    const std::lock_guard lock(shared->mutex);
    QCOMPARE(events(shared->reports), QStringLiteral("finish"));
    QCOMPARE(shared->reports[0].figures.keystrokes, std::optional<int>(60));
}

void PresenceTest::finishedRunGoesBeforeTheNextStart() {
    auto shared = std::make_shared<FakeTransport::Shared>();
    halvor::SystemClock clock;
    Reporter reporter(clock, std::make_unique<FakeTransport>(shared), Timing{1, 10000, 10000});
    reporter.open(QStringLiteral("A"), QStringLiteral("pc1"), QStringLiteral("Tavrel11"),
                  QStringLiteral("2"));
    QVERIFY(await(*shared, [&] { return shared->reports.size() == 1; }));
    {
        const std::lock_guard lock(shared->mutex);
        shared->hold = true;
    }
    reporter.runStarted();
    QVERIFY(await(*shared, [&] { return shared->waiting == 1; }));
    Figures result;
    result.speed = 140;
    reporter.runFinished(result);
    reporter.runStarted(); // the learner starts again before the finished run is out
    {
        const std::lock_guard lock(shared->mutex);
        shared->hold = false;
        shared->changed.notify_all();
    }
    QVERIFY(await(*shared, [&] { return shared->reports.size() == 4; }));
    const std::lock_guard lock(shared->mutex);
    QCOMPARE(events(shared->reports), QStringLiteral("open start finish start"));
    QCOMPARE(shared->reports[2].figures.speed, std::optional<double>(140));
    QVERIFY(!shared->reports[2].running);
    QVERIFY(shared->reports[3].figures.empty());
}

void PresenceTest::closeIsSentOrGivenUpWithinItsBound_data() {
    QTest::addColumn<bool>("serverStalls");
    QTest::addColumn<bool>("deaf");
    QTest::newRow("the server answers") << false << false;
    QTest::newRow("the server stalls") << true << false;
    QTest::newRow("the send does not end when cut off") << true << true;
}

void PresenceTest::closeIsSentOrGivenUpWithinItsBound() {
    QFETCH(bool, serverStalls);
    QFETCH(bool, deaf);
    auto shared = std::make_shared<FakeTransport::Shared>();
    halvor::SystemClock clock;
    auto reporter = std::make_unique<Reporter>(clock, std::make_unique<FakeTransport>(shared));
    reporter->open(QStringLiteral("A"), QStringLiteral("pc1"), QStringLiteral("Tavrel23"),
                   QStringLiteral("AI"));
    QVERIFY(await(*shared, [&] { return shared->reports.size() == 1; }));
    {
        const std::lock_guard lock(shared->mutex);
        shared->hold = serverStalls;
        shared->deaf = deaf;
    }
    reporter.reset(); // the program ends; a stalled send is interrupted, or left behind, so this returns
    std::unique_lock lock(shared->mutex);
    QCOMPARE(events(shared->reports), serverStalls ? QStringLiteral("open") : QStringLiteral("open close"));
    QCOMPARE(shared->interrupted, serverStalls);
    QCOMPARE(shared->waiting, deaf ? 1 : 0);
    // The send left behind returns at last, to a thread that only ends.
    shared->hold = false;
    shared->changed.notify_all();
    QVERIFY(shared->changed.wait_for(lock, std::chrono::seconds(5), [&] { return shared->waiting == 0; }));
    QCOMPARE(events(shared->reports), serverStalls ? QStringLiteral("open") : QStringLiteral("open close"));
}

QTEST_APPLESS_MAIN(PresenceTest)
#include "tst_presence.moc"
