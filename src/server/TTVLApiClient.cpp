#include "TTVLApiClient.h"

#include "NetText.h"
#include "ServerLog.h"
#include "TAPIGetThread.h"
#include "TextFile.h"
#include "THttpClient.h"
#include "TSignInUi.h"
#include "TVLApiText.h"

#include <limits>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

Q_LOGGING_CATEGORY(lcServer, "tavlora.server")

using TVLApi::EncodeSegment;

namespace {

// Uploads carry a whole file: connecting may take a moment longer, sending clearly longer.
constexpr int kUploadConnectTimeoutMs = 2000;
constexpr int kUploadReadTimeoutMs = 15000;

bool AllDigits(const QString& value, int count)
{
    if (value.size() != count) return false;
    for (const QChar c : value)
        if (c < u'0' || c > u'9') return false;
    return true;
}

// A confirmation code: six characters that read as an integer other than -1.
bool CheckCode(const QString& code)
{
    qint64 value = 0;
    return code.size() == 6 && TVLApi::ReadInt64(code, value) && value != -1;
}

QString Md5Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QString Path(std::initializer_list<QString> segments)
{
    QString path;
    for (const QString& segment : segments)
        path += u'/' + segment;
    return path;
}

} // namespace

TTVLApiClient::TTVLApiClient(const QUrl& apiBase, QObject* parent)
    : QObject(parent), FApiBase(apiBase)
{
}

TTVLApiClient::~TTVLApiClient()
{
    if (FThreadAPIGet) {
        FThreadAPIGet->StopAndWait();
        delete FThreadAPIGet.data();
    }
}

QUrl TTVLApiClient::ApiBase() const
{
    QMutexLocker lock(&FIdentityLock);
    return FApiBase;
}

void TTVLApiClient::setApiBase(const QUrl& base)
{
    QMutexLocker lock(&FIdentityLock);
    FApiBase = base;
}

QUrl TTVLApiClient::LiveLinkBase() const
{
    QMutexLocker lock(&FIdentityLock);
    return FLiveLinkBase;
}

void TTVLApiClient::setLiveLinkBase(const QUrl& base)
{
    QMutexLocker lock(&FIdentityLock);
    FLiveLinkBase = base;
}

int TTVLApiClient::ReadTimeoutMs() const
{
    QMutexLocker lock(&FIdentityLock);
    return FReadTimeoutMs;
}

void TTVLApiClient::setReadTimeoutMs(int ms)
{
    QMutexLocker lock(&FIdentityLock);
    FReadTimeoutMs = ms;
}

QString TTVLApiClient::Token() const
{
    QMutexLocker lock(&FIdentityLock);
    return FToken;
}

void TTVLApiClient::setToken(const QString& token)
{
    QMutexLocker lock(&FIdentityLock);
    FToken = CheckUUID(token) ? token : QString();
}

QString TTVLApiClient::RegCode() const
{
    QMutexLocker lock(&FIdentityLock);
    return FRegCode;
}

void TTVLApiClient::setRegCode(const QString& code)
{
    QMutexLocker lock(&FIdentityLock);
    FRegCode = CheckUUID(code) ? code : QString();
}

QString TTVLApiClient::ConnectionID() const
{
    QMutexLocker lock(&FIdentityLock);
    return FConnectionID;
}

void TTVLApiClient::setConnectionID(const QString& id)
{
    QMutexLocker lock(&FIdentityLock);
    FConnectionID = Check10Digit(id) ? id : QString();
}

bool TTVLApiClient::CheckUUID(const QString& Value)
{
    if (Value.size() != 36) return false;
    const QString upper = Value.toUpper();
    for (int i = 0; i < 36; ++i) {
        const QChar c = upper.at(i);
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != u'-') return false;
        } else if (!QStringLiteral("0123456789ABCDEF").contains(c)) {
            return false;
        }
    }
    return true;
}

bool TTVLApiClient::Check10Digit(const QString& Value)
{
    return AllDigits(Value, 10);
}

bool TTVLApiClient::Check13Digit(const QString& Value)
{
    return AllDigits(Value, 13);
}

bool TTVLApiClient::CheckEMail(const QString& Value)
{
    Q_UNUSED(Value);
    return true;
}

bool TTVLApiClient::CheckConnected() const
{
    return Check10Digit(ConnectionID());
}

bool TTVLApiClient::Guard() const
{
    QMutexLocker lock(&FIdentityLock);
    return CheckUUID(FRegCode) && CheckUUID(FToken);
}

