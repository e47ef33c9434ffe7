#include "TLiveHub.h"

#include "ApiText.h"
#include "ServiceLog.h"
#include "TSqliteStore.h"

#include <memory>
#include <QHash>
#include <QList>
#include <QSslServer>
#include <QTcpServer>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

namespace {
constexpr int kListenBacklog = 1024;
}

// Everything of the links, on the links' thread.
class TLiveWorker : public QObject
{
public:
    TLiveWorker(const QString& databasePath, int keepAliveSeconds)
        : FDatabasePath(databasePath), FKeepAliveMs(keepAliveSeconds * 1000)
    {
    }

    quint16 Listen(const QHostAddress& address, quint16 port,
                   const std::optional<QSslConfiguration>& tls, QString* errorText)
    {
        FStore = std::make_unique<TSqliteStore>(FDatabasePath);
        if (!FStore->Open(errorText)) return 0;
        FServer = new QWebSocketServer(QStringLiteral("tavlora-service"),
                                       QWebSocketServer::NonSecureMode, this);
        FServer->setHandshakeTimeout(10000);
        connect(FServer, &QWebSocketServer::newConnection, this, [this] {
            while (QWebSocket* socket = FServer->nextPendingConnection())
                Accept(socket);
        });
        // Our own listening socket: a long backlog for a whole school connecting at once, and
        // TLS before the WebSocket handshake when it is configured.
        if (tls) {
            auto* server = new QSslServer(this);
            server->setSslConfiguration(*tls);
            connect(server, &QSslServer::errorOccurred, this,
                    [](QSslSocket*, QAbstractSocket::SocketError error) {
                        qCDebug(lcLive) << "TLS link failed:" << error;
                    });
            FTcp = server;
        } else {
            FTcp = new QTcpServer(this);
        }
        FTcp->setListenBacklogSize(kListenBacklog);
        if (!FTcp->listen(address, port)) {
            *errorText = FTcp->errorString();
            return 0;
        }
        connect(FTcp, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = FTcp->nextPendingConnection())
                FServer->handleConnection(socket);
        });
        FKeepAlive = new QTimer(this);
        FKeepAlive->setInterval(FKeepAliveMs);
        connect(FKeepAlive, &QTimer::timeout, this, &TLiveWorker::KeepAlive);
        FKeepAlive->start();
        return FTcp->serverPort();
    }

    void Close()
    {
        if (FKeepAlive) FKeepAlive->stop();
        const QList<QWebSocket*> sockets = FLinks.keys();
        for (QWebSocket* socket : sockets) {
            socket->disconnect(this);
            socket->close(QWebSocketProtocol::CloseCodeGoingAway);
            delete socket;
        }
        FLinks.clear();
        FByAccount.clear();
        if (FTcp) FTcp->close();
        if (FStore) FStore->Close();
        FStore.reset();
    }

    void NotifyAccount(qint64 accountId, const QString& words)
    {
        const auto it = FByAccount.constFind(accountId);
        if (it == FByAccount.constEnd()) return;
        const QString message = TLiveHub::Encode(words);
        for (QWebSocket* socket : *it)
            socket->sendTextMessage(message);
    }

    void ConfirmConnection(const QString& connectionId)
    {
        for (auto it = FLinks.cbegin(); it != FLinks.cend(); ++it)
            if (it->ConnectionId == connectionId)
                Send(it.key(), QStringLiteral("active ") + connectionId);
    }

private:
    struct TLink
    {
        QString ConnectionId;
        qint64 AccountId = 0;
    };

    void Accept(QWebSocket* socket)
    {
        socket->setParent(this);
        // A teacher's program only listens; nothing large ever comes from it.
        socket->setMaxAllowedIncomingMessageSize(4096);
        socket->setMaxAllowedIncomingFrameSize(4096);
        const QString path = socket->requestUrl().path();
        const QString id = path.startsWith(QLatin1String("/ws/")) ? path.mid(4) : QString();
        std::optional<qint64> account;
        if (ApiText::Check10Digit(id)) account = FStore->ConnectionOwner(id);
        if (!account) {
            qCInfo(lcLive).noquote() << "link refused for" << path.left(64);
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                          QStringLiteral("Unknown connection"));
            connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
            return;
        }
        FLinks.insert(socket, {id, *account});
        FByAccount[*account].append(socket);
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { Drop(socket); });
        qCDebug(lcLive) << "link open for connection" << id;
        Send(socket, QStringLiteral("active ") + id);
    }

    void Drop(QWebSocket* socket)
    {
        const auto it = FLinks.find(socket);
        if (it != FLinks.end()) {
            auto& list = FByAccount[it->AccountId];
            list.removeAll(socket);
            if (list.isEmpty()) FByAccount.remove(it->AccountId);
            FLinks.erase(it);
        }
        socket->deleteLater();
    }

    void Send(QWebSocket* socket, const QString& words)
    {
        socket->sendTextMessage(TLiveHub::Encode(words));
    }

    void KeepAlive()
    {
        for (auto it = FLinks.cbegin(); it != FLinks.cend(); ++it)
            Send(it.key(), QStringLiteral("active ") + it->ConnectionId);
    }

    QString FDatabasePath;
    int FKeepAliveMs;
    std::unique_ptr<TSqliteStore> FStore;
    QTcpServer* FTcp = nullptr;
    QWebSocketServer* FServer = nullptr;
    QTimer* FKeepAlive = nullptr;
    QHash<QWebSocket*, TLink> FLinks;
    QHash<qint64, QList<QWebSocket*>> FByAccount;
};

TLiveHub::TLiveHub(const QString& databasePath, int keepAliveSeconds)
{
    FThread.setObjectName(QStringLiteral("live"));
    FWorker = new TLiveWorker(databasePath, keepAliveSeconds);
    FWorker->moveToThread(&FThread);
    QObject::connect(&FThread, &QThread::finished, FWorker, &QObject::deleteLater);
    FThread.start();
}

TLiveHub::~TLiveHub()
{
    Close();
    FThread.quit();
    FThread.wait();
}

quint16 TLiveHub::Listen(const QHostAddress& address, quint16 port,
                         const std::optional<QSslConfiguration>& tls, QString* errorText)
{
    quint16 result = 0;
    QMetaObject::invokeMethod(
        FWorker, [&] { result = FWorker->Listen(address, port, tls, errorText); },
        Qt::BlockingQueuedConnection);
    return result;
}

void TLiveHub::Close()
{
    if (FThread.isRunning())
        QMetaObject::invokeMethod(
            FWorker, [this] { FWorker->Close(); }, Qt::BlockingQueuedConnection);
}

void TLiveHub::NotifyAccount(qint64 accountId, const QString& words)
{
    TLiveWorker* worker = FWorker;
    QMetaObject::invokeMethod(
        worker, [worker, accountId, words] { worker->NotifyAccount(accountId, words); },
        Qt::QueuedConnection);
}

void TLiveHub::ConfirmConnection(const QString& connectionId)
{
    TLiveWorker* worker = FWorker;
    QMetaObject::invokeMethod(
        worker, [worker, connectionId] { worker->ConfirmConnection(connectionId); },
        Qt::QueuedConnection);
}

QString TLiveHub::Encode(const QString& words)
{
    return QString::fromLatin1(words.toUtf8().toBase64());
}
