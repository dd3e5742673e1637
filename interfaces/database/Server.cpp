#include "Server.h"

#include "AtExit.h"
#include "Libpq.h"
#include "Schema.h"
#include "ServerSchemaSql.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace halvor::db {

namespace {

// A server that did not answer is not asked again for this long, so one save does not wait twice.
constexpr qint64 kAwayMemoMs = 10000;

// What every connection asks of the server and of the network, unless the address says otherwise: a lost
// network is noticed within seconds, and no statement or lock holds the server's side for long.
const QList<QPair<QString, QString>>& connectionDefaults() {
    static const QList<QPair<QString, QString>> all = {
        {QStringLiteral("connect_timeout"), QString::number(kConnectTimeoutSeconds)},
        {QStringLiteral("application_name"), QStringLiteral("halvor")},
        {QStringLiteral("keepalives"), QStringLiteral("1")},
        {QStringLiteral("keepalives_idle"), QStringLiteral("5")},
        {QStringLiteral("keepalives_interval"), QStringLiteral("2")},
        {QStringLiteral("keepalives_count"), QStringLiteral("3")},
        {QStringLiteral("tcp_user_timeout"), QStringLiteral("10000")},
    };
    return all;
}
const QString kSessionTimeouts =
    QStringLiteral("SELECT set_config('statement_timeout', '5000', false), "
                   "set_config('lock_timeout', '3000', false), "
                   "set_config('idle_in_transaction_session_timeout', '10000', false)");

QString decode(const QString& part) {
    return QUrl::fromPercentEncoding(part.toUtf8());
}

// host[:port] or [v6]:port, one entry of a host list.
void splitHost(const QString& entry, QString* host, QString* port) {
    if (entry.startsWith(QLatin1Char('['))) {
        const qsizetype close = entry.indexOf(QLatin1Char(']'));
        *host = entry.mid(1, close - 1);
        const QString rest = entry.mid(close + 1);
        *port = rest.startsWith(QLatin1Char(':')) ? rest.mid(1) : QString();
        return;
    }
    const qsizetype colon = entry.lastIndexOf(QLatin1Char(':'));
    *host = decode(colon < 0 ? entry : entry.left(colon));
    *port = colon < 0 ? QString() : entry.mid(colon + 1);
}

// libpq's keyword=value form: quoted, with quotes and backslashes escaped.
QString conninfoValue(const QString& value) {
    QString v = value;
    v.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

bool validPorts(const QString& ports) {
    for (const QString& port : ports.split(QLatin1Char(','))) {
        bool ok = false;
        const int n = port.isEmpty() ? 5432 : port.toInt(&ok);
        if ((!port.isEmpty() && !ok) || n < 1 || n > 65535)
            return false;
    }
    return true;
}

// ---- telling why a connection failed
// ---------------------------------------------------------------------------------------------------
// libpq's messages are translated into the desktop's language, so the cause is found by asking again: can
// the name be resolved, and what code does the server give when libpq asks it for its reason.

bool hostUnknown(const ServerAddress& address) {
    const QString host = address.value(QStringLiteral("host")).section(QLatin1Char(','), 0, 0);
    if (host.isEmpty() || host.startsWith(QLatin1Char('/')) ||
        !address.value(QStringLiteral("hostaddr")).isEmpty())
        return false;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found);
    if (found)
        ::freeaddrinfo(found);
    return rc == EAI_NONAME || rc == EAI_FAIL;
}

bool failConnect(const ServerAddress& address, const Attempt& attempt) {
    const QString where = address.display;
    const QString& told = attempt.message;
    const QString& state = attempt.sqlState;
    if (hostUnknown(address))
        return fail(Problem::UnknownHost,
                    QStringLiteral("The server's host name in %1 is not known: %2").arg(where, told));
    if (state == QLatin1String("57P03"))
        return fail(Problem::ServerStarting,
                    QStringLiteral("The server at %1 is starting up or shutting down: %2").arg(where, told));
    if (state == QLatin1String("53300"))
        return fail(Problem::NoFreeSlot,
                    QStringLiteral("The server at %1 has no connection left: %2").arg(where, told));
    if (state.startsWith(QLatin1String("28")) || state == QLatin1String("3D000") ||
        state == QLatin1String("42501") || attempt.needsPassword)
        return fail(Problem::LoginRefused,
                    QStringLiteral("The server at %1 refused the login (password, role or database): %2")
                        .arg(where, told));
    if (attempt.connected)
        return fail(Problem::Offline,
                    QStringLiteral("The server at %1 stopped answering once logged in").arg(where));
    return fail(Problem::Offline,
                QStringLiteral("The server at %1 cannot be reached: %2")
                    .arg(where, told.isEmpty() ? QStringLiteral("no answer in time") : told));
}

// ---- schema
// ---------------------------------------------------------------------------------------------------

bool isUndefinedTable(const QSqlError& error) {
    return error.nativeErrorCode() == QLatin1String("42P01");
}

// The server's name for each type of the schema list (pg_type.typname).
QString pgTypeName(Type type) {
    switch (type) {
    case Type::Date:
        return QStringLiteral("date");
    case Type::SmallInt:
        return QStringLiteral("int2");
    case Type::Text:
        return QStringLiteral("citext");
    case Type::Real:
        return QStringLiteral("float8");
    case Type::Uuid:
        return QStringLiteral("uuid");
    case Type::Timestamp:
        return QStringLiteral("timestamptz");
    case Type::PlainText:
        return QStringLiteral("text");
    case Type::Integer:
        return QStringLiteral("int4");
    }
    return {};
}

bool makeSchema(QSqlDatabase& db, Problem problem, const QString& what) {
    QSqlQuery q(db);
    bool ok = db.transaction() && q.exec(serverSchemaScript());
    ok = ok && db.commit();
    if (ok)
        return true;
    const QString why = sqlError(q.lastError().isValid() ? q.lastError() : db.lastError());
    db.rollback();
    return fail(problem, what + QStringLiteral(": ") + why);
}

// Every table the programs use, by its columns and their types; any other shape is refused before a row
// is written, whatever the version says.
bool checkShape(QSqlDatabase& db, const QString& where) {
    std::map<QString, std::map<QString, QString>> expected;
    for (const TableDef* def : resultTables()) {
        auto& columns = expected[QString::fromLatin1(def->name).toLower()];
        for (const ColumnDef& col : serverColumns(*def))
            columns[QString::fromLatin1(col.name).toLower()] = pgTypeName(col.type);
    }
    for (const ColumnDef& col : unitTableDef().columns)
        expected[QStringLiteral("t_unit")][QString::fromLatin1(col.name).toLower()] = pgTypeName(col.type);
    expected[QStringLiteral("learners")] = {{QStringLiteral("name"), QStringLiteral("citext")},
                                            {QStringLiteral("class"), QStringLiteral("citext")},
                                            {QStringLiteral("number"), QStringLiteral("int4")},
                                            {QStringLiteral("furigana"), QStringLiteral("citext")}};
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral(
            "SELECT c.relname, a.attname, t.typname FROM pg_attribute a JOIN pg_class c ON c.oid = "
            "a.attrelid "
            "JOIN pg_type t ON t.oid = a.atttypid WHERE a.attnum > 0 AND NOT a.attisdropped AND a.attrelid "
            "IN "
            "(to_regclass('t_key'), to_regclass('t_digit'), to_regclass('learners'), to_regclass('t_unit')) "
            "UNION ALL "
            "SELECT 'halvor_add_run', '', 'function' "
            "WHERE to_regprocedure('halvor_add_run(text, jsonb, jsonb)') IS NOT NULL UNION ALL "
            "SELECT 'halvor_report', '', 'function' WHERE to_regprocedure('halvor_report(jsonb)') IS NOT "
            "NULL")))
        return failServerQuery(q.lastError(),
                               QStringLiteral("Cannot read the tables' shape on %1").arg(where));
    std::map<QString, std::map<QString, QString>> found;
    while (q.next())
        found[q.value(0).toString()][q.value(1).toString()] = q.value(2).toString();
    QStringList wrong;
    for (const QString& function : {QStringLiteral("halvor_add_run"), QStringLiteral("halvor_report")}) {
        if (!found.count(function))
            wrong << QStringLiteral("the function %1 is missing").arg(function);
    }
    for (const auto& [table, columns] : expected) {
        const auto& have = found[table];
        for (const auto& [column, type] : columns) {
            const auto it = have.find(column);
            if (it == have.end())
                wrong << QStringLiteral("%1 has no column %2").arg(table, column);
            else if (it->second != type)
                wrong << QStringLiteral("%1.%2 is %3, not %4").arg(table, column, it->second, type);
        }
    }
    if (wrong.isEmpty())
        return true;
    return fail(Problem::OtherVersion,
                QStringLiteral("The tables on %1 have another shape (%2); nothing is written there.")
                    .arg(where, wrong.join(QStringLiteral("; "))));
}

