#include "THttpFrontend.h"

#include "ServiceLog.h"
#include "TApiHandler.h"

#include <functional>
#include <memory>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace {

constexpr int kListenBacklog = 1024;

// A plain listening socket that lets the front end see each connection first.
class TGuardedTcpServer : public QTcpServer
{
public:
    TGuardedTcpServer(std::function<void(QTcpSocket*)> guard, QObject* parent)
        : QTcpServer(parent), FGuard(std::move(guard))
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        FGuard(socket);
        addPendingConnection(socket);
    }

private:
    std::function<void(QTcpSocket*)> FGuard;
};

QByteArray Header(const QHttpServerRequest& request, const char* name)
{
    for (const auto& header : request.headers())
        if (header.first.compare(name, Qt::CaseInsensitive) == 0) return header.second;
    return {};
}

} // namespace

THttpFrontend::THttpFrontend(TApiHandler& handler, qint64 maxRequestBytes, QObject* parent)
    : QAbstractHttpServer(parent), FHandler(handler), FMaxRequestBytes(maxRequestBytes)
{
}

quint16 THttpFrontend::Listen(const QHostAddress& address, quint16 port,
                              const std::optional<QSslConfiguration>& tls)
{
    if (tls) {
        auto* server = new QSslServer(this);
        server->setSslConfiguration(*tls);
        connect(server, &QSslServer::startedEncryptionHandshake, this,
                [this](QSslSocket* socket) { Guard(socket); });
        FTcp = server;
    } else {
        FTcp = new TGuardedTcpServer([this](QTcpSocket* socket) { Guard(socket); }, this);
    }
    FTcp->setListenBacklogSize(kListenBacklog);
    if (!FTcp->listen(address, port)) return 0;
    bind(FTcp);
    return FTcp->serverPort();
}

void THttpFrontend::Close()
{
    if (FTcp) FTcp->close();
}

void THttpFrontend::Guard(QTcpSocket* socket)
{
    // Bytes received since the last reply: a client may send one oversized request, which is
    // read and refused, but not more than the cap, which ends the connection.
    auto received = std::make_shared<qint64>(0);
    const qint64 cap = FMaxRequestBytes;
    connect(socket, &QTcpSocket::readyRead, socket, [socket, received, cap] {
        *received += socket->bytesAvailable();
        if (*received > cap) {
            qCWarning(lcApi) << "request from" << socket->peerAddress().toString()
                             << "too large; connection closed";
            socket->abort();
        }
    });
    connect(socket, &QTcpSocket::bytesWritten, socket, [received](qint64) { *received = 0; });
}

bool THttpFrontend::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    TApiRequest api;
    switch (request.method()) {
    case QHttpServerRequest::Method::Get:
        api.Method = "GET";
        break;
    case QHttpServerRequest::Method::Post:
        api.Method = "POST";
        break;
    case QHttpServerRequest::Method::Head:
        api.Method = "HEAD";
        break;
    default:
        api.Method = "OTHER";
        break;
    }
    const QUrl url = request.url();
    api.RawPath = url.path(QUrl::FullyEncoded).toUtf8();
    api.RawQuery = url.query(QUrl::FullyEncoded).toUtf8();
    api.Token = Header(request, "TVLToken");
    api.StudentKey = Header(request, "TVLStudent");
    api.ContentType = Header(request, "Content-Type");
    api.Body = request.body();

    const TApiReply reply = FHandler.Handle(api);
    auto responder = makeResponder(request, socket);
    responder.write(reply.Body,
                    {{"Content-Type", reply.ContentType}, {"Cache-Control", "no-store"}},
                    QHttpServerResponder::StatusCode(reply.Status));
    return true;
}

void THttpFrontend::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    auto responder = makeResponder(request, socket);
    responder.write(ApiReply::Failure(QStringLiteral("Unknown request")).Body, "application/json");
}
