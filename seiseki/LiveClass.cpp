#include "LiveClass.h"

#include <algorithm>
#include <cmath>

using halvor::presence::Event;
using halvor::presence::Figures;
using halvor::presence::Record;

namespace seiseki {

namespace {

QString folded(const QString& name) {
    return name.toCaseFolded();
}

QString tileKey(const Record& r) {
    return r.login + QLatin1Char('/') + r.computer;
}

qint64 secondsBetween(const QDateTime& from, const QDateTime& to) {
    return from.isValid() && to.isValid() ? std::max<qint64>(0, from.secsTo(to)) : 0;
}

// Whole numbers as the drills' panels show them; times with a tenth.
QString whole(double v) {
    return QString::number(static_cast<qint64>(std::floor(v)));
}
QString tenths(double v) {
    QString s = QString::number(std::floor(v * 10) / 10, 'f', 1);
    return s.endsWith(QLatin1String(".0")) ? s.chopped(2) : s;
}

// The better of two results of one course; a result without the figure that counts is never better.
bool better(const QString& program, const Figures& a, const Figures& b) {
    if (halvor::presence::shorterIsBetter(program))
        return a.seconds && (!b.seconds || *a.seconds < *b.seconds);
    return a.speed && (!b.speed || *a.speed > *b.speed);
}

} // namespace

QByteArray WatchLines::heard(const Record& record, const QDateTime& now) {
    live_.apply(record, now);
    return record.toJsonLine();
}

QList<QByteArray> WatchLines::tick(const QDateTime& now) {
    QList<QByteArray> lines;
    for (const QString& key : live_.tick(now).stale) {
        const Tile& t = *live_.tile(key);
        Record r;
        r.event = Event::Stale;
        r.time = now;
        r.learner = t.learner;
        r.login = t.login;
        r.computer = t.computer;
        r.program = t.program;
        r.course = t.course;
        r.started = t.started;
        r.lastInput = t.lastInput;
        lines << r.toJsonLine();
    }
    return lines;
}

QString activityText(const QString& program, const QString& course) {
    const QString title = halvor::presence::programTitle(program);
    return course.isEmpty() ? title
                            : title + QLatin1Char(' ') + halvor::presence::courseName(program, course);
}

QString durationText(qint64 seconds) {
    if (seconds < 60)
        return QStringLiteral("1分 みまん");
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return QStringLiteral("%1分").arg(minutes);
    return QStringLiteral("%1時間 %2分").arg(minutes / 60).arg(minutes % 60);
}

QString resultText(const QString& program, const Figures& f, bool running) {
    const bool kana = halvor::presence::shorterIsBetter(program);
    QStringList parts;
    if (kana && !running && f.seconds)
        parts << tenths(*f.seconds) + QStringLiteral("秒");
    else if (f.speed)
        parts << whole(*f.speed) + (kana ? QStringLiteral("文字／分") : QStringLiteral("回／分"));
    if (f.done && f.total)
        parts << QStringLiteral("%1/%2").arg(*f.done).arg(*f.total);
    if (running && f.accuracy)
        parts << whole(*f.accuracy + 0.5) + QLatin1Char('%');
    else if (!running && f.errors)
        parts << QStringLiteral("ミス %1").arg(*f.errors);
    return parts.join(QStringLiteral("  "));
}

void LiveClass::setRoster(const QList<RosterEntry>& roster) {
    roster_ = roster;
    rosterIndex_.clear();
    for (int i = 0; i < roster.size(); ++i)
        rosterIndex_.insert(folded(roster[i].name), i);
}

std::optional<int> LiveClass::rosterIndex(const QString& learner) const {
    const auto it = rosterIndex_.constFind(folded(learner));
    return it == rosterIndex_.constEnd() ? std::nullopt : std::optional<int>(*it);
}

QString LiveClass::apply(const Record& r, const QDateTime& now) {
    const QDateTime at = r.time.isValid() ? r.time : now;
    if (!opened_.isValid())
        opened_ = now;
    if (r.event == Event::Stale)
        return {};
    if (r.event == Event::Run) {
        if (!r.runId.isEmpty() && runIds_.contains(r.runId))
            return {};
        if (!r.runId.isEmpty())
            runIds_.insert(r.runId);
        runs_.append({r.learner, activityText(r.program, r.course), r.program, r.figures, at});
        // The learner's tile shows the run as its last result when no finish was heard (a viewer that
        // started late); the tile of the login it came through first. A run of earlier in the day is not
        // the session's.
        QString key;
        for (auto it = tiles_.cbegin(); it != tiles_.cend(); ++it) {
            if (folded(it->learner) == folded(r.learner) && (key.isEmpty() || it->login == r.login))
                key = it.key();
        }
        if (key.isEmpty() || tiles_[key].last || at < tiles_[key].started)
            return {};
        tiles_[key].last = Tile::Result{r.program, r.course, r.figures};
        return key;
    }
    const QString key = tileKey(r);
    Tile& t = tiles_[key];
    // A report older than what the tile shows (rows read at the start after a newer announcement) is old
    // news.
    if (t.heard.isValid() && at < t.heard)
        return {};
    const QDateTime started = r.started.isValid() ? r.started : at;
    if (t.started != started || folded(t.learner) != folded(r.learner)) {
        // Another program (or learner) at this computer: a new session; the last result stays with its
        // learner.
        std::optional<Tile::Result> last;
        if (folded(t.learner) == folded(r.learner))
            last = t.last;
        t = Tile{};
        t.started = started;
        t.last = last;
    }
    t.login = r.login;
    t.computer = r.computer;
    t.learner = r.learner;
    t.program = r.program;
    t.course = r.course;
    // A run heard of from its start counts from then; one first heard of midway, from its last keystroke.
    if (r.running && !t.running)
        t.runSince = r.event == Event::Start || t.heard.isValid() ? at : QDateTime();
    t.running = r.running && r.event != Event::Close;
    t.lastInput = r.lastInput;
    t.heard = at;
    t.staleTold = false;
    t.ended = r.event == Event::Close ? at : QDateTime();
    t.figures = t.running ? r.figures : Figures{};
    if (!r.running && !r.figures.empty())
        t.last = Tile::Result{r.program, r.course, r.figures};
    noteSession(t);
    return key;
}

void LiveClass::noteSession(const Tile& t) {
    Session& s = sessions_[t.login + QLatin1Char('/') + t.computer + QLatin1Char('@') +
                           t.started.toString(Qt::ISODateWithMs)];
    s.learner = t.learner;
    s.from = t.started;
    s.heard = t.heard;
    s.ended = t.ended;
    if (!t.program.isEmpty()) {
        const QString activity = activityText(t.program, t.course);
        if (!s.practised.contains(activity))
            s.practised << activity;
    }
}

LiveClass::Passed LiveClass::tick(const QDateTime& now) {
    Passed passed;
    for (auto it = tiles_.begin(); it != tiles_.end();) {
        const Tile& t = *it;
        const bool gone = (t.ended.isValid() && t.ended.msecsTo(now) >= bounds_.endedGoneMs) ||
                          t.heard.msecsTo(now) >= bounds_.goneMs;
        if (gone) {
            passed.gone << it.key();
            it = tiles_.erase(it);
            continue;
        }
        if (!it->staleTold && state(*it, now) == TileState::Stale) {
            it->staleTold = true;
            passed.stale << it.key();
        }
        ++it;
    }
    return passed;
}

const Tile* LiveClass::tile(const QString& key) const {
    const auto it = tiles_.constFind(key);
    return it == tiles_.constEnd() ? nullptr : &*it;
}

QStringList LiveClass::order() const {
    QStringList keys = tiles_.keys();
    const auto rank = [this](const QString& key) {
        const Tile& t = tiles_[key];
        const std::optional<int> index = rosterIndex(t.learner);
        return std::make_tuple(index                 ? 0
                               : t.learner.isEmpty() ? 2
                                                     : 1,
                               index.value_or(0), folded(t.learner), t.computer, t.login);
    };
    std::sort(keys.begin(), keys.end(),
              [&](const QString& a, const QString& b) { return rank(a) < rank(b); });
    return keys;
}

TileState LiveClass::state(const Tile& t, const QDateTime& now) const {
    if (t.ended.isValid())
        return TileState::Ended;
    if (t.heard.msecsTo(now) >= bounds_.staleMs)
        return TileState::Stale;
    if (!t.running)
        return TileState::Ready;
    QDateTime since = t.runSince;
    if (t.lastInput.isValid() && (!since.isValid() || t.lastInput > since))
        since = t.lastInput;
    if (!since.isValid())
        since = t.started;
    return since.msecsTo(now) >= bounds_.idleMs ? TileState::Idle : TileState::Practising;
}

bool LiveClass::manyMistakes(const Tile& t) const {
    const Figures& f = t.figures;
    return t.running && f.accuracy && *f.accuracy < bounds_.lowAccuracy &&
           (!f.keystrokes || *f.keystrokes >= bounds_.minKeystrokes);
}

TileView LiveClass::view(const Tile& t, const QDateTime& now, bool projector) const {
    TileView v;
    v.state = state(t, now);
    const bool going = v.state == TileState::Practising || v.state == TileState::Idle;
    v.manyMistakes = going && manyMistakes(t);
    if (projector) {
        const std::optional<int> index = rosterIndex(t.learner);
        const std::optional<int> number = index ? roster_[*index].number : std::nullopt;
        v.name = number ? QStringLiteral("%1番").arg(*number) : t.computer;
    } else {
        v.name = t.learner.isEmpty() ? t.computer : t.learner;
    }
    v.activity = activityText(t.program, t.course);
    const QDateTime until = v.state == TileState::Ended   ? t.ended
                            : v.state == TileState::Stale ? t.heard
                                                          : now;
    v.time = durationText(secondsBetween(t.started, until));
    switch (v.state) {
    case TileState::Ready:
        v.status = QStringLiteral("スタート まえ");
        break;
    case TileState::Practising:
        v.status = QStringLiteral("れんしゅう中");
        break;
    case TileState::Idle:
        v.status = QStringLiteral("てが とまっている");
        break;
    case TileState::Ended:
        v.status = QStringLiteral("おわり");
        break;
    case TileState::Stale:
        v.status = QStringLiteral("れんらくが ありません");
        break;
    }
    if (going)
        v.figures = resultText(t.program, t.figures, true);
    if (t.last) {
        const QString result = resultText(t.last->program, t.last->figures, false);
        const QString what = t.last->program == t.program
                                 ? QString()
                                 : halvor::presence::programTitle(t.last->program) + QLatin1Char(' ');
        if (!result.isEmpty())
            v.last = QStringLiteral("さいご ") + what + result;
    }
    return v;
}

QList<SummaryLine> LiveClass::summary(const QDateTime& now) const {
    QList<SummaryLine> lines;
    QHash<QString, qsizetype> at; // folded learner → line
    const auto line = [&](const QString& learner) -> SummaryLine& {
        const QString key = folded(learner);
        if (const auto it = at.constFind(key); it != at.constEnd())
            return lines[*it];
        at.insert(key, lines.size());
        SummaryLine l;
        l.learner = learner;
        if (const std::optional<int> index = rosterIndex(learner))
            l.number = roster_[*index].number;
        lines << l;
        return lines.last();
    };
    for (const RosterEntry& entry : roster_)
        line(entry.name);
    // Sessions in the order they began, so what was practised reads in the lesson's order.
    QList<const Session*> sessions;
    for (const Session& s : sessions_) {
        if (!s.learner.isEmpty())
            sessions << &s;
    }
    std::sort(sessions.begin(), sessions.end(),
              [](const Session* a, const Session* b) { return a->from < b->from; });
    QHash<QString, QList<std::pair<QDateTime, QDateTime>>> spans;
    const int rosterLines = static_cast<int>(lines.size());
    for (const Session* s : std::as_const(sessions)) {
        SummaryLine& l = line(s->learner);
        for (const QString& activity : s->practised) {
            if (!l.practised.contains(activity))
                l.practised << activity;
        }
        const QDateTime to = s->ended.isValid()                        ? s->ended
                             : s->heard.msecsTo(now) < bounds_.staleMs ? now
                                                                       : s->heard;
        spans[folded(s->learner)].append({s->from, std::max(s->from, to)});
    }
    for (auto it = spans.begin(); it != spans.end(); ++it) {
        // Two computers at once count once: the spans are merged.
        auto& list = *it;
        std::sort(list.begin(), list.end());
        qint64 seconds = 0;
        QDateTime from, to;
        for (const auto& [a, b] : list) {
            if (!to.isValid() || a > to) {
                seconds += secondsBetween(from, to);
                from = a;
            }
            to = std::max(to.isValid() ? to : b, b);
        }
        seconds += secondsBetween(from, to);
        lines[at[it.key()]].seconds = seconds;
    }
    QDateTime lessonFrom = opened_;
    for (const Session* s : std::as_const(sessions))
        lessonFrom = lessonFrom.isValid() ? std::min(lessonFrom, s->from) : s->from;
    for (const Run& run : runs_) {
        if (run.at < lessonFrom)
            continue;
        SummaryLine& l = line(run.learner);
        ++l.runs;
        if (!l.practised.contains(run.activity))
            l.practised << run.activity;
    }
    QHash<QString, QHash<QString, const Run*>> bests; // learner → activity → best run of the day
    QHash<QString, QStringList> bestOrder;
    for (const Run& run : runs_) {
        const QString key = folded(run.learner);
        if (!at.contains(key))
            continue; // not in the lesson: only earlier in the day
        const Run*& best = bests[key][run.activity];
        if (!best)
            bestOrder[key] << run.activity;
        if (!best || better(run.program, run.figures, best->figures))
            best = &run;
    }
    for (auto it = bestOrder.cbegin(); it != bestOrder.cend(); ++it) {
        SummaryLine& l = lines[at[it.key()]];
        for (const QString& activity : *it) {
            const Run* best = bests[it.key()][activity];
            const QString result = resultText(best->program, best->figures, false);
            if (!result.isEmpty())
                l.best << activity + QLatin1Char(' ') + result;
        }
    }
    // Learners not on the roster follow it by name.
    std::sort(lines.begin() + rosterLines, lines.end(), [](const SummaryLine& a, const SummaryLine& b) {
        return folded(a.learner) < folded(b.learner);
    });
    return lines;
}

} // namespace seiseki
