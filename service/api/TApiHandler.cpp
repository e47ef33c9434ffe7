#include "TApiHandler.h"

#include "ApiText.h"
#include "ServiceLog.h"
#include "TEngine.h"
#include "TextFile.h"
#include "TFENData.h"
#include "TGameRules.h"
#include "TNotifier.h"
#include "TStore.h"
#include "TWebAssets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <zlib.h>

using namespace ApiText;

namespace ApiReply {

TApiReply Json(const QByteArray& json)
{
    TApiReply reply;
    reply.Body = json;
    return reply;
}

TApiReply Success()
{
    return Json(TJsonObject().Add(QStringLiteral("success"), 1).Text());
}

TApiReply Failure(const QString& description)
{
    return Json(TJsonObject()
                    .Add(QStringLiteral("success"), 0)
                    .Add(QStringLiteral("errorDescription"), description)
                    .Text());
}

TApiReply Text(const QByteArray& text, const QByteArray& contentType)
{
    TApiReply reply;
    reply.ContentType = contentType;
    reply.Body = text;
    return reply;
}

} // namespace ApiReply

using ApiReply::Failure;
using ApiReply::Success;

namespace {

const QString kOwn = QStringLiteral("Own");
const QString kPlaceholderWorkplace = QStringLiteral("0000000000");

const char* const kBadRequest = "Bad request";
const char* const kNoAccess = "Access denied";
const char* const kNotSignedIn = "Not signed in";
const char* const kBadId = "Bad identifier";
const char* const kNotFound = "Not found";
const char* const kStoreError = "Storage error";

// The file text as the application keeps it: UTF-8 with or without a byte-order mark.
bool DecodeFileText(const QByteArray& bytes, QString& text)
{
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) view = view.sliced(3);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decoder.decode(view);
    return !decoder.hasError() && !text.contains(QChar(0));
}

QString Segment(const QStringList& s, int index)
{
    return index < s.size() ? s[index] : QString();
}

// The segments from index on, joined again: a value that held an unescaped "/" stays whole.
QString Rest(const QStringList& s, int index)
{
    return index < s.size() ? s.mid(index).join(u'/') : QString();
}

} // namespace

struct TApiHandler::TContext
{
    const TApiRequest& Request;
    QStringList S; // path segments
    std::optional<qint64> CachedAccount;
    bool AccountLooked = false;
    TLaterReply Later;
};

TApiHandler::TApiHandler(TStore& store, TNotifier& notifier, const TServiceOptions& options,
                         TEngine* engine)
    : FStore(store), FNotifier(notifier), FOptions(options),
      FOutbox(QDir(options.DataDir).filePath(QStringLiteral("outbox"))), FEngine(engine),
      FContext(std::make_unique<QObject>())
{
    FPushTimer.setSingleShot(true);
    FPushTimer.setInterval(kPushDelayMs);
    QObject::connect(&FPushTimer, &QTimer::timeout, FContext.get(), [this] { FlushPushes(); });
}

TApiHandler::~TApiHandler()
{
    FPushTimer.stop();
    // Timers and engine answers that would reach this handler die with their context.
    FContext.reset();
}

QString TApiHandler::NewId(int digits)
{
    // Never a leading zero, so the id reads the same as a number and as a text.
    const quint64 low = digits == 13 ? 1000000000000ULL : 1000000000ULL;
    const quint64 id = low + QRandomGenerator::system()->bounded(quint64(9) * low);
    return QString::number(id);
}

QString TApiHandler::InsertWithNewId(int digits,
                                     const std::function<TInsertResult(const QString&)>& insert)
{
    // A clash with an existing id is unlikely and simply tried again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QString id = NewId(digits);
        const TInsertResult result = insert(id);
        if (result == TInsertResult::Ok) return id;
        if (result == TInsertResult::Failed) break;
    }
    return {};
}

bool TApiHandler::CreateEmptyCollection(TCollection& col)
{
    int order = 0;
    for (const TCollection& sibling : FStore.CollectionsVisibleTo(col.OwnerId))
        if (sibling.SchoolCode == col.SchoolCode && sibling.ParentId == col.ParentId)
            order = qMax(order, sibling.OrderId);
    col.OrderId = order + 1;
    // An empty collection as the application writes one.
    col.Content = TextFile::EncodeUtf8Bom(QStringList{u'#' + col.Name, QStringLiteral("#EPD")});
    col.Md5 = Md5Hex(col.Content);
    col.Id = InsertWithNewId(13, [&](const QString& id) {
        col.Id = id;
        return FStore.CreateCollection(col, Now());
    });
    return !col.Id.isEmpty();
}

TApiReply TApiHandler::Handle(const TApiRequest& request, TLaterReply later)
{
    TContext c{request, {}, {}, false, std::move(later)};
    if (!SplitPath(request.RawPath, c.S)) return Failure(QString::fromLatin1(kBadRequest));
    const QString& head = c.S[0];
    if (c.S.size() == 1 && head.isEmpty()) return Success();
    if (head == u"user") return User(c);
    if (head == u"collection") return CollectionCalls(c);
    if (head == u"school") return SchoolCalls(c);
    if (head == u"room") return RoomCalls(c);
    if (head == u"workplace") return WorkplaceCalls(c);
    if (head == u"robot") return RobotCalls(c);
    if (head == u"student") return StudentCalls(c);
    if (head == u"web" || head == u"room-code") return WebCalls(c);
    if (head == u"addon_v3") return SiteScripts(c);
    return Failure(QStringLiteral("Unknown request"));
}

std::optional<qint64> TApiHandler::Account(TContext& c)
{
    if (!c.AccountLooked) {
        c.AccountLooked = true;
        const QString token = QString::fromLatin1(c.Request.Token).trimmed();
        if (CheckUUID(token)) c.CachedAccount = FStore.AccountByToken(HashSecret(token), Now());
    }
    return c.CachedAccount;
}

void TApiHandler::NotifyUpdated(qint64 owner, const QString& workplaceId)
{
    FNotifier.NotifyAccount(owner, QStringLiteral("updated ") + workplaceId);
}

void TApiHandler::NotifyRoom(qint64 owner, const QString& roomId)
{
    FNotifier.NotifyAccount(owner, QStringLiteral("room ") + roomId);
}

// ---------------------------------------------------------------- accounts and sign-in

