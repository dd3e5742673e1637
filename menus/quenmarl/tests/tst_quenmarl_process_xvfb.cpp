// The menus as the learner meets them: real processes on a real X server, clicked with xdotool.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const QString kCourseMenu = QStringLiteral("コースメニュー");
const QString kTopMenu = QStringLiteral("^Halvorシステム$");
const QString kHiraganaDrill = QStringLiteral("ひらがなローマ字入力");

QString xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QStringList visibleWindows(const QString& name) {
    const QString out =
        xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), name});
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

// The window of that name once exactly one is shown; empty after the timeout.
QString waitForWindow(const QString& name, int timeoutMs = 15000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const QStringList windows = visibleWindows(name);
        if (windows.size() == 1)
            return windows.front();
        QTest::qWait(100);
    }
    return {};
}

bool waitForNoWindow(const QString& name, int timeoutMs = 15000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (visibleWindows(name).isEmpty())
            return true;
        QTest::qWait(100);
    }
    return false;
}

void click(const QString& window, int x, int y, int times = 1) {
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
             QString::number(y), QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(times),
             QStringLiteral("--delay"), QStringLiteral("5"), QStringLiteral("1")});
}

// A window's size as the X server has it.
QSize windowSize(const QString& window) {
    const QString out = xdotool({QStringLiteral("getwindowgeometry"), window});
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(out);
    return size.hasMatch() ? QSize(size.captured(1).toInt(), size.captured(2).toInt()) : QSize();
}

// The window of that name once it is shown at `size`; empty after the timeout.
QString waitForWindowOfSize(const QString& name, QSize size, int timeoutMs = 15000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        for (const QString& window : visibleWindows(name))
            if (windowSize(window) == size)
                return window;
        QTest::qWait(100);
    }
    return {};
}

// F11 as the learner presses it, to the window with the keys. The focus is given as a window manager would
// (without one it is lost when the menu that had it goes), and the key goes through the server's keyboard:
// sent to a window that stops having the focus at the press, its release would never come.
void pressF11(const QString& window) {
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    xdotool({QStringLiteral("key"), QStringLiteral("F11")});
}

// A screenshot of a real window, as the X server shows it.
void shoot(const QString& window, const QString& name) {
    const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    QScreen* screen = QGuiApplication::primaryScreen();
    if (folder.isEmpty() || !screen)
        return;
    QTest::qWait(300); // the first paint
    screen->grabWindow(window.toULongLong()).save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

// Ends what the menus started on their own and the test did not wait for.
void closeLeftovers() {
    for (const QString& name : {kCourseMenu, kTopMenu, kHiraganaDrill}) {
        for (const QString& window : visibleWindows(name)) {
            const QString pid = xdotool({QStringLiteral("getwindowpid"), window});
            if (pid.toLongLong() > 0)
                QProcess::execute(QStringLiteral("kill"), {pid});
        }
    }
}

// Starts a program of the suite by name, or with no name the top menu as the desktop starts it: through the
// launcher when one is given (an installed tree), else straight from the programs' folder.
void startProgram(QProcess& process, const QString& bin, const QString& program,
                  const QProcessEnvironment& env) {
    // The programs the menus start share this output; a pipe closed at the top menu's exit would kill them.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setProcessEnvironment(env);
    const QString launcher = env.value(QStringLiteral("HALVOR_LAUNCHER"));
    if (!launcher.isEmpty())
        process.start(launcher, program.isEmpty() ? QStringList() : QStringList{program});
    else
        process.start(bin + u'/' + (program.isEmpty() ? QStringLiteral("Ostrevane") : program), {});
}

} // namespace

class TestQuenmarlProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        bin_ = qEnvironmentVariable("HALVOR_BIN");
        if (bin_.isEmpty() || qEnvironmentVariable("DISPLAY").isEmpty())
            QSKIP("runs under CTest with an X server");
        QVERIFY(QFile::exists(bin_ + QStringLiteral("/Quenmarl")));
        QVERIFY(QFile::exists(bin_ + QStringLiteral("/Ostrevane")));
    }
    void cleanup() { closeLeftovers(); }

    void roadBetweenTheMenus();
    void urlOpensTheGuide();
    void quickClicksStartOneDrill();
    void fullScreenGoesFromProgramToProgram();

private:
    QString bin_;
};

void TestQuenmarlProcess::roadBetweenTheMenus() {
    QProcess top;
    startProgram(top, bin_, QString(), QProcessEnvironment::systemEnvironment());
    QString window = waitForWindow(kTopMenu);
    QVERIFY2(!window.isEmpty(), "the top menu shows");
    shoot(window, QStringLiteral("process_ostrevane"));

    // The start button opens the course menu and the top menu goes.
    click(window, 200 + 64, 470 + 16);
    QVERIFY(top.waitForFinished(10000));
    window = waitForWindow(kCourseMenu);
    QVERIFY2(!window.isEmpty(), "the course menu is started from the top menu");
    shoot(window, QStringLiteral("process_quenmarl"));

    // Keys that would close a dialog do nothing; a course whose program is missing leaves the menu open.
    click(window, 20, 20);
    xdotool({QStringLiteral("key"), QStringLiteral("--window"), window, QStringLiteral("Escape"),
             QStringLiteral("Return")});
    if (!QFile::exists(bin_ + QStringLiteral("/Sorvanel11")))
        click(window, 70 + 81, 266 + 41);
    QTest::qWait(700);
    QCOMPARE(visibleWindows(kCourseMenu).size(), 1);

    // A drill and back: the hiragana drill's end button brings a fresh course menu.
    if (QFile::exists(bin_ + QStringLiteral("/Tavrel23"))) {
        click(window, 286 + 81, 266 + 41);
        const QString drill = waitForWindow(kHiraganaDrill);
        QVERIFY2(!drill.isEmpty(), "the hiragana drill shows");
        shoot(drill, QStringLiteral("process_tavrel23"));
        QVERIFY(waitForNoWindow(kCourseMenu));
        click(drill, 612 + 48, 498 + 15);
        QVERIFY2(waitForNoWindow(kHiraganaDrill), "the drill's end button closes it");
        window = waitForWindow(kCourseMenu);
        QVERIFY2(!window.isEmpty(), "the drill starts the course menu again");
    } else {
        qInfo("no Tavrel23 in %s: the road through a drill is not walked", qPrintable(bin_));
    }

    // END leaves for the top menu, and END there ends the suite.
    click(window, 297 + 76, 499 + 12);
    window = waitForWindow(kTopMenu);
    QVERIFY2(!window.isEmpty(), "the top menu is started again");
    QVERIFY(waitForNoWindow(kCourseMenu));
    click(window, 380 + 64, 470 + 16);
    QVERIFY2(waitForNoWindow(kTopMenu), "END ends the top menu");
    QTest::qWait(500);
    QVERIFY(visibleWindows(kCourseMenu).isEmpty());
}

void TestQuenmarlProcess::urlOpensTheGuide() {
    // The desktop's opener is a stand-in that writes down the address it was given.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString opened = dir.filePath(QStringLiteral("opened"));
    QFile opener(dir.filePath(QStringLiteral("xdg-open")));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(opened).toUtf8());
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), dir.path() + u':' + env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path()); // no home page set by the user
    env.remove(QStringLiteral("HALVOR_HOME_PAGE"));

    QProcess top;
    startProgram(top, bin_, QStringLiteral("Ostrevane"), env);
    const QString window = waitForWindow(kTopMenu);
    QVERIFY2(!window.isEmpty(), "the top menu shows");
    click(window, 80 + 280, 360 + 20);
    // The shell makes the file before it writes the line: wait for the line.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(opened).size() > 0, 10000);
    QFile file(opened);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QUrl page(QString::fromUtf8(file.readAll()).trimmed());
    QVERIFY2(page.isLocalFile() && page.path().endsWith(QStringLiteral("/guide/index.html")),
             qPrintable(page.toString()));
    QVERIFY2(QFile::exists(page.toLocalFile()), "the guide is where the top menu looks for it");

    click(window, 380 + 64, 470 + 16);
    QVERIFY(top.waitForFinished(10000));
}

