#pragma once

#include "TServerThread.h"

#include <QMutex>
#include <QPointer>
#include <QString>

class TTVLApiClient;

// The background API thread: sends the board commands queued in the API client, one per pass
// and in queue order, and ignores their replies. It takes the queue's head through a hand-off
// run by the UI thread, where the queue lives; its own requests do not take the client's lock.
class TAPIGetThread : public TServerThread
{
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 500;
    static constexpr int kReadTimeoutMs = 5000;
    static constexpr int kPauseMs = 50;

    // Created on the UI thread, like the client; not started.
    explicit TAPIGetThread(TTVLApiClient& client, QObject* parent = nullptr);
    ~TAPIGetThread() override;

    // The token sent with each request; stored as it is. A later change of the client's token
    // reaches the thread only through this.
    QString Token() const;
    void setToken(const QString& token);

protected:
    void run() override;

private:
    void Send(const QUrl& base, const QString& Addr);

    QPointer<TTVLApiClient> FClient;
    mutable QMutex FTokenLock;
    QString FToken;
};