THttpResult TTVLApiClient::Get(const QString& Addr, int Timeout,
                               const std::shared_ptr<THttpCancel>& cancel)
{
    QMutexLocker lock(&CS);
    THttpOptions options;
    options.ConnectTimeoutMs = Timeout;
    options.ReadTimeoutMs = ReadTimeoutMs();
    options.Headers = TVLApi::RequestHeaders(Token());
    options.Cancel = cancel;
    THttpResult result = THttpClient::Get(TVLApi::RequestUrl(ApiBase(), Addr), options);
    if (!result.Ok() && result.Failure != THttpResult::TFailure::Http)
        qCInfo(lcServer).noquote() << "GET" << Addr << "failed:" << result.ErrorText;
    return result;
}

QString TTVLApiClient::APIGet(const QString& Addr, int Timeout)
{
    return TVLApi::ReplyText(Get(Addr, Timeout, {}));
}

QString TTVLApiClient::APIPostFile(const QString& Addr, const QString& FileName,
                                   const QByteArray& content, bool DeleteAfter,
                                   const std::shared_ptr<THttpCancel>& cancel)
{
    QMutexLocker lock(&CS);
    THttpFilePart part;
    part.FieldName = QStringLiteral("file");
    part.FileName = QFileInfo(FileName).fileName();
    part.Content = content;

    THttpOptions options;
    options.ConnectTimeoutMs = kUploadConnectTimeoutMs;
    options.ReadTimeoutMs = kUploadReadTimeoutMs;
    options.Cancel = cancel;
    const QString token = Token();
    if (!token.isEmpty()) options.Headers.append({QByteArrayLiteral("TVLToken"), token.toUtf8()});
    const THttpResult result =
        THttpClient::PostMultipart(TVLApi::RequestUrl(ApiBase(), Addr), {}, part, options);
    if (!result.Ok() && result.Failure != THttpResult::TFailure::Http) {
        qCInfo(lcServer).noquote() << "POST" << Addr << "failed:" << result.ErrorText;
        return QString();
    }
    QString reply = TVLApi::CrLfLines(result.Text());

    QJsonObject object;
    int success = 0;
    if (!NetText::ParseJsonObject(reply.toUtf8(), object) || !TVLApi::ReadSuccess(object, success))
        return QString::fromLatin1(TVLApi::kJsonError);
    if (success == 1 && DeleteAfter) {
        // A file rewritten while it was on its way holds a newer change: it stays for the
        // next upload.
        QFile now(FileName);
        if (now.open(QIODevice::ReadOnly) && now.readAll() == part.Content) {
            now.close();
            if (!QFile::remove(FileName))
                qCWarning(lcServer).noquote() << "upload: cannot delete" << FileName;
        } else {
            qCInfo(lcServer).noquote() << "upload:" << FileName << "changed meanwhile; kept";
        }
    }
    return reply;
}

TTVLApiClient::TRead TTVLApiClient::Request(const QString& path, QJsonObject& reply,
                                            const QStringList& members,
                                            const std::shared_ptr<THttpCancel>& cancel)
{
    const QString text = TVLApi::ReplyText(Get(path, kConnectTimeoutMs, cancel));
    int success = 0;
    if (!NetText::ParseJsonObject(text.toUtf8(), reply) || !TVLApi::ReadSuccess(reply, success))
        return TRead::Error;
    if (success != 1) {
        qCDebug(lcServer).noquote()
            << path << "refused:" << TVLApi::MemberText(reply, QStringLiteral("errorDescription"));
        return TRead::Refused;
    }
    for (const QString& member : members)
        if (!reply.contains(member)) return TRead::Error;
    return TRead::Success;
}

TTVLApiClient::TRead TTVLApiClient::RequestList(const QString& path, TNameValueList& list,
                                                bool onlyOnSuccess)
{
    const QString text = APIGet(path, kConnectTimeoutMs);
    QJsonObject reply;
    if (!NetText::ParseJsonObject(text.toUtf8(), reply) || !reply.contains(u"success"))
        return TRead::Error;
    int success = 0;
    const bool read = TVLApi::ReadSuccess(reply, success);
    // Some lists are handed on whatever "success" says; their callers look at the result.
    if (!onlyOnSuccess || (read && success == 1)) list.SetText(text);
    if (!read) return TRead::Error;
    return success == 1 ? TRead::Success : TRead::Refused;
}