TApiReply TApiHandler::IssueCode(const QString& key, const QString& email)
{
    const qint64 now = Now();
    if (FStore.CodesIssuedSince(key, now - 3600) >= kMaxCodesPerHour)
        return Failure(QStringLiteral("Too many codes asked for; try again later"));
    const QString code =
        QStringLiteral("%1").arg(QRandomGenerator::system()->bounded(1000000), 6, 10, QChar(u'0'));
    if (!FStore.PutCode(key, code, now, now + FOptions.CodeTtlSeconds))
        return Failure(QString::fromLatin1(kStoreError));
    if (!FOutbox.SendCode(email, code, FOptions.CodeTtlSeconds))
        return Failure(QStringLiteral("The code could not be delivered"));
    if (FOptions.LogCodes)
        qCInfo(lcService).noquote() << "confirmation code for" << email << "is" << code;
    else
        qCInfo(lcService).noquote() << "confirmation code sent to" << email;
    return Success();
}

TApiReply TApiHandler::NewToken(qint64 accountId, const QString& regCode, bool withRegCode)
{
    const QString token = NewUuid();
    if (!FStore.AddToken(accountId, HashSecret(token), Now()))
        return Failure(QString::fromLatin1(kStoreError));
    TJsonObject reply;
    reply.Add(QStringLiteral("success"), 1);
    if (withRegCode) reply.Add(QStringLiteral("reg_code"), regCode);
    reply.Add(QStringLiteral("token"), token);
    return ApiReply::Json(reply.Text());
}

static QString CodeFailure(TCodeResult result)
{
    switch (result) {
    case TCodeResult::Wrong:
        return QStringLiteral("Wrong code");
    case TCodeResult::Expired:
        return QStringLiteral("The code has expired; ask for a new one");
    case TCodeResult::TooManyTries:
        return QStringLiteral("Too many wrong codes; ask for a new one");
    default:
        return QStringLiteral("No code was asked for; ask for a new one");
    }
}

TApiReply TApiHandler::User(TContext& c)
{
    const QStringList& s = c.S;
    const QString op = Segment(s, 1);
    if (op == u"code" && s.size() == 4 && s[2] == u"new") {
        if (!CheckUUID(s[3])) return Failure(QString::fromLatin1(kBadId));
        const auto account = FStore.AccountByRegCode(s[3].toLower());
        if (!account || account->EMail.isEmpty()) return Failure(QStringLiteral("Unknown account"));
        return IssueCode(QStringLiteral("account:%1").arg(account->Id), account->EMail);
    }
    if (op == u"code" && s.size() == 4 && s[2] == u"new_by_email") {
        const QString email = s[3].trimmed();
        if (!CheckEMail(email)) return Failure(QStringLiteral("Bad e-mail address"));
        if (!FOptions.OpenRegistration && !FStore.AccountByEMail(email))
            return Failure(QStringLiteral("No account for this e-mail address"));
        return IssueCode(QStringLiteral("email:") + email.toLower(), email);
    }
    if (op == u"code" && s.size() == 5 && s[2] == u"check") {
        if (!CheckUUID(s[3])) return Failure(QString::fromLatin1(kBadId));
        if (!CheckCode(s[4])) return Failure(QStringLiteral("Bad code"));
        const auto account = FStore.AccountByRegCode(s[3].toLower());
        if (!account) return Failure(QStringLiteral("Unknown account"));
        const TCodeResult result = FStore.CheckCode(QStringLiteral("account:%1").arg(account->Id),
                                                    s[4], Now(), kMaxCodeTries);
        if (result != TCodeResult::Accepted) return Failure(CodeFailure(result));
        return NewToken(account->Id, account->RegCode, false);
    }
    if (op == u"reg_code_by_email" && s.size() == 4) {
        const QString email = s[2].trimmed();
        if (!CheckEMail(email)) return Failure(QStringLiteral("Bad e-mail address"));
        if (!CheckCode(s[3])) return Failure(QStringLiteral("Bad code"));
        const TCodeResult result = FStore.CheckCode(QStringLiteral("email:") + email.toLower(),
                                                    s[3], Now(), kMaxCodeTries);
        if (result != TCodeResult::Accepted) return Failure(CodeFailure(result));
        auto account = FStore.AccountByEMail(email);
        if (!account) {
            if (!FOptions.OpenRegistration)
                return Failure(QStringLiteral("No account for this e-mail address"));
            for (int attempt = 0; attempt < 5 && !account; ++attempt) {
                if (FStore.CreateAccount(NewUuid(), email, Now()) == TInsertResult::Failed) break;
                account = FStore.AccountByEMail(email);
            }
            if (!account) return Failure(QString::fromLatin1(kStoreError));
            qCInfo(lcService).noquote() << "account registered for" << email;
        }
        return NewToken(account->Id, account->RegCode, true);
    }
    if (op == u"token" && s.size() == 3) {
        if (!CheckUUID(s[2])) return Failure(QString::fromLatin1(kBadId));
        const auto account = Account(c);
        if (!account) return Failure(QString::fromLatin1(kNotSignedIn));
        const auto owner = FStore.AccountByRegCode(s[2].toLower());
        if (!owner || owner->Id != *account) return Failure(QString::fromLatin1(kNoAccess));
        const QString id = InsertWithNewId(10, [&](const QString& candidate) {
            return FStore.CreateConnection(candidate, *account, Now());
        });
        if (id.isEmpty()) return Failure(QString::fromLatin1(kStoreError));
        return ApiReply::Json(TJsonObject()
                                  .Add(QStringLiteral("success"), 1)
                                  .Add(QStringLiteral("connection_id"), id)
                                  .Text());
    }
    return Failure(QStringLiteral("Unknown request"));
}

// ---------------------------------------------------------------- collections and schools

bool TApiHandler::MayReadCollection(qint64 account, const QString& schoolCode, qint64 owner)
{
    if (schoolCode == kOwn) return owner == account;
    for (const TSchool& school : FStore.SchoolsOf(account))
        if (school.Code == schoolCode) return true;
    return false;
}

bool TApiHandler::MayWriteCollection(qint64 account, qint64 schoolId, qint64 owner)
{
    if (owner == account) return true;
    if (schoolId == 0) return false;
    for (const TSchool& school : FStore.SchoolsOf(account))
        if (school.Id == schoolId) return school.IsAdmin;
    return false;
}

