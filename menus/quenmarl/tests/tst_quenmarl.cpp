#include "ArtworkText.h"
#include "MenuTestKit.h"
#include "Quenmarl.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using halvor::testing::LaunchRecorder;
using halvor::testing::postClick;

namespace {

// The command line a drill sees when started with these arguments, rebuilt by Common as the drills do.
QString commandLineOf(const QStringList& arguments) {
    QProcess probe;
    probe.start(QStringLiteral(QUENMARL_PROBE), arguments);
    if (!probe.waitForFinished(10000))
        return {};
    return QString::fromUtf8(probe.readAllStandardOutput());
}

// The windmill's level: the last character; 0 or a non-digit gives 1.
int levelOf(const QString& line) {
    const int level = line.right(1).toInt();
    return level == 0 ? 1 : level;
}

// The block drill's mode: the last two characters; 0 gives 11.
int modeOf(const QString& line) {
    const int mode = line.right(2).trimmed().toInt();
    return mode == 0 ? 11 : mode;
}

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

class TestQuenmarl : public QObject {
    Q_OBJECT

private slots:
    void init() { CMN_DSForceInitFailure(false); }

    void buttonsSitOnTheirPlacesWithTheHand_data();
    void buttonsSitOnTheirPlacesWithTheHand();
    void eachCourseStartsItsDrillWithTheReturnPath_data();
    void eachCourseStartsItsDrillWithTheReturnPath();
    void quickClicksStartOneProgram_data();
    void quickClicksStartOneProgram();
    void leavingStartsTheTopMenuOnlyWhileTheFlagSaysSo_data();
    void leavingStartsTheTopMenuOnlyWhileTheFlagSaysSo();
    void enterAndEscDoNothingButSpacePresses();
    void screenshots();
    void textReadsWell_data() { artwork::pictureRows(); }
    void textReadsWell() { artwork::verifyReadable(); }
    void theRomajiCardIsALabelNotAButton();
};

void TestQuenmarl::buttonsSitOnTheirPlacesWithTheHand_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("place");
    QTest::newRow("keyboard lesson") << "D11" << QRect(70, 133, 163, 83);
    QTest::newRow("mouse lesson") << "DM11" << QRect(70, 266, 163, 83);
    QTest::newRow("blocks") << "K12" << QRect(70, 400, 163, 83);
    QTest::newRow("hiragana") << "K23" << QRect(286, 266, 163, 83);
    QTest::newRow("windmill 1") << "D12" << QRect(557, 241, 82, 22);
    QTest::newRow("windmill 2") << "D13" << QRect(557, 274, 82, 21);
    QTest::newRow("windmill 3") << "D21" << QRect(557, 305, 82, 22);
    QTest::newRow("windmill 4") << "D22" << QRect(557, 336, 82, 22);
    QTest::newRow("windmill 5") << "D23" << QRect(557, 369, 82, 22);
    QTest::newRow("windmill 6") << "D32" << QRect(557, 402, 82, 22);
    QTest::newRow("windmill 7") << "D33" << QRect(557, 433, 82, 22);
    QTest::newRow("end") << "END" << QRect(297, 499, 152, 24);
}

void TestQuenmarl::buttonsSitOnTheirPlacesWithTheHand() {
    QFETCH(QString, caption);
    QFETCH(QRect, place);
    LaunchRecorder recorder;
    CQuenmarlDlg menu;
    // The button takes the size of its picture, so this also checks the artwork.
    halvor::testing::verifyButtonPlace(menu, caption, place);
}

void TestQuenmarl::eachCourseStartsItsDrillWithTheReturnPath_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("level"); // what the windmill would read, 0 where it is not the windmill
    QTest::addColumn<int>("mode");  // what the block drill would read, 0 where it is not the block drill
    QTest::newRow("D11") << "D11"
                         << "Pelvoran11"
                         << "" << 0 << 0;
    QTest::newRow("DM11") << "DM11"
                          << "Sorvanel11"
                          << "" << 0 << 0;
    QTest::newRow("K12") << "K12"
                         << "Tavrel11"
                         << "12" << 0 << 12;
    QTest::newRow("K23") << "K23"
                         << "Tavrel23"
                         << "" << 0 << 0;
    QTest::newRow("D12") << "D12"
                         << "Pelvoran12"
                         << "1" << 1 << 0;
    QTest::newRow("D13") << "D13"
                         << "Pelvoran12"
                         << "2" << 2 << 0;
    QTest::newRow("D21") << "D21"
                         << "Pelvoran12"
                         << "3" << 3 << 0;
    QTest::newRow("D22") << "D22"
                         << "Pelvoran12"
                         << "4" << 4 << 0;
    QTest::newRow("D23") << "D23"
                         << "Pelvoran12"
                         << "5" << 5 << 0;
    QTest::newRow("D32") << "D32"
                         << "Pelvoran12"
                         << "6" << 6 << 0;
    QTest::newRow("D33") << "D33"
                         << "Pelvoran12"
                         << "7" << 7 << 0;
}