bool checkSchema(QSqlDatabase& db, const QString& where) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT max(version) FROM halvor_schema"))) {
        if (!isUndefinedTable(q.lastError()))
            return failServerQuery(q.lastError(),
                                   QStringLiteral("Cannot read the schema version on %1").arg(where));
        if (!makeSchema(
                db, Problem::ServerRefused,
                QStringLiteral("The results tables are missing on %1 and cannot be made here").arg(where)))
            return false;
        return checkShape(db, where);
    }
    const int version = q.next() ? q.value(0).toInt() : 0;
    if (version < kSchemaVersion &&
        !makeSchema(
            db, Problem::OtherVersion,
            QStringLiteral("The tables on %1 are of schema version %2 and cannot be brought to version %3 "
                           "here (the server's administrator runs tools/classroom-setup again)")
                .arg(where)
                .arg(version)
                .arg(kSchemaVersion)))
        return false;
    if (version > kSchemaVersion)
        return fail(Problem::OtherVersion,
                    QStringLiteral("The tables on %1 are of schema version %2; this program uses version %3.")
                        .arg(where)
                        .arg(version)
                        .arg(kSchemaVersion));
    return checkShape(db, where);
}

// ---- round trips cut off at their bound
// ---------------------------------------------------------------------------------------------------

class Watchdog {
public:
    // Never destroyed: a thread still in a round trip while the process ends keeps its bound. Its own
    // thread, waiting, ends with the process.
    static Watchdog& instance() {
        static Watchdog* watchdog = new Watchdog;
        return *watchdog;
    }