TApiReply TApiHandler::CollectionCalls(TContext& c)
{
    const QStringList& s = c.S;
    const QString op = Segment(s, 1);
    const auto account = Account(c);
    if (!account) return Failure(QString::fromLatin1(kNotSignedIn));

    if (op == u"count" && s.size() == 2)
        return ApiReply::Json(
            TJsonObject()
                .Add(QStringLiteral("success"), 1)
                .Add(QStringLiteral("count"), qint64(FStore.CollectionsVisibleTo(*account).size()))
                .Text());
    if (op == u"list" && s.size() == 2) {
        const QList<TCollection> all = FStore.CollectionsVisibleTo(*account);
        QHash<QString, const TCollection*> byId;
        for (const TCollection& col : all)
            byId.insert(col.Id, &col);
        TJsonObject reply;
        reply.Add(QStringLiteral("success"), 1);
        for (const TCollection& col : all) {
            // The path of names from the school down; a broken chain ends it.
            QStringList path{col.Name};
            int level = 1;
            for (const TCollection* up = byId.value(col.ParentId); up && level < 64;
                 up = byId.value(up->ParentId), ++level)
                path.prepend(up->Name);
            path.prepend(col.SchoolName);
            TJsonObject item;
            item.Add(QStringLiteral("collection_id"), col.Id)
                .Add(QStringLiteral("parent_id"), col.ParentId)
                .Add(QStringLiteral("name_collection"), col.Name)
                .Add(QStringLiteral("code_school"), col.SchoolCode)
                .Add(QStringLiteral("is_owner"), col.OwnerId == *account ? "1" : "0")
                .Add(QStringLiteral("level_collection"), QString::number(level))
                .Add(QStringLiteral("full_path_collection"), path.join(u'.'))
                .Add(QStringLiteral("order_id"), QString::number(col.OrderId))
                .Add(QStringLiteral("md5_hash"), col.Md5);
            reply.Add(col.Id, item);
        }
        return ApiReply::Json(reply.Text());
    }
    if (op == u"new" && s.size() >= 4) {
        const QString parent = s[2];
        QString name;
        if (!CleanName(Rest(s, 3), kMaxCollectionNameLength, name))
            return Failure(QStringLiteral("Bad name"));
        TCollection col;
        col.OwnerId = *account;
        col.Name = name;
        col.ParentId = QStringLiteral("0");
        if (Check13Digit(parent)) {
            const auto up = FStore.Collection(parent, false);
            if (!up || !MayReadCollection(*account, up->SchoolCode, up->OwnerId))
                return Failure(QString::fromLatin1(kNotFound));
            if (!MayWriteCollection(*account, up->SchoolId, up->OwnerId))
                return Failure(QString::fromLatin1(kNoAccess));
            col.SchoolId = up->SchoolId;
            col.SchoolCode = up->SchoolCode;
            col.ParentId = parent;
        } else if (parent == kOwn) {
            col.SchoolCode = kOwn;
        } else {
            bool admin = false, member = false;
            for (const TSchool& school : FStore.SchoolsOf(*account)) {
                if (school.Code == parent) {
                    member = true;
                    admin = school.IsAdmin;
                    col.SchoolId = school.Id;
                    col.SchoolCode = school.Code;
                }
            }
            if (!member) return Failure(QString::fromLatin1(kNotFound));
            if (!admin) return Failure(QString::fromLatin1(kNoAccess));
        }
        if (!CreateEmptyCollection(col)) return Failure(QString::fromLatin1(kStoreError));
        return ApiReply::Json(TJsonObject()
                                  .Add(QStringLiteral("success"), 1)
                                  .Add(QStringLiteral("collection_id"), col.Id)
                                  .Text());
    }
    if ((op == u"setOrder" && s.size() == 4) || (op == u"get" && s.size() == 3) ||
        (op == u"save" && s.size() == 4)) {
        if (!Check13Digit(s[2])) return Failure(QString::fromLatin1(kBadId));
        const auto col = FStore.Collection(s[2], op == u"get");
        if (!col || !MayReadCollection(*account, col->SchoolCode, col->OwnerId))
            return Failure(QString::fromLatin1(kNotFound));
        if (op == u"get") return ApiReply::Text(col->Content);
        if (!MayWriteCollection(*account, col->SchoolId, col->OwnerId))
            return Failure(QString::fromLatin1(kNoAccess));
        if (op == u"save") return SaveUpload(c, false);
        bool ok = false;
        const int order = s[3].toInt(&ok);
        if (!ok || s[3].size() > 9) return Failure(QStringLiteral("Bad order"));
        return FStore.SetCollectionOrder(col->Id, order)
                   ? Success()
                   : Failure(QString::fromLatin1(kStoreError));
    }
    return Failure(QStringLiteral("Unknown request"));
}

TApiReply TApiHandler::SaveUpload(TContext& c, bool room)
{
    const QStringList& s = c.S;
    if (c.Request.Method != "POST") return Failure(QStringLiteral("An upload is a POST"));
    if (!CheckMd5(s[3])) return Failure(QStringLiteral("Bad MD5 digest"));
    if (c.Request.Body.size() > FOptions.MaxUploadBytes + 64 * 1024)
        return Failure(QStringLiteral("The file is too large"));
    QList<TFormPart> parts;
    if (!ParseMultipart(c.Request.ContentType, c.Request.Body, parts))
        return Failure(QStringLiteral("Bad upload"));
    const TFormPart* file = nullptr;
    for (const TFormPart& part : parts)
        if (part.Name == u"file") file = &part;
    if (!file) return Failure(QStringLiteral("The upload has no part \"file\""));
    if (file->Data.size() > FOptions.MaxUploadBytes)
        return Failure(QStringLiteral("The file is too large"));
    const QString md5 = Md5Hex(file->Data);
    if (md5 != s[3].toLower())
        return Failure(QStringLiteral("The MD5 digest does not match the file"));
    QString text;
    if (!DecodeFileText(file->Data, text))
        return Failure(QStringLiteral("The file is not UTF-8 text"));
    bool ok;
    if (room) {
        ok = FStore.SaveRoomContent(s[2], file->Data, md5, Now());
    } else {
        // A collection is named by its title line; a renamed collection arrives that way.
        QString name;
        const QString first = text.section(u'\n', 0, 0).trimmed();
        if (first.startsWith(u'#')) CleanName(first.mid(1), kMaxCollectionNameLength, name);
        ok = FStore.SaveCollectionContent(s[2], file->Data, md5, name, Now());
    }
    return ok ? Success() : Failure(QString::fromLatin1(kStoreError));
}

