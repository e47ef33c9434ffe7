#include "TAPIGetThread.h"

#include "NetText.h"
#include "ServerLog.h"
#include "THttpClient.h"
#include "TTVLApiClient.h"
#include "TVLApiText.h"

TAPIGetThread::TAPIGetThread(TTVLApiClient& client, QObject* parent)
    : TServerThread(parent), FClient(&client)
{
    setObjectName(QStringLiteral("ThreadAPIGet"));
}

TAPIGetThread::~TAPIGetThread()
{
    // run() uses this object's members: it must be over before they go.
    StopAndWait();
}

QString TAPIGetThread::Token() const
{
    QMutexLocker lock(&FTokenLock);
    return FToken;
}

void TAPIGetThread::setToken(const QString& token)
{
    QMutexLocker lock(&FTokenLock);
    FToken = token;
}

void TAPIGetThread::run()
{
    while (!isInterruptionRequested()) {
        QString addr;
        QUrl base;
        HandOff([this, &addr, &base] {
            if (!FClient) return;
            addr = FClient->TakeQueued();
            base = FClient->ApiBase();
        });
        if (!addr.isEmpty()) Send(base, addr);
        Pause(kPauseMs);
    }
}

void TAPIGetThread::Send(const QUrl& base, const QString& Addr)
{
    THttpOptions options;
    options.ConnectTimeoutMs = kConnectTimeoutMs;
    options.ReadTimeoutMs = kReadTimeoutMs;
    options.Headers = TVLApi::RequestHeaders(Token());
    options.Cancel = CancelHandle();
    // Fire and forget: a refused or lost command is not sent again.
    const THttpResult result = THttpClient::Get(TVLApi::RequestUrl(base, Addr), options);
    if (!result.Ok()) {
        qCInfo(lcServer).noquote() << "queued request lost:" << Addr << "-" << result.ErrorText;
        return;
    }
    QJsonObject reply;
    if (NetText::ParseJsonObject(result.Body, reply) && !TVLApi::IsSuccess(reply))
        qCInfo(lcServer).noquote() << "queued request refused:" << Addr << "-"
                                   << TVLApi::MemberText(reply, QStringLiteral("errorDescription"));
}
