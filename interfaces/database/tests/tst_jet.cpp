// The drills' clause and statement texts as SQLite receives them, and what the adapter refuses.
#include "Database.h"
#include "SqlText.h"

#include <QTest>

class TestJet : public QObject {
    Q_OBJECT
private slots:
    void translatesTheDrillsTexts_data();
    void translatesTheDrillsTexts();
    void leavesQuotedTextAndInvalidDatesAlone_data();
    void leavesQuotedTextAndInvalidDatesAlone();
    void acceptsTheDrillsClauses_data();
    void acceptsTheDrillsClauses();
    void refusesClausesBeyondOneSelect_data();
    void refusesClausesBeyondOneSelect();
    void checksWholeStatements_data();
    void checksWholeStatements();
    void joinsPathsWithOneSeparator_data();
    void joinsPathsWithOneSeparator();
    void defaultPathFollowsTheEnvironment();
};

void TestJet::translatesTheDrillsTexts_data() {
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("sqlite");
    QTest::addColumn<QString>("postgres");
    QTest::newRow("windmill save")
        << " where [Y4mmdd] = #2026/12/07# and [Pelvoran] = 12 order by [round] desc"
        << " where [Y4mmdd] = '2026-12-07' and [Pelvoran] = 12 order by [round] desc"
        << " where \"y4mmdd\" = '2026-12-07' and \"pelvoran\" = 12 order by \"round\" desc";
    QTest::newRow("windmill chart") << " where [Pelvoran] = 12 order by [Y4mmdd] , [round]"
                                    << " where [Pelvoran] = 12 order by [Y4mmdd] , [round]"
                                    << " where \"pelvoran\" = 12 order by \"y4mmdd\" , \"round\"";
    QTest::newRow("blocks save")
        << " where [Y4mmdd] = #2026/01/05# and [Tavrel] = 11 order by [round] desc"
        << " where [Y4mmdd] = '2026-01-05' and [Tavrel] = 11 order by [round] desc"
        << " where \"y4mmdd\" = '2026-01-05' and \"tavrel\" = 11 order by \"round\" desc";
    QTest::newRow("blocks chart")
        << " where [Tavrel] in (11,12) order by [Y4mmdd] , [round] , [Tavrel]"
        << " where [Tavrel] in (11,12) order by [Y4mmdd] , [round] , [Tavrel]"
        << " where \"tavrel\" in (11,12) order by \"y4mmdd\" , \"round\" , \"tavrel\"";
    QTest::newRow("hiragana count")
        << "select * from [T_Key] where [Y4mmdd] = #2004/11/29# and [tavrel]= 23 and [COND1] = 'GA'"
        << "select * from [T_Key] where [Y4mmdd] = '2004-11-29' and [tavrel]= 23 and [COND1] = 'GA'"
        << "select * from \"t_key\" where \"y4mmdd\" = '2004-11-29' and \"tavrel\"= 23 and \"cond1\" = 'GA'";
    QTest::newRow("hiragana chart")
        << "select * from [T_Key]  where [Tavrel] = 23 order by [Y4mmdd] , [round]"
        << "select * from [T_Key]  where [Tavrel] = 23 order by [Y4mmdd] , [round]"
        << "select * from \"t_key\"  where \"tavrel\" = 23 order by \"y4mmdd\" , \"round\"";
    QTest::newRow("short month and day") << "[Y4mmdd] = #2026/1/7#"
                                         << "[Y4mmdd] = '2026-01-07'"
                                         << "\"y4mmdd\" = '2026-01-07'";
    QTest::newRow("two dates") << "[Y4mmdd] between #2026/12/01# and #2026/12/31#"
                               << "[Y4mmdd] between '2026-12-01' and '2026-12-31'"
                               << "\"y4mmdd\" between '2026-12-01' and '2026-12-31'";
    QTest::newRow("leap day") << "#2028/02/29#"
                              << "'2028-02-29'"
                              << "'2028-02-29'";
    QTest::newRow("a keyword as a name, a value in quotes") << "[Time] > 3 and [REM] = 'It''s [Time]'"
                                                            << "[Time] > 3 and [REM] = 'It''s [Time]'"
                                                            << "\"time\" > 3 and \"rem\" = 'It''s [Time]'";
}

void TestJet::translatesTheDrillsTexts() {
    QFETCH(QString, jet);
    QFETCH(QString, sqlite);
    QFETCH(QString, postgres);
    QCOMPARE(DB_TranslateJet(jet), sqlite);
    QCOMPARE(halvor::db::translateJet(jet, halvor::db::Dialect::Postgres), postgres);
}

