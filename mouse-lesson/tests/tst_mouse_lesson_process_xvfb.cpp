// The real Sorvanel11 on a real X server, finished with the mouse as a learner would: xdotool clicks the
// targets it sees on the screen, double-clicks the presents, drags the fruit, and goes back to the menu.
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool xdotool(const QStringList& arguments, QString* output = nullptr) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return false;
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return true;
}

} // namespace

class MouseLessonProcessTest : public QObject {
    Q_OBJECT
private slots:
    void finishEveryExerciseWithTheMouse();

private:
    QImage screen(const QString& name);
    void click(QPoint p, int times = 1);
    void drag(QPoint from, QPoint to);
    bool bannerShown(QPoint at);

    QPoint origin_;
    int shot_ = 0;
};

QImage MouseLessonProcessTest::screen(const QString& name) {
    const QImage image =
        QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(QRect(origin_, QSize(720, 540)));
    const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
    if (!folder.isEmpty() && !name.isEmpty())
        image.save(QStringLiteral("%1/mouse_lesson_process_%2_%3.png").arg(folder).arg(++shot_).arg(name));
    return image.convertToFormat(QImage::Format_RGB32);
}

void MouseLessonProcessTest::click(QPoint p, int times) {
    const QPoint at = origin_ + p;
    QVERIFY(xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())}));
    QTest::qWait(60);
    QVERIFY(xdotool({"click", "--repeat", QString::number(times), "--delay", "80", "1"}));
    QTest::qWait(150);
}

void MouseLessonProcessTest::drag(QPoint from, QPoint to) {
    const QPoint a = origin_ + from, b = origin_ + to, middle = (a + b) / 2;
    QVERIFY(xdotool({"mousemove", QString::number(a.x()), QString::number(a.y())}));
    QTest::qWait(60);
    QVERIFY(xdotool({"mousedown", "1"}));
    for (QPoint p : {middle, b}) {
        QTest::qWait(60);
        QVERIFY(xdotool({"mousemove", QString::number(p.x()), QString::number(p.y())}));
    }
    QTest::qWait(60);
    QVERIFY(xdotool({"mouseup", "1"}));
    QTest::qWait(150);
}

bool MouseLessonProcessTest::bannerShown(QPoint at) {
    // The praise banner's warm fill.
    return screen(QString()).pixel(at) == qRgb(0xff, 0xf6, 0xcc);
}

void MouseLessonProcessTest::finishEveryExerciseWithTheMouse() {
    const QString program = qEnvironmentVariable("HALVOR_BIN") + QStringLiteral("/Sorvanel11");
    if (!QFile::exists(program))
        QSKIP("Sorvanel11 is not built");
    QTemporaryDir dir;
    const QString caller = dir.filePath(QStringLiteral("caller.sh"));
    const QString marker = dir.filePath(QStringLiteral("caller-started"));
    QFile script(caller);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess lesson;
    lesson.start(program, {caller, QString()});
    QVERIFY(lesson.waitForStarted());
    QString id;
    QTRY_VERIFY_WITH_TIMEOUT(xdotool({"search", "--onlyvisible", "--name", "マウスについて"}, &id), 10000);
    id = id.section(u'\n', 0, 0);
    QString geometry;
    QVERIFY(xdotool({"getwindowgeometry", "--shell", id}, &geometry));
    for (const QString& line : geometry.split(u'\n')) {
        if (line.startsWith(QLatin1String("X=")))
            origin_.setX(line.mid(2).toInt());
        if (line.startsWith(QLatin1String("Y=")))
            origin_.setY(line.mid(2).toInt());
    }
    QTest::qWait(300);
    const QPoint next(640, 520);
    click(next);
    QTest::qWait(700);

    // Ten targets, found on the screen by their red rings.
    for (int i = 0; i < 10; ++i) {
        const QImage image = screen(i == 0 ? QStringLiteral("targets") : QString());
        QRect found;
        for (int y = 96; y < 500; ++y)
            for (int x = 20; x < 700; ++x)
                if (image.pixel(x, y) == qRgb(0xe5, 0x39, 0x35))
                    found |= QRect(x, y, 1, 1);
        QVERIFY2(found.isValid(), qPrintable(QStringLiteral("target %1 not on the screen").arg(i + 1)));
        click(found.center());
    }
    QTRY_VERIFY_WITH_TIMEOUT(bannerShown(QPoint(360, 200)), 3000);
    screen(QStringLiteral("clicks_done"));

    click(next);
    QTest::qWait(700);
    for (int i = 0; i < 5; ++i)
        click(QPoint(102 + 124 * i, 268), 2);
    QTRY_VERIFY_WITH_TIMEOUT(bannerShown(QPoint(360, 380)), 3000);
    screen(QStringLiteral("presents_done"));

    click(next);
    QTest::qWait(700);
    for (int i = 0; i < 5; ++i)
        drag(QPoint(72 + 78 * i, 420), QPoint(572, 330));
    QTRY_VERIFY_WITH_TIMEOUT(bannerShown(QPoint(360, 100)), 3000);
    screen(QStringLiteral("fruit_done"));

    click(next);
    QTest::qWait(700);
    screen(QStringLiteral("summary"));
    click(QPoint(360, 430)); // back to the menu
    QTRY_COMPARE_WITH_TIMEOUT(lesson.state(), QProcess::NotRunning, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
}

QTEST_MAIN(MouseLessonProcessTest)
#include "tst_mouse_lesson_process_xvfb.moc"