bool TTVLApiClient::SendOrQueue(const QString& path, bool InThread)
{
    if (InThread) {
        FQueueGetList.append(path);
        return false;
    }
    QJsonObject reply;
    return Request(path, reply) == TRead::Success;
}

TAPIGetThread* TTVLApiClient::ThreadAPIGet() const
{
    return FThreadAPIGet.data();
}

void TTVLApiClient::setThreadAPIGet(TAPIGetThread* thread)
{
    FThreadAPIGet = thread;
}

QString TTVLApiClient::TakeQueued()
{
    return FQueueGetList.isEmpty() ? QString() : FQueueGetList.takeFirst();
}

// ------------------------------------------------------------------ connection

bool TTVLApiClient::Connect()
{
    if (CheckConnected()) return true;
    if (CheckUUID(RegCode())) {
        if (CheckUUID(Token())) GetConnectionIDByToken();
        if (!CheckConnected() && FSignInUi) {
            try {
                // Freed (and its reference cleared) on every way out of this block.
                const std::unique_ptr<TSignInUi::TCheckCodePrompt> prompt =
                    FSignInUi->CreateCheckCode(*this, QString());
                GetCodeToCheckOwner();
                do {
                    const TSignInUi::TCheckCodeResult result = prompt->ShowModal();
                    if (result.Success)
                        GetConnectionIDByToken();
                    else if (result.BreakFlag)
                        break;
                    // Closed by its frame: shown again.
                } while (!CheckConnected());
            } catch (const std::exception& error) {
                qCWarning(lcServer) << "sign-in:" << error.what();
            }
        }
    } else if (FSignInUi) {
        try {
            FSignInUi->ShowRegister(*this);
        } catch (const std::exception& error) {
            qCWarning(lcServer) << "sign-in:" << error.what();
        }
    }
    return CheckConnected();
}

bool TTVLApiClient::CheckServer(const std::shared_ptr<THttpCancel>& Cancel)
{
    QJsonObject reply;
    return Request(QStringLiteral("/"), reply, {}, Cancel) == TRead::Success;
}

bool TTVLApiClient::CheckActiveConnection()
{
    // The connection id goes into the path: without one the request is pointless.
    const QString id = ConnectionID();
    if (!Guard() || !Check10Digit(id)) return false;
    QJsonObject reply;
    return Request(Path({QStringLiteral("workplace"), QStringLiteral("active"), id}), reply) ==
           TRead::Success;
}

bool TTVLApiClient::GetCodeToCheckOwner()
{
    const QString code = RegCode();
    if (!CheckUUID(code)) return false;
    QJsonObject reply;
    const TRead read = Request(Path({QStringLiteral("user"), QStringLiteral("code"),
                                     QStringLiteral("new"), EncodeSegment(code)}),
                               reply);
    if (read == TRead::Error) setConnectionID(QString());
    return read == TRead::Success;
}

bool TTVLApiClient::CheckCodeConfirm(const QString& Code)
{
    const QString regCode = RegCode();
    if (!CheckUUID(regCode) || !CheckCode(Code)) return false;
    QJsonObject reply;
    const TRead read =
        Request(Path({QStringLiteral("user"), QStringLiteral("code"), QStringLiteral("check"),
                      EncodeSegment(regCode), EncodeSegment(Code)}),
                reply, {QStringLiteral("token")});
    if (read == TRead::Error) setConnectionID(QString());
    if (read != TRead::Success) return false;
    setToken(TVLApi::MemberText(reply, QStringLiteral("token")));
    return true;
}

bool TTVLApiClient::GetCodeToCheckEMail(const QString& EMail)
{
    if (!CheckEMail(EMail)) return false;
    QJsonObject reply;
    return Request(Path({QStringLiteral("user"), QStringLiteral("code"),
                         QStringLiteral("new_by_email"), EncodeSegment(EMail)}),
                   reply) == TRead::Success;
}

bool TTVLApiClient::GetRegCodeByEMail(const QString& Code, const QString& EMail)
{
    if (!CheckEMail(EMail) || !CheckCode(Code)) return false;
    QJsonObject reply;
    if (Request(Path({QStringLiteral("user"), QStringLiteral("reg_code_by_email"),
                      EncodeSegment(EMail), EncodeSegment(Code)}),
                reply, {QStringLiteral("reg_code"), QStringLiteral("token")}) != TRead::Success)
        return false;
    setRegCode(TVLApi::MemberText(reply, QStringLiteral("reg_code")));
    setToken(TVLApi::MemberText(reply, QStringLiteral("token")));
    return true;
}

