#pragma once

#include "TNameValueList.h"

#include <memory>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

class TAPIGetThread;
class THttpCancel;
struct THttpResult;
class TSignInUi;

// The program's one client of the board service's JSON API: the account identity, the
// connection of this program instance, one typed operation per endpoint, and the queue of board
// commands that the background API thread sends.
//
// Requests run one at a time under the client's own lock, each for the whole exchange, so the
// upload thread and the UI thread never overlap. Callers: the UI thread (nearly everything) and
// the upload thread (CheckServer and the uploads). The queue is touched on the UI thread only:
// the background thread takes its head through a hand-off that the UI thread runs.
//
// The calls a worker thread makes take its cancel handle, so that stopping the thread ends
// the request it is in.
class TTVLApiClient : public QObject
{
    Q_OBJECT
public:
    // The connection time-out of every typed operation.
    static constexpr int kConnectTimeoutMs = 500;

    explicit TTVLApiClient(const QUrl& apiBase = QUrl(), QObject* parent = nullptr);
    // Stops the background API thread first (it hands off to this object).
    ~TTVLApiClient() override;

    // scheme://host:port of the JSON API; the live-link base (ws://host:port/ws/) is kept here
    // for the main window.
    QUrl ApiBase() const;
    void setApiBase(const QUrl& base);
    QUrl LiveLinkBase() const;
    void setLiveLinkBase(const QUrl& base);
    // How long a reply may take once connected; the design leaves it to us.
    int ReadTimeoutMs() const;
    void setReadTimeoutMs(int ms);

    // The identity. A write that is not of the identifier's form clears the field.
    QString Token() const;
    void setToken(const QString& token);
    QString RegCode() const;
    void setRegCode(const QString& code);
    QString ConnectionID() const;
    void setConnectionID(const QString& id);
    bool Connected() const { return CheckConnected(); }

    // GET of base + Addr with a connection time-out of Timeout ms: the reply text, or one of the
    // two built-in failure replies.
    QString APIGet(const QString& Addr, int Timeout);

    static bool CheckUUID(const QString& Value);
    static bool Check10Digit(const QString& Value);
    static bool Check13Digit(const QString& Value);
    // Every text passes; the service checks the address itself.
    static bool CheckEMail(const QString& Value);
    bool CheckConnected() const;

    // The sign-in with its dialogs (given by setSignInUi; without them only a stored account
    // code and token can connect). True when a connection identifier is held afterwards.
    bool Connect();
    void setSignInUi(TSignInUi* ui) { FSignInUi = ui; }
    TSignInUi* SignInUi() const { return FSignInUi; }

    bool CheckServer(const std::shared_ptr<THttpCancel>& Cancel = {});
    bool CheckActiveConnection();

    // Sign-in calls.
    bool GetCodeToCheckOwner();
    bool CheckCodeConfirm(const QString& Code);
    bool GetCodeToCheckEMail(const QString& EMail);
    bool GetRegCodeByEMail(const QString& Code, const QString& EMail);
    bool GetConnectionIDByToken();

    // Collections and schools.
    int GetCountCollections();
    bool GetCollections(TNameValueList& ToSL);
    QString CreateNewCollection(const QString& NameCollection, const QString& ParentCollectionId);
    bool SetOrderIdCollection(const QString& CollectionID, int NewOrderId);
    bool DownloadCollection(const QString& CollectionID, const QString& SaveTo);
    bool UploadCollection(const QString& FileName, const std::shared_ptr<THttpCancel>& Cancel = {});
    bool LoadSchools(TNameValueList& ToSL);

    // Rooms.
    bool GetRooms(TNameValueList& ToSL);
    QString NewRoom(const QString& NameRoom);
    bool RenameRoom(const QString& NameRoom, const QString& RoomId);
    bool OpenRoom(const QString& RoomID);
    bool DownloadRoom(const QString& RoomID, const QString& SaveTo);
    bool UploadRoom(const QString& FileName, const std::shared_ptr<THttpCancel>& Cancel = {});
    bool GetStudentsInRoom(const QString& RoomID, TNameValueList& ToSL);
    bool GetBoards(const QString& RoomID, TNameValueList& ToSL);

