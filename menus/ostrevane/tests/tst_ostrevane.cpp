#include "ArtworkText.h"
#include "Database.h"
#include "LearnerPicker.h"
#include "MenuTestKit.h"
#include "Ostrevane.h"
#include "Startup.h"
#include "TestDoubles.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

using halvor::testing::LaunchRecorder;

// Stands in for the web browser: records the address and what was on screen while it was being opened.
class BrowserDouble : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
    QStringList messagesShown;
    QList<QRect> messageGeometries;

public slots:
    void open(const QUrl& url) {
        opened << url;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && !qobject_cast<COstrevaneDlg*>(top)) {
                messageGeometries << top->frameGeometry();
                const auto labels = top->findChildren<QLabel*>();
                messagesShown << (labels.isEmpty() ? top->windowTitle() : labels.front()->text());
            }
        }
    }
};

class TestOstrevane : public QObject {
    Q_OBJECT

private slots:
    void init() {
        CMN_DSForceInitFailure(false);
        qunsetenv("HALVOR_HOME_PAGE");
    }

    void buttonsSitOnTheirPlacesWithTheHand_data();
    void buttonsSitOnTheirPlacesWithTheHand();
    void okStartsTheCourseMenu_data();
    void okStartsTheCourseMenu();
    void leavingStartsNothing_data();
    void leavingStartsNothing();
    void enterAndEscDoNothingButSpacePresses();
    void versionLabelKeepsItsRightMargin_data();
    void versionLabelKeepsItsRightMargin();
    void homePageAddress_data();
    void homePageAddress();
    void urlShowsTheMessageWhileOpening();
    void urlWithoutABrowserSaysSo();
    void guideIsInstalledBesideThePrograms();
    void guideIsFoundFromTheProgramsFolder_data();
    void guideIsFoundFromTheProgramsFolder();
    void screenshot();
    void thePickerOffersTheKnownNamesAndANewOne();
    void onASharedComputerTheLearnerIsAskedFirst();
    void textReadsWell_data() { artwork::pictureRows(); }
    void textReadsWell() { artwork::verifyReadable(); }
};

void TestOstrevane::buttonsSitOnTheirPlacesWithTheHand_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("place");
    QTest::newRow("OK") << "OK" << QRect(200, 470, 128, 32);
    QTest::newRow("URL") << "URL" << QRect(80, 360, 560, 40);
    QTest::newRow("END") << "END" << QRect(380, 470, 128, 32);
}

void TestOstrevane::buttonsSitOnTheirPlacesWithTheHand() {
    QFETCH(QString, caption);
    QFETCH(QRect, place);
    LaunchRecorder recorder;
    COstrevaneDlg menu;
    halvor::testing::verifyButtonPlace(menu, caption, place);
}

void TestOstrevane::okStartsTheCourseMenu_data() {
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("started: the top menu closes") << true;
    QTest::newRow("missing: the top menu stays, silent") << false;
}

void TestOstrevane::okStartsTheCourseMenu() {
    QFETCH(bool, succeeds);
    LaunchRecorder recorder(succeeds);
    COstrevaneDlg menu;
    QSignalSpy closed(&menu, &halvor::MenuWindow::closed);
    QVERIFY(halvor::testing::showAndWait(menu));
    QVERIFY(menu.musicPlaying());

    QTest::mouseClick(menu.findChild<QAbstractButton*>(QStringLiteral("OK")), Qt::LeftButton);
    QCOMPARE(recorder.launches.size(), 1u);
    QCOMPARE(recorder.launches.front().program, CMN_ProgramPath(QStringLiteral("Quenmarl")));
    QCOMPARE(recorder.launches.front().arguments,
             QStringList({QCoreApplication::applicationFilePath(), QString()}));
    QVERIFY(!menu.musicPlaying());
    if (succeeds) {
        QTRY_COMPARE(closed.count(), 1);
        QVERIFY(!menu.isVisible());
    } else {
        QTest::qWait(20);
        QCOMPARE(closed.count(), 0);
        QVERIFY(menu.isVisible());
    }
    // Closing the top menu never starts anything.
    QCOMPARE(recorder.launches.size(), 1u);
}

void TestOstrevane::leavingStartsNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("END") << "END" << 1;
    QTest::newRow("close box") << "close" << int(QDialog::Rejected);
    QTest::newRow("no sound at start-up") << "nosound" << int(QDialog::Rejected);
}

