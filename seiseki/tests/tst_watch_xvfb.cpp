// The classroom watched for real: `Seiseki --watch` against a throwaway server while real drills run on an X
// server, typed into with xdotool, pause, end, or are killed.
#include "DbTestKit.h"
#include "LessonProcessDriver.h"
#include "LiveClass.h"
#include "Presence.h"
#include "Reporter.h"

#include <QProcess>
#include <QtTest>

using halvor::presence::Event;
using halvor::presence::Record;

namespace {

// `Seiseki --watch` running, its lines read as records, each with the moment it was read.
class Watch {
public:
    bool start() {
        process_.setProgram(qEnvironmentVariable("HALVOR_BIN") + QStringLiteral("/Seiseki"));
        process_.setArguments({QStringLiteral("--watch")});
        process_.start();
        return process_.waitForStarted();
    }
    ~Watch() {
        process_.kill();
        process_.waitForFinished();
    }
    // The first record after `from` that `match` accepts, read within `timeoutMs`.
    std::optional<std::pair<Record, QDateTime>> next(const std::function<bool(const Record&)>& match,
                                                     int timeoutMs = 10000) {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            for (; seen_ < lines_.size(); ++seen_) {
                if (match(lines_[seen_].first))
                    return lines_[seen_++];
            }
            if (waited.elapsed() > timeoutMs || process_.state() == QProcess::NotRunning)
                return std::nullopt;
            process_.waitForReadyRead(100);
            while (process_.canReadLine()) {
                const QByteArray line = process_.readLine().trimmed();
                QString why;
                const auto r = Record::fromJson(line, &why);
                if (r)
                    lines_.append({*r, QDateTime::currentDateTimeUtc()});
                else
                    qWarning() << "not a record:" << line << why;
            }
        }
    }

private:
    QProcess process_;
    QList<std::pair<Record, QDateTime>> lines_;
    qsizetype seen_ = 0;
};

std::function<bool(const Record&)> is(Event event, const QString& program) {
    return [event, program](const Record& r) { return r.event == event && r.program == program; };
}

// A first report refused on a busy machine is tried again after the retry wait.
const int kFirstReportMs = int(halvor::presence::Timing{}.retryMs) + 15000;

bool pressEnter() {
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")}) ==
           0;
}

} // namespace

class WatchTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void aDrillIsWatchedFromItsStartToItsLandedRunAndItsEnd();
    void aKilledDrillGoesStale();
};

void WatchTest::initTestCase() {
    const QString admin = qEnvironmentVariable("HALVOR_TEST_PG");
    QVERIFY2(!admin.isEmpty(), "HALVOR_TEST_PG names the test server (CTest starts it)");
    qputenv("HALVOR_DATABASE", dbtest::freshServerDatabase(admin).toUtf8());
    qputenv("HALVOR_LEARNER", "ゆき");
}

void WatchTest::aDrillIsWatchedFromItsStartToItsLandedRunAndItsEnd() {
    Watch watch;
    QVERIFY(watch.start());
    const QString caption = QStringLiteral("ひらがなローマ字入力");
    LessonProcessDriver drill;
    QVERIFY(drill.start(QStringLiteral("Tavrel23"), caption));
    const auto open = watch.next(is(Event::Open, "Tavrel23"), kFirstReportMs);
    QVERIFY(open);
    QCOMPARE(open->first.learner, QString("ゆき"));
    QVERIFY(!open->first.computer.isEmpty());

    QVERIFY(drill.click(QPoint(560, 496))); // 開始
    QVERIFY(drill.type(QStringLiteral("aiu")));
    // Hands off the keys: the next sign of life still says when the last key was, so a viewer sees the
    // learner stuck once the bound has passed.
    const auto quiet = watch.next(
        [](const Record& r) {
            return r.program == "Tavrel23" && r.running && r.lastInput.isValid() &&
                   r.lastInput.secsTo(r.time) >= 10;
        },
        2 * int(halvor::presence::Timing{}.heartbeatMs) + 10000);
    QVERIFY(quiet);
    seiseki::LiveClass live;
    const QString key = live.apply(quiet->first, quiet->first.time);
    QCOMPARE(live.state(*live.tile(key), quiet->first.lastInput.addSecs(29)), seiseki::TileState::Practising);
    QCOMPARE(live.state(*live.tile(key), quiet->first.lastInput.addSecs(31)), seiseki::TileState::Idle);
    QVERIFY(drill.type(QStringLiteral("eo")));
    QVERIFY(pressEnter());
    for (const char* line : {"kakikukeko", "sasisuseso", "tatituteto", "naninuneno", "hahihuheho",
                             "mamimumemo", "yayuyo", "rarirurero", "wawiwewo", "nn"}) {
        QVERIFY(drill.type(QString::fromLatin1(line)));
        QVERIFY(pressEnter());
    }
    const auto finish = watch.next(is(Event::Finish, "Tavrel23"));
    QVERIFY(finish);
    QVERIFY(finish->first.figures.seconds.has_value());
    QVERIFY(finish->first.lastInput.isValid());
    const auto run = watch.next(is(Event::Run, "Tavrel23"));
    QVERIFY(run);
    QCOMPARE(run->first.course, QString("AI"));
    QCOMPARE(run->first.computer, open->first.computer);
    QCOMPARE(run->first.round, 1);
    // The server and this test share a clock: from the run's arrival to its line being read.
    qInfo("run landed -> watch line read: %lld ms", run->first.time.msecsTo(run->second));

    // The run lands a moment before the window tells of the save; an Enter before the message shows would
    // not close it, and it would hold the window.
    QVERIFY(drill.waitForWindows(caption, 2));
    QVERIFY(pressEnter()); // closes "結果を保存しました。"
    QVERIFY(drill.waitForWindows(caption, 1));
    QVERIFY(drill.click(QPoint(660, 513))); // 終了
    const auto close = watch.next(is(Event::Close, "Tavrel23"));
    QVERIFY(close);
    QVERIFY(!close->first.running);
}

void WatchTest::aKilledDrillGoesStale() {
    Watch watch;
    QVERIFY(watch.start());
    QProcess windmill;
    windmill.start(qEnvironmentVariable("HALVOR_BIN") + QStringLiteral("/Pelvoran12"), {});
    QVERIFY(windmill.waitForStarted());
    QVERIFY(watch.next(is(Event::Open, "Pelvoran12"), kFirstReportMs));
    windmill.kill();
    QVERIFY(windmill.waitForFinished());
    // No end is told; after three signs of life missed, the watch says the computer went silent.
    const auto stale =
        watch.next([](const Record& r) { return r.event == Event::Stale || r.event == Event::Close; },
                   int(halvor::presence::kStaleMs) + 20000);
    QVERIFY(stale);
    QCOMPARE(stale->first.event, Event::Stale);
    QCOMPARE(stale->first.program, QString("Pelvoran12"));
}

QTEST_MAIN(WatchTest)
#include "tst_watch_xvfb.moc"
