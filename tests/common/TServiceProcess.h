#pragma once

#include <memory>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

// The real tavlora-service for tests: a temporary data folder, free loopback ports, and the
// helpers a test needs around it (accounts, the newest confirmation code, restart, kill).
// Blocking calls; none of them needs an event loop.
class TServiceProcess
{
public:
    // dataDir empty: a fresh temporary folder, removed with the object.
    explicit TServiceProcess(const QString& dataDir = QString());
    ~TServiceProcess();
    TServiceProcess(const TServiceProcess&) = delete;
    TServiceProcess& operator=(const TServiceProcess&) = delete;

    // Starts the service on 127.0.0.1 with free ports and waits (up to timeoutMs) for its
    // listening line. extraArgs are passed on (for example "--tls-cert", file). The arguments
    // are kept for Restart.
    bool Start(const QStringList& extraArgs = {}, int timeoutMs = 15000);
    // Stops cleanly (SIGTERM) and starts again on the same data; the ports may change.
    bool Restart();
    // SIGTERM and wait; true when the service ended by itself with status 0.
    bool Stop(int timeoutMs = 10000);
    // SIGKILL: the service gets no chance to clean up.
    void Kill();
    bool IsRunning() const;
    // The running service's process id; 0 while none runs.
    qint64 ProcessId() const;

    QString DataDir() const { return FDataDir; }
    quint16 ApiPort() const { return FApiPort; }
    quint16 WsPort() const { return FWsPort; }
    // "http://127.0.0.1:PORT" (https with TLS); a request address is this plus the path.
    QUrl ApiBase() const;
    // "ws://127.0.0.1:PORT" (wss with TLS); the live link is this plus "/ws/" + connection id.
    QUrl WsBase() const;
    // Everything the service wrote to stderr so far (its log).
    QString Log() const;

    // Runs "account add EMAIL" on this data folder; the new account code, empty on failure.
    QString AddAccount(const QString& email) const;
    // Runs any administration command; its exit status, with stdout into output.
    int Command(const QStringList& args, QString* output = nullptr) const;
    // The code of the newest mail in DATA/outbox/ (for that address when one is given);
    // empty when there is none.
    QString LatestCode(const QString& email = QString()) const;
    int OutboxCount() const;

    // The service built with the project; SetBinary picks another one before Start.
    static QString Binary();
    void SetBinary(const QString& file) { FBinary = file; }

private:
    std::unique_ptr<QTemporaryDir> FTempDir;
    QString FDataDir;
    QString FBinary = Binary();
    QStringList FArgs;
    std::unique_ptr<QProcess> FProcess;
    quint16 FApiPort = 0;
    quint16 FWsPort = 0;
    bool FTls = false;
};
