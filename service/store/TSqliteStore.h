#pragma once

#include "TStore.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>

// The store in one SQLite file: write-ahead log, foreign keys, schema version table with
// migrations on open. One connection, used from one thread (the service's event loop); a
// committed write survives a crash of the process.
class TSqliteStore : public TStore
{
public:
    // path: the database file, or ":memory:" for a private in-memory database.
    explicit TSqliteStore(const QString& path);
    ~TSqliteStore() override;

    bool Open(QString* errorText) override;
    void Close() override;

    TInsertResult CreateAccount(const QString& regCode, const QString& email, qint64 now) override;
    std::optional<TAccount> AccountByRegCode(const QString& regCode) override;
    std::optional<TAccount> AccountByEMail(const QString& email) override;
    std::optional<qint64> AccountByToken(const QString& tokenHash, qint64 now) override;
    bool AddToken(qint64 accountId, const QString& tokenHash, qint64 now) override;

    int CodesIssuedSince(const QString& key, qint64 since) override;
    bool PutCode(const QString& key, const QString& code, qint64 now, qint64 expiresAt) override;
    TCodeResult CheckCode(const QString& key, const QString& code, qint64 now,
                          int maxTries) override;

    TInsertResult CreateConnection(const QString& id, qint64 accountId, qint64 now) override;
    std::optional<qint64> ConnectionOwner(const QString& id) override;

    bool CreateSchool(const QString& code, const QString& name) override;
    bool AddMember(const QString& schoolCode, qint64 accountId, bool isAdmin) override;
    QList<TSchool> SchoolsOf(qint64 accountId) override;

    TInsertResult CreateCollection(const TCollection& collection, qint64 now) override;
    std::optional<TCollection> Collection(const QString& id, bool withContent) override;
    QList<TCollection> CollectionsVisibleTo(qint64 accountId) override;
    bool SetCollectionOrder(const QString& id, int orderId) override;
    bool SaveCollectionContent(const QString& id, const QByteArray& content, const QString& md5,
                               const QString& name, qint64 now) override;

    TInsertResult CreateRoom(const TRoom& room, qint64 now) override;
    std::optional<TRoom> Room(const QString& id, bool withContent) override;
    QList<TRoom> RoomsOf(qint64 accountId) override;
    bool RenameRoom(const QString& id, const QString& name) override;
    bool SaveRoomContent(const QString& id, const QByteArray& content, const QString& md5,
                         qint64 now) override;
    bool MarkRoomOpened(const QString& id, qint64 now) override;

    TInsertResult CreateWorkplace(const TWorkplace& workplace, qint64 now) override;
    std::optional<TWorkplace> Workplace(const QString& id) override;
    QList<TWorkplace> WorkplacesOfRoom(const QString& roomId) override;
    bool SetWorkplaceName(const QString& id, const QString& name) override;
    bool SetWorkplaceState(const QString& id, const TGameState& state,
                           const QList<QPair<QString, QString>>& parameters = {}) override;
    bool TouchWorkplace(const QString& id, qint64 now) override;
    bool LeaveWorkplace(const QString& id, qint64 now) override;
    bool ReloadWorkplace(const QString& id) override;
    bool BumpWorkplaceUpdate(const QString& id) override;

    bool SetParameter(const QString& workplaceId, const QString& name,
                      const QString& value) override;
    std::optional<QString> Parameter(const QString& workplaceId, const QString& name) override;
    QList<QPair<QString, QString>> Parameters(const QString& workplaceId) override;

    void Prune(qint64 now) override;

    // Runs PRAGMA integrity_check; true when SQLite reports "ok".
    bool IntegrityOk();

    // The write-ahead log is copied into the database by whoever commits when it grows, with
    // the disk syncs that takes; the service leaves that to a thread of its own instead.
    void setAutoCheckpoint(bool on);
    bool Checkpoint();

private:
    // A prepared statement, kept for reuse; bound values are replaced on every call.
    QSqlQuery& Prepared(const char* sql);
    bool Exec(QSqlQuery& query);
    bool ExecScript(const QStringList& statements, QString* errorText);
    bool Migrate(QString* errorText);
    // Runs one change statement; false on error or when no row changed.
    bool Change(const char* sql, const QVariantList& values);
    TInsertResult Insert(const char* sql, const QVariantList& values);
    bool Begin();
    bool Commit();
    void Rollback();

    QString FPath;
    QString FConnectionName;
    QSqlDatabase FDb;
    QHash<const char*, QSqlQuery*> FStatements;
};
