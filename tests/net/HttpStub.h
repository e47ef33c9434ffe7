#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <QByteArray>
#include <QList>
#include <QSslConfiguration>
#include <QString>
#include <QThread>
#include <QUrl>
#include <utility>

// A scripted HTTP/1.1 server on 127.0.0.1 for replies that no real peer gives (slow answers,
// answers in pieces, malformed texts). It runs on its own thread, so a test may block its main
// thread on a request to it.
struct TStubRequest
{
    QByteArray Method;
    QByteArray Target; // path and query as sent
    QList<std::pair<QByteArray, QByteArray>> Headers;
    QByteArray Body;

    QByteArray Header(const QByteArray& name) const;
};

struct TStubReply
{
    int Status = 200;
    QByteArray Body;
    QList<std::pair<QByteArray, QByteArray>> Headers;
    int DelayMs = 0;      // before the status line
    int Pieces = 1;       // the body in this many parts ...
    int PieceDelayMs = 0; // ... this far apart
};

class THttpStub : public QThread
{
public:
    using THandler = std::function<TStubReply(const TStubRequest&)>;

    // With a TLS configuration (certificate and key) it speaks HTTPS.
    explicit THttpStub(THandler handler, const QSslConfiguration& tls = QSslConfiguration());
    ~THttpStub() override;

    quint16 Port() const { return FPort; }
    QUrl Url(const QString& pathAndQuery) const;
    QList<TStubRequest> Requests() const;

protected:
    void run() override;

private:
    THandler FHandler;
    QSslConfiguration FTls;
    quint16 FPort = 0;
    mutable std::mutex FMutex;
    std::condition_variable FReady;
    bool FListening = false;
    QList<TStubRequest> FRequests;
};

// A listening TCP port on 127.0.0.1 whose accept queue is full: the kernel drops further SYNs,
// so a connection attempt neither succeeds nor fails; it just hangs, like a server behind a
// firewall that drops packets.
class TSilentPort
{
public:
    TSilentPort();
    ~TSilentPort();
    // 0 when the port could not be saturated on this machine.
    quint16 Port() const { return FPort; }

private:
    int FListener = -1;
    QList<int> FFillers;
    quint16 FPort = 0;
};
