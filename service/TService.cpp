#include "TService.h"

#include "ServiceLog.h"
#include "TApiHandler.h"
#include "TEngine.h"
#include "THttpFrontend.h"
#include "TLiveHub.h"
#include "TSqliteStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>

namespace {

std::optional<QSslConfiguration> LoadTls(const QString& certFile, const QString& keyFile,
                                         QString* errorText)
{
    QFile cert(certFile), key(keyFile);
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
        *errorText = QStringLiteral("cannot read the certificate or the key");
        return std::nullopt;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(cert.readAll(), QSsl::Pem);
    const QByteArray keyBytes = key.readAll();
    QSslKey privateKey(keyBytes, QSsl::Rsa, QSsl::Pem);
    if (privateKey.isNull()) privateKey = QSslKey(keyBytes, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty() || privateKey.isNull()) {
        *errorText = QStringLiteral("the certificate or the key is not valid PEM");
        return std::nullopt;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(privateKey);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    return config;
}

} // namespace

TService::TService(const TServiceOptions& options, QObject* parent)
    : QObject(parent), FOptions(options)
{
}

TService::~TService()
{
    Stop();
}

QString TService::DatabasePath(const QString& dataDir)
{
    return QDir(dataDir).filePath(QStringLiteral("tavlora.sqlite"));
}

bool TService::Start(QString* errorText)
{
    QDir data(FOptions.DataDir);
    if (!data.mkpath(QStringLiteral(".")) || !data.mkpath(QStringLiteral("outbox")) ||
        !data.mkpath(QStringLiteral("publish"))) {
        *errorText = QStringLiteral("cannot create the data folder ") + FOptions.DataDir;
        return false;
    }
    // Codes, tokens' hashes and uploads live here: for the service's user only.
    QFile::setPermissions(FOptions.DataDir,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    std::optional<QSslConfiguration> tls;
    if (!FOptions.TlsCert.isEmpty() || !FOptions.TlsKey.isEmpty()) {
        tls = LoadTls(FOptions.TlsCert, FOptions.TlsKey, errorText);
        if (!tls) return false;
    }

    FStore = std::make_unique<TSqliteStore>(DatabasePath(FOptions.DataDir));
    QString storeError;
    if (!FStore->Open(&storeError)) {
        *errorText = QStringLiteral("cannot open the database: ") + storeError;
        return false;
    }
    FStore->Prune(QDateTime::currentSecsSinceEpoch());
    StartCheckpoints();

    FHub = std::make_unique<TLiveHub>(DatabasePath(FOptions.DataDir), FOptions.KeepAliveSeconds);
    if (FOptions.EngineProgram != u"none")
        FEngine = std::make_unique<TEngine>(FOptions.EngineProgram, FOptions.EngineMoveTimeMs);
    else
        qCInfo(lcService) << "running without a chess engine";
    FHandler = std::make_unique<TApiHandler>(*FStore, *FHub, FOptions, FEngine.get());
    // One oversized upload may be read and refused; beyond twice the limit the connection ends.
    FHttp = std::make_unique<THttpFrontend>(*FHandler, 2 * FOptions.MaxUploadBytes + 1024 * 1024,
                                            FOptions.IdleSeconds * 1000);

    FApiPort = FHttp->Listen(FOptions.Listen, FOptions.ApiPort, tls);
    if (FApiPort == 0) {
        *errorText = QStringLiteral("cannot listen on %1 port %2")
                         .arg(FOptions.Listen.toString())
                         .arg(FOptions.ApiPort);
        return false;
    }
    QString hubError;
    FWsPort = FHub->Listen(FOptions.Listen, FOptions.WsPort, tls, &hubError);
    if (FWsPort == 0) {
        *errorText = QStringLiteral("cannot listen on %1 port %2: %3")
                         .arg(FOptions.Listen.toString())
                         .arg(FOptions.WsPort)
                         .arg(hubError);
        return false;
    }
    FHandler->setWsPort(FWsPort);
    FPrune.setInterval(3600 * 1000);
    connect(&FPrune, &QTimer::timeout, this,
            [this] { FStore->Prune(QDateTime::currentSecsSinceEpoch()); });
    FPrune.start();
    qCInfo(lcService).noquote() << "serving" << (tls ? "https" : "http") << "on"
                                << FOptions.Listen.toString() << "port" << FApiPort << "and"
                                << (tls ? "wss" : "ws") << "on port" << FWsPort << "with data in"
                                << QDir(FOptions.DataDir).absolutePath() << "; students' page at"
                                << QStringLiteral("%1://%2:%3/student/")
                                       .arg(tls ? QStringLiteral("https") : QStringLiteral("http"),
                                            FOptions.Listen.toString())
                                       .arg(FApiPort);
    return true;
}

void TService::StartCheckpoints()
{
    FStore->setAutoCheckpoint(false);
    FCheckpointThread.setObjectName(QStringLiteral("checkpoint"));
    const QString path = DatabasePath(FOptions.DataDir);
    auto* timer = new QTimer;
    timer->setInterval(1000);
    timer->moveToThread(&FCheckpointThread);
    connect(&FCheckpointThread, &QThread::started, timer, [timer, path] {
        // Its own connection, opened on its own thread.
        auto* store = new TSqliteStore(path);
        QString error;
        if (!store->Open(&error)) {
            qCWarning(lcStore) << "no checkpoints:" << error;
            delete store;
            return;
        }
        connect(timer, &QTimer::timeout, timer, [store] { store->Checkpoint(); });
        connect(timer, &QObject::destroyed, timer, [store] {
            store->Checkpoint();
            delete store;
        });
        timer->start();
    });
    connect(&FCheckpointThread, &QThread::finished, timer, &QObject::deleteLater);
    FCheckpointThread.start();
}

void TService::Stop()
{
    FCheckpointThread.quit();
    FCheckpointThread.wait();
    FPrune.stop();
    if (FHttp) FHttp->Close();
    if (FHub) FHub->Close();
    FHttp.reset();
    FHandler.reset();
    FEngine.reset();
    FHub.reset();
    if (FStore) FStore->Close();
    FStore.reset();
}
