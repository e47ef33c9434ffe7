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
#include <QTimer>
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

THttpFrontend::THttpFrontend(TApiHandler& handler, qint64 maxRequestBytes, int idleMs,
                             QObject* parent)
    : QAbstractHttpServer(parent), FHandler(handler), FMaxRequestBytes(maxRequestBytes),
      FIdleMs(idleMs)
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
    // Replies are small and written whole: no waiting for the peer's acknowledgement.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
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

    // A peer that goes silent does not hold its socket for ever: any traffic restarts the clock.
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->setInterval(FIdleMs);
    connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
    connect(socket, &QTcpSocket::readyRead, idle, qOverload<>(&QTimer::start));
    connect(socket, &QTcpSocket::bytesWritten, idle, [idle](qint64) { idle->start(); });
    idle->start();
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
    api.IfNoneMatch = Header(request, "If-None-Match");
    api.Body = request.body();

    // An engine call answers later; the socket may be gone by then.
    QPointer<QTcpSocket> guarded(socket);
    const bool head = api.Method == "HEAD";
    const TApiReply reply = FHandler.Handle(api, [guarded, head](const TApiReply& later) {
        if (guarded && guarded->state() == QAbstractSocket::ConnectedState)
            Write(guarded, later, head);
    });
    if (!reply.Deferred) Write(socket, reply, head);
    return true;
}

void THttpFrontend::Write(QTcpSocket* socket, const TApiReply& reply, bool head)
{
    // The whole reply in one write, so it leaves in as few segments as the size allows.
    QByteArray out;
    out.reserve(256 + reply.Body.size());
    out += "HTTP/1.1 " + QByteArray::number(reply.Status) + ' ' + ReasonPhrase(reply.Status) +
           "\r\nContent-Type: " + reply.ContentType + "\r\n";
    bool cacheControl = false;
    for (const auto& header : reply.Headers) {
        out += header.first + ": " + header.second + "\r\n";
        cacheControl =
            cacheControl || header.first.compare("Cache-Control", Qt::CaseInsensitive) == 0;
    }
    if (!cacheControl) out += "Cache-Control: no-store\r\n";
    out += "Content-Length: " + QByteArray::number(reply.Body.size()) + "\r\n\r\n";
    if (!head) out += reply.Body;
    socket->write(out);
}

QByteArray THttpFrontend::ReasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 304:
        return "Not Modified";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

void THttpFrontend::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    Write(socket, ApiReply::Failure(QStringLiteral("Unknown request")), false);
}
