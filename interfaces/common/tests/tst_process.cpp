// Program starts and command lines: what a menu passes, what a drill reads back, and real starts.
#include "Common.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Start {
    QString program;
    QStringList arguments;
};

// Records the starts instead of making them; answers with `succeed`.
struct FakeLauncher {
    explicit FakeLauncher(bool succeed = true) {
        CMN_SetLauncher([this, succeed](const QString& program, const QStringList& arguments) {
            starts.append({program, arguments});
            return succeed;
        });
    }
    ~FakeLauncher() { CMN_SetLauncher(nullptr); }
    QList<Start> starts;
};

QString helperPath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(HALVOR_ECHO_ARGS));
}

QJsonObject readEcho(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QStringList toStrings(const QJsonValue& value) {
    QStringList list;
    for (const QJsonValue& item : value.toArray())
        list << item.toString();
    return list;
}

constexpr int kStartTimeoutMs = 30000; // a sanitizer build starts slowly

} // namespace

class TestProcess : public QObject {
    Q_OBJECT

private slots:
    void menuStartPassesCallerAndArgument_data();
    void menuStartPassesCallerAndArgument();
    void failedStartReturnsZero();
    void commandIsSplitIntoProgramAndArguments_data();
    void commandIsSplitIntoProgramAndArguments();
    void emptyCommandStartsNothing();
    void returnCommandIsTheSecondQuotedToken_data();
    void returnCommandIsTheSecondQuotedToken();
    void startedProgramReadsItsCommandLine_data();
    void startedProgramReadsItsCommandLine();
    void menuStartsProgramNextToItself();
    void missingProgramIsNotStarted();
};

void TestProcess::menuStartPassesCallerAndArgument_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("passCaller");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    const QString self = QCoreApplication::applicationFilePath();
    QTest::newRow("windmill level") << "Pelvoran12.exe"
                                    << "3" << 1 << "Pelvoran12" << QStringList{self, "3"};
    QTest::newRow("blocks mode") << "Tavrel11.exe"
                                 << "12" << 1 << "Tavrel11" << QStringList{self, "12"};
    QTest::newRow("hiragana, empty argument kept") << "Tavrel23.exe"
                                                   << "" << 1 << "Tavrel23" << QStringList{self, ""};
    QTest::newRow("top menu without caller") << "Ostrevane.exe"
                                             << "" << 0 << "Ostrevane" << QStringList{};
    QTest::newRow("argument without caller") << "Quenmarl"
                                             << "x y" << 0 << "Quenmarl" << QStringList{"x y"};
    QTest::newRow("upper-case extension") << "Pelvoran11.EXE"
                                          << "" << 1 << "Pelvoran11" << QStringList{self, ""};
}

void TestProcess::menuStartPassesCallerAndArgument() {
    QFETCH(QString, file);
    QFETCH(QString, argument);
    QFETCH(int, passCaller);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    FakeLauncher launcher;
    QCOMPARE(CMN_STDExecPGM2(file, argument, passCaller, nullptr), 1);
    QCOMPARE(launcher.starts.size(), 1);
    QCOMPARE(launcher.starts[0].program, QDir(QCoreApplication::applicationDirPath()).filePath(program));
    QCOMPARE(launcher.starts[0].arguments, arguments);
}

void TestProcess::failedStartReturnsZero() {
    FakeLauncher launcher(false);
    QCOMPARE(CMN_STDExecPGM2(QStringLiteral("Tavrel11.exe"), QStringLiteral("12"), 1, nullptr), 0);
    QCOMPARE(CMN_ExecPGM2(QStringLiteral("\"/opt/halvor/Quenmarl\"")), 0);
    QCOMPARE(launcher.starts.size(), 2);
    // A name that names no program is refused before any start.
    QCOMPARE(CMN_STDExecPGM2(QStringLiteral("  "), QString(), 1, nullptr), 0);
    QCOMPARE(launcher.starts.size(), 2);
}

void TestProcess::commandIsSplitIntoProgramAndArguments_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    const QString dir = QCoreApplication::applicationDirPath();
    QTest::newRow("quoted path with spaces and kana") << "\"/opt/ハル ヴォル/Quenmarl\""
                                                      << "/opt/ハル ヴォル/Quenmarl" << QStringList{};
    QTest::newRow("missing .exe file falls back to the bare name")
        << "\"/opt/no such dir/Quenmarl.exe\""
        << "/opt/no such dir/Quenmarl" << QStringList{};
    QTest::newRow("arguments after the program") << "\"/x/Tavrel11\" \"/y z/Quenmarl\" 12"
                                                 << "/x/Tavrel11" << QStringList{"/y z/Quenmarl", "12"};
    QTest::newRow("bare name is found next to the running program")
        << "Quenmarl.exe" << dir + "/Quenmarl" << QStringList{};
    QTest::newRow("surrounding blanks") << "  \"/a/Ostrevane\"  "
                                        << "/a/Ostrevane" << QStringList{};
}

void TestProcess::commandIsSplitIntoProgramAndArguments() {
    QFETCH(QString, command);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    FakeLauncher launcher;
    QCOMPARE(CMN_ExecPGM2(command), 1);
    QCOMPARE(launcher.starts.size(), 1);
    QCOMPARE(launcher.starts[0].program, program);
    QCOMPARE(launcher.starts[0].arguments, arguments);
}

