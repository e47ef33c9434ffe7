#pragma once

#include <optional>
#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QSslConfiguration>

class TApiHandler;
class QTcpSocket;
struct TApiReply;

// The HTTP side of the API: hands each request to the handler and writes its reply. Its own
// listening sockets put a bound on what one connection may send before it is answered, since
// the HTTP layer itself would buffer a body of any size.
class THttpFrontend : public QAbstractHttpServer
{
public:
    THttpFrontend(TApiHandler& handler, qint64 maxRequestBytes, int idleMs,
                  QObject* parent = nullptr);

    // Port listened on, 0 on failure. With a TLS configuration the API is HTTPS.
    quint16 Listen(const QHostAddress& address, quint16 port,
                   const std::optional<QSslConfiguration>& tls);
    void Close();

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    void Guard(QTcpSocket* socket);
    static void Write(QTcpSocket* socket, const TApiReply& reply, bool head);
    static QByteArray ReasonPhrase(int status);

    TApiHandler& FHandler;
    qint64 FMaxRequestBytes;
    int FIdleMs;
    QTcpServer* FTcp = nullptr;
};