void TestQuenmarlProcess::quickClicksStartOneDrill() {
    // A folder of its own, where the keyboard lesson is a probe that logs how it was started.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString menu = dir.filePath(QStringLiteral("Quenmarl"));
    const QString drill = dir.filePath(QStringLiteral("Pelvoran11"));
    const QString log = dir.filePath(QStringLiteral("starts.log"));
    QVERIFY(QFile::copy(bin_ + QStringLiteral("/Quenmarl"), menu));
    QVERIFY(QFile::copy(QStringLiteral(QUENMARL_PROBE), drill));

    QProcess course;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HALVOR_PROBE_LOG"), log);
    course.setProcessEnvironment(env);
    course.setProcessChannelMode(QProcess::ForwardedChannels);
    course.start(menu, {});
    const QString window = waitForWindow(kCourseMenu);
    QVERIFY(!window.isEmpty());

    click(window, 70 + 81, 133 + 41, 4);
    QVERIFY2(course.waitForFinished(10000), "the menu closes after the start");
    QTest::qWait(1000);

    QFile file(log);
    QVERIFY2(file.open(QIODevice::ReadOnly), "the drill was started");
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.front(), QStringLiteral("\"%1\" \"%2\" ").arg(drill, menu));
    // A drill start clears the return flag: the top menu is not started.
    QVERIFY(visibleWindows(kTopMenu).isEmpty());
}

void TestQuenmarlProcess::fullScreenGoesFromProgramToProgram() {
    if (!QFile::exists(bin_ + QStringLiteral("/Tavrel23")))
        QSKIP("needs the hiragana drill");
    QProcess course;
    startProgram(course, bin_, QStringLiteral("Quenmarl"), QProcessEnvironment::systemEnvironment());
    QString window = waitForWindow(kCourseMenu);
    QVERIFY(!window.isEmpty());
    pressF11(window);
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    window = waitForWindowOfSize(kCourseMenu, screen);
    QVERIFY2(!window.isEmpty(), "F11 fills the screen with the course menu");

    // A course clicked where the full screen shows it starts the drill in full screen.
    const double zoom = std::min(screen.width() / 720.0, screen.height() / 540.0);
    const QPoint origin((screen.width() - 720 * zoom) / 2, (screen.height() - 540 * zoom) / 2);
    click(window, origin.x() + int((286 + 81) * zoom), origin.y() + int((266 + 41) * zoom));
    QString drill = waitForWindowOfSize(kHiraganaDrill, screen);
    QVERIFY2(!drill.isEmpty(), "the drill opens full screen");
    QVERIFY(visibleWindows(kHiraganaDrill).size() == 1); // never also at its small size
    shoot(drill, QStringLiteral("process_tavrel23_full_screen"));

    // F11 in the drill leaves full screen for the whole suite: its end button brings a window-sized menu.
    pressF11(drill);
    drill = waitForWindowOfSize(kHiraganaDrill, QSize(720, 540));
    QVERIFY2(!drill.isEmpty(), "F11 gives the drill its window back");
    click(drill, 612 + 48, 498 + 15);
    QVERIFY(waitForNoWindow(kHiraganaDrill));
    QVERIFY2(!waitForWindowOfSize(kCourseMenu, QSize(720, 540)).isEmpty(),
             "the course menu comes back as a window");
}

// A GUI application: its own connection keeps the X server from resetting whenever the menus close.
QTEST_MAIN(TestQuenmarlProcess)
#include "tst_quenmarl_process_xvfb.moc"
