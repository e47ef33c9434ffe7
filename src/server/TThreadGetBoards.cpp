#include "TThreadGetBoards.h"

#include "NetText.h"
#include "ServerLog.h"
#include "TBoardsRoom.h"
#include "THttpClient.h"
#include "TVLApiText.h"

#include <QJsonDocument>

bool TBoardSnapshot::Decode(const QString& reply, TBoardSnapshot& snapshot)
{
    snapshot = TBoardSnapshot();
    QJsonObject object;
    if (!NetText::ParseJsonObject(reply.toUtf8(), object)) return false;
    if (TVLApi::MemberText(object, QStringLiteral("success")) != u"1") return false;
    const QJsonValue data = object.value(QLatin1String("data"));
    // "data" that is no object counts as none: the board only notes the time.
    if (!data.isObject()) return true;
    snapshot.HasData = true;
    const QJsonObject d = data.toObject();
    if (d.contains(QLatin1String("current_position")))
        snapshot.CurrentFEN =
            TVLApi::UnescapeSnapshot(TVLApi::MemberText(d, QStringLiteral("current_position")));
    if (d.contains(QLatin1String("status")))
        snapshot.BoardStatus = TVLApi::MemberText(d, QStringLiteral("status"));
    if (d.contains(QLatin1String("moves")))
        snapshot.Moves = TVLApi::UnescapeSnapshot(TVLApi::MemberText(d, QStringLiteral("moves")));
    return true;
}

void TBoardSnapshot::ApplyTo(TSnapshotBoard& board, const QDateTime& now) const
{
    board.setDTUpdated(now);
    if (CurrentFEN) board.setCurrentFEN(*CurrentFEN);
    if (BoardStatus) board.setBoardStatus(*BoardStatus);
    if (Moves) board.setMoves(*Moves);
    board.DrawBoard();
}

TThreadGetBoards::TThreadGetBoards(bool Suspended, const QString& Token, TBoardsRoom& room,
                                   const QUrl& apiBase, QObject* parent)
    : TServerThread(parent), FRoom(room), FApiBase(apiBase), FToken(Token)
{
    // Named before it starts, so debuggers see the name.
    setObjectName(QStringLiteral("ThreadGetBoards"));
    if (!Suspended) start();
}

TThreadGetBoards::~TThreadGetBoards()
{
    StopAndWait();
}

QString TThreadGetBoards::Token() const
{
    QMutexLocker lock(&FTokenLock);
    return FToken;
}

void TThreadGetBoards::setToken(const QString& token)
{
    QMutexLocker lock(&FTokenLock);
    FToken = token;
}

void TThreadGetBoards::GetUpdatedBoard()
{
    FUpdatedBoard = FRoom.TakeQueuedBoard();
}

QString TThreadGetBoards::Download(const QString& id) const
{
    THttpOptions options;
    options.ConnectTimeoutMs = kConnectTimeoutMs;
    options.ReadTimeoutMs = kReadTimeoutMs;
    options.Headers = TVLApi::RequestHeaders(Token());
    options.Cancel = CancelHandle();
    const QString path = QStringLiteral("/workplace/download/") + TVLApi::EncodeSegment(id);
    return TVLApi::ReplyText(THttpClient::Get(TVLApi::RequestUrl(FApiBase, path), options));
}

void TThreadGetBoards::run()
{
    while (!isInterruptionRequested()) {
        FUpdatedBoard.clear();
        HandOff([this] { GetUpdatedBoard(); });
        const QString id = FUpdatedBoard.trimmed();
        if (!id.isEmpty()) {
            const QString reply = Download(id);
            TBoardSnapshot snapshot;
            if (TBoardSnapshot::Decode(reply, snapshot)) {
                // The room's boards are looked up on the UI thread, where they live.
                HandOff([this, &id, &snapshot] {
                    const int n = FRoom.FindBoard(id);
                    if (n <= 0) return; // no board shows it any more
                    if (TSnapshotBoard* board = FRoom.BoardAt(n))
                        snapshot.ApplyTo(*board, QDateTime::currentDateTime());
                });
            } else {
                qCDebug(lcServer).noquote()
                    << "snapshot of" << id << "not taken:" << reply.left(200);
            }
        }
        Pause(kPauseMs);
    }
}
