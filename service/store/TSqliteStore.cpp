#include "TSqliteStore.h"

#include "ServiceLog.h"

#include <QAtomicInt>
#include <QSqlError>
#include <QSqlRecord>
#include <QVariant>

namespace {

QAtomicInt gConnectionCounter;

// Each entry brings the schema from its index to the next version. Entries are never changed
// once released: a new version appends one.
const QList<QStringList>& Migrations()
{
    static const QList<QStringList> migrations = {
        {
            "CREATE TABLE accounts(id INTEGER PRIMARY KEY, reg_code TEXT NOT NULL UNIQUE,"
            " email TEXT UNIQUE COLLATE NOCASE, created_at INTEGER NOT NULL)",
            "CREATE TABLE tokens(hash TEXT PRIMARY KEY,"
            " account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,"
            " created_at INTEGER NOT NULL, used_at INTEGER NOT NULL)",
            "CREATE INDEX tokens_account ON tokens(account_id)",
            "CREATE TABLE codes(id INTEGER PRIMARY KEY, key TEXT NOT NULL, code TEXT NOT NULL,"
            " issued_at INTEGER NOT NULL, expires_at INTEGER NOT NULL,"
            " tries INTEGER NOT NULL DEFAULT 0, live INTEGER NOT NULL DEFAULT 1)",
            "CREATE INDEX codes_key ON codes(key, id)",
            "CREATE TABLE connections(id TEXT PRIMARY KEY,"
            " account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,"
            " created_at INTEGER NOT NULL)",
            "CREATE INDEX connections_account ON connections(account_id)",
            "CREATE TABLE schools(id INTEGER PRIMARY KEY, code TEXT NOT NULL UNIQUE,"
            " name TEXT NOT NULL)",
            "CREATE TABLE memberships("
            " school_id INTEGER NOT NULL REFERENCES schools(id) ON DELETE CASCADE,"
            " account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,"
            " is_admin INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(school_id, account_id))",
            "CREATE TABLE collections(id TEXT PRIMARY KEY,"
            " owner_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,"
            " school_id INTEGER REFERENCES schools(id) ON DELETE CASCADE,"
            " parent_id TEXT NOT NULL DEFAULT '0', name TEXT NOT NULL,"
            " order_id INTEGER NOT NULL DEFAULT 0, content BLOB NOT NULL, md5 TEXT NOT NULL,"
            " created_at INTEGER NOT NULL, updated_at INTEGER NOT NULL)",
            "CREATE INDEX collections_owner ON collections(owner_id)",
            "CREATE INDEX collections_school ON collections(school_id)",
            "CREATE TABLE rooms(id TEXT PRIMARY KEY,"
            " owner_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,"
            " name TEXT NOT NULL, type INTEGER NOT NULL DEFAULT 0, content BLOB NOT NULL,"
            " md5 TEXT NOT NULL, opened_at INTEGER NOT NULL DEFAULT 0,"
            " created_at INTEGER NOT NULL, updated_at INTEGER NOT NULL)",
            "CREATE INDEX rooms_owner ON rooms(owner_id)",
            "CREATE TABLE workplaces(id TEXT PRIMARY KEY,"
            " room_id TEXT NOT NULL REFERENCES rooms(id) ON DELETE CASCADE,"
            " user_name TEXT NOT NULL, position TEXT NOT NULL DEFAULT '',"
            " status TEXT NOT NULL DEFAULT '', moves TEXT NOT NULL DEFAULT '',"
            " key_hash TEXT NOT NULL, joined_at INTEGER NOT NULL,"
            " last_seen INTEGER NOT NULL DEFAULT 0, left_at INTEGER NOT NULL DEFAULT 0,"
            " reload_seq INTEGER NOT NULL DEFAULT 0, update_seq INTEGER NOT NULL DEFAULT 0)",
            "CREATE INDEX workplaces_room ON workplaces(room_id)",
            "CREATE TABLE board_parameters("
            " workplace_id TEXT NOT NULL REFERENCES workplaces(id) ON DELETE CASCADE,"
            " name TEXT NOT NULL, value TEXT NOT NULL, PRIMARY KEY(workplace_id, name))"
            " WITHOUT ROWID",
        },
        {
            // The game on a workplace: the student's moves since the task was set (for the
            // move limit), the last move (shown on the page), and a version that grows with
            // every change the page may see, so it never takes an older state for a newer.
            "ALTER TABLE workplaces ADD COLUMN student_moves INTEGER NOT NULL DEFAULT 0",
            "ALTER TABLE workplaces ADD COLUMN last_move TEXT NOT NULL DEFAULT ''",
            "ALTER TABLE workplaces ADD COLUMN version INTEGER NOT NULL DEFAULT 0",
            "CREATE TRIGGER workplaces_version AFTER UPDATE OF position, status, moves,"
            " user_name, reload_seq, update_seq, last_move ON workplaces"
            " BEGIN UPDATE workplaces SET version = version + 1 WHERE id = NEW.id; END",
            "CREATE TRIGGER parameters_version_insert AFTER INSERT ON board_parameters"
            " BEGIN UPDATE workplaces SET version = version + 1 WHERE id = NEW.workplace_id; END",
            "CREATE TRIGGER parameters_version_update AFTER UPDATE ON board_parameters"
            " BEGIN UPDATE workplaces SET version = version + 1 WHERE id = NEW.workplace_id; END",
        },
    };
    return migrations;
}

constexpr qint64 kTokenTouchSeconds = 24 * 3600;
constexpr qint64 kTokenUnusedSeconds = 365 * 24 * 3600;
constexpr qint64 kConnectionKeepSeconds = 90 * 24 * 3600;
constexpr qint64 kCodeKeepSeconds = 24 * 3600;

// Texts are never NULL in this schema: an empty QString is bound as an empty text.
void Bind(QSqlQuery& q, int index, const QVariant& value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        q.bindValue(index, QStringLiteral(""));
    else
        q.bindValue(index, value);
}

bool IsDuplicate(const QSqlError& error)
{
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("19") || code == QLatin1String("2067") ||
           code == QLatin1String("1555") ||
           error.databaseText().contains(QLatin1String("UNIQUE constraint failed"));
}

TCollection ReadCollection(const QSqlQuery& q, bool withContent)
{
    TCollection c;
    c.Id = q.value(0).toString();
    c.OwnerId = q.value(1).toLongLong();
    c.SchoolId = q.value(2).isNull() ? 0 : q.value(2).toLongLong();
    c.SchoolCode = q.value(3).isNull() ? QStringLiteral("Own") : q.value(3).toString();
    c.SchoolName = q.value(4).isNull() ? QStringLiteral("Own") : q.value(4).toString();
    c.ParentId = q.value(5).toString();
    c.Name = q.value(6).toString();
    c.OrderId = q.value(7).toInt();
    c.Md5 = q.value(8).toString();
    if (withContent) c.Content = q.value(9).toByteArray();
    return c;
}

TWorkplace ReadWorkplace(const QSqlQuery& q)
{
    TWorkplace w;
    w.Id = q.value(0).toString();
    w.RoomId = q.value(1).toString();
    w.OwnerId = q.value(2).toLongLong();
    w.UserName = q.value(3).toString();
    w.Position = q.value(4).toString();
    w.Status = q.value(5).toString();
    w.Moves = q.value(6).toString();
    w.JoinedAt = q.value(7).toLongLong();
    w.LastSeen = q.value(8).toLongLong();
    w.ReloadSeq = q.value(9).toLongLong();
    w.UpdateSeq = q.value(10).toLongLong();
    w.KeyHash = q.value(11).toString();
    w.Left = q.value(12).toLongLong() != 0;
    w.StudentMoves = q.value(13).toInt();
    w.LastMove = q.value(14).toString();
    w.Version = q.value(15).toLongLong();
    return w;
}

const char* const kCollectionColumns =
    "SELECT c.id, c.owner_id, c.school_id, s.code, s.name, c.parent_id, c.name, c.order_id,"
    " c.md5, c.content FROM collections c LEFT JOIN schools s ON s.id = c.school_id";

const char* const kWorkplaceColumns =
    "SELECT w.id, w.room_id, r.owner_id, w.user_name, w.position, w.status, w.moves,"
    " w.joined_at, w.last_seen, w.reload_seq, w.update_seq, w.key_hash, w.left_at,"
    " w.student_moves, w.last_move, w.version"
    " FROM workplaces w JOIN rooms r ON r.id = w.room_id";

} // namespace

