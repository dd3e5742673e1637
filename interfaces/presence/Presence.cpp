#include "Presence.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace halvor::presence {

namespace {

constexpr std::array<std::pair<Event, const char*>, 7> kEvents{{{Event::Open, "open"},
                                                                {Event::Start, "start"},
                                                                {Event::Progress, "progress"},
                                                                {Event::Finish, "finish"},
                                                                {Event::Close, "close"},
                                                                {Event::Run, "run"},
                                                                {Event::Stale, "stale"}}};

// The longest text each field takes from the wire; a learner's name is at most 32 characters everywhere.
constexpr qsizetype kNameLength = 32;
constexpr qsizetype kTextLength = 64;

struct Range {
    double low;
    double high;
};
// What the drills can produce, as the server's insert function checks it too.
constexpr Range kSpeed{0, 2000};
constexpr Range kPercent{0, 100};
constexpr Range kCount{0, 120000};
constexpr Range kSeconds{0, 99999};
constexpr Range kSmall{0, 32767};

QJsonValue optional(const std::optional<double>& v) {
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}
QJsonValue optional(const std::optional<int>& v) {
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}
QJsonValue optional(const QString& v) {
    return v.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(v);
}
QJsonValue optional(const QDateTime& v) {
    return v.isValid() ? QJsonValue(v.toString(Qt::ISODateWithMs)) : QJsonValue(QJsonValue::Null);
}

void putFigures(QJsonObject& o, const Figures& f) {
    o[QLatin1String("speed")] = optional(f.speed);
    o[QLatin1String("accuracy")] = optional(f.accuracy);
    o[QLatin1String("keystrokes")] = optional(f.keystrokes);
    o[QLatin1String("errors")] = optional(f.errors);
    o[QLatin1String("seconds")] = optional(f.seconds);
    o[QLatin1String("done")] = optional(f.done);
    o[QLatin1String("total")] = optional(f.total);
    o[QLatin1String("weakest")] = optional(f.weakest);
}

// Reading what came over the wire: anything unusable is absent.
class Reader {
public:
    explicit Reader(const QJsonObject& o) : o_(o) {}

    QString text(const char* key, qsizetype longest) const {
        const QJsonValue v = o_.value(QLatin1String(key));
        if (!v.isString())
            return {};
        const QString s = v.toString();
        static const QRegularExpression control(QStringLiteral("[\\x00-\\x1f\\x7f\\x{2028}\\x{2029}]"));
        if (s.size() > longest || s.contains(control))
            return {};
        return s;
    }
    std::optional<double> number(const char* key, Range range) const {
        const QJsonValue v = o_.value(QLatin1String(key));
        if (!v.isDouble())
            return std::nullopt;
        const double d = v.toDouble();
        if (!std::isfinite(d) || d < range.low || d > range.high)
            return std::nullopt;
        return d;
    }
    std::optional<int> whole(const char* key, Range range) const {
        const std::optional<double> d = number(key, range);
        if (!d || *d != std::floor(*d))
            return std::nullopt;
        return static_cast<int>(*d);
    }
    QDateTime when(const char* key) const {
        const QDateTime t = QDateTime::fromString(text(key, kTextLength), Qt::ISODateWithMs);
        return t.isValid() ? t : QDateTime();
    }
    bool flag(const char* key) const { return o_.value(QLatin1String(key)).toBool(false); }
    Figures figures() const {
        Figures f;
        f.speed = number("speed", kSpeed);
        f.accuracy = number("accuracy", kPercent);
        f.keystrokes = whole("keystrokes", kCount);
        f.errors = whole("errors", kCount);
        f.seconds = number("seconds", kSeconds);
        f.done = whole("done", kCount);
        f.total = whole("total", kCount);
        f.weakest = text("weakest", kNameLength);
        return f;
    }

private:
    const QJsonObject& o_;
};

} // namespace

QString eventName(Event event) {
    for (const auto& [e, name] : kEvents) {
        if (e == event)
            return QLatin1String(name);
    }
    return {};
}

std::optional<Event> eventFromName(const QString& name) {
    for (const auto& [e, n] : kEvents) {
        if (name == QLatin1String(n))
            return e;
    }
    return std::nullopt;
}

bool Figures::empty() const {
    return *this == Figures{};
}

std::optional<double> accuracyOf(int keystrokes, int errors) {
    if (keystrokes <= 0)
        return std::nullopt;
    const int right = std::clamp(keystrokes - errors, 0, keystrokes);
    return 100.0 * right / keystrokes;
}

QJsonObject Report::toJson() const {
    QJsonObject o;
    o[QLatin1String("event")] = eventName(event);
    o[QLatin1String("learner")] = learner;
    o[QLatin1String("computer")] = computer;
    o[QLatin1String("program")] = program;
    o[QLatin1String("course")] = course;
    o[QLatin1String("sinceStartMs")] = static_cast<double>(sinceStartMs);
    o[QLatin1String("sinceInputMs")] =
        sinceInputMs ? QJsonValue(static_cast<double>(*sinceInputMs)) : QJsonValue(QJsonValue::Null);
    o[QLatin1String("running")] = running;
    putFigures(o, figures);
    return o;
}

