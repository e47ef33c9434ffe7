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
// A page has this long after opening its link to name its key.
constexpr int kStudentHelloMs = 10000;
// Keep-alive rounds without an answer to the ping after which a page link is taken as dead.
constexpr int kStudentMissedPongs = 3;
// A keep-alive round is spread over this many ticks, so a thousand links never get their
// messages in one burst that would hold up the notifications behind it.
constexpr int kKeepAliveSlices = 20;
const QLatin1String kStudentPath("/ws/student/");
} // namespace

// Everything of the links, on the links' thread.
class TLiveWorker : public QObject
{
public:
    TLiveWorker(const QString& databasePath, int keepAliveSeconds,
                TLiveHub::TStudentRegistry& students)
        : FDatabasePath(databasePath), FKeepAliveMs(keepAliveSeconds * 1000), FRegistry(students)
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
            while (QTcpSocket* socket = FTcp->nextPendingConnection()) {
                // A notification is one small frame: it goes out at once.
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                FServer->handleConnection(socket);
            }
        });
        FKeepAlive = new QTimer(this);
        FKeepAlive->setInterval(qMax(1, FKeepAliveMs / kKeepAliveSlices));
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
        const QList<QWebSocket*> pages = FPages.keys();
        for (QWebSocket* socket : pages) {
            socket->disconnect(this);
            socket->close(QWebSocketProtocol::CloseCodeGoingAway);
            delete socket;
        }
        FPages.clear();
        FByWorkplace.clear();
        {
            QMutexLocker lock(&FRegistry.Mutex);
            FRegistry.Links.clear();
        }
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

    void NotifyStudent(const QString& workplaceId, const QByteArray& json)
    {
        const auto it = FByWorkplace.constFind(workplaceId);
        if (it == FByWorkplace.constEnd()) return;
        const QString message = QString::fromUtf8(json);
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
        int Slice = 0;
    };

    struct TPage
    {
        QString WorkplaceId; // empty until the key was named
        int MissedPongs = 0;
        int Slice = 0;
    };

    void Accept(QWebSocket* socket)
    {
        socket->setParent(this);
        if (socket->requestUrl().path().startsWith(kStudentPath)) {
            AcceptPage(socket);
            return;
        }
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
        FLinks.insert(socket, {id, *account, FNextSlice++ % kKeepAliveSlices});
        FByAccount[*account].append(socket);
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { Drop(socket); });
        qCDebug(lcLive) << "link open for connection" << id;
        Send(socket, QStringLiteral("active ") + id);
    }

    // A student's page: it names its key first; until then it is only a candidate.
    void AcceptPage(QWebSocket* socket)
    {
        socket->setMaxAllowedIncomingMessageSize(512);
        socket->setMaxAllowedIncomingFrameSize(512);
        const QString id = socket->requestUrl().path().mid(kStudentPath.size());
        if (!ApiText::Check10Digit(id)) {
            Refuse(socket, QStringLiteral("Unknown workplace"));
            return;
        }
        FPages.insert(socket, {QString(), 0, FNextSlice++ % kKeepAliveSlices});
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { DropPage(socket); });
        connect(socket, &QWebSocket::pong, this, [this, socket] {
            const auto it = FPages.find(socket);
            if (it != FPages.end()) it->MissedPongs = 0;
        });
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket, id](const QString& text) { OnPageText(socket, id, text); });
        QTimer::singleShot(kStudentHelloMs, socket, [this, socket] {
            const auto it = FPages.constFind(socket);
            if (it != FPages.constEnd() && it->WorkplaceId.isEmpty())
                Refuse(socket, QStringLiteral("No key"));
        });
    }

    void OnPageText(QWebSocket* socket, const QString& id, const QString& text)
    {
        const auto it = FPages.find(socket);
        if (it == FPages.end()) return;
        if (!it->WorkplaceId.isEmpty()) {
            // The page says nothing after its key but a ping of its own.
            if (text == u"ping") socket->sendTextMessage(QStringLiteral("{\"type\":\"pong\"}"));
            return;
        }
        const QString key =
            text.startsWith(QLatin1String("key ")) ? text.mid(4).trimmed() : QString();
        const auto workplace = FStore->Workplace(id);
        if (!ApiText::CheckUUID(key) || !workplace ||
            ApiText::HashSecret(key) != workplace->KeyHash) {
            qCInfo(lcLive).noquote() << "page link refused for workplace" << id;
            Refuse(socket, QStringLiteral("Unknown workplace"));
            return;
        }
        it->WorkplaceId = id;
        FByWorkplace[id].append(socket);
        {
            QMutexLocker lock(&FRegistry.Mutex);
            ++FRegistry.Links[id];
        }
        qCDebug(lcLive) << "page link open for workplace" << id;
        socket->sendTextMessage(
            QStringLiteral("{\"type\":\"welcome\",\"alive_seconds\":%1}").arg(FKeepAliveMs / 1000));
    }

    void Refuse(QWebSocket* socket, const QString& reason)
    {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, reason);
        if (!FPages.contains(socket))
            connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
    }

    void DropPage(QWebSocket* socket)
    {
        const auto it = FPages.find(socket);
        if (it != FPages.end()) {
            const QString id = it->WorkplaceId;
            if (!id.isEmpty()) {
                auto& list = FByWorkplace[id];
                list.removeAll(socket);
                if (list.isEmpty()) FByWorkplace.remove(id);
                QMutexLocker lock(&FRegistry.Mutex);
                if (--FRegistry.Links[id] <= 0) FRegistry.Links.remove(id);
            }
            FPages.erase(it);
        }
        socket->deleteLater();
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

    // One slice of the links per tick: every link hears once per keep-alive interval.
    void KeepAlive()
    {
        const int slice = FTick++ % kKeepAliveSlices;
        for (auto it = FLinks.cbegin(); it != FLinks.cend(); ++it)
            if (it->Slice == slice) Send(it.key(), QStringLiteral("active ") + it->ConnectionId);
        // Pages hear that their link lives; a page that stopped answering pings is gone.
        const QString alive = QStringLiteral("{\"type\":\"alive\"}");
        QList<QWebSocket*> dead;
        for (auto it = FPages.begin(); it != FPages.end(); ++it) {
            if (it->WorkplaceId.isEmpty() || it->Slice != slice) continue;
            if (++it->MissedPongs > kStudentMissedPongs) {
                dead.append(it.key());
                continue;
            }
            it.key()->sendTextMessage(alive);
            it.key()->ping();
        }
        for (QWebSocket* socket : dead) {
            qCInfo(lcLive) << "page link of workplace" << FPages.value(socket).WorkplaceId
                           << "stopped answering";
            socket->abort();
        }
    }

    QString FDatabasePath;
    int FKeepAliveMs;
    std::unique_ptr<TSqliteStore> FStore;
    QTcpServer* FTcp = nullptr;
    QWebSocketServer* FServer = nullptr;
    QTimer* FKeepAlive = nullptr;
    QHash<QWebSocket*, TLink> FLinks;
    QHash<qint64, QList<QWebSocket*>> FByAccount;
    TLiveHub::TStudentRegistry& FRegistry;
    QHash<QWebSocket*, TPage> FPages;
    QHash<QString, QList<QWebSocket*>> FByWorkplace;
    int FNextSlice = 0;
    int FTick = 0;
};

TLiveHub::TLiveHub(const QString& databasePath, int keepAliveSeconds)
{
    FThread.setObjectName(QStringLiteral("live"));
    FWorker = new TLiveWorker(databasePath, keepAliveSeconds, FStudents);
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

void TLiveHub::NotifyStudent(const QString& workplaceId, const QByteArray& json)
{
    TLiveWorker* worker = FWorker;
    QMetaObject::invokeMethod(
        worker, [worker, workplaceId, json] { worker->NotifyStudent(workplaceId, json); },
        Qt::QueuedConnection);
}

bool TLiveHub::StudentLinked(const QString& workplaceId) const
{
    QMutexLocker lock(&FStudents.Mutex);
    return FStudents.Links.contains(workplaceId);
}

QString TLiveHub::Encode(const QString& words)
{
    return QString::fromLatin1(words.toUtf8().toBase64());
}
