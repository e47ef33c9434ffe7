#pragma once

#include <optional>
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// What the service keeps. Handlers speak only to this interface, so another database can take
// SQLite's place without touching them. Every method is one transaction: it either happens
// whole or not at all. Times are seconds since the epoch.

struct TAccount
{
    qint64 Id = 0;
    QString RegCode; // UUID text, lower case
    QString EMail;
};

struct TSchool
{
    qint64 Id = 0;
    QString Code;
    QString Name;
    bool IsAdmin = false; // of the account the list was made for
};

struct TCollection
{
    QString Id; // 13 digits
    qint64 OwnerId = 0;
    qint64 SchoolId = 0; // 0: the owner's own collections
    QString SchoolCode;  // "Own" for own collections
    QString SchoolName;
    QString ParentId; // "0" at the top of its school
    QString Name;
    int OrderId = 0;
    QString Md5;
    QByteArray Content; // filled only when asked for
};

struct TRoom
{
    QString Id; // 10 digits
    qint64 OwnerId = 0;
    QString Name;
    int Type = 0;
    QString Md5;
    qint64 OpenedAt = 0;
    QByteArray Content; // filled only when asked for
};

struct TWorkplace
{
    QString Id; // 10 digits
    QString RoomId;
    qint64 OwnerId = 0; // owner of the room
    QString UserName;
    QString Position;
    QString Status;
    QString Moves;
    qint64 JoinedAt = 0;
    qint64 LastSeen = 0;
    qint64 ReloadSeq = 0;
    qint64 UpdateSeq = 0;
    QString KeyHash; // the student's secret, hashed
    bool Left = false;
    int StudentMoves = 0; // the student's moves since the task was set
    QString LastMove;     // coordinate form, empty at the start of a task
    qint64 Version = 0;   // grows with every change of state, parameters or name
};

// The game on a workplace after a move.
struct TGameState
{
    QString Position;
    QString Status;
    QString Moves;
    QString LastMove;
    int StudentMoves = 0;
};

enum class TCodeResult
{
    Accepted,
    Wrong,
    Expired,
    TooManyTries,
    NoCode
};

// Result of an insert whose identifier the caller chose at random.
enum class TInsertResult
{
    Ok,
    Duplicate,
    Failed
};

class TStore
{
public:
    virtual ~TStore() = default;

    // Opens or creates the storage and brings its schema up to date.
    virtual bool Open(QString* errorText) = 0;
    virtual void Close() = 0;

    // --- accounts and sign-in ---
    virtual TInsertResult CreateAccount(const QString& regCode, const QString& email,
                                        qint64 now) = 0;
    virtual std::optional<TAccount> AccountByRegCode(const QString& regCode) = 0;
    virtual std::optional<TAccount> AccountByEMail(const QString& email) = 0;
    // The account a token (its hash) belongs to; refreshes its last use now and then.
    virtual std::optional<qint64> AccountByToken(const QString& tokenHash, qint64 now) = 0;
    virtual bool AddToken(qint64 accountId, const QString& tokenHash, qint64 now) = 0;

    // Codes are kept per key ("account:<id>" or "email:<address>"); a new code replaces the
    // key's earlier ones.
    virtual int CodesIssuedSince(const QString& key, qint64 since) = 0;
    virtual bool PutCode(const QString& key, const QString& code, qint64 now, qint64 expiresAt) = 0;
    // Checks a code against the key's live code, counting wrong tries; an accepted code is
    // used up.
    virtual TCodeResult CheckCode(const QString& key, const QString& code, qint64 now,
                                  int maxTries) = 0;

    virtual TInsertResult CreateConnection(const QString& id, qint64 accountId, qint64 now) = 0;
    virtual std::optional<qint64> ConnectionOwner(const QString& id) = 0;

    // --- schools ---
    virtual bool CreateSchool(const QString& code, const QString& name) = 0;
    virtual bool AddMember(const QString& schoolCode, qint64 accountId, bool isAdmin) = 0;
    virtual QList<TSchool> SchoolsOf(qint64 accountId) = 0;

    // --- collections ---
    virtual TInsertResult CreateCollection(const TCollection& collection, qint64 now) = 0;
    virtual std::optional<TCollection> Collection(const QString& id, bool withContent) = 0;
    // Own collections and those of the account's schools, in tree order.
    virtual QList<TCollection> CollectionsVisibleTo(qint64 accountId) = 0;
    virtual bool SetCollectionOrder(const QString& id, int orderId) = 0;
    virtual bool SaveCollectionContent(const QString& id, const QByteArray& content,
                                       const QString& md5, const QString& name, qint64 now) = 0;

    // --- rooms ---
    virtual TInsertResult CreateRoom(const TRoom& room, qint64 now) = 0;
    virtual std::optional<TRoom> Room(const QString& id, bool withContent) = 0;
    virtual QList<TRoom> RoomsOf(qint64 accountId) = 0;
    virtual bool RenameRoom(const QString& id, const QString& name) = 0;
    virtual bool SaveRoomContent(const QString& id, const QByteArray& content, const QString& md5,
                                 qint64 now) = 0;
    virtual bool MarkRoomOpened(const QString& id, qint64 now) = 0;

    // --- workplaces ---
    virtual TInsertResult CreateWorkplace(const TWorkplace& workplace, qint64 now) = 0;
    virtual std::optional<TWorkplace> Workplace(const QString& id) = 0;
    // The room's workplaces that have not left, in order of joining.
    virtual QList<TWorkplace> WorkplacesOfRoom(const QString& roomId) = 0;
    virtual bool SetWorkplaceName(const QString& id, const QString& name) = 0;
    // The state and, in the same transaction, the parameters given.
    virtual bool SetWorkplaceState(const QString& id, const TGameState& state,
                                   const QList<QPair<QString, QString>>& parameters = {}) = 0;
    virtual bool TouchWorkplace(const QString& id, qint64 now) = 0;
    virtual bool LeaveWorkplace(const QString& id, qint64 now) = 0;
    // The task afresh: the position parameter becomes the current position, status, moves,
    // the last move and the student's move count are cleared, the reload counter grows.
    virtual bool ReloadWorkplace(const QString& id) = 0;
    virtual bool BumpWorkplaceUpdate(const QString& id) = 0;

    virtual bool SetParameter(const QString& workplaceId, const QString& name,
                              const QString& value) = 0;
    virtual std::optional<QString> Parameter(const QString& workplaceId, const QString& name) = 0;
    virtual QList<QPair<QString, QString>> Parameters(const QString& workplaceId) = 0;

    // Drops what has run out: old codes, and connections and tokens unused for long.
    virtual void Prune(qint64 now) = 0;
};