    int watch(int socket, int boundMs) {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable())
            thread_ = std::thread([this] { loop(); });
        const int id = ++next_;
        watches_[id] = {socket, Clock::now() + std::chrono::milliseconds(boundMs)};
        changed_.notify_all();
        return id;
    }
    void forget(int id) {
        std::lock_guard lock(mutex_);
        watches_.erase(id);
    }
    void cutAll() {
        std::lock_guard lock(mutex_);
        for (auto& [id, w] : watches_)
            cut(w);
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Watch {
        int socket;
        Clock::time_point deadline;
    };

    static void cut(Watch& w) {
        // The thread waiting in libpq sees the connection end at once; the socket is closed by its owner.
        ::shutdown(w.socket, SHUT_RDWR);
        w.deadline = Clock::time_point::max();
    }

    void loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            auto earliest = Clock::time_point::max();
            for (auto& [id, w] : watches_) {
                if (w.deadline <= Clock::now())
                    cut(w);
                earliest = std::min(earliest, w.deadline);
            }
            if (earliest == Clock::time_point::max())
                changed_.wait(lock);
            else
                changed_.wait_until(lock, earliest);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, Watch> watches_;
    int next_ = 0;
    std::thread thread_;
};

// ---- connections kept per thread
// ---------------------------------------------------------------------------------------------------

thread_local std::map<QString, std::shared_ptr<Connection>>* t_session = nullptr;
thread_local int t_connectSeconds = kConnectTimeoutSeconds;

std::mutex g_awayMutex;
std::map<QString, std::pair<QElapsedTimer, QString>> g_away; // uri -> since when, and why

} // namespace

QString ServerAddress::value(const QString& keyword) const {
    QString found;
    for (const auto& [key, val] : keywords) {
        if (key == keyword)
            found = val; // a later value wins, as in libpq
    }
    return found;
}

