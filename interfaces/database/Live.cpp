#include "Live.h"

#include "DbCore.h"
#include "Libpq.h"
#include "Server.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QUuid>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace halvor::db {

namespace {

constexpr const char* kChannel = "halvor_live";
// Silence this long on the listener's connection: one statement to see that it still answers.
constexpr int kQuietMs = 10000;
// After a lost connection or a failed attempt, the next one.
constexpr int kRetryMs = 3000;
// Rows older than this are of programs long gone: a viewer starting late does not show them.
const QString kFreshRows = QStringLiteral("updated > now() - interval '10 minutes'");

// One text value a statement answers; nothing when there is none, and *ok false (the failure recorded) when
// the statement failed.
std::optional<QString> answerOf(QSqlQuery& q, bool executed, bool* ok) {
    *ok = executed;
    if (!executed) {
        failServerQuery(q.lastError(), QStringLiteral("A statement of the live view failed"));
        return std::nullopt;
    }
    if (!q.next() || q.value(0).isNull())
        return std::nullopt;
    return q.value(0).toString();
}

// A statement without parameters (LISTEN takes none, so nothing is prepared), bounded.
std::optional<QString> askText(QSqlDatabase& db, const QString& sql, bool* ok) {
    const StatementBound bound(db, kStatementBoundMs);
    QSqlQuery q(db);
    return answerOf(q, q.exec(sql), ok);
}

// A statement prepared once on a connection and asked again with new values: the server plans it once.
class Statement {
public:
    Statement(QSqlDatabase& db, const QString& sql) : db_(db), q_(db) { prepared_ = q_.prepare(sql); }
    std::optional<QString> ask(const QVariantList& values, int boundMs, bool* ok) {
        const StatementBound bound(db_, boundMs);
        for (qsizetype i = 0; i < values.size(); ++i)
            q_.bindValue(int(i), values[i]);
        return answerOf(q_, prepared_ && q_.exec(), ok);
    }

private:
    QSqlDatabase& db_;
    QSqlQuery q_;
    bool prepared_ = false;
};

class ServerTransport final : public presence::Transport {
public:
    explicit ServerTransport(QString uri) : uri_(std::move(uri)) {}

    bool send(const presence::Report& report) override {
        if (cut_.isCut())
            return false;
        if (!link_) {
            link_ = connectServer(uri_, &cut_);
            if (!link_)
                return false;
            statement_.emplace(link_.db(), QStringLiteral("SELECT halvor_report(?::jsonb)"));
        }
        bool ok = false;
        const QString answer =
            statement_
                ->ask({QString::fromUtf8(QJsonDocument(report.toJson()).toJson(QJsonDocument::Compact))},
                      kReportBoundMs, &ok)
                .value_or(QString());
        if (!ok) {
            drop();
            return false;
        }
        if (answer == QLatin1String("ok"))
            return true;
        // A program of this version sends what the server takes; the log says what it did not.
        fail(Problem::ServerRefused, QStringLiteral("The server refused a report: %1").arg(answer));
        return false;
    }

    void interrupt() override { cut_.cut(); }

    void threadEnding() override { drop(); }

private:
    void drop() {
        cut_.watch(-1);
        statement_.reset();
        link_.drop();
    }

    QString uri_;
    ServerCut cut_;
    ServerLink link_;
    std::optional<Statement> statement_;
};

} // namespace

std::unique_ptr<presence::Transport> presenceTransport(const QString& uri) {
    return std::make_unique<ServerTransport>(uri);
}

struct LiveListener::Private {
    ~Private() { ::close(wakeFd); }

    QString uri;
    bool todaysRuns = false;
    int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::atomic<bool> stopping{false};
    ServerCut cut;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool stopped = false; // by the destructor or at the process's end, whichever comes first
    std::thread thread;
    int atExit = 0;

    void run();
    // Ends the thread: at once when it waits, within moments when it is cut off in a round trip or a
    // connection being made; one that still does not return is left to end by itself, unheard.
    void stop();
    // Hears the server on one connection until it is lost or the listener stops.
    void listen(ServerLink& link);
    bool readRows(QSqlDatabase& db);
    struct Lookups {
        Statement presence;
        Statement run;
    };
    bool announced(Lookups& lookups, const QByteArray& payload);
    void deliver(const std::optional<QString>& json);
    void tell(Problem problem, qint64 offsetMs);
    // Waits on the wake-up descriptor (and the connection's socket when given); true when there is input.
    bool wait(int fd, int timeoutMs, bool* woken) const;

private:
    // The caller's callbacks, taken away before a thread that does not end is left behind.
    std::mutex callbackMutex;
    Callbacks callbacks;
    friend class LiveListener;
};

void LiveListener::Private::deliver(const std::optional<QString>& json) {
    if (!json)
        return;
    QString why;
    if (const auto record = presence::Record::fromJson(json->toUtf8(), &why)) {
        const std::lock_guard lock(callbackMutex);
        if (callbacks.heard)
            callbacks.heard(*record);
    } else
        qCWarning(lcDb).noquote() << "The live view skipped a record it cannot read:" << why;
}