void TestJet::leavesQuotedTextAndInvalidDatesAlone_data() {
    QTest::addColumn<QString>("jet");
    QTest::newRow("date inside a text value") << "[REM] = '#2026/12/07#'";
    QTest::newRow("no such month") << "[Y4mmdd] = #2026/13/01#";
    QTest::newRow("no such day") << "[Y4mmdd] = #2027/02/29#";
    QTest::newRow("day first") << "[Y4mmdd] = #07/12/2026#";
    QTest::newRow("unclosed") << "[Y4mmdd] = #2026/12/07";
}

void TestJet::leavesQuotedTextAndInvalidDatesAlone() {
    QFETCH(QString, jet);
    QCOMPARE(DB_TranslateJet(jet), jet);
}

void TestJet::acceptsTheDrillsClauses_data() {
    QTest::addColumn<QString>("clause");
    QTest::addColumn<QString>("sql");
    QTest::newRow("windmill save")
        << " where [Y4mmdd] = #2026/12/07# and [Pelvoran] = 12 order by [round] desc"
        << "SELECT * FROM T_Key where [Y4mmdd] = '2026-12-07' and [Pelvoran] = 12 order by [round] desc";
    QTest::newRow("blocks chart")
        << " where [Tavrel] in (11,12) order by [Y4mmdd] , [round] , [Tavrel]"
        << "SELECT * FROM T_Key where [Tavrel] in (11,12) order by [Y4mmdd] , [round] , "
           "[Tavrel]";
    QTest::newRow("order only") << " ORDER BY [round]"
                                << "SELECT * FROM T_Key ORDER BY [round]";
    QTest::newRow("no leading space") << "where [Tavrel] = 11"
                                      << "SELECT * FROM T_Key where [Tavrel] = 11";
    QTest::newRow("empty: the whole table") << ""
                                            << "SELECT * FROM T_Key";
    QTest::newRow("separator inside a value") << " where [REM] = 'a;b -- c'"
                                              << "SELECT * FROM T_Key where [REM] = 'a;b -- c'";
    QTest::newRow("keyword inside a value") << " where [REM] = 'drop table'"
                                            << "SELECT * FROM T_Key where [REM] = 'drop table'";
}

void TestJet::acceptsTheDrillsClauses() {
    QFETCH(QString, clause);
    QFETCH(QString, sql);
    QString why;
    const auto result = halvor::db::selectWithClause(QStringLiteral("T_Key"), clause, &why);
    QVERIFY2(result.has_value(), qPrintable(why));
    QCOMPARE(*result, sql);
}

void TestJet::refusesClausesBeyondOneSelect_data() {
    QTest::addColumn<QString>("clause");
    QTest::addColumn<QString>("reason");
    QTest::newRow("second statement") << " where 1 = 1; delete from T_Key"
                                      << "one statement";
    QTest::newRow("trailing separator") << " where [Tavrel] = 11;"
                                        << "one statement";
    QTest::newRow("comment") << " where [Tavrel] = 11 -- and more"
                             << "comments";
    QTest::newRow("block comment") << " where [Tavrel] = 11 /* x */"
                                   << "comments";
    QTest::newRow("union") << " where 1 = 1 union select * from T_Digit"
                           << "union";
    QTest::newRow("subquery") << " where [Tavrel] in (select 1)"
                              << "select";
    QTest::newRow("pragma word") << " where pragma = 1"
                                 << "pragma";
    QTest::newRow("not a clause") << " limit 1"
                                  << "where or order by";
    QTest::newRow("unclosed quote") << " where [REM] = 'abc"
                                    << "not closed";
    QTest::newRow("unclosed bracket") << " where [REM = 1"
                                      << "not closed";
    QTest::newRow("invalid date") << " where [Y4mmdd] = #2026/02/30#"
                                  << "#yyyy/mm/dd#";
    QTest::newRow("placeholder") << " where [REM] = ?"
                                 << "placeholder";
}

void TestJet::refusesClausesBeyondOneSelect() {
    QFETCH(QString, clause);
    QFETCH(QString, reason);
    QString why;
    QVERIFY(!halvor::db::selectWithClause(QStringLiteral("T_Key"), clause, &why).has_value());
    QVERIFY2(why.contains(reason), qPrintable(why));
}

