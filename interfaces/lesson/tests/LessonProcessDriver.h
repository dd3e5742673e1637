// Drives a lesson program on a real X server as a learner would, with xdotool, and sees its window through
// screen grabs. For the process tests of both lessons.
#pragma once

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

class LessonProcessDriver {
public:
    // Starts program with a caller that leaves a mark when it is started, and waits for the window.
    bool start(const QString& programName, const QString& caption) {
        const QString program = qEnvironmentVariable("HALVOR_BIN") + u'/' + programName;
        if (!QFile::exists(program) || !dir_.isValid())
            return false;
        QFile script(callerPath());
        if (!script.open(QIODevice::WriteOnly))
            return false;
        script.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(markerPath()).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        process_.start(program, {callerPath(), QString()});
        if (!process_.waitForStarted())
            return false;
        QString id;
        if (!waitForWindows(caption, 1, &id))
            return false;
        QString geometry;
        if (!xdotool({"getwindowgeometry", "--shell", id}, &geometry))
            return false;
        for (const QString& line : geometry.split(u'\n')) {
            if (line.startsWith(QLatin1String("X=")))
                origin_.setX(line.mid(2).toInt());
            if (line.startsWith(QLatin1String("Y=")))
                origin_.setY(line.mid(2).toInt());
        }
        QTest::qWait(300);
        return true;
    }

    // Waits until `count` windows showing `caption` are up (a message box has its window's caption); false
    // after 10 s. *first: the first of them.
    bool waitForWindows(const QString& caption, int count, QString* first = nullptr) {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            QString ids;
            xdotool({"search", "--onlyvisible", "--name", caption}, &ids); // fails when there is none
            const QStringList shown = ids.split(u'\n', Qt::SkipEmptyParts);
            if (shown.size() == count) {
                if (first)
                    *first = shown.value(0);
                return true;
            }
            if (waited.elapsed() > 10000)
                return false;
            QTest::qWait(100);
        }
    }

    bool running() const { return process_.state() != QProcess::NotRunning; }
    bool callerStarted() const { return QFile::exists(markerPath()); }

    // The window's client area as it shows now; saved as a screenshot when named.
    QImage screen(const QString& name = QString()) {
        const QImage image =
            QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(QRect(origin_, QSize(720, 540)));
        const QString folder = qEnvironmentVariable("HALVOR_SCREENSHOTS");
        if (!folder.isEmpty() && !name.isEmpty())
            image.save(QStringLiteral("%1/%2_%3.png").arg(folder, name).arg(++shot_));
        return image.convertToFormat(QImage::Format_RGB32);
    }

    bool click(QPoint p, int times = 1) {
        const bool ok =
            moveTo(p) && xdotool({"click", "--repeat", QString::number(times), "--delay", "80", "1"});
        QTest::qWait(150);
        return ok;
    }

    bool drag(QPoint from, QPoint to) {
        if (!moveTo(from) || !xdotool({"mousedown", "1"}))
            return false;
        const bool moved = moveTo((from + to) / 2) && moveTo(to);
        const bool ok = xdotool({"mouseup", "1"}) && moved;
        QTest::qWait(150);
        return ok;
    }

    bool type(const QString& text) {
        const bool ok = xdotool({"type", "--delay", "40", text});
        QTest::qWait(150);
        return ok;
    }

private:
    static bool xdotool(const QStringList& arguments, QString* output = nullptr) {
        QProcess p;
        p.start(QStringLiteral("xdotool"), arguments);
        if (!p.waitForFinished(10000) || p.exitCode() != 0)
            return false;
        if (output)
            *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        return true;
    }
    bool moveTo(QPoint p) {
        const QPoint at = origin_ + p;
        const bool ok = xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
        QTest::qWait(60);
        return ok;
    }
    QString callerPath() const { return dir_.filePath(QStringLiteral("caller.sh")); }
    QString markerPath() const { return dir_.filePath(QStringLiteral("caller-started")); }

    QTemporaryDir dir_;
    QProcess process_;
    QPoint origin_;
    int shot_ = 0;
};
