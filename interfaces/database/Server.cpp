#include "Server.h"

#include "Schema.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QUrl>

#include <map>
#include <mutex>
#include <vector>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace halvor::db {

namespace {

constexpr int kConnectTimeoutSeconds = 3;
// A server that did not answer is not asked again for this long, so one save does not wait twice.
constexpr qint64 kAwayMemoMs = 10000;

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

QString pgType(Type type) {
    switch (type) {
    case Type::Date:
        return QStringLiteral("date");
    case Type::SmallInt:
        return QStringLiteral("smallint");
    case Type::Text:
        return QStringLiteral("citext");
    case Type::Real:
        return QStringLiteral("double precision");
    case Type::Uuid:
        return QStringLiteral("uuid NOT NULL UNIQUE");
    }
    return {};
}

// ---- telling why a connection failed
// ------------------------------------------------------------------------- libpq's messages are translated
// into the desktop's language, so the cause is found by asking the network the same questions: can the name
// be resolved, does anything answer at the address.

enum class Reach { Answers, Silent, NoSuchHost, Unknown };

bool connectWithin(int fd, const sockaddr* addr, socklen_t len, int timeoutMs) {
    if (::connect(fd, addr, len) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, timeoutMs) != 1)
        return false;
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

Reach reach(const ServerAddress& address) {
    QString host = address.value(QStringLiteral("host")).section(QLatin1Char(','), 0, 0);
    QString port = address.value(QStringLiteral("port")).section(QLatin1Char(','), 0, 0);
    if (port.isEmpty())
        port = QStringLiteral("5432");
    if (!address.value(QStringLiteral("service")).isEmpty() ||
        !address.value(QStringLiteral("hostaddr")).isEmpty())
        return Reach::Unknown;
    if (host.isEmpty())
        host = QStringLiteral("/var/run/postgresql"); // libpq's default on Debian
    if (host.startsWith(QLatin1Char('/'))) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(host + QStringLiteral("/.s.PGSQL.") + port);
        if (path.size() >= qsizetype(sizeof addr.sun_path))
            return Reach::Unknown;
        std::copy(path.begin(), path.end(), addr.sun_path);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (fd >= 0)
            ::close(fd);
        return ok ? Reach::Answers : Reach::Silent;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.toUtf8().constData(), port.toUtf8().constData(), &hints, &found);
    if (rc == EAI_NONAME || rc == EAI_FAIL)
        return Reach::NoSuchHost;
    if (rc != 0)
        return Reach::Silent;
    bool answered = false;
    for (addrinfo* a = found; a && !answered; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        answered = connectWithin(fd, a->ai_addr, a->ai_addrlen, 1000);
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return answered ? Reach::Answers : Reach::Silent;
}

bool failConnect(const ServerAddress& address, const QString& why, qint64 elapsedMs) {
    // A connection that ran into the timeout had no answer; a quick refusal is looked at more closely.
    const Reach r = elapsedMs >= (kConnectTimeoutSeconds - 1) * 1000 ? Reach::Silent : reach(address);
    const QString where = address.display;
    switch (r) {
    case Reach::NoSuchHost:
        return fail(Problem::UnknownHost,
                    QStringLiteral("The server's host name in %1 is not known: %2").arg(where, why));
    case Reach::Answers:
        return fail(
            Problem::LoginRefused,
            QStringLiteral("The server at %1 answers but refused the login (password, role or database): "
                           "%2")
                .arg(where, why));
    case Reach::Unknown:
        if (why.contains(QLatin1String("password")) || why.contains(QLatin1String("does not exist")))
            return fail(Problem::LoginRefused,
                        QStringLiteral("The server at %1 refused the login: %2").arg(where, why));
        break;
    case Reach::Silent:
        break;
    }
    return fail(Problem::Offline, QStringLiteral("The server at %1 cannot be reached: %2").arg(where, why));
}

// ---- schema
// ---------------------------------------------------------------------------------------------------

bool isUndefinedTable(const QSqlError& error) {
    return error.nativeErrorCode() == QLatin1String("42P01");
}

bool createSchema(QSqlDatabase& db, const QString& where) {
    QSqlQuery q(db);
    bool ok = db.transaction();
    // One program at a time creates the tables, however many computers start at once.
    ok = ok && q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(4711)"));
    for (const QString& sql : serverSchemaStatements()) {
        if (!ok)
            break;
        ok = q.exec(sql);
    }
    ok = ok && db.commit();
    if (ok)
        return true;
    const QString why = sqlError(q.lastError().isValid() ? q.lastError() : db.lastError());
    db.rollback();
    return fail(
        Problem::ServerRefused,
        QStringLiteral("The results tables are missing on %1 and cannot be made here: %2").arg(where, why));
}

// The steps that bring the server's tables from one version to the next, each in its own transaction.
struct ServerStep {
    int from;
    QStringList sql;
};
const std::vector<ServerStep>& serverSteps() {
    static const std::vector<ServerStep> steps = {
        {2,
         {QStringLiteral("ALTER TABLE learners ADD COLUMN IF NOT EXISTS number integer"),
          QStringLiteral("ALTER TABLE learners ADD COLUMN IF NOT EXISTS furigana citext")}},
    };
    return steps;
}

int readVersion(QSqlQuery& q) {
    return q.exec(QStringLiteral("SELECT max(version) FROM halvor_schema")) && q.next() ? q.value(0).toInt()
                                                                                        : 0;
}

// Brings older tables up to this version when the login may change them; a classroom login may not, and the
// server's administrator runs tools/classroom-setup instead.
bool upgradeSchema(QSqlDatabase& db, const QString& where, int version) {
    QSqlQuery q(db);
    bool ok = db.transaction() && q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(4711)"));
    version = ok ? readVersion(q) : version; // another computer may have done it meanwhile
    for (const ServerStep& step : serverSteps()) {
        if (!ok || step.from != version)
            continue;
        for (const QString& sql : step.sql)
            ok = ok && q.exec(sql);
        ok = ok && q.exec(QStringLiteral("UPDATE halvor_schema SET version = %1").arg(step.from + 1));
        version = step.from + 1;
    }
    ok = ok && version == kSchemaVersion && db.commit();
    if (ok)
        return true;
    const QString why = q.lastError().isValid() ? sqlError(q.lastError()) : QString();
    db.rollback();
    return fail(
        Problem::OtherVersion,
        QStringLiteral("The tables on %1 are of schema version %2 and this login cannot bring them to "
                       "version %3 (tools/classroom-setup does, as the server's administrator): %4")
            .arg(where)
            .arg(version)
            .arg(kSchemaVersion)
            .arg(why));
}

bool checkSchema(QSqlDatabase& db, const QString& where) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT max(version) FROM halvor_schema"))) {
        if (!isUndefinedTable(q.lastError()))
            return fail(Problem::ServerRefused, QStringLiteral("Cannot read the schema version on %1: %2")
                                                    .arg(where, sqlError(q.lastError())));
        return createSchema(db, where);
    }
    const int version = q.next() ? q.value(0).toInt() : 0;
    if (version >= 2 && version < kSchemaVersion)
        return upgradeSchema(db, where, version);
    if (version != kSchemaVersion)
        return fail(Problem::OtherVersion,
                    QStringLiteral("The tables on %1 are of schema version %2; this program "
                                   "uses version %3.")
                        .arg(where)
                        .arg(version)
                        .arg(kSchemaVersion));
    return true;
}