QJsonObject Record::toJson() const {
    QJsonObject o;
    o[QLatin1String("event")] = eventName(event);
    o[QLatin1String("time")] = optional(time);
    o[QLatin1String("learner")] = optional(learner);
    o[QLatin1String("login")] = optional(login);
    o[QLatin1String("computer")] = computer;
    o[QLatin1String("program")] = optional(program);
    o[QLatin1String("programName")] = optional(program.isEmpty() ? QString() : programTitle(program));
    o[QLatin1String("course")] = optional(course);
    o[QLatin1String("courseName")] = optional(course.isEmpty() ? QString() : courseName(program, course));
    o[QLatin1String("started")] = optional(started);
    o[QLatin1String("lastInput")] = optional(lastInput);
    o[QLatin1String("running")] = running;
    putFigures(o, figures);
    o[QLatin1String("drill")] = drill ? QJsonValue(drill) : QJsonValue(QJsonValue::Null);
    o[QLatin1String("day")] =
        day.isValid() ? QJsonValue(day.toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);
    o[QLatin1String("round")] = round ? QJsonValue(round) : QJsonValue(QJsonValue::Null);
    o[QLatin1String("runId")] = optional(runId);
    return o;
}

QByteArray Record::toJsonLine() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

std::optional<Record> Record::fromJson(const QByteArray& json, QString* why) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (!doc.isObject()) {
        if (why)
            *why = error.error == QJsonParseError::NoError ? QStringLiteral("not a JSON object")
                                                           : error.errorString();
        return std::nullopt;
    }
    return fromJson(doc.object(), why);
}

std::optional<Record> Record::fromJson(const QJsonObject& object, QString* why) {
    const Reader in(object);
    const std::optional<Event> event = eventFromName(in.text("event", kNameLength));
    Record r;
    r.computer = in.text("computer", kTextLength);
    if (!event || r.computer.isEmpty()) {
        if (why)
            *why = event ? QStringLiteral("no computer") : QStringLiteral("no known event");
        return std::nullopt;
    }
    r.event = *event;
    r.time = in.when("time");
    r.learner = in.text("learner", kNameLength);
    r.login = in.text("login", kTextLength);
    r.program = in.text("program", kNameLength);
    r.course = in.text("course", kTextLength);
    r.started = in.when("started");
    r.lastInput = in.when("lastInput");
    r.running = in.flag("running");
    r.figures = in.figures();
    r.drill = in.whole("drill", kSmall).value_or(0);
    r.day = QDate::fromString(in.text("day", kNameLength), Qt::ISODate);
    r.round = in.whole("round", kSmall).value_or(0);
    r.runId = in.text("runId", kTextLength);
    return r;
}

// ---- Names

QString programTitle(const QString& program) {
    static const std::array<std::pair<const char*, const char*>, 5> kTitles{{{"Pelvoran11", "キーボード"},
                                                                             {"Pelvoran12", "風車"},
                                                                             {"Tavrel11", "ブロック"},
                                                                             {"Tavrel23", "ひらがな"},
                                                                             {"Sorvanel11", "マウス"}}};
    for (const auto& [name, title] : kTitles) {
        if (program == QLatin1String(name))
            return QString::fromUtf8(title);
    }
    return program;
}

QString courseName(const QString& program, const QString& course) {
    static const QRegularExpression level(QStringLiteral("^LEVEL([1-7])$"));
    static const QRegularExpression page(QStringLiteral("^P([1-9])$"));
    if (program == QLatin1String("Pelvoran12")) {
        if (const auto m = level.match(course); m.hasMatch())
            return QStringLiteral("レベル") + m.captured(1);
    } else if (program == QLatin1String("Tavrel11")) {
        if (course == QLatin1String("2") || course == QLatin1String("4"))
            return course + QStringLiteral("文字");
    } else if (program == QLatin1String("Tavrel23")) {
        if (course == QLatin1String("AI"))
            return QStringLiteral("あいうえお");
        if (course == QLatin1String("GA"))
            return QStringLiteral("濁音");
        if (course == QLatin1String("NN"))
            return QStringLiteral("促音");
    } else if (program == QLatin1String("Pelvoran11") || program == QLatin1String("Sorvanel11")) {
        if (const auto m = page.match(course); m.hasMatch())
            return m.captured(1) + QStringLiteral("ページ");
    }
    return course;
}

bool shorterIsBetter(const QString& program) {
    return program == QLatin1String("Tavrel23");
}

QString programOfRun(const QString& table, int drill) {
    if (table.compare(QLatin1String("t_digit"), Qt::CaseInsensitive) == 0)
        return drill == 12 ? QStringLiteral("Pelvoran12") : QString();
    if (table.compare(QLatin1String("t_key"), Qt::CaseInsensitive) != 0)
        return {};
    if (drill == 23)
        return QStringLiteral("Tavrel23");
    return drill == 11 || drill == 12 ? QStringLiteral("Tavrel11") : QString();
}

} // namespace halvor::presence