void TestQuenmarl::eachCourseStartsItsDrillWithTheReturnPath() {
    QFETCH(QString, caption);
    QFETCH(QString, program);
    QFETCH(QString, argument);
    QFETCH(int, level);
    QFETCH(int, mode);

    LaunchRecorder recorder;
    CQuenmarlDlg menu;
    QSignalSpy closed(&menu, &halvor::MenuWindow::closed);
    QVERIFY(halvor::testing::showAndWait(menu));
    QTest::mouseClick(menu.findChild<QAbstractButton*>(caption), Qt::LeftButton);
    QTRY_COMPARE(closed.count(), 1);

    // One start, and leaving after it does not bring back the top menu.
    QCOMPARE(recorder.launches.size(), 1u);
    QCOMPARE(menu.returnFlag(), 0);
    const auto& launch = recorder.launches.front();
    QCOMPARE(launch.program, CMN_ProgramPath(program));
    const QString self = QCoreApplication::applicationFilePath();
    QCOMPARE(launch.arguments, QStringList({self, argument}));

    // What the drill reads from the command line it is given.
    const QString line = commandLineOf(launch.arguments);
    QVERIFY2(!line.isEmpty(), "the probe did not run");
    QCOMPARE(CMN_ReturnCommand(line), quoted(self));
    if (level != 0)
        QCOMPARE(levelOf(line), level);
    if (mode != 0)
        QCOMPARE(modeOf(line), mode);

    // Closing the drill starts this menu again, with nothing else on its command line.
    LaunchRecorder back;
    QVERIFY(CMN_ExecPGM2(CMN_ReturnCommand(line), 0, 0, nullptr) != 0);
    // The hiragana drill starts everything after its own name instead; it must come to the same.
    QVERIFY(CMN_ExecPGM2(line.mid(line.indexOf(QLatin1Char('"'), 1) + 1), 0, 0, nullptr) != 0);
    QCOMPARE(back.launches.size(), 2u);
    for (const auto& again : back.launches) {
        QCOMPARE(again.program, self);
        QVERIFY2(again.arguments.isEmpty() || again.arguments == QStringList({argument}),
                 qPrintable(again.arguments.join(QLatin1Char('|'))));
    }
}

void TestQuenmarl::quickClicksStartOneProgram_data() {
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("start succeeds: the menu closes") << true;
    QTest::newRow("program missing: the menu stays, silent") << false;
}

void TestQuenmarl::quickClicksStartOneProgram() {
    QFETCH(bool, succeeds);
    LaunchRecorder recorder(succeeds);
    CQuenmarlDlg menu;
    QSignalSpy closed(&menu, &halvor::MenuWindow::closed);
    QVERIFY(halvor::testing::showAndWait(menu));
    QVERIFY(menu.musicPlaying());

    auto* button = menu.findChild<QAbstractButton*>(QStringLiteral("D22"));
    auto* other = menu.findChild<QAbstractButton*>(QStringLiteral("K12"));
    // While the drill is being started the learner clicks twice more, on it and on another course, and
    // presses Space on the focused button.
    bool queued = false;
    recorder.during = [&] {
        if (queued)
            return;
        queued = true;
        postClick(button);
        postClick(other);
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &menu;
        QCoreApplication::postEvent(focus,
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " "));
        QCoreApplication::postEvent(focus,
                                    new QKeyEvent(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " "));
    };
    postClick(button);
    QTest::qWait(50);

    QCOMPARE(recorder.launches.size(), 1u);
    QCOMPARE(recorder.launches.front().arguments.last(), QStringLiteral("4"));
    QVERIFY(!menu.musicPlaying());
    if (succeeds) {
        QTRY_COMPARE(closed.count(), 1);
        QVERIFY(!menu.isVisible());
        QCOMPARE(recorder.launches.size(), 1u); // the top menu is not started
    } else {
        QCOMPARE(closed.count(), 0);
        QVERIFY(menu.isVisible());
        QCOMPARE(menu.returnFlag(), 1);
        // A new click tries again.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(recorder.launches.size(), 2u);
        QVERIFY(menu.isVisible());
        QVERIFY(!menu.musicPlaying());
    }
}