TSqliteStore::TSqliteStore(const QString& path)
    : FPath(path),
      FConnectionName(
          QStringLiteral("tavlora-store-%1").arg(gConnectionCounter.fetchAndAddRelaxed(1)))
{
}

TSqliteStore::~TSqliteStore()
{
    Close();
}

bool TSqliteStore::Open(QString* errorText)
{
    FDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FConnectionName);
    FDb.setDatabaseName(FPath);
    FDb.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!FDb.open()) {
        if (errorText) *errorText = FDb.lastError().text();
        return false;
    }
    const QStringList pragmas = {
        QStringLiteral("PRAGMA journal_mode=WAL"),
        // In WAL mode NORMAL loses nothing when the process dies; only a power cut may cost
        // the newest commits, never the database's consistency.
        QStringLiteral("PRAGMA synchronous=NORMAL"),
        QStringLiteral("PRAGMA foreign_keys=ON"),
    };
    if (!ExecScript(pragmas, errorText)) return false;
    return Migrate(errorText);
}

void TSqliteStore::Close()
{
    for (QSqlQuery* q : std::as_const(FStatements))
        delete q;
    FStatements.clear();
    if (FDb.isValid()) {
        FDb.close();
        FDb = QSqlDatabase();
        QSqlDatabase::removeDatabase(FConnectionName);
    }
}

