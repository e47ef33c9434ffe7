#pragma once

#include "TNotifier.h"

#include <optional>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QSslConfiguration>
#include <QString>
#include <QThread>

class TLiveWorker;

// The live links. A teacher's program opens "/ws/" + its connection id and receives event words
// as Base64 text messages; links of unknown connection ids are closed at once. A student's page
// opens "/ws/student/" + its workplace id, sends "key " + its student key as its first message,
// and then receives the workplace's state as JSON texts whenever it changes. The links live on
// a thread of their own, so sending to hundreds of them never holds up the API; the hub reads
// connection ids and keys through its own connection to the database.
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
    void NotifyStudent(const QString& workplaceId, const QByteArray& json) override;
    bool StudentLinked(const QString& workplaceId) const override;

    // The event words as they travel.
    static QString Encode(const QString& words);

    // Open page links by workplace; written on the links' thread, read from any.
    struct TStudentRegistry
    {
        mutable QMutex Mutex;
        QHash<QString, int> Links;
    };

private:
    QThread FThread;
    TLiveWorker* FWorker = nullptr;
    TStudentRegistry FStudents;
};