QString maskPasswords(const QString& text) {
    // The user information ends at the last '@' before the host, so a password holding '@' is hidden whole.
    static const QRegularExpression userInfo(QStringLiteral("(postgres(?:ql)?:/*[^:/?@\\s]*):[^/?\\s]*@"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression parameter(
        QStringLiteral("(password\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'?|[^\\s&;]*)"),
        QRegularExpression::CaseInsensitiveOption);
    return QString(text)
        .replace(userInfo, QStringLiteral("\\1:***@"))
        .replace(parameter, QStringLiteral("\\1***"));
}

std::optional<ServerAddress> parseServerAddress(const QString& uri, QString* why) {
    const auto refuse = [why](const QString& reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    QString rest;
    for (const QLatin1String scheme : {QLatin1String("postgresql://"), QLatin1String("postgres://")}) {
        if (uri.startsWith(scheme, Qt::CaseInsensitive))
            rest = uri.mid(scheme.size());
    }
    if (rest.isNull())
        return refuse(QStringLiteral("not a postgresql:// address"));
    ServerAddress out;
    QString params;
    if (const qsizetype q = rest.indexOf(QLatin1Char('?')); q >= 0) {
        params = rest.mid(q + 1);
        rest.truncate(q);
    }
    QString authority = rest;
    if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        authority = rest.left(slash);
        if (const QString db = decode(rest.mid(slash + 1)); !db.isEmpty())
            out.keywords.append({QStringLiteral("dbname"), db});
    }
    QString hosts = authority;
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userinfo = authority.left(at);
        hosts = authority.mid(at + 1);
        const qsizetype colon = userinfo.indexOf(QLatin1Char(':'));
        out.keywords.append(
            {QStringLiteral("user"), decode(userinfo.left(colon < 0 ? userinfo.size() : colon))});
        if (colon >= 0)
            out.keywords.append({QStringLiteral("password"), decode(userinfo.mid(colon + 1))});
    }
    QStringList hostList;
    QStringList portList;
    for (const QString& entry : hosts.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        QString host, port;
        splitHost(entry, &host, &port);
        hostList << host;
        portList << port;
    }
    if (!hostList.isEmpty() && !hostList.join(QString()).isEmpty())
        out.keywords.append({QStringLiteral("host"), hostList.join(QLatin1Char(','))});
    if (!portList.join(QString()).isEmpty())
        out.keywords.append({QStringLiteral("port"), portList.join(QLatin1Char(','))});
    for (const QString& pair : params.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return refuse(QStringLiteral("the parameter \"%1\" has no value").arg(maskPasswords(pair)));
        out.keywords.append({decode(pair.left(eq)), decode(pair.mid(eq + 1))});
    }
    for (const auto& [key, val] : out.keywords) {
        if (!libpqKeywords().contains(key))
            return refuse(QStringLiteral("\"%1\" is not a connection setting").arg(key));
        // Qt hands the options to libpq joined by spaces where ';' stood, so a ';' would split a value.
        if (val.contains(QLatin1Char(';')))
            return refuse(
                QStringLiteral("the value of \"%1\" holds a character that cannot be passed on").arg(key));
    }
    if (!validPorts(out.value(QStringLiteral("port"))))
        return refuse(QStringLiteral("the port \"%1\" is not a number from 1 to 65535")
                          .arg(out.value(QStringLiteral("port"))));
    out.display = maskPasswords(uri);
    return out;
}

StatementBound::StatementBound(const QSqlDatabase& db, int boundMs) {
    if (const int socket = serverSocket(db); socket >= 0 && boundMs > 0)
        id_ = Watchdog::instance().watch(socket, boundMs);
}

StatementBound::~StatementBound() {
    if (id_)
        Watchdog::instance().forget(id_);
}

void cutOffServerCalls() {
    Watchdog::instance().cutAll();
}

ServerCut::ServerCut() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ServerCut::~ServerCut() {
    if (fd_ >= 0)
        ::close(fd_);
}

void ServerCut::cut() {
    cut_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof one);
    const std::lock_guard lock(mutex_);
    if (socket_ >= 0)
        ::shutdown(socket_, SHUT_RDWR);
}

void ServerCut::watch(int socket) {
    const std::lock_guard lock(mutex_);
    socket_ = socket;
    if (cut_ && socket_ >= 0)
        ::shutdown(socket_, SHUT_RDWR);
}

void ServerLink::drop() {
    if (t_session)
        t_session->erase(uri_);
    owned_.reset();
    connection_ = nullptr;
}

