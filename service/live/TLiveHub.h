#pragma once

#include "TNotifier.h"

#include <optional>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QString>
#include <QThread>

class TLiveWorker;

// The live link: a teacher's program opens "/ws/" + its connection id and receives event words
// as Base64 text messages. Links of unknown connection ids are closed at once. The links live
// on a thread of their own, so sending to hundreds of them never holds up the API; the hub
// reads connection ids through its own connection to the database.
class TLiveHub : public TNotifier
{
public:
    TLiveHub(const QString& databasePath, int keepAliveSeconds);
    ~TLiveHub() override;
    TLiveHub(const TLiveHub&) = delete;
    TLiveHub& operator=(const TLiveHub&) = delete;

    // Port listened on, 0 on failure (errorText says why). With a TLS configuration the links
    // are wss.
    quint16 Listen(const QHostAddress& address, quint16 port,
                   const std::optional<QSslConfiguration>& tls, QString* errorText);
    void Close();

    // Both only queue the message for the links' thread.
    void NotifyAccount(qint64 accountId, const QString& words) override;
    void ConfirmConnection(const QString& connectionId) override;

    // The event words as they travel.
    static QString Encode(const QString& words);

private:
    QThread FThread;
    TLiveWorker* FWorker = nullptr;
};
