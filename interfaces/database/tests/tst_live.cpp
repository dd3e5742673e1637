// Presence on a real server: a program's reporter and a viewer's listener, the rows a late viewer reads,
// the runs that land, and announcements sent by someone else.
#include "DbTestKit.h"
#include "Live.h"
#include "SaveSequences.h"
#include "Server.h"
#include "StallingProxy.h"

#include <QProcess>
#include <QTcpServer>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

#include <mutex>

using namespace dbtest;
using halvor::presence::Event;
using halvor::presence::Record;

namespace {

// What a listener heard, from its thread.
class Heard {
public:
    halvor::db::LiveListener::Callbacks callbacks() {
        return {[this](const Record& r) {
                    const std::lock_guard lock(m_mutex);
                    m_records << r;
                },
                [this](halvor::db::Problem p, qint64) {
                    const std::lock_guard lock(m_mutex);
                    m_states << p;
                }};
    }
    QList<Record> records() const {
        const std::lock_guard lock(m_mutex);
        return m_records;
    }
    QList<halvor::db::Problem> states() const {
        const std::lock_guard lock(m_mutex);
        return m_states;
    }
    // The last record of this event, once heard.
    std::optional<Record> last(Event event) const {
        const std::lock_guard lock(m_mutex);
        for (qsizetype i = m_records.size() - 1; i >= 0; --i) {
            if (m_records[i].event == event)
                return m_records[i];
        }
        return std::nullopt;
    }
    bool hearing() const { return states().contains(halvor::db::Problem::None); }

private:
    mutable std::mutex m_mutex;
    QList<Record> m_records;
    QList<halvor::db::Problem> m_states;
};

constexpr halvor::presence::Timing kQuick{50, 200, 500};
// A connection refused on a busy machine keeps the server taken as away for ten seconds, then it is made;
// under the suite's full load a connection has also been seen to take half a minute to be made.
constexpr int kConnectMs = 45000;

} // namespace

class TestLive : public QObject {
    Q_OBJECT

private slots:
    void init();

    void aProgramIsHeardFromOpenToClose();
    void aLandedRunIsHeardWithItsFigures_data();
    void aLandedRunIsHeardWithItsFigures();
    void aLateViewerReadsTheRowsAndAnnouncementsForgeNothing();
    void aServerAwayIsToldAndNothingWaits();
    void anEndWaitsForNoServer_data();
    void anEndWaitsForNoServer();

private:
    QString m_uri;
};

void TestLive::init() {
    const QString admin = qEnvironmentVariable("HALVOR_TEST_PG");
    QVERIFY2(!admin.isEmpty(), "HALVOR_TEST_PG names the test server (CTest starts it)");
    m_uri = freshServerDatabase(admin);
    QVERIFY(PgAdmin(m_uri, databaseOf(m_uri)).exec(halvor::db::serverSchemaScript()));
    qputenv("HALVOR_LEARNER", "ゆき");
}

void TestLive::aProgramIsHeardFromOpenToClose() {
    Heard heard;
    halvor::db::LiveListener listener(m_uri, heard.callbacks());
    QTRY_VERIFY(heard.hearing());
    halvor::SystemClock clock;
    halvor::presence::Reporter reporter(clock, halvor::db::presenceTransport(m_uri), kQuick);
    reporter.open("ゆき", "pc-7", "Pelvoran12", "LEVEL3");
    QTRY_VERIFY_WITH_TIMEOUT(heard.last(Event::Open), kConnectMs);
    reporter.runStarted();
    reporter.input();
    halvor::presence::Figures figures;
    figures.speed = 120;
    figures.accuracy = 75;
    figures.keystrokes = 40;
    reporter.progress(figures);
    QTRY_VERIFY(heard.last(Event::Progress) && heard.last(Event::Progress)->figures == figures);
    const Record going = *heard.last(Event::Progress);
    QCOMPARE(going.learner, QString("ゆき"));
    QCOMPARE(going.computer, QString("pc-7"));
    QCOMPARE(going.login, QString("postgres"));
    QCOMPARE(going.course, QString("LEVEL3"));
    QVERIFY(going.running);
    QVERIFY(going.lastInput.isValid() && going.lastInput >= going.started);
    // The program's start, measured again at each report, stays where it was.
    QCOMPARE(going.started, heard.last(Event::Open)->started);
    reporter.close(2000);
    QTRY_VERIFY(heard.last(Event::Close));
    QVERIFY(!heard.last(Event::Close)->running);
}