bool TSqliteStore::ExecScript(const QStringList& statements, QString* errorText)
{
    QSqlQuery q(FDb);
    for (const QString& sql : statements) {
        if (!q.exec(sql)) {
            if (errorText) *errorText = q.lastError().text() + QStringLiteral(" in: ") + sql;
            return false;
        }
    }
    return true;
}

bool TSqliteStore::Migrate(QString* errorText)
{
    if (!ExecScript(
            {QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)")},
            errorText))
        return false;
    QSqlQuery q(FDb);
    int version = 0;
    if (q.exec(QStringLiteral("SELECT version FROM schema_version")) && q.next())
        version = q.value(0).toInt();
    const auto& migrations = Migrations();
    if (version > migrations.size()) {
        if (errorText)
            *errorText =
                QStringLiteral("the database was made by a newer version (schema %1)").arg(version);
        return false;
    }
    for (int v = version; v < migrations.size(); ++v) {
        if (!Begin()) {
            if (errorText) *errorText = FDb.lastError().text();
            return false;
        }
        QStringList script = migrations[v];
        script << QStringLiteral("DELETE FROM schema_version")
               << QStringLiteral("INSERT INTO schema_version(version) VALUES(%1)").arg(v + 1);
        if (!ExecScript(script, errorText) || !Commit()) {
            Rollback();
            return false;
        }
        qCInfo(lcStore) << "database schema migrated to version" << v + 1;
    }
    return true;
}

QSqlQuery& TSqliteStore::Prepared(const char* sql)
{
    auto it = FStatements.find(sql);
    if (it == FStatements.end()) {
        auto* q = new QSqlQuery(FDb);
        if (!q->prepare(QString::fromLatin1(sql)))
            qCWarning(lcStore) << "cannot prepare" << sql << q->lastError().text();
        it = FStatements.insert(sql, q);
    }
    (*it)->finish();
    return **it;
}

bool TSqliteStore::Exec(QSqlQuery& query)
{
    if (query.exec()) return true;
    if (!IsDuplicate(query.lastError()))
        qCWarning(lcStore) << "statement failed:" << query.lastError().text();
    return false;
}

bool TSqliteStore::Change(const char* sql, const QVariantList& values)
{
    QSqlQuery& q = Prepared(sql);
    for (int i = 0; i < values.size(); ++i)
        Bind(q, i, values[i]);
    const bool ok = Exec(q) && q.numRowsAffected() > 0;
    q.finish();
    return ok;
}

TInsertResult TSqliteStore::Insert(const char* sql, const QVariantList& values)
{
    QSqlQuery& q = Prepared(sql);
    for (int i = 0; i < values.size(); ++i)
        Bind(q, i, values[i]);
    if (q.exec()) {
        q.finish();
        return TInsertResult::Ok;
    }
    const QSqlError error = q.lastError();
    q.finish();
    if (IsDuplicate(error)) return TInsertResult::Duplicate;
    qCWarning(lcStore) << "insert failed:" << error.text();
    return TInsertResult::Failed;
}

bool TSqliteStore::Begin()
{
    return FDb.transaction();
}

bool TSqliteStore::Commit()
{
    if (FDb.commit()) return true;
    qCWarning(lcStore) << "commit failed:" << FDb.lastError().text();
    return false;
}

