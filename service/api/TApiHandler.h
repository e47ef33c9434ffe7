#pragma once

#include "TOutbox.h"
#include "TServiceOptions.h"

#include <functional>
#include <optional>
#include <QByteArray>
#include <QDateTime>
#include <QStringList>

class TNotifier;
class TStore;

// One request of the JSON API as the HTTP layer hands it over.
struct TApiRequest
{
    QByteArray Method = "GET";
    QByteArray RawPath; // percent-encoded, without the query
    QByteArray RawQuery;
    QByteArray Token;      // header "TVLToken"
    QByteArray StudentKey; // header "TVLStudent"
    QByteArray ContentType;
    QByteArray Body;
};

struct TApiReply
{
    int Status = 200;
    QByteArray ContentType = "application/json";
    QByteArray Body;
};

// Answers every request of the API: the teacher's endpoints, the students' endpoints and the
// web-site scripts. Every identifier, name and body is checked before it reaches the store;
// every refusal is the failure envelope.
class TApiHandler
{
public:
    TApiHandler(TStore& store, TNotifier& notifier, const TServiceOptions& options);

    TApiReply Handle(const TApiRequest& request);

    // The clock, replaceable for tests; seconds since the epoch.
    void setClock(std::function<qint64()> clock) { FClock = std::move(clock); }

    static constexpr int kMaxCodeTries = 5;
    static constexpr int kMaxCodesPerHour = 10;
    static constexpr int kMaxRoomNameLength = 150;
    static constexpr int kMaxCollectionNameLength = 250;
    static constexpr int kMaxUserNameLength = 50;
    static constexpr int kMaxParameterLength = 8192;
    static constexpr int kMaxWorkplacesPerRoom = 200;
    // A student counts as connected while its last sign of life is this recent.
    static constexpr int kAliveSeconds = 60;

private:
    struct TContext;

    TApiReply User(TContext& c);
    TApiReply CollectionCalls(TContext& c);
    TApiReply SchoolCalls(TContext& c);
    TApiReply RoomCalls(TContext& c);
    TApiReply WorkplaceCalls(TContext& c);
    TApiReply RobotCalls(TContext& c);
    TApiReply StudentCalls(TContext& c);
    TApiReply SiteScripts(TContext& c);

    TApiReply IssueCode(const QString& key, const QString& email);
    TApiReply NewToken(qint64 accountId, const QString& regCode, bool withRegCode);
    // The signed-in account of the request; empty when the token is missing or unknown.
    std::optional<qint64> Account(TContext& c);
    bool MayReadCollection(qint64 account, const QString& schoolCode, qint64 owner);
    bool MayWriteCollection(qint64 account, qint64 schoolId, qint64 owner);
    TApiReply SaveUpload(TContext& c, bool room);
    TApiReply TeacherMove(const QString& workplaceId, const QString& move, const QString& position,
                          const QString& flag);
    void NotifyUpdated(qint64 owner, const QString& workplaceId);
    void NotifyRoom(qint64 owner, const QString& roomId);
    QString NewId(int digits);
    qint64 Now() const { return FClock ? FClock() : QDateTime::currentSecsSinceEpoch(); }

    TStore& FStore;
    TNotifier& FNotifier;
    TServiceOptions FOptions;
    TOutbox FOutbox;
    std::function<qint64()> FClock;
};

// Replies that every handler shares.
namespace ApiReply {
TApiReply Success();
TApiReply Json(const QByteArray& json);
TApiReply Failure(const QString& description);
TApiReply Text(const QByteArray& text, const QByteArray& contentType = "text/plain; charset=utf-8");
} // namespace ApiReply