bool TTVLApiClient::GetConnectionIDByToken()
{
    if (!Guard()) return false;
    QJsonObject reply;
    const TRead read =
        Request(Path({QStringLiteral("user"), QStringLiteral("token"), EncodeSegment(RegCode())}),
                reply, {QStringLiteral("connection_id")});
    if (read == TRead::Error) setConnectionID(QString());
    if (read != TRead::Success) return false;
    const QString id = TVLApi::MemberText(reply, QStringLiteral("connection_id"));
    if (!Check10Digit(id)) return false;
    setConnectionID(id);
    return true;
}

// ------------------------------------------------------------------ collections and schools

int TTVLApiClient::GetCountCollections()
{
    if (!Guard()) return 0;
    QJsonObject reply;
    if (Request(QStringLiteral("/collection/count"), reply, {QStringLiteral("count")}) !=
        TRead::Success)
        return 0;
    qint64 count = 0;
    if (!TVLApi::ReadInt64(TVLApi::MemberText(reply, QStringLiteral("count")), count) ||
        count < std::numeric_limits<int>::min() || count > std::numeric_limits<int>::max())
        return 0;
    return int(count);
}

bool TTVLApiClient::GetCollections(TNameValueList& ToSL)
{
    if (!Guard()) return false;
    return RequestList(QStringLiteral("/collection/list"), ToSL, true) == TRead::Success;
}

QString TTVLApiClient::CreateNewCollection(const QString& NameCollection,
                                           const QString& ParentCollectionId)
{
    if (!Guard()) return QString();
    QJsonObject reply;
    if (Request(Path({QStringLiteral("collection"), QStringLiteral("new"),
                      EncodeSegment(ParentCollectionId), EncodeSegment(NameCollection)}),
                reply, {QStringLiteral("collection_id")}) != TRead::Success)
        return QString();
    const QString id = TVLApi::MemberText(reply, QStringLiteral("collection_id"));
    qint64 value = 0;
    return TVLApi::ReadInt64(id, value) && value != 0 ? id : QString();
}

bool TTVLApiClient::SetOrderIdCollection(const QString& CollectionID, int NewOrderId)
{
    if (!Guard() || !Check13Digit(CollectionID)) return false;
    QJsonObject reply;
    return Request(Path({QStringLiteral("collection"), QStringLiteral("setOrder"), CollectionID,
                         QString::number(NewOrderId)}),
                   reply) == TRead::Success;
}

bool TTVLApiClient::Download(const QString& path, const QString& SaveTo)
{
    const THttpResult result = Get(path, kConnectTimeoutMs, {});
    // An error status carries a proxy's or server's error page, not the file.
    if (!result.Ok()) {
        if (result.Failure == THttpResult::TFailure::Http)
            qCInfo(lcServer).noquote() << path << "answered with status" << result.Status;
        return false;
    }
    const QString reply = TVLApi::ReplyText(result);
    if (TVLApi::IsBuiltInFailure(reply)) return false;
    // A refusal is the service's envelope, not the file: writing it would replace the file.
    QJsonObject object;
    if (NetText::ParseJsonObject(reply.toUtf8(), object) && object.contains(u"success") &&
        !TVLApi::IsSuccess(object)) {
        qCInfo(lcServer).noquote()
            << path << "refused:" << TVLApi::MemberText(object, QStringLiteral("errorDescription"));
        return false;
    }
    QString error;
    if (!TextFile::WriteBytes(SaveTo, TextFile::EncodeUtf8Bom(TextFile::SplitLines(reply)),
                              &error)) {
        qCWarning(lcServer).noquote() << "download: cannot write" << SaveTo << error;
        return false;
    }
    return true;
}

bool TTVLApiClient::DownloadCollection(const QString& CollectionID, const QString& SaveTo)
{
    if (!Guard()) return false;
    return Download(
        Path({QStringLiteral("collection"), QStringLiteral("get"), EncodeSegment(CollectionID)}),
        SaveTo);
}