void TSqliteStore::Rollback()
{
    FDb.rollback();
}

void TSqliteStore::setAutoCheckpoint(bool on)
{
    QSqlQuery q(FDb);
    q.exec(on ? QStringLiteral("PRAGMA wal_autocheckpoint=1000")
              : QStringLiteral("PRAGMA wal_autocheckpoint=0"));
}

bool TSqliteStore::Checkpoint()
{
    QSqlQuery q(FDb);
    return q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
}

bool TSqliteStore::IntegrityOk()
{
    QSqlQuery q(FDb);
    if (!q.exec(QStringLiteral("PRAGMA integrity_check")) || !q.next()) return false;
    if (q.value(0).toString() != QLatin1String("ok")) return false;
    QSqlQuery fk(FDb);
    return fk.exec(QStringLiteral("PRAGMA foreign_key_check")) && !fk.next();
}

// ---------------------------------------------------------------- accounts

TInsertResult TSqliteStore::CreateAccount(const QString& regCode, const QString& email, qint64 now)
{
    return Insert("INSERT INTO accounts(reg_code, email, created_at) VALUES(?, ?, ?)",
                  {regCode, email.isEmpty() ? QVariant() : QVariant(email), now});
}

std::optional<TAccount> TSqliteStore::AccountByRegCode(const QString& regCode)
{
    QSqlQuery& q = Prepared("SELECT id, reg_code, email FROM accounts WHERE reg_code = ?");
    q.bindValue(0, regCode);
    std::optional<TAccount> result;
    if (Exec(q) && q.next())
        result = TAccount{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString()};
    q.finish();
    return result;
}

std::optional<TAccount> TSqliteStore::AccountByEMail(const QString& email)
{
    QSqlQuery& q = Prepared("SELECT id, reg_code, email FROM accounts WHERE email = ?");
    q.bindValue(0, email);
    std::optional<TAccount> result;
    if (Exec(q) && q.next())
        result = TAccount{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString()};
    q.finish();
    return result;
}

std::optional<qint64> TSqliteStore::AccountByToken(const QString& tokenHash, qint64 now)
{
    QSqlQuery& q = Prepared("SELECT account_id, used_at FROM tokens WHERE hash = ?");
    q.bindValue(0, tokenHash);
    std::optional<qint64> account;
    qint64 usedAt = 0;
    if (Exec(q) && q.next()) {
        account = q.value(0).toLongLong();
        usedAt = q.value(1).toLongLong();
    }
    q.finish();
    if (!account) return std::nullopt;
    if (now - usedAt > kTokenUnusedSeconds) return std::nullopt;
    // The last use is written at most once a day, so reads stay reads.
    if (now - usedAt > kTokenTouchSeconds)
        Change("UPDATE tokens SET used_at = ? WHERE hash = ?", {now, tokenHash});
    return account;
}

bool TSqliteStore::AddToken(qint64 accountId, const QString& tokenHash, qint64 now)
{
    return Insert("INSERT INTO tokens(hash, account_id, created_at, used_at) VALUES(?, ?, ?, ?)",
                  {tokenHash, accountId, now, now}) == TInsertResult::Ok;
}

int TSqliteStore::CodesIssuedSince(const QString& key, qint64 since)
{
    QSqlQuery& q = Prepared("SELECT COUNT(*) FROM codes WHERE key = ? AND issued_at >= ?");
    q.bindValue(0, key);
    q.bindValue(1, since);
    int count = 0;
    if (Exec(q) && q.next()) count = q.value(0).toInt();
    q.finish();
    return count;
}

bool TSqliteStore::PutCode(const QString& key, const QString& code, qint64 now, qint64 expiresAt)
{
    if (!Begin()) return false;
    Change("UPDATE codes SET live = 0 WHERE key = ? AND live = 1", {key});
    if (Insert("INSERT INTO codes(key, code, issued_at, expires_at) VALUES(?, ?, ?, ?)",
               {key, code, now, expiresAt}) != TInsertResult::Ok) {
        Rollback();
        return false;
    }
    return Commit();
}