bool LiveListener::Private::readRows(QSqlDatabase& db) {
    const StatementBound bound(db, kStatementBoundMs);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT halvor_presence_record(p)::text FROM halvor_presence p WHERE %1 "
                               "ORDER BY updated")
                    .arg(kFreshRows)))
        return failServerQuery(q.lastError(), QStringLiteral("The live view cannot read who is practising"));
    while (q.next())
        deliver(q.value(0).toString());
    if (!todaysRuns)
        return true;
    if (!q.exec(QStringLiteral(
            "SELECT record::text FROM (SELECT halvor_run_record('t_key', runid) AS record, received FROM "
            "t_key "
            "WHERE y4mmdd = current_date UNION ALL SELECT halvor_run_record('t_digit', runid), received FROM "
            "t_digit WHERE y4mmdd = current_date) runs WHERE record IS NOT NULL ORDER BY received")))
        return failServerQuery(q.lastError(), QStringLiteral("The live view cannot read today's runs"));
    while (q.next())
        deliver(q.value(0).toString());
    return true;
}

bool LiveListener::Private::announced(Lookups& lookups, const QByteArray& payload) {
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    bool ok = true;
    if (o.contains(QLatin1String("runId"))) {
        const QUuid id = QUuid::fromString(o.value(QLatin1String("runId")).toString());
        if (!id.isNull())
            deliver(lookups.run.ask(
                {o.value(QLatin1String("table")).toString(), id.toString(QUuid::WithoutBraces)},
                kStatementBoundMs, &ok));
    } else if (o.value(QLatin1String("login")).isString() && o.value(QLatin1String("computer")).isString()) {
        deliver(lookups.presence.ask(
            {o.value(QLatin1String("login")).toString(), o.value(QLatin1String("computer")).toString()},
            kStatementBoundMs, &ok));
    }
    return ok;
}

void LiveListener::Private::tell(Problem problem, qint64 offsetMs) {
    const std::lock_guard lock(callbackMutex);
    if (callbacks.state)
        callbacks.state(problem, offsetMs);
}

bool LiveListener::Private::wait(int fd, int timeoutMs, bool* woken) const {
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, POLLIN, 0}};
    const int n = ::poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
    *woken = stopping || (n > 0 && (fds[0].revents & POLLIN));
    return n > 0 && fd >= 0 && fds[1].revents != 0;
}

void LiveListener::Private::listen(ServerLink& link) {
    QSqlDatabase& db = link.db();
    const int socket = serverSocket(db);
    bool ok = false;
    askText(db, QStringLiteral("LISTEN %1").arg(QLatin1String(kChannel)), &ok);
    const qint64 asked = QDateTime::currentMSecsSinceEpoch();
    const auto clock =
        ok ? askText(db, QStringLiteral("SELECT halvor_time(clock_timestamp())"), &ok) : std::nullopt;
    const QDateTime server = QDateTime::fromString(clock.value_or(QString()), Qt::ISODateWithMs);
    const qint64 offset =
        server.isValid() ? server.toMSecsSinceEpoch() - (asked + QDateTime::currentMSecsSinceEpoch()) / 2 : 0;
    // Listening first, then the rows: nothing that changes in between is missed.
    if (!ok || stopping || !readRows(db))
        return;
    Lookups lookups{{db, QStringLiteral("SELECT halvor_presence_record(p)::text FROM halvor_presence p "
                                        "WHERE login = ? AND computer = ?")},
                    {db, QStringLiteral("SELECT halvor_run_record(?, ?::uuid)::text")}};
    tell(Problem::None, offset);
    while (!stopping) {
        bool woken = false;
        const bool input = wait(socket, kQuietMs, &woken);
        if (woken)
            return;
        if (!input) {
            askText(db, QStringLiteral("SELECT 1"), &ok);
            if (!ok)
                return;
        }
        // Announcements also come in while a statement waits for its answer: they are taken after it.
        QList<QByteArray> payloads;
        if (!takeNotifications(db, &payloads)) {
            fail(Problem::Offline, QStringLiteral("The live view's connection to the server was lost"));
            return;
        }
        for (qsizetype i = 0; i < payloads.size() && !stopping; ++i) {
            if (!announced(lookups, payloads[i]) || !takeNotifications(db, &payloads))
                return;
        }
    }
}

void LiveListener::Private::run() {
    while (!stopping) {
        {
            ServerLink link = connectServer(uri, &cut);
            if (link)
                listen(link);
            cut.watch(-1);
            link.drop();
        }
        if (stopping)
            break;
        tell(DB_LastProblem() == Problem::None ? Problem::Offline : DB_LastProblem(), 0);
        bool woken = false;
        wait(-1, kRetryMs, &woken);
    }
    const std::lock_guard lock(mutex);
    done = true;
    ended.notify_all();
}

void LiveListener::Private::stop() {
    std::unique_lock lock(mutex);
    if (std::exchange(stopped, true))
        return;
    stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof one);
    // A listener waiting on its socket ends at once and closes its connection in order; a round trip or a
    // connection being made is cut off after a moment.
    if (!ended.wait_for(lock, std::chrono::milliseconds(300), [this] { return done; })) {
        cut.cut();
        if (!ended.wait_for(lock, std::chrono::milliseconds(presence::kEndWaitMs), [this] { return done; })) {
            lock.unlock();
            qCWarning(lcDb) << "The live view's connection did not end in time; it is left behind";
            const std::lock_guard quiet(callbackMutex);
            callbacks = {};
            thread.detach();
            return;
        }
    }
    lock.unlock();
    thread.join();
}

LiveListener::LiveListener(const QString& uri, Callbacks callbacks, bool todaysRuns)
    : d(std::make_shared<Private>()) {
    d->uri = uri;
    d->todaysRuns = todaysRuns;
    d->callbacks = std::move(callbacks);
    d->atExit = stopAtExit([p = d] { p->stop(); });
    d->thread = std::thread([p = d] { p->run(); });
}

LiveListener::~LiveListener() {
    forgetAtExit(d->atExit);
    d->stop();
}

} // namespace halvor::db