void TestOstrevane::leavingStartsNothing() {
    QFETCH(QString, how);
    QFETCH(int, result);
    LaunchRecorder recorder;
    CMN_DSForceInitFailure(how == QLatin1String("nosound"));
    auto menu = std::make_unique<COstrevaneDlg>();
    QSignalSpy closed(menu.get(), &halvor::MenuWindow::closed);
    QSignalSpy finished(menu.get(), &QDialog::finished);
    menu->show();
    // Without sound the menu closes before it is ever seen.
    if (how != QLatin1String("nosound"))
        QVERIFY(QTest::qWaitForWindowExposed(menu.get()));
    if (how == QLatin1String("END"))
        QTest::mouseClick(menu->findChild<QAbstractButton*>(QStringLiteral("END")), Qt::LeftButton);
    else if (how == QLatin1String("close"))
        menu->close();
    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.front().front().toInt(), result);
    menu.reset();
    CMN_DSForceInitFailure(false);
    QVERIFY(recorder.launches.empty());
}

void TestOstrevane::enterAndEscDoNothingButSpacePresses() {
    LaunchRecorder recorder;
    COstrevaneDlg menu;
    QSignalSpy closed(&menu, &halvor::MenuWindow::closed);
    halvor::testing::verifyKeyboard(menu, {"OK", "END", "URL"}, recorder);
    if (QTest::currentTestFailed())
        return;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(recorder.launches.size(), 1u);
    QTRY_COMPARE(closed.count(), 1);
}

void TestOstrevane::versionLabelKeepsItsRightMargin_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("project version") << QString();
    QTest::newRow("short") << "V1";
    QTest::newRow("long") << "Ver 10.20.300 (テスト版)";
}

void TestOstrevane::versionLabelKeepsItsRightMargin() {
    QFETCH(QString, text);
    LaunchRecorder recorder;
    COstrevaneDlg menu;
    QLabel* label = menu.versionLabel();
    if (text.isEmpty()) {
        // The project's version comes as the picture drawn ahead, so no font is read for it.
        QVERIFY2(QRegularExpression(QStringLiteral("^Ver \\d+\\.\\d+\\.\\d+$"))
                     .match(label->accessibleName())
                     .hasMatch(),
                 qPrintable(label->accessibleName()));
        QVERIFY(label->text().isEmpty());
    } else {
        menu.setVersionText(text);
    }
    QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
    QCOMPARE(label->geometry().right() + 1, 720 - 16);
    // Navy letters straight on the menu's picture, with no box of their own.
    const QRect at = label->geometry();
    const QImage shown = menu.grab().toImage();
    label->hide();
    const QImage bare = menu.grab().toImage();
    QCOMPARE(shown.pixel(at.topLeft()), bare.pixel(at.topLeft()));
    bool navy = false;
    for (int y = at.top(); y <= at.bottom() && !navy; ++y)
        for (int x = at.left(); x <= at.right() && !navy; ++x)
            navy = shown.pixel(x, y) == qRgb(0x2b, 0x3a, 0x67);
    QVERIFY(navy);
}

void TestOstrevane::homePageAddress_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QUrl>("expected"); // empty: the installed guide
    QTest::newRow("default: the guide") << QString() << QUrl();
    QTest::newRow("blank: the guide") << "   " << QUrl();
    QTest::newRow("not a page: the guide") << "javascript:alert(1)" << QUrl();
    QTest::newRow("mail: the guide") << "mailto:someone@example.org" << QUrl();
    QTest::newRow("web address") << "https://example.org/halvor/" << QUrl("https://example.org/halvor/");
    QTest::newRow("bare host") << "example.org" << QUrl("http://example.org");
    QTest::newRow("local file") << "/srv/halvor/index.html" << QUrl::fromLocalFile("/srv/halvor/index.html");
}