ServerLink connectServer(const QString& uri, ServerCut* cut) {
    ServerLink link;
    link.uri_ = uri;
    if (t_session) {
        if (const auto it = t_session->find(uri); it != t_session->end()) {
            link.owned_ = it->second;
            link.connection_ = link.owned_.get();
            link.reused_ = true;
            return link;
        }
    }
    QString why;
    const auto address = parseServerAddress(uri, &why);
    if (!address) {
        fail(Problem::BadSettings,
             QStringLiteral("The server address %1 is not usable (%2).").arg(maskPasswords(uri), why));
        return link;
    }
    {
        std::lock_guard lock(g_awayMutex);
        if (const auto it = g_away.find(uri);
            it != g_away.end() && it->second.first.elapsed() < kAwayMemoMs) {
            fail(Problem::Offline, it->second.second);
            return link;
        }
    }
    QList<QPair<QString, QString>> keywords = address->keywords;
    for (const auto& [key, val] : connectionDefaults()) {
        if (address->value(key).isEmpty())
            keywords.append(
                {key, key == QLatin1String("connect_timeout") ? QString::number(t_connectSeconds) : val});
    }
    // Qt's driver waits without a bound once it has logged in (it asks the server a few things then), so
    // the way is tried first on a connection of libpq's own, every wait of which is bounded; it also says
    // why a server turns a login away.
    const Attempt attempt = attemptConnection(keywords, t_connectSeconds * 1000 + 1000, cut ? cut->fd() : -1);
    // libpq and its TLS library keep statics of their own from the first attempt, the watchdog from its
    // first use; the threads may still use all of them while they end.
    static const bool threadsEndFirst = (Watchdog::instance(), stopBeforeTheStaticsMadeSoFar(), true);
    Q_UNUSED(threadsEndFirst);
    const auto cutOff = [&] {
        return fail(
            Problem::Offline,
            QStringLiteral("The connection to %1 was given up: the program is ending").arg(address->display));
    };
    if (cut && cut->isCut()) {
        cutOff();
        return link;
    }
    auto connection = std::make_shared<Connection>(QStringLiteral("QPSQL"), QString());
    QStringList options;
    for (const auto& [key, val] : keywords)
        options << key + QLatin1Char('=') + conninfoValue(val);
    connection->db().setConnectOptions(options.join(QLatin1Char(';')));
    if (!attempt.answered || !connection->open()) {
        if (!attempt.answered)
            failConnect(*address, attempt);
        else
            fail(Problem::Offline, QStringLiteral("The server at %1 cannot be reached: %2")
                                       .arg(address->display, sqlError(connection->db().lastError())));
        if (DB_LastProblem() == Problem::Offline) {
            std::lock_guard lock(g_awayMutex);
            auto& memo = g_away[uri];
            memo.first.start();
            memo.second = DB_LastError();
        }
        return link;
    }
    {
        std::lock_guard lock(g_awayMutex);
        g_away.erase(uri);
    }
    // The socket is the cut's while the connection is this link's; a connection that fails here closes it.
    struct Watched {
        ServerCut* cut;
        bool kept = false;
        ~Watched() {
            if (cut && !kept)
                cut->watch(-1);
        }
    } watched{cut};
    if (cut) {
        cut->watch(serverSocket(connection->db()));
        if (cut->isCut()) {
            cutOff();
            return link;
        }
    }
    {
        StatementBound bound(connection->db(), kStatementBoundMs);
        QSqlQuery q(connection->db());
        if (!q.exec(kSessionTimeouts)) {
            failServerQuery(
                q.lastError(),
                QStringLiteral("The server at %1 did not take its time limits").arg(address->display));
            return link;
        }
        if (!checkSchema(connection->db(), address->display))
            return link;
    }
    watched.kept = true;
    link.owned_ = connection;
    link.connection_ = connection.get();
    if (t_session)
        (*t_session)[uri] = connection;
    return link;
}

bool withServer(const QString& uri, const std::function<bool(QSqlDatabase&)>& work, int boundMs) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        ServerLink link = connectServer(uri);
        if (!link)
            return false;
        bool done = false;
        {
            StatementBound bound(link.db(), boundMs);
            done = work(link.db());
        }
        if (done)
            return true;
        const bool retry = link.reused() && (DB_LastProblem() == Problem::Offline);
        link.drop();
        if (!retry)
            return false;
    }
    return false;
}

bool failServerQuery(const QSqlError& error, const QString& what) {
    // No code at all: the connection is gone (or was cut off). Class 08 is a connection failure, 40 a
    // transaction the server rolled back, 53 a server out of resources, 55 a lock not granted in time, 57 a
    // statement cancelled or a server going down: all of them pass, and the work is tried again later.
    const QString code = error.nativeErrorCode();
    static const QStringList passing = {QStringLiteral("08"), QStringLiteral("40"), QStringLiteral("53"),
                                        QStringLiteral("55"), QStringLiteral("57")};
    const bool lost = code.isEmpty() || passing.contains(code.left(2));
    return fail(lost ? Problem::Offline : Problem::ServerRefused,
                what + QStringLiteral(": ") + sqlError(error));
}

ServerSession::ServerSession(int connectSeconds) {
    if (!t_session)
        t_session = new std::map<QString, std::shared_ptr<Connection>>();
    t_connectSeconds = connectSeconds;
}

ServerSession::~ServerSession() {
    delete t_session;
    t_session = nullptr;
    t_connectSeconds = kConnectTimeoutSeconds;
}

QString serverSchemaScript() {
    return QString::fromUtf8(kServerSchemaSql);
}

} // namespace halvor::db