bool TTVLApiClient::Upload(const QString& FileName, const QString& extension, const QString& prefix,
                           const std::shared_ptr<THttpCancel>& cancel)
{
    if (!Guard() || !QFileInfo(FileName).isFile()) return false;
    const QStringList parts = QFileInfo(FileName).fileName().split(u'.');
    qint64 id = 0;
    if (parts.size() != 2 || !TVLApi::ReadInt64(parts[0], id) || id == 0 ||
        parts[1].toLower() != extension)
        return false;
    // Read once: the digest in the address must be that of the very bytes sent, even when the
    // file is saved again meanwhile.
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcServer).noquote() << "upload: cannot read" << FileName << file.errorString();
        return false;
    }
    const QByteArray content = file.readAll();
    file.close();
    const QString reply = APIPostFile(prefix + EncodeSegment(parts[0]) + u'/' + Md5Hex(content),
                                      FileName, content, true, cancel);
    QJsonObject object;
    return NetText::ParseJsonObject(reply.toUtf8(), object) && TVLApi::IsSuccess(object);
}

bool TTVLApiClient::UploadCollection(const QString& FileName,
                                     const std::shared_ptr<THttpCancel>& Cancel)
{
    return Upload(FileName, QStringLiteral("tvl"), QStringLiteral("/collection/save/"), Cancel);
}

bool TTVLApiClient::LoadSchools(TNameValueList& ToSL)
{
    if (!Guard()) return false;
    return RequestList(QStringLiteral("/school/list"), ToSL, false) == TRead::Success;
}

// ------------------------------------------------------------------ rooms

bool TTVLApiClient::GetRooms(TNameValueList& ToSL)
{
    if (!Guard()) return false;
    return RequestList(QStringLiteral("/room/list"), ToSL, false) == TRead::Success;
}

QString TTVLApiClient::NewRoom(const QString& NameRoom)
{
    if (!Guard() || NameRoom.trimmed().isEmpty()) return QString();
    QJsonObject reply;
    if (Request(Path({QStringLiteral("room"), QStringLiteral("new"), EncodeSegment(NameRoom)}),
                reply, {QStringLiteral("RoomId")}) != TRead::Success)
        return QString();
    const QString id = TVLApi::MemberText(reply, QStringLiteral("RoomId"));
    qint64 value = 0;
    return TVLApi::ReadInt64(id, value) && value > 0 ? id : QString();
}

bool TTVLApiClient::RenameRoom(const QString& NameRoom, const QString& RoomId)
{
    if (!Guard() || NameRoom.trimmed().isEmpty() || !Check10Digit(RoomId)) return false;
    QJsonObject reply;
    return Request(Path({QStringLiteral("room"), QStringLiteral("rename"), RoomId,
                         EncodeSegment(NameRoom)}),
                   reply) == TRead::Success;
}

bool TTVLApiClient::OpenRoom(const QString& RoomID)
{
    if (!Guard() || !Check10Digit(RoomID)) return false;
    QJsonObject reply;
    return Request(Path({QStringLiteral("room"), RoomID}), reply) == TRead::Success;
}

bool TTVLApiClient::DownloadRoom(const QString& RoomID, const QString& SaveTo)
{
    if (!Guard()) return false;
    return Download(Path({QStringLiteral("room"), QStringLiteral("get"), EncodeSegment(RoomID)}),
                    SaveTo);
}

bool TTVLApiClient::UploadRoom(const QString& FileName, const std::shared_ptr<THttpCancel>& Cancel)
{
    return Upload(FileName, QStringLiteral("room"), QStringLiteral("/room/save/"), Cancel);
}

bool TTVLApiClient::GetStudentsInRoom(const QString& RoomID, TNameValueList& ToSL)
{
    if (!Guard()) return false;
    return RequestList(
               Path({QStringLiteral("room"), QStringLiteral("users"), EncodeSegment(RoomID)}), ToSL,
               true) == TRead::Success;
}

bool TTVLApiClient::GetBoards(const QString& RoomID, TNameValueList& ToSL)
{
    return RequestList(
               Path({QStringLiteral("room"), QStringLiteral("boards"), EncodeSegment(RoomID)}),
               ToSL, false) == TRead::Success;
}

// ------------------------------------------------------------------ workplaces

int TTVLApiClient::GetTimeoutConnection(const QString& BoardId)
{
    if (!Guard() || !Check10Digit(BoardId)) return -1;
    QJsonObject reply;
    if (Request(Path({QStringLiteral("workplace"), BoardId}), reply,
                {QStringLiteral("current"), QStringLiteral("connected"), QStringLiteral("mark")}) !=
        TRead::Success)
        return -1;
    qint64 current = 0, mark = 0;
    if (!TVLApi::ReadInt64(TVLApi::MemberText(reply, QStringLiteral("current")), current) ||
        !TVLApi::ReadInt64(TVLApi::MemberText(reply, QStringLiteral("mark")), mark) ||
        current <= 0 || mark <= 0)
        return -1;
    const qint64 age = current - mark;
    // Kept in 32 bits; an age beyond that reads as no connection rather than wrapping.
    if (age < std::numeric_limits<int>::min() || age > std::numeric_limits<int>::max()) return -1;
    return int(age);
}

