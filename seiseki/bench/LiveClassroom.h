// A classroom of simulated computers for the live page's benchmarks: each a learner at one program, in
// runs of a minute with a report every five seconds while typing, a finish, a pause, and now and then a
// learner who stops typing. Times are the lesson's milliseconds.
#pragma once

#include "Presence.h"

#include <QDateTime>
#include <QList>
#include <QRandomGenerator>

namespace halvor::bench {

class LiveClassroom {
public:
    explicit LiveClassroom(int computers, quint32 seed = 24) : random_(seed) {
        for (int i = 0; i < computers; ++i) {
            Computer c;
            c.index = i;
            c.program = QStringList{"Pelvoran12", "Tavrel23", "Tavrel11", "Pelvoran11"}[i % 4];
            c.course = QStringList{"LEVEL3", "GA", "4", "P5"}[i % 4];
            c.next = random_.bounded(5000); // not all at once
            computers_ << c;
        }
    }

    static QString learner(int i) { return QStringLiteral("生徒%1").arg(i + 1, 2, 10, QLatin1Char('0')); }
    static QString computer(int i) { return QStringLiteral("pc%1").arg(i + 1, 2, 10, QLatin1Char('0')); }
    static QString login(int i) { return QStringLiteral("halvor_pc%1").arg(i + 1, 2, 10, QLatin1Char('0')); }
    int size() const { return static_cast<int>(computers_.size()); }

    // The next report of the computer that reports first, and when (the lesson's ms).
    presence::Report next(qint64* at) {
        Computer* c = &computers_[0];
        for (Computer& other : computers_) {
            if (other.next < c->next)
                c = &other;
        }
        *at = c->next;
        return step(*c);
    }

    // What the server announces for a report it had at `time` (the lesson started at `lessonStart`).
    static presence::Record announced(const presence::Report& r, int index, const QDateTime& lessonStart,
                                      qint64 at) {
        presence::Record out;
        out.event = r.event;
        out.time = lessonStart.addMSecs(at);
        out.learner = r.learner;
        out.login = login(index);
        out.computer = r.computer;
        out.program = r.program;
        out.course = r.course;
        out.started = out.time.addMSecs(-r.sinceStartMs);
        if (r.sinceInputMs)
            out.lastInput = out.time.addMSecs(-*r.sinceInputMs);
        out.running = r.running;
        out.figures = r.figures;
        return out;
    }

private:
    struct Computer {
        int index = 0;
        QString program;
        QString course;
        qint64 next = 0;
        qint64 runStart = -1; // the lesson's ms; -1 between runs
        qint64 lastInput = -1;
        int keystrokes = 0;
        int errors = 0;
        bool stuck = false;
    };

    presence::Report step(Computer& c) {
        presence::Report r;
        r.learner = learner(c.index);
        r.computer = computer(c.index);
        r.program = c.program;
        r.course = c.course;
        r.sinceStartMs = c.next;
        const qint64 now = c.next;
        if (c.runStart < 0) {
            r.event = presence::Event::Start;
            c.runStart = now;
            c.keystrokes = c.errors = 0;
            c.stuck = random_.bounded(10) == 0;
            r.running = true;
            c.next = now + 5000;
        } else if (now - c.runStart >= 60000) {
            r.event = presence::Event::Finish;
            r.figures.speed = 60.0 * c.keystrokes / 60.0;
            r.figures.keystrokes = c.keystrokes;
            r.figures.errors = c.errors;
            r.figures.seconds = 60;
            c.runStart = -1;
            c.next = now + 10000;
        } else {
            r.event = presence::Event::Progress;
            r.running = true;
            if (!c.stuck) {
                const int typed = 8 + static_cast<int>(random_.bounded(10));
                c.keystrokes += typed;
                c.errors += static_cast<int>(random_.bounded(typed / 4 + 1));
                c.lastInput = now - random_.bounded(300);
            }
            r.figures.keystrokes = c.keystrokes;
            r.figures.errors = c.errors;
            r.figures.accuracy = presence::accuracyOf(c.keystrokes, c.errors);
            r.figures.speed = c.keystrokes * 60000.0 / std::max<qint64>(1, now - c.runStart);
            c.next = now + (c.stuck ? 15000 : 5000);
        }
        if (c.lastInput >= 0)
            r.sinceInputMs = now - c.lastInput;
        return r;
    }

    QRandomGenerator random_;
    QList<Computer> computers_;
};

} // namespace halvor::bench