void TestQuenmarl::leavingStartsTheTopMenuOnlyWhileTheFlagSaysSo_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("topMenuStarted");
    QTest::newRow("END") << "END" << true;
    QTest::newRow("close box") << "close" << true;
    QTest::newRow("no sound at start-up") << "nosound" << true;
    QTest::newRow("after a failed start, END") << "failed" << true;
    QTest::newRow("after a drill started") << "drill" << false;
    QTest::newRow("close box while a drill starts") << "closeDuringStart" << false;
    QTest::newRow("close box while a start fails") << "closeDuringFailedStart" << true;
}

void TestQuenmarl::leavingStartsTheTopMenuOnlyWhileTheFlagSaysSo() {
    QFETCH(QString, how);
    QFETCH(bool, topMenuStarted);
    LaunchRecorder recorder;
    CMN_DSForceInitFailure(how == QLatin1String("nosound"));
    auto menu = std::make_unique<CQuenmarlDlg>();
    QSignalSpy closed(menu.get(), &halvor::MenuWindow::closed);
    menu->show();
    // Without sound the menu closes before it is ever seen.
    if (how != QLatin1String("nosound"))
        QVERIFY(QTest::qWaitForWindowExposed(menu.get()));
    auto* end = menu->findChild<QAbstractButton*>(QStringLiteral("END"));

    if (how == QLatin1String("END")) {
        QTest::mouseClick(end, Qt::LeftButton);
    } else if (how == QLatin1String("close")) {
        menu->close();
    } else if (how == QLatin1String("failed")) {
        recorder.setSucceed(false);
        QTest::mouseClick(menu->findChild<QAbstractButton*>(QStringLiteral("DM11")), Qt::LeftButton);
        recorder.setSucceed(true);
        QTest::mouseClick(end, Qt::LeftButton);
    } else if (how == QLatin1String("drill")) {
        QTest::mouseClick(menu->findChild<QAbstractButton*>(QStringLiteral("D11")), Qt::LeftButton);
    } else if (how.startsWith(QLatin1String("closeDuring"))) {
        recorder.setSucceed(how == QLatin1String("closeDuringStart"));
        CQuenmarlDlg* window = menu.get();
        recorder.during = [window] { QCoreApplication::postEvent(window, new QCloseEvent); };
        QTest::mouseClick(menu->findChild<QAbstractButton*>(QStringLiteral("K23")), Qt::LeftButton);
        recorder.during = nullptr;
        recorder.setSucceed(true);
    }
    QTRY_COMPARE(closed.count(), 1);
    QVERIFY(!menu->isVisible());
    menu.reset(); // destruction starts nothing more
    CMN_DSForceInitFailure(false);

    const QString topMenu = CMN_ProgramPath(QStringLiteral("Ostrevane"));
    qsizetype tops = 0;
    for (const auto& launch : recorder.launches) {
        if (launch.program == topMenu) {
            ++tops;
            QVERIFY(launch.arguments.isEmpty());
        }
    }
    QCOMPARE(tops, topMenuStarted ? 1 : 0);
}

void TestQuenmarl::enterAndEscDoNothingButSpacePresses() {
    LaunchRecorder recorder;
    CQuenmarlDlg menu;
    QSignalSpy closed(&menu, &halvor::MenuWindow::closed);
    halvor::testing::verifyKeyboard(
        menu, {"END", "D11", "DM11", "D12", "D13", "D21", "D22", "D32", "D33", "D23", "K12", "K23"},
        recorder);
    if (QTest::currentTestFailed())
        return;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTRY_COMPARE(closed.count(), 1);
    QVERIFY(recorder.launches.size() == 1 &&
            recorder.launches.front().program.endsWith(QLatin1String("/Ostrevane")));
}

void TestQuenmarl::screenshots() {
    LaunchRecorder recorder;
    CQuenmarlDlg menu;
    halvor::testing::verifyLook(menu, "Quenmarl", QStringLiteral("quenmarl"));
}

void TestQuenmarl::theRomajiCardIsALabelNotAButton() {
    // The "ka → か" picture above the hiragana button does nothing, so it has no outline as the buttons have.
    const QImage background = artwork::render(QString::fromUtf8([] {
        QFile file(QStringLiteral(":/bitmap/147.svg"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }()));
    QCOMPARE(background.size(), QSize(720, 540));
    const QRect topEdge(316, 107, 104, 6), leftEdge(297, 126, 6, 64); // of the card at 300, 110, 136 x 96
    for (const QRect& edge : {topEdge, leftEdge})
        for (int y = edge.top(); y <= edge.bottom(); ++y)
            for (int x = edge.left(); x <= edge.right(); ++x)
                QVERIFY2(qGray(background.pixel(x, y)) > 128,
                         qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
}

QTEST_MAIN(TestQuenmarl)
#include "tst_quenmarl.moc"