TCodeResult TSqliteStore::CheckCode(const QString& key, const QString& code, qint64 now,
                                    int maxTries)
{
    if (!Begin()) return TCodeResult::NoCode;
    QSqlQuery& q = Prepared(
        "SELECT id, code, expires_at, tries FROM codes WHERE key = ? AND live = 1 ORDER BY id DESC"
        " LIMIT 1");
    q.bindValue(0, key);
    if (!Exec(q) || !q.next()) {
        q.finish();
        Rollback();
        return TCodeResult::NoCode;
    }
    const qint64 id = q.value(0).toLongLong();
    const QString stored = q.value(1).toString();
    const qint64 expiresAt = q.value(2).toLongLong();
    const int tries = q.value(3).toInt();
    q.finish();

    TCodeResult result;
    if (now >= expiresAt) {
        Change("UPDATE codes SET live = 0 WHERE id = ?", {id});
        result = TCodeResult::Expired;
    } else if (tries >= maxTries) {
        Change("UPDATE codes SET live = 0 WHERE id = ?", {id});
        result = TCodeResult::TooManyTries;
    } else if (stored != code) {
        // The try that reaches the limit also ends the code.
        Change("UPDATE codes SET tries = tries + 1, live = CASE WHEN tries + 1 >= ? THEN 0 ELSE 1"
               " END WHERE id = ?",
               {maxTries, id});
        result = TCodeResult::Wrong;
    } else {
        Change("UPDATE codes SET live = 0 WHERE id = ?", {id});
        result = TCodeResult::Accepted;
    }
    if (!Commit()) {
        Rollback();
        return TCodeResult::NoCode;
    }
    return result;
}

TInsertResult TSqliteStore::CreateConnection(const QString& id, qint64 accountId, qint64 now)
{
    return Insert("INSERT INTO connections(id, account_id, created_at) VALUES(?, ?, ?)",
                  {id, accountId, now});
}

std::optional<qint64> TSqliteStore::ConnectionOwner(const QString& id)
{
    QSqlQuery& q = Prepared("SELECT account_id FROM connections WHERE id = ?");
    q.bindValue(0, id);
    std::optional<qint64> result;
    if (Exec(q) && q.next()) result = q.value(0).toLongLong();
    q.finish();
    return result;
}

// ---------------------------------------------------------------- schools

bool TSqliteStore::CreateSchool(const QString& code, const QString& name)
{
    return Insert("INSERT INTO schools(code, name) VALUES(?, ?)", {code, name}) ==
           TInsertResult::Ok;
}

bool TSqliteStore::AddMember(const QString& schoolCode, qint64 accountId, bool isAdmin)
{
    return Change("INSERT INTO memberships(school_id, account_id, is_admin)"
                  " SELECT id, ?, ? FROM schools WHERE code = ?"
                  " ON CONFLICT(school_id, account_id) DO UPDATE SET is_admin = excluded.is_admin",
                  {accountId, isAdmin ? 1 : 0, schoolCode});
}

QList<TSchool> TSqliteStore::SchoolsOf(qint64 accountId)
{
    QSqlQuery& q = Prepared("SELECT s.id, s.code, s.name, m.is_admin FROM memberships m"
                            " JOIN schools s ON s.id = m.school_id WHERE m.account_id = ?"
                            " ORDER BY s.name, s.code");
    q.bindValue(0, accountId);
    QList<TSchool> result;
    if (Exec(q))
        while (q.next())
            result.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                           q.value(3).toInt() != 0});
    q.finish();
    return result;
}

// ---------------------------------------------------------------- collections

TInsertResult TSqliteStore::CreateCollection(const TCollection& c, qint64 now)
{
    return Insert("INSERT INTO collections(id, owner_id, school_id, parent_id, name, order_id,"
                  " content, md5, created_at, updated_at) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                  {c.Id, c.OwnerId, c.SchoolId == 0 ? QVariant() : QVariant(c.SchoolId), c.ParentId,
                   c.Name, c.OrderId, c.Content, c.Md5, now, now});
}

std::optional<TCollection> TSqliteStore::Collection(const QString& id, bool withContent)
{
    static const QByteArray sql = QByteArray(kCollectionColumns) + " WHERE c.id = ?";
    QSqlQuery& q = Prepared(sql.constData());
    q.bindValue(0, id);
    std::optional<TCollection> result;
    if (Exec(q) && q.next()) result = ReadCollection(q, withContent);
    q.finish();
    return result;
}