bool TTVLApiClient::SetUserName(const QString& NewUserName, const QString& BoardId)
{
    if (!Guard() || !Check10Digit(BoardId)) return false;
    QJsonObject reply;
    return Request(Path({QStringLiteral("workplace"), QStringLiteral("setName"), BoardId,
                         EncodeSegment(NewUserName)}),
                   reply) == TRead::Success;
}

bool TTVLApiClient::SetBoardParameter(const QString& NameParameter, const QString& BoardId,
                                      const QString& Value, bool InThread)
{
    if (!Guard() || !Check10Digit(BoardId)) return false;
    return SendOrQueue(
        Path({QStringLiteral("workplace"), QStringLiteral("setParameter"), BoardId,
              EncodeSegment(NameParameter), EncodeSegment(TVLApi::EscapeParameter(Value))}),
        InThread);
}

bool TTVLApiClient::SetBoardParameter(const QString& NameParameter, const QString& BoardId,
                                      bool Value, bool InThread)
{
    return SetBoardParameter(NameParameter, BoardId,
                             Value ? QStringLiteral("1") : QStringLiteral("0"), InThread);
}

bool TTVLApiClient::SetBoardParameter(const QString& NameParameter, const QString& BoardId,
                                      int Value, bool InThread)
{
    return SetBoardParameter(NameParameter, BoardId, QString::number(Value), InThread);
}

bool TTVLApiClient::SendManualMove(const QString& BoardId, const QString& Move,
                                   const QString& Position, bool DisableNextMove, bool InThread)
{
    if (!Guard() || !Check10Digit(BoardId)) return false;
    return SendOrQueue(Path({QStringLiteral("workplace"), QStringLiteral("move"), BoardId,
                             EncodeSegment(Move), EncodeSegment(TVLApi::EscapePosition(Position)),
                             DisableNextMove ? QStringLiteral("1") : QStringLiteral("0")}),
                       InThread);
}

bool TTVLApiClient::ReloadBoard(const QString& BoardId, bool InThread)
{
    if (!Guard() || !Check10Digit(BoardId)) return false;
    return SendOrQueue(
        Path({QStringLiteral("workplace"), QStringLiteral("reloadPosition"), BoardId}), InThread);
}

bool TTVLApiClient::UpdateBoard(const QString& BoardId, bool InThread)
{
    if (!Guard()) return false;
    return SendOrQueue(
        Path({QStringLiteral("workplace"), QStringLiteral("updateBoard"), EncodeSegment(BoardId)}),
        InThread);
}

bool TTVLApiClient::GetDataFromBoard(const QString& BoardId, TNameValueList& ToSL)
{
    if (!Guard()) return false;
    QJsonObject reply;
    if (Request(
            Path({QStringLiteral("workplace"), QStringLiteral("download"), EncodeSegment(BoardId)}),
            reply, {QStringLiteral("data")}) != TRead::Success)
        return false;
    const QJsonValue data = reply.value(QLatin1String("data"));
    if (!data.isObject()) return false;
    ToSL.SetText(QString::fromUtf8(QJsonDocument(data.toObject()).toJson(QJsonDocument::Compact)));
    return true;
}

QString TTVLApiClient::GetParameterFromBoard(const QString& BoardId, const QString& Parameter)
{
    const QString none = QStringLiteral("-");
    if (!Guard()) return none;
    QJsonObject reply;
    if (Request(Path({QStringLiteral("workplace"), QStringLiteral("getParameterBoard"),
                      EncodeSegment(BoardId), EncodeSegment(Parameter)}),
                reply, {QStringLiteral("value")}) != TRead::Success)
        return none;
    return TVLApi::MemberText(reply, QStringLiteral("value"));
}

QString TTVLApiClient::GetMove(const QString& FEN)
{
    const QString id = ConnectionID();
    if (!Guard() || !Check10Digit(id)) return QString();
    QJsonObject reply;
    if (Request(Path({QStringLiteral("robot"), QStringLiteral("move"), id,
                      EncodeSegment(TVLApi::EscapePosition(FEN))}),
                reply, {QStringLiteral("move")}) != TRead::Success)
        return QString();
    return TVLApi::MemberText(reply, QStringLiteral("move"));
}