TApiReply TApiHandler::SchoolCalls(TContext& c)
{
    if (c.S.size() != 2 || c.S[1] != u"list") return Failure(QStringLiteral("Unknown request"));
    const auto account = Account(c);
    if (!account) return Failure(QString::fromLatin1(kNotSignedIn));
    TJsonObject reply;
    reply.Add(QStringLiteral("success"), 1);
    reply.Add(kOwn, TJsonObject()
                        .Add(QStringLiteral("school_name"), kOwn)
                        .Add(QStringLiteral("is_admin"), "1"));
    for (const TSchool& school : FStore.SchoolsOf(*account))
        reply.Add(school.Code, TJsonObject()
                                   .Add(QStringLiteral("school_name"), school.Name)
                                   .Add(QStringLiteral("is_admin"), school.IsAdmin ? "1" : "0"));
    return ApiReply::Json(reply.Text());
}

// ---------------------------------------------------------------- rooms

TApiReply TApiHandler::RoomCalls(TContext& c)
{
    const QStringList& s = c.S;
    const QString op = Segment(s, 1);
    const auto account = Account(c);
    if (!account) return Failure(QString::fromLatin1(kNotSignedIn));

    if (op == u"list" && s.size() == 2) {
        TJsonObject reply;
        reply.Add(QStringLiteral("success"), 1);
        for (const TRoom& room : FStore.RoomsOf(*account))
            reply.Add(room.Id, TJsonObject()
                                   .Add(QStringLiteral("room_id"), room.Id)
                                   .Add(QStringLiteral("type_room"), room.Type)
                                   .Add(QStringLiteral("name_room"), room.Name)
                                   .Add(QStringLiteral("md5_hash"), room.Md5));
        return ApiReply::Json(reply.Text());
    }
    if (op == u"new" && s.size() >= 3) {
        QString name;
        if (!CleanName(Rest(s, 2), kMaxRoomNameLength, name))
            return Failure(QStringLiteral("Bad name"));
        TRoom room;
        room.OwnerId = *account;
        room.Name = name;
        // The one-line room file the application writes for a new room.
        room.Content = TextFile::EncodeUtf8Bom(QStringList{QStringLiteral("NameRoom=") + name});
        room.Md5 = Md5Hex(room.Content);
        room.Id = InsertWithNewId(10, [&](const QString& id) {
            room.Id = id;
            return FStore.CreateRoom(room, Now());
        });
        if (room.Id.isEmpty()) return Failure(QString::fromLatin1(kStoreError));
        return ApiReply::Json(TJsonObject()
                                  .Add(QStringLiteral("success"), 1)
                                  .Add(QStringLiteral("RoomId"), room.Id)
                                  .Text());
    }

    // Every other call names a room of the account.
    int idIndex = 2;
    if (s.size() == 2 && Check10Digit(op))
        idIndex = 1;
    else if (!((op == u"rename" && s.size() >= 4) ||
               ((op == u"get" || op == u"users" || op == u"boards") && s.size() == 3) ||
               (op == u"save" && s.size() == 4)))
        return Failure(QStringLiteral("Unknown request"));
    const QString roomId = s[idIndex];
    if (!Check10Digit(roomId)) return Failure(QString::fromLatin1(kBadId));
    const auto room = FStore.Room(roomId, op == u"get");
    if (!room || room->OwnerId != *account) return Failure(QString::fromLatin1(kNotFound));

    if (idIndex == 1)
        return FStore.MarkRoomOpened(roomId, Now()) ? Success()
                                                    : Failure(QString::fromLatin1(kStoreError));
    if (op == u"rename") {
        QString name;
        if (!CleanName(Rest(s, 3), kMaxRoomNameLength, name))
            return Failure(QStringLiteral("Bad name"));
        return FStore.RenameRoom(roomId, name) ? Success()
                                               : Failure(QString::fromLatin1(kStoreError));
    }
    if (op == u"get") return ApiReply::Text(room->Content);
    if (op == u"save") return SaveUpload(c, true);

    const QList<TWorkplace> workplaces = FStore.WorkplacesOfRoom(roomId);
    TJsonObject reply;
    reply.Add(QStringLiteral("success"), 1);
    if (op == u"users") {
        // The room's own board: its value is a language key the application translates.
        reply.Add(kPlaceholderWorkplace, "RoomBoard");
        for (const TWorkplace& w : workplaces)
            reply.Add(w.Id, w.UserName);
        return ApiReply::Json(reply.Text());
    }
    const qint64 now = Now();
    for (const TWorkplace& w : workplaces)
        reply.Add(w.Id, TJsonObject()
                            .Add(QStringLiteral("user_name"), w.UserName)
                            .Add(QStringLiteral("current_position"), EscapePosition(w.Position))
                            .Add(QStringLiteral("status"), w.Status)
                            .Add(QStringLiteral("moves"), EscapePosition(w.Moves))
                            .Add(QStringLiteral("connected"), Connected(w, now) ? "1" : "0"));
    return ApiReply::Json(reply.Text());
}

// ---------------------------------------------------------------- workplaces

