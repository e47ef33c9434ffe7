#pragma once

// What the server link's tests share: a signed-in client against the real service, a student
// on a workplace, stub answers, and a test double of the live room.

#include "HttpStub.h"
#include "NetText.h"
#include "TBoardsRoom.h"
#include "THttpClient.h"
#include "TServiceProcess.h"
#include "TTVLApiClient.h"

#include <atomic>
#include <functional>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace ServerFixture {

inline const QString kRegCode = QStringLiteral("6f1c0e2a-1b2c-4d3e-8f40-00000000abcd");
inline const QString kToken = QStringLiteral("0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9");
inline const QString kOtherToken = QStringLiteral("11111111-2222-4333-8444-555555555555");
inline const QString kConnection = QStringLiteral("4000000001");
inline const QString kBoard = QStringLiteral("1234567890");

inline TStubReply Answer(const QByteArray& body, int delayMs = 0)
{
    TStubReply reply;
    reply.Body = body;
    reply.DelayMs = delayMs;
    return reply;
}

// A client with a whole identity, pointed at the stub.
inline void SetIdentity(TTVLApiClient& client)
{
    client.setRegCode(kRegCode);
    client.setToken(kToken);
    client.setConnectionID(kConnection);
}

// A raw GET as the students' web board sends it.
inline QJsonObject StudentGet(const TServiceProcess& service, const QString& path,
                              const QString& studentKey = QString())
{
    THttpOptions options;
    if (!studentKey.isEmpty()) options.Headers = {{"TVLStudent", studentKey.toUtf8()}};
    const THttpResult result =
        THttpClient::Get(QUrl(service.ApiBase().toString() + path, QUrl::TolerantMode), options);
    QJsonObject object;
    NetText::ParseJsonObject(result.Body, object);
    return object;
}

struct TStudent
{
    QString WorkplaceId;
    QString Key;
};

inline TStudent JoinStudent(const TServiceProcess& service, const QString& roomId,
                            const QString& name)
{
    const QJsonObject reply = StudentGet(
        service,
        QStringLiteral("/student/join/%1/%2").arg(roomId, NetText::EncodePathSegment(name)));
    return {NetText::JsonText(reply.value("workplace_id")),
            NetText::JsonText(reply.value("student_key"))};
}

// The code way without dialogs: a code for the account, read from the service's outbox.
inline bool SignInByCode(TTVLApiClient& client, const TServiceProcess& service,
                         const QString& email)
{
    return client.GetCodeToCheckOwner() && client.CheckCodeConfirm(service.LatestCode(email)) &&
           client.GetConnectionIDByToken();
}

// A student board as the polling thread fills it.
struct TTestBoard : TSnapshotBoard
{
    QString WorkplaceId;
    QDateTime DTUpdated;
    QString CurrentFEN = QStringLiteral("old fen");
    QString BoardStatus = QStringLiteral("old status");
    QString Moves = QStringLiteral("old moves");
    int Draws = 0;
    qint64 DrawnAtNs = 0; // QElapsedTimer-style stamp of the last redraw, set by the room

    void setDTUpdated(const QDateTime& when) override { DTUpdated = when; }
    void setCurrentFEN(const QString& fen) override { CurrentFEN = fen; }
    void setBoardStatus(const QString& status) override { BoardStatus = status; }
    void setMoves(const QString& moves) override { Moves = moves; }
    void DrawBoard() override
    {
        ++Draws;
        if (Clock) DrawnAtNs = Clock();
    }
    std::function<qint64()> Clock;
};

// The live room as the polling thread sees it: a queue and some boards.
struct TTestRoom : TBoardsRoom
{
    TBoardQueue Queue;
    QList<TTestBoard*> Boards;
    std::atomic<int> Takes{0};
    std::atomic<int> Finds{0};
    // Stamps of the hand-offs, for the benchmark's breakdown.
    std::function<void(const QString& id)> OnTake;
    std::function<void(const QString& id)> OnFind;

    ~TTestRoom() override { qDeleteAll(Boards); }

    TTestBoard& AddBoard(const QString& workplaceId)
    {
        auto* board = new TTestBoard;
        board->WorkplaceId = workplaceId;
        Boards.append(board);
        return *board;
    }

    QString TakeQueuedBoard() override
    {
        ++Takes;
        const QString id = Queue.TakeFirst();
        if (OnTake && !id.isEmpty()) OnTake(id);
        return id;
    }
    int FindBoard(const QString& workplaceId) override
    {
        ++Finds;
        if (OnFind) OnFind(workplaceId);
        for (qsizetype i = Boards.size() - 1; i >= 0; --i)
            if (Boards[i]->WorkplaceId == workplaceId) return int(i + 1);
        return 0;
    }
    TSnapshotBoard* BoardAt(int n) override
    {
        return n >= 1 && n <= Boards.size() ? Boards[n - 1] : nullptr;
    }
};

} // namespace ServerFixture
