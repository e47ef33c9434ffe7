#pragma once

#include "TServiceOptions.h"

#include <memory>
#include <QObject>
#include <QThread>
#include <QTimer>

class TApiHandler;
class TEngine;
class THttpFrontend;
class TLiveHub;
class TSqliteStore;
class TStore;

// The whole service: the store, the JSON API on one port and the live links on the other,
// all on the thread that runs it.
class TService : public QObject
{
public:
    explicit TService(const TServiceOptions& options, QObject* parent = nullptr);
    ~TService() override;

    // Opens the data folder and the database and starts listening; false with a reason when
    // any of it fails.
    bool Start(QString* errorText);
    void Stop();

    quint16 ApiPort() const { return FApiPort; }
    quint16 WsPort() const { return FWsPort; }

    // The database file inside a data folder.
    static QString DatabasePath(const QString& dataDir);

private:
    void StartCheckpoints();
    TServiceOptions FOptions;
    std::unique_ptr<TSqliteStore> FStore;
    std::unique_ptr<TLiveHub> FHub;
    std::unique_ptr<TEngine> FEngine;
    std::unique_ptr<TApiHandler> FHandler;
    std::unique_ptr<THttpFrontend> FHttp;
    QTimer FPrune;
    // Copies the write-ahead log into the database, off the thread that answers requests.
    QThread FCheckpointThread;
    quint16 FApiPort = 0;
    quint16 FWsPort = 0;
};