TApiReply TApiHandler::WorkplaceCalls(TContext& c)
{
    const QStringList& s = c.S;
    const QString op = Segment(s, 1);
    const auto account = Account(c);
    if (!account) return Failure(QString::fromLatin1(kNotSignedIn));

    if (op == u"active" && s.size() == 3) {
        if (!Check10Digit(s[2])) return Failure(QString::fromLatin1(kBadId));
        const auto owner = FStore.ConnectionOwner(s[2]);
        if (!owner || *owner != *account) return Failure(QString::fromLatin1(kNotFound));
        FNotifier.ConfirmConnection(s[2]);
        return Success();
    }

    int idIndex = 2;
    if (s.size() == 2 && Check10Digit(op))
        idIndex = 1;
    else if (!((op == u"setName" && s.size() >= 4) || (op == u"setParameter" && s.size() >= 5) ||
               (op == u"move" && s.size() == 6) || (op == u"getParameterBoard" && s.size() == 4) ||
               ((op == u"reloadPosition" || op == u"updateBoard" || op == u"download") &&
                s.size() == 3)))
        return Failure(QStringLiteral("Unknown request"));
    const QString id = s[idIndex].trimmed();
    if (!Check10Digit(id)) return Failure(QString::fromLatin1(kBadId));
    const auto w = FStore.Workplace(id);
    if (!w || w->OwnerId != *account) return Failure(QString::fromLatin1(kNotFound));

    if (idIndex == 1) {
        // "current" minus "mark" is how long ago the student last showed life; a student who
        // is gone has no mark, so the application reads the board as disconnected.
        // An open page link is life at this very moment.
        const qint64 now = Now();
        const bool linked = FNotifier.StudentLinked(id);
        const bool connected = Connected(*w, now);
        return ApiReply::Json(TJsonObject()
                                  .Add(QStringLiteral("success"), 1)
                                  .Add(QStringLiteral("current"), now)
                                  .Add(QStringLiteral("connected"), connected ? "1" : "0")
                                  .Add(QStringLiteral("mark"), linked      ? now
                                                               : connected ? w->LastSeen
                                                                           : 0)
                                  .Text());
    }
    if (op == u"download")
        return ApiReply::Json(
            TJsonObject()
                .Add(QStringLiteral("success"), 1)
                .Add(QStringLiteral("data"),
                     TJsonObject()
                         .Add(QStringLiteral("current_position"), EscapePosition(w->Position))
                         .Add(QStringLiteral("status"), w->Status)
                         .Add(QStringLiteral("moves"), EscapePosition(w->Moves)))
                .Text());
    if (op == u"getParameterBoard") {
        if (!CheckParameterName(s[3])) return Failure(QStringLiteral("Bad parameter name"));
        const auto value = FStore.Parameter(id, s[3]);
        if (!value) return Failure(QStringLiteral("No such parameter"));
        return ApiReply::Json(TJsonObject()
                                  .Add(QStringLiteral("success"), 1)
                                  .Add(QStringLiteral("value"), *value)
                                  .Text());
    }
    if (op == u"setName") {
        QString name;
        if (!CleanName(Rest(s, 3), kMaxUserNameLength, name))
            return Failure(QStringLiteral("Bad name"));
        if (!FStore.SetWorkplaceName(id, name)) return Failure(QString::fromLatin1(kStoreError));
        NotifyRoom(w->OwnerId, w->RoomId);
        PushStudent(id);
        return Success();
    }
    if (op == u"setParameter") {
        if (!CheckParameterName(s[3])) return Failure(QStringLiteral("Bad parameter name"));
        const QString value = UnescapeParameter(Rest(s, 4));
        if (!CheckFreeText(value, kMaxParameterLength))
            return Failure(QStringLiteral("Bad parameter value"));
        if (!FStore.SetParameter(id, s[3], value)) return Failure(QString::fromLatin1(kStoreError));
        NotifyUpdated(w->OwnerId, id);
        PushStudent(id);
        return Success();
    }
    if (op == u"move") return TeacherMove(id, s[3], s[4], s[5]);
    if (op == u"reloadPosition") {
        if (!FStore.ReloadWorkplace(id)) return Failure(QString::fromLatin1(kStoreError));
        // The task as the rules read it: a position of four fields gets its counters.
        const auto fresh = FStore.Workplace(id);
        QString normalised;
        if (fresh && CheckFEN(fresh->Position, normalised) && normalised != fresh->Position)
            FStore.SetWorkplaceState(id, {normalised, {}, {}, {}, 0});
    } else if (!FStore.BumpWorkplaceUpdate(id)) {
        return Failure(QString::fromLatin1(kStoreError));
    }
    NotifyUpdated(w->OwnerId, id);
    PushStudent(id);
    return Success();
}

namespace {

QString FirstFields(const QString& fen, int count)
{
    return fen.simplified().section(u' ', 0, count - 1);
}

bool GameOver(const QString& status)
{
    return status == u"checkmate" || status == u"draw";
}

// The board parameters of a workplace by name.
QHash<QString, QString> ParameterMap(const QList<QPair<QString, QString>>& list)
{
    QHash<QString, QString> map;
    for (const auto& p : list)
        map.insert(p.first, p.second);
    return map;
}

// What the teacher's parameters say, with the teacher's own defaults for the missing ones.
struct TBoardRules
{
    explicit TBoardRules(const QHash<QString, QString>& p)
    {
        MovesOn = p.value(QStringLiteral("en_moves"), QStringLiteral("1")) != u"0";
        Markers = p.value(QStringLiteral("markers"), QStringLiteral("1")) != u"0";
        Answer = p.value(QStringLiteral("answer"), QStringLiteral("stockfish"));
        if (Answer != u"manual" && Answer != u"none") Answer = QStringLiteral("stockfish");
        // 1 to 9 moves, or 999 and anything else: no limit.
        bool ok = false;
        const int count = p.value(QStringLiteral("count_max_moves")).toInt(&ok);
        Limit = ok && count >= 1 && count < 999 ? count : 0;
    }
    bool MovesOn;
    bool Markers;
    QString Answer;
    int Limit;
};

// The position the student plays on: the workplace's, or before the first reload the task's.
QString PlayedPosition(const TWorkplace& w, const QHash<QString, QString>& p)
{
    QString fen;
    if (CheckFEN(w.Position, fen)) return fen;
    if (w.Position.isEmpty() && CheckFEN(p.value(QStringLiteral("position")), fen)) return fen;
    return {};
}

// The student plays the side that was to move when the task was set.
QChar StudentSide(const QHash<QString, QString>& p, const QString& played)
{
    QString task;
    if (CheckFEN(p.value(QStringLiteral("position")), task)) return task.section(u' ', 1, 1)[0];
    const QString orientation = p.value(QStringLiteral("orientation"));
    if (orientation == u"w" || orientation == u"b") return orientation[0];
    return played.isEmpty() ? QChar(u'w') : played.section(u' ', 1, 1)[0];
}

// The workplace's state once move, played from fen, is on the board.
TGameState StateAfter(const TWorkplace& w, const QString& fen, const TGameRules::TMove& move,
                      const TGameRules::TPlayedMove& played, int studentMoves)
{
    const TFENData before(fen);
    TGameState state;
    state.Position = played.FEN;
    state.Status = TGameRules::ResultText(played.Result);
    state.Moves =
        TGameRules::AppendMoveText(w.Moves, before.CountMovies(), before.WhiteMove(), played.San);
    state.LastMove = move.Coordinates();
    state.StudentMoves = studentMoves;
    return state;
}

} // namespace

TApiReply TApiHandler::TeacherMove(const QString& workplaceId, const QString& move,
                                   const QString& position, const QString& flag)
{
    const auto parsed = TGameRules::ParseCoordinates(move);
    if (!CheckMove(move) || !parsed) return Failure(QStringLiteral("Bad move"));
    QString fen;
    if (!CheckFEN(UnescapePosition(position), fen)) return Failure(QStringLiteral("Bad position"));
    if (flag != u"0" && flag != u"1") return Failure(QString::fromLatin1(kBadRequest));
    const auto w = FStore.Workplace(workplaceId);
    if (!w) return Failure(QString::fromLatin1(kNotFound));
    // The teacher answers the position on the screen; when the student has moved on since,
    // the answer no longer fits.
    if (!w->Position.isEmpty() && FirstFields(w->Position, 4) != FirstFields(fen, 4))
        return Failure(QStringLiteral("The position has changed"));
    if (GameOver(w->Status)) return Failure(QStringLiteral("The game is over"));
    const auto played = TGameRules::Play(fen, *parsed);
    if (!played) return Failure(QStringLiteral("Illegal move"));
    const TGameState state = StateAfter(*w, fen, *parsed, *played, w->StudentMoves);
    if (!FStore.SetWorkplaceState(workplaceId, state,
                                  {{QStringLiteral("disable_next_move"), flag}}))
        return Failure(QString::fromLatin1(kStoreError));
    NotifyUpdated(w->OwnerId, workplaceId);
    PushStudent(workplaceId);
    return Success();
}