void TestJet::checksWholeStatements_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("hiragana count")
        << "select * from [T_Key] where [Y4mmdd] = #2026/12/07# and [tavrel]= 23 and [COND1] = 'AI'" << true;
    QTest::newRow("hiragana chart")
        << "select * from [T_Key]  where [Tavrel] = 23 order by [Y4mmdd] , [round]" << true;
    QTest::newRow("plain table name, upper case") << "SELECT * FROM t_key ORDER BY Round" << true;
    QTest::newRow("some columns") << "select [Y4mmdd], [Round] from [T_Key]" << true;
    QTest::newRow("another table") << "select * from [T_Digit]" << false;
    QTest::newRow("table name as a prefix") << "select * from [T_Key2]" << false;
    QTest::newRow("two tables") << "select * from [T_Key], [T_Digit]" << false;
    QTest::newRow("join") << "select * from [T_Key] join T_Digit on 1" << false;
    QTest::newRow("not a select") << "delete from [T_Key]" << false;
    QTest::newRow("second statement") << "select * from [T_Key]; drop table T_Key" << false;
    QTest::newRow("union") << "select * from [T_Key] union select * from sqlite_master" << false;
    QTest::newRow("subquery in columns") << "select (select 1) from [T_Key]" << false;
    QTest::newRow("table name inside a value") << "select 'x from [T_Key]' from [T_Digit]" << false;
    QTest::newRow("empty") << "" << false;
}

void TestJet::checksWholeStatements() {
    QFETCH(QString, statement);
    QFETCH(bool, accepted);
    QString why;
    const auto result = halvor::db::selectStatement(QStringLiteral("T_Key"), statement, &why);
    QCOMPARE(result.has_value(), accepted);
    if (accepted)
        QCOMPARE(*result, DB_TranslateJet(statement));
    else
        QVERIFY(!why.isEmpty());
    // The library puts its own selection where the table was named, and only there.
    const auto sourced =
        halvor::db::selectStatement(QStringLiteral("T_Key"), statement, &why, halvor::db::Dialect::Sqlite,
                                    QStringLiteral("(mine) T_Key"));
    QCOMPARE(sourced.has_value(), accepted);
    if (accepted)
        QCOMPARE(sourced->count(QStringLiteral("(mine) T_Key")), 1);
}

void TestJet::joinsPathsWithOneSeparator_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("joined");
    QTest::newRow("plain") << "/home/a/.local/share/Halvor"
                           << "VUR.MDB"
                           << "/home/a/.local/share/Halvor/VUR.MDB";
    QTest::newRow("trailing separator") << "/opt/halvor/"
                                        << "VUR.MDB"
                                        << "/opt/halvor/VUR.MDB";
    QTest::newRow("both separators") << "/opt/halvor/"
                                     << "/VUR.MDB"
                                     << "/opt/halvor/VUR.MDB";
    QTest::newRow("doubled trailing") << "/opt/halvor//"
                                      << "VUR.MDB"
                                      << "/opt/halvor/VUR.MDB";
    QTest::newRow("root") << "/"
                          << "VUR.MDB"
                          << "/VUR.MDB";
    QTest::newRow("drive root") << "C:\\"
                                << "VUR.MDB"
                                << "C:\\VUR.MDB";
    QTest::newRow("no folder") << ""
                               << "VUR.MDB"
                               << "VUR.MDB";
    QTest::newRow("Japanese folder") << "/home/学習者/データ"
                                     << "VUR.MDB"
                                     << "/home/学習者/データ/VUR.MDB";
}

void TestJet::joinsPathsWithOneSeparator() {
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QFETCH(QString, joined);
    QCOMPARE(DB_JoinPath(folder, file), joined);
}

void TestJet::defaultPathFollowsTheEnvironment() {
    const QByteArray saved = qgetenv("VUR_MDB");
    const QByteArray home = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", "/tmp/halvor-data-home");

    qputenv("VUR_MDB", "/srv/学習/VUR.MDB");
    QCOMPARE(DB_DefaultPath(), QStringLiteral("/srv/学習/VUR.MDB"));
    // Empty counts as not set, so an exported but blank variable never points at the working folder.
    qputenv("VUR_MDB", "");
    QCOMPARE(DB_DefaultPath(), QStringLiteral("/tmp/halvor-data-home/Halvor/VUR.MDB"));
    qunsetenv("VUR_MDB");
    QCOMPARE(DB_DefaultPath(), QStringLiteral("/tmp/halvor-data-home/Halvor/VUR.MDB"));

    qputenv("VUR_MDB", saved);
    if (home.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", home);
}

QTEST_APPLESS_MAIN(TestJet)
#include "tst_jet.moc"