// ---- connections kept per thread
// -----------------------------------------------------------------------------

thread_local std::map<QString, std::shared_ptr<Connection>>* t_session = nullptr;

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

std::optional<ServerAddress> parseServerAddress(const QString& uri, QString* why) {
    QString rest;
    for (const QLatin1String scheme : {QLatin1String("postgresql://"), QLatin1String("postgres://")}) {
        if (uri.startsWith(scheme, Qt::CaseInsensitive))
            rest = uri.mid(scheme.size());
    }
    if (rest.isNull()) {
        if (why)
            *why = QStringLiteral("not a postgresql:// address");
        return std::nullopt;
    }
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
        if (eq <= 0) {
            if (why)
                *why = QStringLiteral("the parameter \"%1\" has no value").arg(pair);
            return std::nullopt;
        }
        out.keywords.append({decode(pair.left(eq)), decode(pair.mid(eq + 1))});
    }
    for (const auto& [key, val] : out.keywords) {
        // Qt hands the options to libpq joined by spaces where ';' stood, so a ';' would split a value.
        if (val.contains(QLatin1Char(';')) || key.contains(QLatin1Char(';')) ||
            key.contains(QLatin1Char(' '))) {
            if (why)
                *why =
                    QStringLiteral("the value of \"%1\" holds a character that cannot be passed on").arg(key);
            return std::nullopt;
        }
    }
    // Passwords never reach the log.
    out.display =
        QString(uri)
            .replace(QRegularExpression(QStringLiteral("^([a-z]+://[^:@/?]*):[^@/?]*@")),
                     QStringLiteral("\\1:***@"))
            .replace(QRegularExpression(QStringLiteral("([?&]password=)[^&]*")), QStringLiteral("\\1***"));
    return out;
}