TApiReply TApiHandler::RobotCalls(TContext& c)
{
    const QStringList& s = c.S;
    if (s.size() != 4 || s[1] != u"move") return Failure(QStringLiteral("Unknown request"));
    const auto account = Account(c);
    if (!account) return Failure(QString::fromLatin1(kNotSignedIn));
    if (!Check10Digit(s[2])) return Failure(QString::fromLatin1(kBadId));
    const auto owner = FStore.ConnectionOwner(s[2]);
    if (!owner || *owner != *account) return Failure(QString::fromLatin1(kNotFound));
    QString fen, engineFen;
    if (!CheckFEN(UnescapePosition(s[3]), fen)) return Failure(QStringLiteral("Bad position"));
    if (!FEngine || !FEngine->Available() || !c.Later)
        return Failure(QStringLiteral("The engine is not available"));
    if (!TGameRules::EnginePosition(fen, &engineFen))
        return Failure(QStringLiteral("The engine cannot play this position"));
    if (TGameRules::Result(TFENData(fen)) != TGameRules::TGameResult::None)
        return Failure(QStringLiteral("The game is over"));
    // The move comes back in the reply and is announced to the account's programs too.
    const qint64 accountId = *account;
    const QString connection = s[2];
    TLaterReply later = c.Later;
    FEngine->BestMove(engineFen, FContext.get(),
                      [this, accountId, connection, fen, later](QString move) {
                          if (move.isEmpty()) {
                              later(Failure(QStringLiteral("The engine gave no move")));
                              return;
                          }
                          later(ApiReply::Json(TJsonObject()
                                                   .Add(QStringLiteral("success"), 1)
                                                   .Add(QStringLiteral("move"), move)
                                                   .Text()));
                          NotifyMove(accountId, connection, fen, move);
                      });
    TApiReply deferred;
    deferred.Deferred = true;
    return deferred;
}

// ---------------------------------------------------------------- students

TApiReply TApiHandler::StudentCalls(TContext& c)
{
    const QStringList& s = c.S;
    const QString op = Segment(s, 1);
    if (s.size() == 1) return TWebAssets::Redirect("/student/", c.Request.RawQuery);
    if (s.size() == 2 && op.isEmpty())
        return TWebAssets::Reply(QStringLiteral("student.html"), FWsPort, c.Request.IfNoneMatch);
    if (op == u"join" && s.size() >= 4) {
        if (!Check10Digit(s[2])) return Failure(QString::fromLatin1(kBadId));
        QString name;
        if (!CleanName(Rest(s, 3), kMaxUserNameLength, name))
            return Failure(QStringLiteral("Bad name"));
        const auto room = FStore.Room(s[2], false);
        if (!room) return Failure(QString::fromLatin1(kNotFound));
        if (FStore.WorkplacesOfRoom(room->Id).size() >= kMaxWorkplacesPerRoom)
            return Failure(QStringLiteral("The room is full"));
        const QString key = NewUuid();
        TWorkplace w;
        w.RoomId = room->Id;
        w.UserName = name;
        w.KeyHash = HashSecret(key);
        w.Id = InsertWithNewId(10, [&](const QString& id) {
            w.Id = id;
            return FStore.CreateWorkplace(w, Now());
        });
        if (w.Id.isEmpty()) return Failure(QString::fromLatin1(kStoreError));
        NotifyRoom(room->OwnerId, room->Id);
        return ApiReply::Json(TJsonObject()
                                  .Add(QStringLiteral("success"), 1)
                                  .Add(QStringLiteral("workplace_id"), w.Id)
                                  .Add(QStringLiteral("student_key"), key)
                                  .Text());
    }
    if (!((op == u"state" || op == u"alive" || op == u"leave") && s.size() == 3) &&
        !(op == u"move" && s.size() == 4))
        return Failure(QStringLiteral("Unknown request"));
    if (!Check10Digit(s[2])) return Failure(QString::fromLatin1(kBadId));
    const auto w = FStore.Workplace(s[2]);
    const QString key = QString::fromLatin1(c.Request.StudentKey).trimmed();
    if (!w || !CheckUUID(key) || HashSecret(key) != w->KeyHash)
        return Failure(QString::fromLatin1(kNotFound));

    const qint64 now = Now();
    if (op == u"leave") {
        if (FStore.LeaveWorkplace(w->Id, now)) NotifyRoom(w->OwnerId, w->RoomId);
        return Success();
    }
    // A student who comes back after leaving reappears among the room's users. Signs of life
    // count to the minute, so a burst of moves writes the time once.
    if ((w->Left || now - w->LastSeen >= kTouchSeconds) && FStore.TouchWorkplace(w->Id, now) &&
        w->Left)
        NotifyRoom(w->OwnerId, w->RoomId);
    if (op == u"alive") return Success();
    if (op == u"state") {
        TJsonObject reply;
        reply.Add(QStringLiteral("success"), 1);
        AddStudentState(reply, *w);
        return ApiReply::Json(reply.Text());
    }
    return StudentMove(*w, s[3]);
}

