#include "HttpStub.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <QHostAddress>
#include <QPointer>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <sys/socket.h>
#include <unistd.h>

QByteArray TStubRequest::Header(const QByteArray& name) const
{
    for (const auto& [key, value] : Headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return QByteArray();
}

THttpStub::THttpStub(THandler handler, const QSslConfiguration& tls)
    : FHandler(std::move(handler)), FTls(tls)
{
    start();
    std::unique_lock lock(FMutex);
    FReady.wait(lock, [this] { return FListening; });
}

THttpStub::~THttpStub()
{
    quit();
    wait();
}

QUrl THttpStub::Url(const QString& pathAndQuery) const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                    .arg(FTls.isNull() ? QStringLiteral("http") : QStringLiteral("https"))
                    .arg(FPort)
                    .arg(pathAndQuery));
}

QList<TStubRequest> THttpStub::Requests() const
{
    std::lock_guard lock(FMutex);
    return FRequests;
}

namespace {

// Parses one request from the front of the buffer; false while it is incomplete.
bool TakeRequest(QByteArray& buffer, TStubRequest& request)
{
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) return false;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request = TStubRequest();
    request.Method = first.value(0);
    request.Target = first.value(1);
    qsizetype length = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon < 0) continue;
        const QByteArray name = lines[i].left(colon).trimmed();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        request.Headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) length = value.toLongLong();
    }
    if (buffer.size() < headerEnd + 4 + length) return false;
    request.Body = buffer.mid(headerEnd + 4, length);
    buffer.remove(0, headerEnd + 4 + length);
    return true;
}

QByteArray ReasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

void SendReply(QTcpSocket* socket, const TStubReply& reply, bool headOnly)
{
    QPointer<QTcpSocket> guard(socket);
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.Status) + ' ' + ReasonPhrase(reply.Status) + "\r\n";
    head += "Content-Length: " + QByteArray::number(reply.Body.size()) + "\r\n";
    head += "Connection: close\r\n";
    for (const auto& [name, value] : reply.Headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    socket->write(head);
    if (headOnly) {
        socket->disconnectFromHost();
        return;
    }
    const int pieces = std::max(1, reply.Pieces);
    const qsizetype size = (reply.Body.size() + pieces - 1) / pieces;
    for (int i = 0; i < pieces; ++i) {
        const QByteArray piece = reply.Body.mid(i * size, size);
        QTimer::singleShot(i * reply.PieceDelayMs, socket, [guard, piece, last = i == pieces - 1] {
            if (!guard) return;
            guard->write(piece);
            guard->flush();
            if (last) guard->disconnectFromHost();
        });
    }
}

} // namespace

void THttpStub::run()
{
    QTcpServer plain;
    QSslServer secure;
    QTcpServer& server = FTls.isNull() ? plain : secure;
    if (!FTls.isNull()) secure.setSslConfiguration(FTls);
    server.listen(QHostAddress::LocalHost, 0);
    {
        std::lock_guard lock(FMutex);
        FPort = server.serverPort();
        FListening = true;
        FReady.notify_all();
    }
    const auto accept = [this, &server] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                TStubRequest request;
                if (!TakeRequest(*buffer, request)) return;
                {
                    std::lock_guard lock(FMutex);
                    FRequests.append(request);
                }
                const TStubReply reply = FHandler(request);
                QPointer<QTcpSocket> guard(socket);
                const bool headOnly = request.Method == "HEAD";
                QTimer::singleShot(reply.DelayMs, socket, [guard, reply, headOnly] {
                    if (guard) SendReply(guard, reply, headOnly);
                });
            });
        }
    };
    // A TLS connection is pending only once its handshake is done.
    QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, &server, accept);
    exec();
}

TSilentPort::TSilentPort()
{
    FListener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (FListener < 0 || ::bind(FListener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(FListener, 0) != 0 ||
        ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return;
    // Connect until an attempt hangs: from then on the queue is full.
    for (int i = 0; i < 16; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
        ::fcntl(filler, F_SETFL, O_NONBLOCK);
        FFillers.append(filler);
        if (::connect(filler, reinterpret_cast<sockaddr*>(&address), size) == 0) continue;
        if (errno != EINPROGRESS) return;
        pollfd wait{filler, POLLOUT, 0};
        if (::poll(&wait, 1, 300) == 0) {
            FPort = ntohs(address.sin_port);
            return;
        }
    }
}

TSilentPort::~TSilentPort()
{
    for (int filler : std::as_const(FFillers))
        ::close(filler);
    if (FListener >= 0) ::close(FListener);
}