void TestOstrevane::homePageAddress() {
    QFETCH(QString, setting);
    QFETCH(QUrl, expected);
    if (!setting.isNull())
        qputenv("HALVOR_HOME_PAGE", setting.toUtf8());
    const QUrl url = COstrevaneDlg::homePage();
    if (expected.isEmpty()) {
        QCOMPARE(url, COstrevaneDlg::guidePage(QCoreApplication::applicationDirPath()));
        QVERIFY(url.isLocalFile());
        QCOMPARE(url.toLocalFile(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/guide/index.html"));
    } else {
        QCOMPARE(url, expected);
    }
}

void TestOstrevane::urlShowsTheMessageWhileOpening() {
    LaunchRecorder recorder;
    BrowserDouble browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &browser, "open");
    qputenv("HALVOR_HOME_PAGE", "https://example.org/halvor/");

    COstrevaneDlg menu;
    QSignalSpy closed(&menu, &halvor::MenuWindow::closed);
    QVERIFY(halvor::testing::showAndWait(menu));
    auto* url = menu.findChild<QAbstractButton*>(QStringLiteral("URL"));
    const QPoint at = url->mapToGlobal(QPoint(300, 20));
    QCursor::setPos(at);
    QTest::mouseClick(url, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));

    QCOMPARE(browser.opened, QList<QUrl>({QUrl("https://example.org/halvor/")}));
    QCOMPARE(browser.messagesShown, QStringList({QStringLiteral("起動中です")}));
    QVERIFY2((browser.messageGeometries.front().topLeft() - QCursor::pos()).manhattanLength() <= 2,
             "the message shows at the pointer");
    // The message stays while the browser starts, and clicks meanwhile open nothing more.
    const auto messageUp = [&menu] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top != &menu && top->isVisible())
                return true;
        return false;
    };
    QTest::qWait(200);
    QVERIFY(messageUp());
    QTest::mouseClick(url, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
    QCOMPARE(browser.opened.size(), 1);
    // Gone after a moment; the menu stays and its music plays on.
    QTRY_VERIFY_WITH_TIMEOUT(!messageUp(), COstrevaneDlg::kStartingMessageMs + 3000);
    QVERIFY(menu.isVisible());
    QVERIFY(menu.musicPlaying());
    QCOMPARE(closed.count(), 0);
    QVERIFY(recorder.launches.empty());
    // The browser's window taking the focus ends the message at once.
    QTest::mouseClick(url, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
    QCOMPARE(browser.opened.size(), 2);
    QVERIFY(messageUp());
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    QTRY_VERIFY_WITH_TIMEOUT(!messageUp(), 500);

    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void TestOstrevane::urlWithoutABrowserSaysSo() {
    // No handler and a platform that opens nothing: as a desktop without xdg-open.
    LaunchRecorder recorder;
    COstrevaneDlg menu;
    QVERIFY(halvor::testing::showAndWait(menu));
    QTest::mouseClick(menu.findChild<QAbstractButton*>(QStringLiteral("URL")), Qt::LeftButton, Qt::NoModifier,
                      QPoint(300, 20));
    auto* message = menu.findChild<QMessageBox*>(QStringLiteral("noBrowserMessage"));
    QVERIFY(message && message->isVisible());
    QCOMPARE(message->text(), COstrevaneDlg::noBrowserText());
    QCOMPARE(message->windowModality(), Qt::WindowModal);
    const auto startingMessages = [] {
        int up = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            up += top->objectName() == QLatin1String("startupMessage") && top->isVisible() ? 1 : 0;
        return up;
    };
    QCOMPARE(startingMessages(), 0);
    message->close();
    QVERIFY(menu.isVisible() && menu.musicPlaying());
}

void TestOstrevane::guideIsInstalledBesideThePrograms() {
    const QString bin = qEnvironmentVariable("HALVOR_BIN");
    if (bin.isEmpty())
        QSKIP("HALVOR_BIN is set by CTest");
    QFile guide(bin + QStringLiteral("/guide/index.html"));
    QVERIFY2(guide.open(QIODevice::ReadOnly), qPrintable(guide.fileName()));
    const QString html = QString::fromUtf8(guide.readAll());
    QVERIFY(html.contains(QStringLiteral("lang=\"ja\"")));
    // It tells about each drill the course menu offers.
    for (const char* title : {"キーボード", "マウス", "ブロック", "ひらがな", "風車"})
        QVERIFY2(html.contains(QString::fromUtf8(title)), title);
}

void TestOstrevane::guideIsFoundFromTheProgramsFolder_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<QString>("expected");
    const QString installed = QStringLiteral("usr/share/halvor/guide/index.html");
    const QString built = QStringLiteral("build/bin/guide/index.html");
    QTest::newRow("installed") << QStringList{installed} << "usr/lib/halvor" << installed;
    QTest::newRow("build tree") << QStringList{built} << "build/bin" << built;
    QTest::newRow("installed, a stray copy beside")
        << QStringList{installed, "usr/lib/halvor/guide/index.html"} << "usr/lib/halvor" << installed;
}

void TestOstrevane::guideIsFoundFromTheProgramsFolder() {
    QFETCH(QStringList, files);
    QFETCH(QString, programDir);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir dir(root.path());
    QVERIFY(dir.mkpath(programDir));
    for (const QString& file : files) {
        QVERIFY(dir.mkpath(QFileInfo(file).path()));
        QFile page(dir.filePath(file));
        QVERIFY(page.open(QIODevice::WriteOnly));
    }
    QCOMPARE(COstrevaneDlg::guidePage(dir.filePath(programDir)), QUrl::fromLocalFile(dir.filePath(expected)));
}

void TestOstrevane::screenshot() {
    LaunchRecorder recorder;
    COstrevaneDlg menu;
    halvor::testing::verifyLook(menu, "OSTREVANE", QStringLiteral("ostrevane"));
}

namespace {

void setSharedComputer(bool shared) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvor"),
                       QStringLiteral("Halvor"));
    settings.setValue(QStringLiteral("Learners/Shared"), shared);
    settings.sync();
}