void TApiHandler::AddStudentState(TJsonObject& out, const TWorkplace& w)
{
    const QList<QPair<QString, QString>> list = FStore.Parameters(w.Id);
    const QHash<QString, QString> p = ParameterMap(list);
    const TBoardRules rules(p);
    const QString fen = PlayedPosition(w, p);
    const QChar student = StudentSide(p, fen);
    const QChar toMove = fen.isEmpty() ? student : fen.section(u' ', 1, 1)[0];
    const bool over = GameOver(w.Status);
    const bool limitReached = rules.Limit > 0 && w.StudentMoves >= rules.Limit;
    const bool turn = !fen.isEmpty() && !over && (rules.Answer == u"none" || toMove == student);

    std::optional<TFENData> position;
    if (!fen.isEmpty()) position.emplace(fen);
    // Who is to answer while the student waits.
    QString waiting;
    if (!fen.isEmpty() && !over && toMove != student && rules.Answer != u"none") {
        if (rules.Answer == u"manual")
            waiting = QStringLiteral("teacher");
        else if (FEngine && FEngine->Available() && TGameRules::EnginePosition(fen, nullptr)) {
            waiting = QStringLiteral("engine");
            // Nobody asked the engine yet (the service restarted meanwhile, or its answers
            // failed): ask now, so the student does not wait for ever.
            if (w.Position == fen && !FEngineAsked.contains(w.Id)) ScheduleEngine(w.Id, fen);
        } else
            waiting = QStringLiteral("unavailable");
    }
    bool mayMove = turn && rules.MovesOn && !limitReached;
    QString reason;
    if (fen.isEmpty())
        reason = QStringLiteral("no_task");
    else if (over)
        reason = QStringLiteral("game_over");
    else if (!rules.MovesOn)
        reason = QStringLiteral("moves_off");
    else if (!turn)
        reason = QStringLiteral("waiting"); // an answer comes before the limit matters
    else if (limitReached)
        reason = QStringLiteral("limit");
    else if (!TGameRules::HasLegalMove(*position)) {
        reason = QStringLiteral("no_moves");
        mayMove = false;
    }

    out.Add(QStringLiteral("room_id"), w.RoomId)
        .Add(QStringLiteral("user_name"), w.UserName)
        .Add(QStringLiteral("current_position"), fen)
        .Add(QStringLiteral("status"), w.Status)
        .Add(QStringLiteral("moves"), w.Moves)
        .Add(QStringLiteral("last_move"), w.LastMove)
        .Add(QStringLiteral("reload_seq"), w.ReloadSeq)
        .Add(QStringLiteral("update_seq"), w.UpdateSeq)
        .Add(QStringLiteral("version"), w.Version)
        .Add(QStringLiteral("to_move"), QString(toMove))
        .Add(QStringLiteral("student_side"), QString(student))
        .Add(QStringLiteral("check"), position && position->CheckExists() ? 1 : 0)
        .Add(QStringLiteral("may_move"), mayMove ? 1 : 0)
        .Add(QStringLiteral("reason"), reason)
        .Add(QStringLiteral("waiting"), waiting)
        .Add(QStringLiteral("moves_left"),
             rules.Limit > 0 ? qMax(0, rules.Limit - w.StudentMoves) : -1);
    // The targets are the markers themselves: sent only when the teacher shows them.
    if (mayMove && rules.Markers) {
        TJsonObject legal;
        for (const auto& target : TGameRules::LegalTargets(*position))
            legal.Add(target.first, target.second);
        out.Add(QStringLiteral("legal"), legal);
    }
    TJsonObject parameters;
    for (const auto& parameter : list)
        parameters.Add(parameter.first, parameter.second);
    out.Add(QStringLiteral("parameters"), parameters);
}

TApiReply TApiHandler::StudentMove(const TWorkplace& w, const QString& text)
{
    const auto move = TGameRules::ParseCoordinates(text);
    if (!CheckMove(text) || !move) return Failure(QStringLiteral("Bad move"));
    const QHash<QString, QString> p = ParameterMap(FStore.Parameters(w.Id));
    const TBoardRules rules(p);
    if (!rules.MovesOn) return Failure(QStringLiteral("Moves are off"));
    const QString fen = PlayedPosition(w, p);
    if (fen.isEmpty()) return Failure(QStringLiteral("No position to move on"));
    if (GameOver(w.Status)) return Failure(QStringLiteral("The game is over"));
    if (rules.Limit > 0 && w.StudentMoves >= rules.Limit)
        return Failure(QStringLiteral("No moves are left in this task"));
    // Where someone answers, the student moves only the own side.
    const QChar toMove = fen.section(u' ', 1, 1)[0];
    if (rules.Answer != u"none" && toMove != StudentSide(p, fen))
        return Failure(QStringLiteral("Not your move"));
    const auto played = TGameRules::Play(fen, *move);
    if (!played) return Failure(QStringLiteral("Illegal move"));

    const TGameState state = StateAfter(w, fen, *move, *played, w.StudentMoves + 1);
    if (!FStore.SetWorkplaceState(w.Id, state)) return Failure(QString::fromLatin1(kStoreError));
    NotifyUpdated(w.OwnerId, w.Id);
    if (rules.Answer == u"stockfish" && state.Status.isEmpty() && FEngine && FEngine->Available())
        ScheduleEngine(w.Id, played->FEN);
    // One state for the reply and for the workplace's other pages.
    const auto fresh = FStore.Workplace(w.Id);
    TJsonObject members;
    AddStudentState(members, fresh ? *fresh : w);
    const QByteArray json = members.Text();
    if (FNotifier.StudentLinked(w.Id)) {
        FPushPending.remove(w.Id);
        FNotifier.NotifyStudent(w.Id, "{\"type\":\"state\"," + json.mid(1));
    }
    return ApiReply::Json("{\"success\":1," + json.mid(1));
}

void TApiHandler::ScheduleEngine(const QString& workplaceId, const QString& fen, int tries)
{
    FEngineAsked.insert(workplaceId);
    // A short pause, so the student sees the own move before the answer.
    QTimer::singleShot(FOptions.EnginePauseMs, FContext.get(),
                       [this, workplaceId, fen, tries] { AskEngine(workplaceId, fen, tries); });
}

void TApiHandler::AskEngine(const QString& workplaceId, const QString& fen, int tries)
{
    QString engineFen;
    if (!TGameRules::EnginePosition(fen, &engineFen)) {
        FEngineAsked.remove(workplaceId);
        qCDebug(lcEngine) << "workplace" << workplaceId << "has a position the engine cannot play";
        return;
    }
    FEngine->BestMove(engineFen, FContext.get(), [this, workplaceId, fen, tries](QString move) {
        EngineAnswered(workplaceId, fen, move, tries);
    });
}