void ServerLink::drop() {
    if (t_session)
        t_session->erase(uri_);
    owned_.reset();
    connection_ = nullptr;
}

ServerLink connectServer(const QString& uri) {
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
        fail(Problem::LoginRefused, QStringLiteral("The server address is not usable (%1).").arg(why));
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
    auto connection = std::make_shared<Connection>(QStringLiteral("QPSQL"), QString());
    QStringList options;
    for (const auto& [key, val] : address->keywords)
        options << key + QLatin1Char('=') + conninfoValue(val);
    if (address->value(QStringLiteral("connect_timeout")).isEmpty())
        options << QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds);
    if (address->value(QStringLiteral("application_name")).isEmpty())
        options << QStringLiteral("application_name=halvor");
    connection->db().setConnectOptions(options.join(QLatin1Char(';')));
    QElapsedTimer timer;
    timer.start();
    if (!connection->open()) {
        const QString reason = sqlError(connection->db().lastError());
        failConnect(*address, reason, timer.elapsed());
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
    if (!checkSchema(connection->db(), address->display))
        return link;
    link.owned_ = connection;
    link.connection_ = connection.get();
    if (t_session)
        (*t_session)[uri] = connection;
    return link;
}

bool withServer(const QString& uri, const std::function<bool(QSqlDatabase&)>& work) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        ServerLink link = connectServer(uri);
        if (!link)
            return false;
        if (work(link.db()))
            return true;
        const bool retry = link.reused() && (DB_LastProblem() == Problem::Offline);
        link.drop();
        if (!retry)
            return false;
    }
    return false;
}

bool failServerQuery(const QSqlError& error, const QString& what) {
    // SQLSTATE class 08 is a connection failure; with no code at all the connection is gone too.
    const QString code = error.nativeErrorCode();
    const bool lost =
        code.isEmpty() || code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P"));
    return fail(lost ? Problem::Offline : Problem::ServerRefused,
                what + QStringLiteral(": ") + sqlError(error));
}

ServerSession::ServerSession() {
    if (!t_session)
        t_session = new std::map<QString, std::shared_ptr<Connection>>();
}

ServerSession::~ServerSession() {
    delete t_session;
    t_session = nullptr;
}

QStringList serverSchemaStatements() {
    QStringList sql{QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext")};
    for (const TableDef* def : resultTables()) {
        QStringList columns;
        for (const ColumnDef& col : def->columns)
            columns << QLatin1Char('"') + QString::fromLatin1(col.name).toLower() + QStringLiteral("\" ") +
                           pgType(col.type);
        const QString name = QString::fromLatin1(def->name).toLower();
        const QString drill = QString::fromLatin1(def->drill).toLower();
        sql << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                   .arg(name, columns.join(QStringLiteral(", ")))
            << QStringLiteral("CREATE INDEX IF NOT EXISTS ix_%1_learner ON %1 (learner, %2, y4mmdd)")
                   .arg(name, drill)
            << QStringLiteral("CREATE INDEX IF NOT EXISTS ix_%1_drill ON %1 (%2, y4mmdd)").arg(name, drill);
    }
    sql << QStringLiteral(
               "CREATE TABLE IF NOT EXISTS learners (name citext PRIMARY KEY, class citext, number "
               "integer, furigana citext)")
        << QStringLiteral("CREATE TABLE IF NOT EXISTS halvor_schema (version integer NOT NULL)")
        << QStringLiteral("INSERT INTO halvor_schema (version) SELECT %1 WHERE NOT EXISTS (SELECT 1 FROM "
                          "halvor_schema)")
               .arg(kSchemaVersion);
    return sql;
}

} // namespace halvor::db