void TestLive::aLandedRunIsHeardWithItsFigures_data() {
    QTest::addColumn<bool>("windmill");
    QTest::addColumn<QString>("program");
    QTest::addColumn<int>("drill");
    QTest::newRow("the windmill") << true << "Pelvoran12" << 12;
    QTest::newRow("the blocks") << false << "Tavrel11" << 11;
}

void TestLive::aLandedRunIsHeardWithItsFigures() {
    QFETCH(bool, windmill);
    QFETCH(QString, program);
    QFETCH(int, drill);
    Heard heard;
    halvor::db::LiveListener listener(m_uri, heard.callbacks());
    QTRY_VERIFY(heard.hearing());
    halvor::SystemClock clock;
    halvor::presence::Reporter reporter(clock, halvor::db::presenceTransport(m_uri), kQuick);
    reporter.open("ゆき", "pc-3", program, "");
    QTRY_VERIFY_WITH_TIMEOUT(heard.last(Event::Open), kConnectMs);

    DB_T_KEY row = runRow<DB_T_KEY>(QDate::currentDate(), drill, 1);
    row.COND1 = "4";
    row.COND1Flag = 1;
    row.Time = 61.5;
    row.TimeFlag = row.result1Flag = row.result3Flag = row.result4Flag = row.ERR1Flag = 1;
    row.result1 = 200;
    row.result3 = 150;
    row.result4 = 10;
    row.ERR1 = "J";
    int saved = 0;
    if (windmill) {
        DB_T_DIGIT digit = runRow<DB_T_DIGIT>(QDate::currentDate(), drill, 1);
        digit.REM = "LEVEL3";
        digit.Time = row.Time;
        digit.result1 = row.result1;
        digit.result3 = row.result3;
        digit.result4 = row.result4;
        digit.ERR1 = row.ERR1;
        digit.TimeFlag = digit.result1Flag = digit.result3Flag = digit.result4Flag = digit.ERR1Flag = 1;
        saved = DB_InsertT_Digit(m_uri, &digit);
    } else {
        saved = DB_InsertT_Key(m_uri, &row);
    }
    QVERIFY(saved);
    QVERIFY2(sendWaitingRuns(m_uri), qPrintable(DB_LastError()));
    QTRY_VERIFY(heard.last(Event::Run));
    const Record run = *heard.last(Event::Run);
    QCOMPARE(run.program, program);
    QCOMPARE(run.course, QString(windmill ? "LEVEL3" : "4"));
    QCOMPARE(run.computer, QString("pc-3")); // where its login reported from
    QCOMPARE(run.learner, QString("ゆき"));
    QCOMPARE(run.drill, drill);
    QCOMPARE(run.round, 1);
    QCOMPARE(run.day, QDate::currentDate());
    QCOMPARE(run.figures.speed, 150.0);
    QCOMPARE(run.figures.keystrokes, 200);
    QCOMPARE(run.figures.errors, 10);
    QCOMPARE(run.figures.accuracy, 95.0);
    QCOMPARE(run.figures.seconds, 61.5);
    QCOMPARE(run.figures.weakest, QString("J"));
    QVERIFY(!run.runId.isEmpty());
    // A viewer that starts later reads the day's runs with the rows when it asks for them.
    for (const bool todays : {false, true}) {
        Heard late;
        halvor::db::LiveListener viewer(m_uri, late.callbacks(), todays);
        QTRY_VERIFY(late.hearing());
        QCOMPARE(late.last(Event::Run).has_value(), todays);
        QCOMPARE(late.last(Event::Run).value_or(Record{}).runId, todays ? run.runId : QString());
    }
}

void TestLive::aLateViewerReadsTheRowsAndAnnouncementsForgeNothing() {
    PgAdmin anyone(m_uri, databaseOf(m_uri));
    QCOMPARE(anyone
                 .value(R"(select halvor_report('{"event": "open", "computer": "pc-1", "learner": "ゆき", )"
                        R"("program": "Tavrel23", "course": "GA", "sinceStartMs": 1000}'))")
                 .toString(),
             QString("ok"));
    Heard heard;
    halvor::db::LiveListener listener(m_uri, heard.callbacks());
    QTRY_VERIFY(heard.hearing());
    QCOMPARE(heard.records().size(), 1);
    QCOMPARE(heard.records().first().course, QString("GA"));

    // Anyone may announce; what is heard is only what the rows say.
    for (const char* payload :
         {R"({"login": "postgres", "computer": "pc-99"})",
          R"({"table": "t_key", "runId": "9b2f7c1e-0000-4000-8000-000000000000"})",
          R"({"table": "pg_authid", "runId": "9b2f7c1e-0000-4000-8000-000000000000"})", "not json at all"})
        QVERIFY(anyone.exec(QStringLiteral("NOTIFY halvor_live, '%1'").arg(QLatin1String(payload))));
    QVERIFY(anyone.exec(R"(NOTIFY halvor_live, '{"login": "postgres", "computer": "pc-1"}')"));
    QTRY_COMPARE(heard.records().size(), 2);
    QCOMPARE(heard.records().last(), heard.records().first()); // the row as it is, nothing else
}