    // Workplaces. With InThread the command is queued for the background API thread and the
    // result is false.
    int GetTimeoutConnection(const QString& BoardId);
    bool SetUserName(const QString& NewUserName, const QString& BoardId);
    bool SetBoardParameter(const QString& NameParameter, const QString& BoardId,
                           const QString& Value, bool InThread);
    bool SetBoardParameter(const QString& NameParameter, const QString& BoardId, bool Value,
                           bool InThread);
    bool SetBoardParameter(const QString& NameParameter, const QString& BoardId, int Value,
                           bool InThread);
    // A literal would otherwise pick the boolean overload.
    bool SetBoardParameter(const QString& NameParameter, const QString& BoardId, const char* Value,
                           bool InThread)
    {
        return SetBoardParameter(NameParameter, BoardId, QString::fromUtf8(Value), InThread);
    }
    bool SendManualMove(const QString& BoardId, const QString& Move, const QString& Position,
                        bool DisableNextMove, bool InThread);
    bool ReloadBoard(const QString& BoardId, bool InThread);
    bool UpdateBoard(const QString& BoardId, bool InThread);
    bool GetDataFromBoard(const QString& BoardId, TNameValueList& ToSL);
    QString GetParameterFromBoard(const QString& BoardId, const QString& Parameter);
    QString GetMove(const QString& FEN);

    // Paths waiting for the background API thread, oldest first. UI thread only.
    const QStringList& QueueGetList() const { return FQueueGetList; }
    // The oldest queued path, taken out; empty when none waits. UI thread only.
    QString TakeQueued();

    // The background API thread, set by the settings holder after sign-in. The client stops it
    // when it is destroyed.
    TAPIGetThread* ThreadAPIGet() const;
    void setThreadAPIGet(TAPIGetThread* thread);

private:
    enum class TRead
    {
        Success, // "success" 1 and every member asked for is there
        Refused, // a JSON object whose "success" reads as another integer
        Error,   // no JSON object, no integer "success", or a member missing
    };
    // The GET under the client's lock, its result whole (APIGet reads it as text).
    THttpResult Get(const QString& Addr, int Timeout, const std::shared_ptr<THttpCancel>& cancel);
    // APIGet of the path and the envelope; on success reply holds the object.
    TRead Request(const QString& path, QJsonObject& reply, const QStringList& members = {},
                  const std::shared_ptr<THttpCancel>& cancel = {});
    // Like Request; also writes the whole reply into list when it was an object with "success".
    TRead RequestList(const QString& path, TNameValueList& list, bool onlyOnSuccess);
    bool Guard() const;
    bool SendOrQueue(const QString& path, bool InThread);
    // Sends content as the file FileName; with DeleteAfter the file goes once the service took
    // it, unless it no longer holds content.
    QString APIPostFile(const QString& Addr, const QString& FileName, const QByteArray& content,
                        bool DeleteAfter, const std::shared_ptr<THttpCancel>& cancel);
    bool Upload(const QString& FileName, const QString& extension, const QString& prefix,
                const std::shared_ptr<THttpCancel>& cancel);
    bool Download(const QString& path, const QString& SaveTo);

    // The identity and the addresses; read by the upload thread, hence their own lock.
    mutable QMutex FIdentityLock;
    QString FToken;
    QString FRegCode;
    QString FConnectionID;
    QUrl FApiBase;
    QUrl FLiveLinkBase;
    int FReadTimeoutMs = 5000;

    // Held for the whole of every request.
    QMutex CS;
    QStringList FQueueGetList;
    QPointer<TAPIGetThread> FThreadAPIGet;
    TSignInUi* FSignInUi = nullptr;
};