// A shared computer whose results know two learners, and one registered learner of class 1組; a computer of
// one learner again when the test ends, also when it failed halfway (the other tests' menus ask no one).
class SharedComputer {
public:
    SharedComputer() {
        setSharedComputer(true);
        QFile::remove(DB_LocalPath());
        for (const char* name : {"はると", "aoi"}) {
            ScopedVariable learner("HALVOR_LEARNER", name);
            DB_T_DIGIT row;
            row.Pelvoran = 12;
            row.PelvoranFlag = 1;
            DB_InsertT_Digit(DB_LocalPath(), &row);
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("seed"));
            db.setDatabaseName(DB_LocalPath());
            db.open();
            QSqlQuery(db).exec(QStringLiteral("insert into Learners (Name, Class) values ('ゆき', '1組')"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("seed"));
    }
    ~SharedComputer() { setSharedComputer(false); }
    SharedComputer(const SharedComputer&) = delete;
    SharedComputer& operator=(const SharedComputer&) = delete;
};

} // namespace

void TestOstrevane::thePickerOffersTheKnownNamesAndANewOne() {
    const SharedComputer shared;
    LearnerPicker picker;
    picker.show();
    QTRY_VERIFY(picker.namesShown());
    QCOMPARE(picker.names(), QStringList({"ゆき", "aoi", "はると"}));
    auto* field = picker.findChild<QLineEdit*>(QStringLiteral("txtNewName"));
    auto* start = picker.findChild<QPushButton*>(QStringLiteral("cmdNewName"));
    QVERIFY(!start->isEnabled());
    QTest::keyClicks(field, QStringLiteral("   "));
    QVERIFY(!start->isEnabled()); // blanks are no name
    field->setText(QStringLiteral("a\tb"));
    QVERIFY(!start->isEnabled()); // nor are control characters
    field->setText(QString(40, QLatin1Char('x')));
    QCOMPARE(field->text().size(), 32); // the field takes 32 characters at most
    QVERIFY(start->isEnabled());
    field->setText(QStringLiteral("田中 はると"));
    QVERIFY(start->isEnabled());
    halvor::testing::saveScreenshot(&picker, QStringLiteral("ostrevane_learner_picker"));
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(picker.result(), int(QDialog::Accepted));
    QCOMPARE(picker.chosen(), QStringLiteral("田中 はると"));
}

void TestOstrevane::onASharedComputerTheLearnerIsAskedFirst() {
    const ScopedVariable chosenLearner("HALVOR_LEARNER", QByteArray());
    std::optional<SharedComputer> shared(std::in_place);
    LaunchRecorder recorder(true);
    COstrevaneDlg menu;
    QVERIFY(halvor::testing::showAndWait(menu));
    // The picker is modal: the learner's click comes from a timer while it is up.
    QTimer clicker;
    connect(&clicker, &QTimer::timeout, this, [] {
        auto* picker = qobject_cast<LearnerPicker*>(QApplication::activeModalWidget());
        if (picker && picker->namesShown())
            QTest::mouseClick(picker->findChild<QPushButton*>(QStringLiteral("cmdLearner1")), Qt::LeftButton);
    });
    clicker.start(20);
    QTest::mouseClick(menu.findChild<QAbstractButton*>(QStringLiteral("OK")), Qt::LeftButton);
    clicker.stop();
    QCOMPARE(qEnvironmentVariable("HALVOR_LEARNER"), QStringLiteral("aoi"));
    QCOMPARE(recorder.launches.size(), 1u);
    // Every window of the programs started from here shows the name after its caption.
    HalvorShowLearnerInCaptions();
    QWidget drill;
    CMN_SetWindowTitle("PELVORAN12", &drill);
    QCOMPARE(drill.windowTitle(), CMN_WindowTitle("PELVORAN12") + QStringLiteral("　－　aoi"));
    shared.reset();
    CMN_SetWindowTitle("PELVORAN12", &drill);
    QCOMPARE(drill.windowTitle(), CMN_WindowTitle("PELVORAN12"));
}

QTEST_MAIN(TestOstrevane)
#include "tst_ostrevane.moc"
