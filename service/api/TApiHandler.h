#pragma once

#include "TOutbox.h"
#include "TServiceOptions.h"

#include <functional>
#include <memory>
#include <optional>
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QTimer>

class QObject;
class TEngine;
class TNotifier;
class TStore;
struct TCollection;
struct TWorkplace;
enum class TInsertResult;
namespace ApiText {
class TJsonObject;
}

// One request of the JSON API as the HTTP layer hands it over.
struct TApiRequest
{
    QByteArray Method = "GET";
    QByteArray RawPath; // percent-encoded, without the query
    QByteArray RawQuery;
    QByteArray Token;      // header "TVLToken"
    QByteArray StudentKey; // header "TVLStudent"
    QByteArray ContentType;
    QByteArray IfNoneMatch;
    QByteArray Body;
};

struct TApiReply
{
    int Status = 200;
    QByteArray ContentType = "application/json";
    QByteArray Body;
    QList<QPair<QByteArray, QByteArray>> Headers;
    // The reply comes later through the handler's callback; this one is not sent.
    bool Deferred = false;
};

using TLaterReply = std::function<void(const TApiReply&)>;

// Answers every request of the API: the teacher's endpoints, the students' endpoints and the
// web-site scripts. Every identifier, name and body is checked before it reaches the store;
// every refusal is the failure envelope.
class TApiHandler
{
public:
    // engine may be null: engine calls then fail, and "stockfish" answers never come.
    TApiHandler(TStore& store, TNotifier& notifier, const TServiceOptions& options,
                TEngine* engine = nullptr);
    ~TApiHandler();

    // Most replies are made at once. An engine call returns a reply marked Deferred and gives
    // the real one to later when the engine has answered; without later it fails at once.
    TApiReply Handle(const TApiRequest& request, TLaterReply later = {});

    // The port of the live links, which the students' page is told.
    void setWsPort(quint16 port) { FWsPort = port; }

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
    // A sign of life is written at most this often.
    static constexpr int kTouchSeconds = 5;
    // Pushes to the pages wait this long for more changes of the same burst.
    static constexpr int kPushDelayMs = 10;

private:
    struct TContext;

    TApiReply User(TContext& c);
    TApiReply CollectionCalls(TContext& c);
    TApiReply SchoolCalls(TContext& c);
    TApiReply RoomCalls(TContext& c);
    TApiReply WorkplaceCalls(TContext& c);
    TApiReply RobotCalls(TContext& c);
    TApiReply StudentCalls(TContext& c);
    TApiReply StudentMove(const TWorkplace& w, const QString& move);
    TApiReply SiteScripts(TContext& c);
    TApiReply WebCalls(TContext& c);

    // The workplace as the student's page shows it, as members of out.
    void AddStudentState(ApiText::TJsonObject& out, const TWorkplace& w);
    // Sends the workplace's state to its open page links soon; changes in a burst (a task's
    // parameters) go out once.
    void PushStudent(const QString& workplaceId);
    void FlushPushes();
    // Asks the engine to answer on the workplace after the usual pause; tries counts the
    // answers that failed before.
    void ScheduleEngine(const QString& workplaceId, const QString& fen, int tries = 0);
    void AskEngine(const QString& workplaceId, const QString& fen, int tries);
    void EngineAnswered(const QString& workplaceId, const QString& fen, const QString& move,
                        int tries);
    // An open page link, or a sign of life lately.
    bool Connected(const TWorkplace& w, qint64 now) const;
    // Announces a move played from fen on the workplace or connection id.
    void NotifyMove(qint64 owner, const QString& id, const QString& fen, const QString& move);

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
    // Inserts with fresh random ids until one is free; the id, or empty when the store failed.
    QString InsertWithNewId(int digits, const std::function<TInsertResult(const QString&)>& insert);
    // Stores col as a new, empty collection last among its siblings; false when the store failed.
    bool CreateEmptyCollection(TCollection& col);
    qint64 Now() const { return FClock ? FClock() : QDateTime::currentSecsSinceEpoch(); }

    TStore& FStore;
    TNotifier& FNotifier;
    TServiceOptions FOptions;
    TOutbox FOutbox;
    std::function<qint64()> FClock;
    TEngine* FEngine;
    quint16 FWsPort = 0;
    QSet<QString> FPushPending;
    // Workplaces whose engine answer is asked for or on its way.
    QSet<QString> FEngineAsked;
    QTimer FPushTimer;
    // Owns the engine's callbacks and the answer timers: they end with the handler.
    std::unique_ptr<QObject> FContext;
};

// Replies that every handler shares.
namespace ApiReply {
TApiReply Success();
TApiReply Json(const QByteArray& json);
TApiReply Failure(const QString& description);
TApiReply Text(const QByteArray& text, const QByteArray& contentType = "text/plain; charset=utf-8");
} // namespace ApiReply