QList<TCollection> TSqliteStore::CollectionsVisibleTo(qint64 accountId)
{
    static const QByteArray sql =
        QByteArray(kCollectionColumns) +
        " WHERE (c.school_id IS NULL AND c.owner_id = ?)"
        " OR c.school_id IN (SELECT school_id FROM memberships WHERE account_id = ?)"
        " ORDER BY c.school_id IS NOT NULL, c.school_id, c.order_id, c.created_at, c.id";
    QSqlQuery& q = Prepared(sql.constData());
    q.bindValue(0, accountId);
    q.bindValue(1, accountId);
    QList<TCollection> result;
    if (Exec(q))
        while (q.next())
            result.append(ReadCollection(q, false));
    q.finish();
    return result;
}

bool TSqliteStore::SetCollectionOrder(const QString& id, int orderId)
{
    return Change("UPDATE collections SET order_id = ? WHERE id = ?", {orderId, id});
}

bool TSqliteStore::SaveCollectionContent(const QString& id, const QByteArray& content,
                                         const QString& md5, const QString& name, qint64 now)
{
    if (name.isEmpty())
        return Change("UPDATE collections SET content = ?, md5 = ?, updated_at = ? WHERE id = ?",
                      {content, md5, now, id});
    return Change("UPDATE collections SET content = ?, md5 = ?, name = ?, updated_at = ?"
                  " WHERE id = ?",
                  {content, md5, name, now, id});
}

// ---------------------------------------------------------------- rooms

TInsertResult TSqliteStore::CreateRoom(const TRoom& r, qint64 now)
{
    return Insert("INSERT INTO rooms(id, owner_id, name, type, content, md5, created_at,"
                  " updated_at) VALUES(?, ?, ?, ?, ?, ?, ?, ?)",
                  {r.Id, r.OwnerId, r.Name, r.Type, r.Content, r.Md5, now, now});
}

std::optional<TRoom> TSqliteStore::Room(const QString& id, bool withContent)
{
    QSqlQuery& q = Prepared(
        "SELECT id, owner_id, name, type, md5, opened_at, content FROM rooms WHERE id = ?");
    q.bindValue(0, id);
    std::optional<TRoom> result;
    if (Exec(q) && q.next()) {
        TRoom r;
        r.Id = q.value(0).toString();
        r.OwnerId = q.value(1).toLongLong();
        r.Name = q.value(2).toString();
        r.Type = q.value(3).toInt();
        r.Md5 = q.value(4).toString();
        r.OpenedAt = q.value(5).toLongLong();
        if (withContent) r.Content = q.value(6).toByteArray();
        result = r;
    }
    q.finish();
    return result;
}

QList<TRoom> TSqliteStore::RoomsOf(qint64 accountId)
{
    QSqlQuery& q = Prepared("SELECT id, owner_id, name, type, md5, opened_at FROM rooms"
                            " WHERE owner_id = ? ORDER BY created_at, id");
    q.bindValue(0, accountId);
    QList<TRoom> result;
    if (Exec(q)) {
        while (q.next()) {
            TRoom r;
            r.Id = q.value(0).toString();
            r.OwnerId = q.value(1).toLongLong();
            r.Name = q.value(2).toString();
            r.Type = q.value(3).toInt();
            r.Md5 = q.value(4).toString();
            r.OpenedAt = q.value(5).toLongLong();
            result.append(r);
        }
    }
    q.finish();
    return result;
}

bool TSqliteStore::RenameRoom(const QString& id, const QString& name)
{
    return Change("UPDATE rooms SET name = ? WHERE id = ?", {name, id});
}

bool TSqliteStore::SaveRoomContent(const QString& id, const QByteArray& content, const QString& md5,
                                   qint64 now)
{
    return Change("UPDATE rooms SET content = ?, md5 = ?, updated_at = ? WHERE id = ?",
                  {content, md5, now, id});
}

bool TSqliteStore::MarkRoomOpened(const QString& id, qint64 now)
{
    return Change("UPDATE rooms SET opened_at = ? WHERE id = ?", {now, id});
}

// ---------------------------------------------------------------- workplaces

TInsertResult TSqliteStore::CreateWorkplace(const TWorkplace& w, qint64 now)
{
    return Insert("INSERT INTO workplaces(id, room_id, user_name, key_hash, joined_at, last_seen)"
                  " VALUES(?, ?, ?, ?, ?, ?)",
                  {w.Id, w.RoomId, w.UserName, w.KeyHash, now, now});
}

