// A TCP proxy in front of the test server's socket that, while stalling, stops forwarding a connection once
// it has logged in (the server's first ReadyForQuery) and swallows what comes after in both directions: the
// network of a school whose router stops passing a connection's packets without a word.
#pragma once

#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>

namespace dbtest {

class StallingProxy {
public:
    explicit StallingProxy(const QString& serverSocket) : m_serverSocket(serverSocket) {
        m_thread.start();
        m_server.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_server,
            [this] {
                QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
                m_server.listen(QHostAddress::LocalHost);
                m_port = m_server.serverPort();
            },
            Qt::BlockingQueuedConnection);
    }
    ~StallingProxy() {
        QMetaObject::invokeMethod(
            &m_server,
            [this] {
                m_server.close();
                for (QObject* child : m_server.children())
                    delete child;
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    StallingProxy(const StallingProxy&) = delete;
    StallingProxy& operator=(const StallingProxy&) = delete;

    quint16 port() const { return m_port; }
    // Connections logging in from now on stall once they have; false lets later ones through.
    void setStalling(bool stalling) { m_stalling = stalling; }

private:
    void accept() {
        while (QTcpSocket* client = m_server.nextPendingConnection()) {
            client->setParent(&m_server);
            auto* server = new QLocalSocket(client);
            auto* fromServer = new QByteArray;
            auto* stalled = new bool(false);
            QObject::connect(client, &QObject::destroyed, [fromServer, stalled] {
                delete fromServer;
                delete stalled;
            });
            QObject::connect(client, &QTcpSocket::readyRead, client, [client, server, stalled] {
                const QByteArray bytes = client->readAll();
                if (!*stalled)
                    server->write(bytes);
            });
            QObject::connect(
                server, &QLocalSocket::readyRead, client, [this, client, server, fromServer, stalled] {
                    fromServer->append(server->readAll());
                    // Whole messages only: a type byte and a length that counts itself.
                    while (!*stalled && fromServer->size() >= 5) {
                        const auto* b = reinterpret_cast<const uchar*>(fromServer->constData());
                        const qsizetype length = 1 + ((b[1] << 24) | (b[2] << 16) | (b[3] << 8) | b[4]);
                        if (fromServer->size() < length)
                            break;
                        client->write(fromServer->left(length));
                        if (b[0] == 'Z' && m_stalling)
                            *stalled = true;
                        fromServer->remove(0, length);
                    }
                    if (*stalled)
                        fromServer->clear();
                });
            QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(server, &QLocalSocket::disconnected, client,
                             [client] { client->disconnectFromHost(); });
            server->connectToServer(m_serverSocket + QStringLiteral("/.s.PGSQL.5432"));
        }
    }

    QString m_serverSocket;
    QThread m_thread;
    QTcpServer m_server;
    quint16 m_port = 0;
    std::atomic<bool> m_stalling{false};
};

} // namespace dbtest