void TApiHandler::EngineAnswered(const QString& workplaceId, const QString& fen,
                                 const QString& move, int tries)
{
    FEngineAsked.remove(workplaceId);
    const auto w = FStore.Workplace(workplaceId);
    if (!w) return;
    if (move.isEmpty()) {
        // The engine died, timed out or was too busy: the student still waits for an answer,
        // so ask again a few times; after that the next look at the board asks anew.
        constexpr int kEngineTries = 3;
        if (w->Position == fen && !GameOver(w->Status) && tries + 1 < kEngineTries &&
            FEngine->Available())
            ScheduleEngine(workplaceId, fen, tries + 1);
        else
            qCWarning(lcEngine) << "no engine answer for workplace" << workplaceId;
        return;
    }
    const QHash<QString, QString> p = ParameterMap(FStore.Parameters(workplaceId));
    // The answer fits only the position it was asked for, and only while the engine answers.
    if (w->Position != fen || GameOver(w->Status) || TBoardRules(p).Answer != u"stockfish") return;
    const auto parsed = TGameRules::ParseCoordinates(move);
    const auto played = parsed ? TGameRules::Play(fen, *parsed) : std::nullopt;
    if (!played) {
        qCWarning(lcEngine).noquote() << "the engine's move" << move << "does not fit" << fen;
        return;
    }
    const TGameState state = StateAfter(*w, fen, *parsed, *played, w->StudentMoves);
    if (!FStore.SetWorkplaceState(workplaceId, state)) return;
    NotifyUpdated(w->OwnerId, workplaceId);
    NotifyMove(w->OwnerId, workplaceId, fen, move);
    PushStudent(workplaceId);
}

bool TApiHandler::Connected(const TWorkplace& w, qint64 now) const
{
    return FNotifier.StudentLinked(w.Id) || (w.LastSeen > 0 && now - w.LastSeen <= kAliveSeconds);
}

void TApiHandler::NotifyMove(qint64 owner, const QString& id, const QString& fen,
                             const QString& move)
{
    FNotifier.NotifyAccount(owner, QStringLiteral("move ") + id + u' ' +
                                       EscapePosition(FirstFields(fen, 4)) + u' ' + move);
}

void TApiHandler::PushStudent(const QString& workplaceId)
{
    if (!FNotifier.StudentLinked(workplaceId)) return;
    FPushPending.insert(workplaceId);
    if (!FPushTimer.isActive()) FPushTimer.start();
}

void TApiHandler::FlushPushes()
{
    const QSet<QString> pending = std::exchange(FPushPending, {});
    for (const QString& id : pending) {
        const auto w = FStore.Workplace(id);
        if (!w) continue;
        TJsonObject message;
        message.Add(QStringLiteral("type"), "state");
        AddStudentState(message, *w);
        FNotifier.NotifyStudent(id, message.Text());
    }
}

// ---------------------------------------------------------------- the students' pages

TApiReply TApiHandler::WebCalls(TContext& c)
{
    const QStringList& s = c.S;
    if (c.Request.Method != "GET" && c.Request.Method != "HEAD")
        return ApiReply::Text("Not allowed\n");
    QString name;
    if (s[0] == u"room-code") {
        if (s.size() == 1) return TWebAssets::Redirect("/room-code/", c.Request.RawQuery);
        if (s.size() != 2 || !s[1].isEmpty()) return TWebAssets::NotFound();
        name = QStringLiteral("room-code.html");
    } else {
        if (s.size() != 2) return TWebAssets::NotFound();
        name = s[1];
    }
    return TWebAssets::Reply(name, FWsPort, c.Request.IfNoneMatch);
}

// ---------------------------------------------------------------- web-site scripts

namespace {

// The newest executable as one zlib stream, made once per published file.
QByteArray CompressedExecutable(const QString& path)
{
    static QString cachedKey;
    static QByteArray cached;
    const QFileInfo info(path);
    if (!info.isFile()) return {};
    const QString key = path + QString::number(info.size()) +
                        QString::number(info.lastModified().toMSecsSinceEpoch());
    if (key == cachedKey) return cached;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray raw = file.readAll();
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(raw.constData()), uLong(raw.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return {};
    out.resize(qsizetype(size));
    cachedKey = key;
    cached = out;
    return out;
}

} // namespace

TApiReply TApiHandler::SiteScripts(TContext& c)
{
    const QStringList& s = c.S;
    const QDir publish(QDir(FOptions.DataDir).filePath(QStringLiteral("publish")));
    QList<QPair<QString, QString>> query;
    ParseForm(c.Request.RawQuery, query);
    if (s.size() == 2 && s[1] == u"update_exe.php") {
        const QString operation = FormValue(query, QStringLiteral("operation"));
        if (operation == u"LastVersion") {
            QFile file(publish.filePath(QStringLiteral("version.txt")));
            QString version;
            if (file.open(QIODevice::ReadOnly))
                version = QString::fromUtf8(file.read(256)).section(u'\n', 0, 0).trimmed();
            return ApiReply::Text(version.isEmpty() ? QByteArray() : version.toUtf8() + "\r\n");
        }
        if (operation == u"SizeLastExe" || operation == u"LastExe") {
            const QByteArray exe =
                CompressedExecutable(publish.filePath(QStringLiteral("tavlora")));
            if (operation == u"LastExe") return ApiReply::Text(exe, "application/octet-stream");
            return ApiReply::Text(exe.isEmpty() ? QByteArray()
                                                : QByteArray::number(exe.size()) + "\r\n");
        }
        return ApiReply::Text({});
    }
    if (s.size() == 2 && s[1] == u"collections.php" &&
        FormValue(query, QStringLiteral("op")) == u"new") {
        // Answers a new collection's id on the first line, or an empty line.
        if (c.Request.Method != "POST") return ApiReply::Text({});
        QList<QPair<QString, QString>> form;
        QList<TFormPart> parts;
        if (ParseMultipart(c.Request.ContentType, c.Request.Body, parts)) {
            for (const TFormPart& part : parts) {
                QString value;
                QStringDecoder decoder(QStringDecoder::Utf8);
                value = decoder.decode(part.Data);
                if (!decoder.hasError()) form.append({part.Name, value});
            }
        } else if (!ParseForm(c.Request.Body, form)) {
            return ApiReply::Text({});
        }
        const QString user = FormValue(form, QStringLiteral("user")).trimmed();
        QString name;
        if (!CheckUUID(user) ||
            !CleanName(FormValue(form, QStringLiteral("name")), kMaxCollectionNameLength, name))
            return ApiReply::Text({});
        const auto account = FStore.AccountByRegCode(user.toLower());
        if (!account) return ApiReply::Text({});
        TCollection col;
        col.OwnerId = account->Id;
        col.SchoolCode = kOwn;
        col.ParentId = QStringLiteral("0");
        col.Name = name;
        if (!CreateEmptyCollection(col)) return ApiReply::Text({});
        return ApiReply::Text(col.Id.toLatin1() + "\r\n");
    }
    return ApiReply::Text({}, "text/plain; charset=utf-8");
}