void TestProcess::emptyCommandStartsNothing() {
    FakeLauncher launcher;
    QCOMPARE(CMN_ExecPGM2(QString()), 0);
    QCOMPARE(CMN_ExecPGM2(QStringLiteral("   ")), 0);
    QCOMPARE(CMN_ExecPGM2(QStringLiteral("\"\"")), 0);
    QVERIFY(launcher.starts.isEmpty());
}

void TestProcess::returnCommandIsTheSecondQuotedToken_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("menu start") << "\"/b/Pelvoran12\" \"/b/Quenmarl\" 3"
                                << "\"/b/Quenmarl\"";
    QTest::newRow("empty argument, trailing blank") << "\"/b/Tavrel23\" \"/b/Quenmarl\" "
                                                    << "\"/b/Quenmarl\"";
    QTest::newRow("spaces and Japanese") << "\"/a b/x\" \"/ホーム/コース メニュー/Quenmarl\" 12"
                                         << "\"/ホーム/コース メニュー/Quenmarl\"";
    QTest::newRow("quoted argument after the caller") << "\"/p\" \"/c\" \"arg\""
                                                      << "\"/c\"";
    QTest::newRow("unclosed third quote keeps the rest") << "\"/p\" \"/c d"
                                                         << "\"/c d";
    QTest::newRow("two quotes only") << "\"/b/Pelvoran11\""
                                     << "";
    QTest::newRow("started by hand") << "/b/Pelvoran11"
                                     << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestProcess::returnCommandIsTheSecondQuotedToken() {
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(CMN_ReturnCommand(line), expected);
}

// The whole road: a menu (the helper, in a folder with spaces and kana) starts a drill (a copy of itself)
// with an argument; the drill rebuilds its command line and reads the level, the mode and the return path
// from it as the drills do.
void TestProcess::startedProgramReadsItsCommandLine_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("tail"); // what a drill reads from the end of its line
    QTest::newRow("windmill level 3") << "3"
                                      << "3";
    QTest::newRow("blocks mode 12") << "12"
                                    << "12";
    QTest::newRow("empty argument") << ""
                                    << "\" ";
}

void TestProcess::startedProgramReadsItsCommandLine() {
    QFETCH(QString, argument);
    QFETCH(QString, tail);
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString folder = temp.filePath(QStringLiteral("ハルヴォル コース"));
    QVERIFY(QDir().mkpath(folder));
    const QString program = folder + QLatin1Char('/') + QStringLiteral(HALVOR_ECHO_ARGS);
    QVERIFY(QFile::copy(helperPath(), program));
    QVERIFY(QFile::setPermissions(program, QFile::permissions(helperPath()) | QFile::ExeOwner));
    const QString out = temp.filePath(QStringLiteral("echo.json"));

    qputenv("HALVOR_ECHO_OUT", out.toUtf8());
    qputenv("HALVOR_ECHO_RELAY", argument.toUtf8());
    const int started = CMN_ExecPGM2(QLatin1Char('"') + program + QLatin1Char('"'));
    qunsetenv("HALVOR_ECHO_RELAY");
    QCOMPARE(started, 1);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), kStartTimeoutMs);

    const QJsonObject echo = readEcho(out);
    const QString line = echo[QStringLiteral("commandLine")].toString();
    QCOMPARE(toStrings(echo[QStringLiteral("arguments")]), (QStringList{program, program, argument}));
    QCOMPARE(line, "\"" + program + "\" \"" + program + "\" " + argument);
    QVERIFY2(line.endsWith(tail), qPrintable(line));
    const QString back = echo[QStringLiteral("returnCommand")].toString();
    QCOMPARE(back, "\"" + program + "\"");
    QCOMPARE(QProcess::splitCommand(back), QStringList{program});
}

void TestProcess::menuStartsProgramNextToItself() {
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString out = temp.filePath(QStringLiteral("echo.json"));
    qputenv("HALVOR_ECHO_OUT", out.toUtf8());
    QCOMPARE(CMN_STDExecPGM2(QStringLiteral(HALVOR_ECHO_ARGS ".exe"), QStringLiteral("7"), 1, nullptr), 1);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), kStartTimeoutMs);
    const QJsonObject echo = readEcho(out);
    QCOMPARE(toStrings(echo[QStringLiteral("arguments")]),
             (QStringList{helperPath(), QCoreApplication::applicationFilePath(), QStringLiteral("7")}));
    QCOMPARE(echo[QStringLiteral("returnCommand")].toString(),
             "\"" + QCoreApplication::applicationFilePath() + "\"");
}

void TestProcess::missingProgramIsNotStarted() {
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QCOMPARE(CMN_STDExecPGM2(QStringLiteral("NoSuchProgram.exe"), QString(), 1, nullptr), 0);
    QCOMPARE(CMN_ExecPGM2(QStringLiteral("\"") + temp.filePath(QStringLiteral("Quenmarl")) + "\""), 0);
    // A file that is there but cannot be run is no program either.
    const QString plain = temp.filePath(QStringLiteral("Ostrevane"));
    QFile file(plain);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a program");
    file.close();
    QVERIFY(QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(CMN_ExecPGM2("\"" + plain + "\""), 0);
}

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