void TestLive::aServerAwayIsToldAndNothingWaits() {
    const QString away = QStringLiteral("postgresql://postgres@/none?host=%1/no-server").arg(scratchBase());
    Heard heard;
    {
        halvor::db::LiveListener listener(away, heard.callbacks());
        QTRY_VERIFY(!heard.states().isEmpty());
        QCOMPARE(heard.states().first(), halvor::db::Problem::Offline);
    }
    halvor::SystemClock clock;
    halvor::presence::Reporter reporter(clock, halvor::db::presenceTransport(away), kQuick);
    reporter.open("ゆき", "pc-1", "Tavrel23", "GA");
    QTRY_COMPARE(reporter.failed(), 1);
    reporter.input(); // nothing is queued: the next try comes after the retry wait, with the state then
    QTest::qWait(200);
    QCOMPARE(reporter.failed(), 1);
}

void TestLive::anEndWaitsForNoServer_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("ending");
    for (const char* server : {"never answers", "stalls after login"}) {
        for (const char* ending : {"a program", "a viewer", "exit()"})
            QTest::addRow("a server that %s, %s", server, ending) << server << ending;
    }
    QTest::newRow("a server that answers, exit()") << "answers"
                                                   << "exit()";
}

// A program or a viewer that ends while its connection is being made or its round trip stalls does not wait
// for the connection's own bounds (seconds): what runs is cut off at once. A process that ends by exit()
// (no destructor runs then, and Qt SQL's globals go) stops its threads first, and still says it ended; where
// the server answers, its saves' threads end side by side with its presence's.
void TestLive::anEndWaitsForNoServer() {
    QFETCH(QString, server);
    QFETCH(QString, ending);
    QTcpServer silent; // takes connections (the system does) and never says a word
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const QString host =
        QUrlQuery(QUrl(qEnvironmentVariable("HALVOR_TEST_PG")).query()).queryItemValue("host");
    StallingProxy proxy(host);
    proxy.setStalling(true);
    const QString uri =
        server == "answers"
            ? m_uri
            : QStringLiteral("postgresql://postgres@127.0.0.1:%1/%2?sslmode=disable&gssencmode=disable")
                  .arg(server == "stalls after login" ? proxy.port() : silent.serverPort())
                  .arg(databaseOf(m_uri));
    Heard heard;
    Heard watching;
    halvor::db::LiveListener watcher(m_uri, watching.callbacks());
    halvor::SystemClock clock;
    auto viewer =
        ending == "a viewer" ? std::make_unique<halvor::db::LiveListener>(uri, heard.callbacks()) : nullptr;
    auto program =
        ending == "a program"
            ? std::make_unique<halvor::presence::Reporter>(clock, halvor::db::presenceTransport(uri), kQuick)
            : nullptr;
    if (program)
        program->open("ゆき", "pc-9", "Pelvoran12", "LEVEL1");
    QProcess process;
    if (ending == "exit()") {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HALVOR_DATABASE"), uri);
        process.setProcessEnvironment(environment);
        QStringList arguments{QStringLiteral("live")};
        if (server == "answers")
            arguments << QStringLiteral("save");
        process.start(QStringLiteral(HALVOR_PROGRAM_START), arguments);
        QVERIFY(process.waitForStarted());
    }
    if (server == "answers")
        QTRY_VERIFY_WITH_TIMEOUT(watching.last(Event::Open), kConnectMs);
    else
        QTest::qWait(500); // well inside the connection's bounds
    QElapsedTimer ended;
    ended.start();
    viewer.reset();
    program.reset();
    if (ending == "exit()") {
        process.write("\n");
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        const QString said = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(!said.contains("Sanitizer") && !said.contains("runtime error"), qPrintable(said));
    }
    QVERIFY2(ended.elapsed() < 2500, qPrintable(QString::number(ended.elapsed())));
    QVERIFY(heard.records().isEmpty());
    if (server == "answers")
        QTRY_VERIFY(watching.last(Event::Close));
}

QTEST_GUILESS_MAIN(TestLive)
#include "tst_live.moc"