std::optional<TWorkplace> TSqliteStore::Workplace(const QString& id)
{
    static const QByteArray sql = QByteArray(kWorkplaceColumns) + " WHERE w.id = ?";
    QSqlQuery& q = Prepared(sql.constData());
    q.bindValue(0, id);
    std::optional<TWorkplace> result;
    if (Exec(q) && q.next()) result = ReadWorkplace(q);
    q.finish();
    return result;
}

QList<TWorkplace> TSqliteStore::WorkplacesOfRoom(const QString& roomId)
{
    static const QByteArray sql = QByteArray(kWorkplaceColumns) +
                                  " WHERE w.room_id = ? AND w.left_at = 0"
                                  " ORDER BY w.joined_at, w.rowid";
    QSqlQuery& q = Prepared(sql.constData());
    q.bindValue(0, roomId);
    QList<TWorkplace> result;
    if (Exec(q))
        while (q.next())
            result.append(ReadWorkplace(q));
    q.finish();
    return result;
}

bool TSqliteStore::SetWorkplaceName(const QString& id, const QString& name)
{
    return Change("UPDATE workplaces SET user_name = ? WHERE id = ?", {name, id});
}

bool TSqliteStore::SetWorkplaceState(const QString& id, const TGameState& state,
                                     const QList<QPair<QString, QString>>& parameters)
{
    if (!Begin()) return false;
    bool ok =
        Change("UPDATE workplaces SET position = ?, status = ?, moves = ?, last_move = ?,"
               " student_moves = ? WHERE id = ?",
               {state.Position, state.Status, state.Moves, state.LastMove, state.StudentMoves, id});
    for (const auto& p : parameters)
        ok = ok && SetParameter(id, p.first, p.second);
    if (!ok || !Commit()) {
        Rollback();
        return false;
    }
    return true;
}

bool TSqliteStore::TouchWorkplace(const QString& id, qint64 now)
{
    return Change("UPDATE workplaces SET last_seen = ?, left_at = 0 WHERE id = ?", {now, id});
}

bool TSqliteStore::LeaveWorkplace(const QString& id, qint64 now)
{
    return Change("UPDATE workplaces SET left_at = ? WHERE id = ? AND left_at = 0", {now, id});
}

bool TSqliteStore::ReloadWorkplace(const QString& id)
{
    return Change("UPDATE workplaces SET reload_seq = reload_seq + 1, status = '', moves = '',"
                  " last_move = '', student_moves = 0,"
                  " position = COALESCE((SELECT value FROM board_parameters"
                  " WHERE workplace_id = ? AND name = 'position'), position) WHERE id = ?",
                  {id, id});
}

bool TSqliteStore::BumpWorkplaceUpdate(const QString& id)
{
    return Change("UPDATE workplaces SET update_seq = update_seq + 1 WHERE id = ?", {id});
}

bool TSqliteStore::SetParameter(const QString& workplaceId, const QString& name,
                                const QString& value)
{
    return Change("INSERT INTO board_parameters(workplace_id, name, value) VALUES(?, ?, ?)"
                  " ON CONFLICT(workplace_id, name) DO UPDATE SET value = excluded.value",
                  {workplaceId, name, value});
}

std::optional<QString> TSqliteStore::Parameter(const QString& workplaceId, const QString& name)
{
    QSqlQuery& q =
        Prepared("SELECT value FROM board_parameters WHERE workplace_id = ? AND name = ?");
    q.bindValue(0, workplaceId);
    q.bindValue(1, name);
    std::optional<QString> result;
    if (Exec(q) && q.next()) result = q.value(0).toString();
    q.finish();
    return result;
}

QList<QPair<QString, QString>> TSqliteStore::Parameters(const QString& workplaceId)
{
    QSqlQuery& q =
        Prepared("SELECT name, value FROM board_parameters WHERE workplace_id = ? ORDER BY name");
    q.bindValue(0, workplaceId);
    QList<QPair<QString, QString>> result;
    if (Exec(q))
        while (q.next())
            result.append({q.value(0).toString(), q.value(1).toString()});
    q.finish();
    return result;
}

void TSqliteStore::Prune(qint64 now)
{
    if (!Begin()) return;
    Change("DELETE FROM codes WHERE issued_at < ?", {now - kCodeKeepSeconds});
    Change("DELETE FROM tokens WHERE used_at < ?", {now - kTokenUnusedSeconds});
    Change("DELETE FROM connections WHERE created_at < ?", {now - kConnectionKeepSeconds});
    Commit();
}
