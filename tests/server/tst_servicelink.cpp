// The server link against the real tavlora-service: sign-in, every typed operation, the queued
// commands and the polling thread, uploads and downloads, and the settings holder's sign-in.

#include "ParamsFile.h"
#include "ServerFixture.h"
#include "TAPIGetThread.h"
#include "TConfig.h"
#include "TestRegistry.h"
#include "TextFile.h"
#include "TSignInUi.h"
#include "TThreadGetBoards.h"
#include "TVLApiText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

using namespace ServerFixture;

namespace {

const QString kStart = QStringLiteral("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
// The service's chess core writes the en-passant square after a double step.
const QString kAfterE4 =
    QStringLiteral("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");

QJsonObject Json(const TNameValueList& list)
{
    return QJsonDocument::fromJson(list.Text().toUtf8()).object();
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Md5(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

// The confirmation-code dialog as a script: each showing answers with the next step.
class TScriptedUi : public TSignInUi
{
public:
    enum class TStep
    {
        TypeCode,  // the newest code from the outbox
        TypeWrong, // a code the service refuses, then the frame is closed
        Close,     // the window frame: neither flag
        Abort,
    };

    TScriptedUi(const TServiceProcess& service, QList<TStep> steps)
        : FService(service), FSteps(std::move(steps))
    {
    }

    int Created = 0;
    int Shown = 0;
    int Registers = 0;

    std::unique_ptr<TCheckCodePrompt> CreateCheckCode(TTVLApiClient& client,
                                                      const QString& email) override
    {
        ++Created;
        return std::make_unique<TPrompt>(*this, client, email);
    }
    void ShowRegister(TTVLApiClient&) override { ++Registers; }

private:
    class TPrompt : public TCheckCodePrompt
    {
    public:
        TPrompt(TScriptedUi& ui, TTVLApiClient& client, const QString& email)
            : FUi(ui), FClient(client), FEMail(email)
        {
        }
        TCheckCodeResult ShowModal() override
        {
            ++FUi.Shown;
            const TStep step = FUi.FSteps.isEmpty() ? TStep::Abort : FUi.FSteps.takeFirst();
            switch (step) {
            case TStep::TypeCode:
                return {FClient.CheckCodeConfirm(FUi.FService.LatestCode()), false};
            case TStep::TypeWrong: {
                const QString right = FUi.FService.LatestCode();
                const QString wrong = right == "000000" ? "000001" : "000000";
                return {FClient.CheckCodeConfirm(wrong), false};
            }
            case TStep::Close:
                return {false, false};
            default:
                return {false, true};
            }
        }

    private:
        TScriptedUi& FUi;
        TTVLApiClient& FClient;
        QString FEMail;
    };

    const TServiceProcess& FService;
    QList<TStep> FSteps;
};

} // namespace

class TestServiceLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void signInByCode_data();
    void signInByCode();
    void storedIdentityNeedsNoDialog();
    void signInByEMail();
    void everyOperation();
    void uploadsAndDownloads_data();
    void uploadsAndDownloads();
    void queuedTaskPushArrivesInOrder();
    void pollingThreadBringsStudentMoves();
    void settingsHolderSignsIn();
    void settingsHolderWithRefusedToken();

private:
    // A fresh account, signed in on a client of its own.
    std::unique_ptr<TTVLApiClient> SignedIn(QString* email = nullptr);
    QString NewEMail() { return QStringLiteral("teacher%1@school.example").arg(++FAccounts); }

    TServiceProcess FService;
    int FAccounts = 0;
};

void TestServiceLink::initTestCase()
{
    QVERIFY2(FService.Start(), qPrintable(FService.Log()));
}

std::unique_ptr<TTVLApiClient> TestServiceLink::SignedIn(QString* email)
{
    const QString address = NewEMail();
    if (email) *email = address;
    auto client = std::make_unique<TTVLApiClient>(FService.ApiBase());
    client->setRegCode(FService.AddAccount(address));
    if (!SignInByCode(*client, FService, address)) return nullptr;
    return client;
}

void TestServiceLink::signInByCode_data()
{
    using TStep = TScriptedUi::TStep;
    QTest::addColumn<QList<TStep>>("steps");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("shown");
    QTest::newRow("code typed") << QList<TStep>{TStep::TypeCode} << true << 1;
    QTest::newRow("closed by its frame, shown again")
        << QList<TStep>{TStep::Close, TStep::TypeCode} << true << 2;
    QTest::newRow("wrong code, then the right one")
        << QList<TStep>{TStep::TypeWrong, TStep::TypeCode} << true << 2;
    QTest::newRow("aborted") << QList<TStep>{TStep::Abort} << false << 1;
}

void TestServiceLink::signInByCode()
{
    QFETCH(QList<TScriptedUi::TStep>, steps);
    QFETCH(bool, connected);
    QFETCH(int, shown);
    const QString email = NewEMail();
    const QString regCode = FService.AddAccount(email);
    QVERIFY(TTVLApiClient::CheckUUID(regCode));
    TTVLApiClient client(FService.ApiBase());
    client.setRegCode(regCode);
    client.setToken(kToken); // a token the service does not know
    TScriptedUi ui(FService, steps);
    client.setSignInUi(&ui);
    const int mails = FService.OutboxCount();

    QCOMPARE(client.Connect(), connected);
    QCOMPARE(client.Connected(), connected);
    QCOMPARE(ui.Created, 1);
    QCOMPARE(ui.Shown, shown);
    QCOMPARE(ui.Registers, 0);
    // A fresh code was asked for when the dialog opened.
    QCOMPARE(FService.OutboxCount(), mails + 1);
    // Aborting keeps the account code.
    QCOMPARE(client.RegCode(), regCode);
    QCOMPARE(client.Token() != kToken, connected);
}

void TestServiceLink::storedIdentityNeedsNoDialog()
{
    const std::unique_ptr<TTVLApiClient> first = SignedIn();
    QVERIFY(first);
    TTVLApiClient client(FService.ApiBase());
    client.setRegCode(first->RegCode());
    client.setToken(first->Token());
    TScriptedUi ui(FService, {});
    client.setSignInUi(&ui);
    QVERIFY(client.Connect());
    QCOMPARE(ui.Created + ui.Registers, 0);
    // Each program instance has a connection of its own.
    QVERIFY(client.ConnectionID() != first->ConnectionID());
    // Connected already: nothing is asked again.
    QVERIFY(client.Connect());
    // No account code at all: the registration dialog.
    TTVLApiClient fresh(FService.ApiBase());
    fresh.setSignInUi(&ui);
    QVERIFY(!fresh.Connect());
    QCOMPARE(ui.Registers, 1);
}

void TestServiceLink::signInByEMail()
{
    const QString email = NewEMail();
    const QString regCode = FService.AddAccount(email);
    TTVLApiClient client(FService.ApiBase());
    QVERIFY(client.GetCodeToCheckEMail(email));
    QVERIFY(client.GetRegCodeByEMail(FService.LatestCode(email), email));
    QCOMPARE(client.RegCode().toLower(), regCode.toLower());
    QVERIFY(TTVLApiClient::CheckUUID(client.Token()));
    QVERIFY(client.Connect());
    // Without --open-registration an address without an account gets no code.
    QVERIFY(!client.GetCodeToCheckEMail("nobody@school.example"));
}

void TestServiceLink::everyOperation()
{
    const std::unique_ptr<TTVLApiClient> owner = SignedIn();
    QVERIFY(owner);
    TTVLApiClient& c = *owner;
    QVERIFY(c.CheckServer());
    QVERIFY(c.CheckActiveConnection());

    // Collections.
    QCOMPARE(c.GetCountCollections(), 0);
    const QString name = QString::fromUtf8("Эндшпиль / ладьи");
    const QString collection = c.CreateNewCollection(name, "Own");
    QVERIFY2(TTVLApiClient::Check13Digit(collection), qPrintable(collection));
    QCOMPARE(c.GetCountCollections(), 1);
    QVERIFY(c.SetOrderIdCollection(collection, 5));
    TNameValueList list;
    QVERIFY(c.GetCollections(list));
    const QJsonObject item = Json(list).value(collection).toObject();
    QCOMPARE(item.value("name_collection").toString(), name);
    QCOMPARE(item.value("order_id").toString(), "5");
    QVERIFY(c.LoadSchools(list));
    QVERIFY(Json(list).contains("Own"));

    // Rooms.
    const QString room = c.NewRoom(QString::fromUtf8(" Урок / 1 "));
    QVERIFY2(TTVLApiClient::Check10Digit(room), qPrintable(room));
    QVERIFY(c.RenameRoom(QString::fromUtf8("Урок 2"), room));
    QVERIFY(c.OpenRoom(room));
    QVERIFY(c.GetRooms(list));
    QCOMPARE(Json(list).value(room).toObject().value("name_room").toString(),
             QString::fromUtf8("Урок 2"));

    // A student joins; the workplace is the student's board.
    const TStudent student = JoinStudent(FService, room, QString::fromUtf8("Маша"));
    const QString w = student.WorkplaceId;
    QVERIFY2(TTVLApiClient::Check10Digit(w), qPrintable(w));
    QVERIFY(c.GetStudentsInRoom(room, list));
    QCOMPARE(Json(list).value(w).toString(), QString::fromUtf8("Маша"));
    QVERIFY(c.GetBoards(room, list));
    QVERIFY(Json(list).contains(w));
    QVERIFY(StudentGet(FService, "/student/alive/" + w, student.Key).value("success").toInt());
    const int age = c.GetTimeoutConnection(w);
    QVERIFY2(age >= 0 && age <= 5, qPrintable(QString::number(age)));
    QVERIFY(c.SetUserName(QString::fromUtf8("Маша К."), w));
    QVERIFY(c.GetStudentsInRoom(room, list));
    QCOMPARE(Json(list).value(w).toString(), QString::fromUtf8("Маша К."));

    // Board parameters, read back as stored.
    QVERIFY(c.SetBoardParameter("position", w, kStart, false));
    QVERIFY(c.SetBoardParameter("en_moves", w, true, false));
    QVERIFY(c.SetBoardParameter("count_max_moves", w, 3, false));
    QVERIFY(
        c.SetBoardParameter("puzzle_task", w, QString::fromUtf8("Мат в 2 ходa #1 / 100%"), false));
    QCOMPARE(c.GetParameterFromBoard(w, "position"), kStart);
    QCOMPARE(c.GetParameterFromBoard(w, "en_moves"), "1");
    QCOMPARE(c.GetParameterFromBoard(w, "count_max_moves"), "3");
    QCOMPARE(c.GetParameterFromBoard(w, "puzzle_task"),
             QString::fromUtf8("Мат в 2 ходa #1 / 100%"));
    QCOMPARE(c.GetParameterFromBoard(w, "never_set"), "-");

    // The reload makes the stored position current; a manual move is played on it.
    QVERIFY(c.ReloadBoard(w, false));
    QVERIFY(c.GetDataFromBoard(w, list));
    QCOMPARE(TVLApi::UnescapeSnapshot(Json(list).value("current_position").toString()), kStart);
    QVERIFY(c.SendManualMove(w, "e2e4", kStart, true, false));
    QVERIFY(c.GetDataFromBoard(w, list));
    QCOMPARE(TVLApi::UnescapeSnapshot(Json(list).value("current_position").toString()), kAfterE4);
    QCOMPARE(c.GetParameterFromBoard(w, "disable_next_move"), "1");
    QVERIFY(c.UpdateBoard(w, false));

    // The engine answers the position.
    const QString move = c.GetMove(kAfterE4);
    QVERIFY2(move.size() == 4 || move.size() == 5,
             qPrintable(move + "\n" + FService.Log().right(400)));
}

void TestServiceLink::uploadsAndDownloads_data()
{
    QTest::addColumn<bool>("room");
    QTest::newRow("collection") << false;
    QTest::newRow("room") << true;
}

void TestServiceLink::uploadsAndDownloads()
{
    QFETCH(bool, room);
    const std::unique_ptr<TTVLApiClient> owner = SignedIn();
    QVERIFY(owner);
    TTVLApiClient& c = *owner;
    const QString id = room ? c.NewRoom("Room") : c.CreateNewCollection("Tasks", "Own");
    QVERIFY(!id.isEmpty());
    QTemporaryDir dir;
    const QString local = dir.filePath(id + (room ? ".room" : ".tvl"));
    const auto download = [&] {
        return room ? c.DownloadRoom(id, local) : c.DownloadCollection(id, local);
    };
    const auto md5OnServer = [&] {
        TNameValueList list;
        if (!(room ? c.GetRooms(list) : c.GetCollections(list))) return QString();
        return Json(list).value(id).toObject().value("md5_hash").toString();
    };

    // The service's new file, written as UTF-8 with BOM and CR LF.
    QVERIFY(download());
    const QByteArray fresh = ReadAll(local);
    QVERIFY(fresh.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(Md5(fresh), md5OnServer());

    const QByteArray changed =
        room ? TextFile::EncodeUtf8Bom(QStringList{"NameRoom=Room", "Collection1=1718000000001"})
             : TextFile::EncodeUtf8Bom(QStringList{
                   "#Tasks", "#EPD", kStart, QString::fromUtf8("8/8/8/8/8/8/8/8 w - - bm Кf7;")});
    QVERIFY(TextFile::WriteBytes(local, changed));
    QVERIFY(room ? c.UploadRoom(local) : c.UploadCollection(local));
    QVERIFY(!QFile::exists(local)); // taken, so deleted
    QCOMPARE(md5OnServer(), Md5(changed));
    QVERIFY(download());
    QCOMPARE(ReadAll(local), changed);

    // A download the service refuses leaves the file as it is.
    const QString other = dir.filePath("other");
    QVERIFY(TextFile::WriteBytes(other, "mine"));
    QVERIFY(!(room ? c.DownloadRoom("1000000000", other)
                   : c.DownloadCollection("1000000000000", other)));
    QCOMPARE(ReadAll(other), "mine");
}

void TestServiceLink::queuedTaskPushArrivesInOrder()
{
    const std::unique_ptr<TTVLApiClient> owner = SignedIn();
    QVERIFY(owner);
    TTVLApiClient& c = *owner;
    const QString room = c.NewRoom("Lesson");
    const TStudent student = JoinStudent(FService, room, "Petya");
    const QString w = student.WorkplaceId;
    QVERIFY(TTVLApiClient::Check10Digit(w));

    // A task push: marks, arrows, rules, position, and the reload last; the counter is set
    // three times, so only the order leaves "3".
    const QString position = QStringLiteral("4k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    c.SetBoardParameter("selected", w, "-", true);
    c.SetBoardParameter("arrows", w, "5254", true);
    c.SetBoardParameter("danger_arrows", w, "-", true);
    c.SetBoardParameter("white_arrows", w, "-", true);
    c.SetBoardParameter("black_arrows", w, "-", true);
    c.SetBoardParameter("answer", w, "teacher", true);
    c.SetBoardParameter("count_max_moves", w, 1, true);
    c.SetBoardParameter("count_max_moves", w, 2, true);
    c.SetBoardParameter("count_max_moves", w, 3, true);
    c.SetBoardParameter("en_moves", w, true, true);
    c.SetBoardParameter("orientation", w, "w", true);
    c.SetBoardParameter("position", w, position, true);
    c.ReloadBoard(w, true);
    QCOMPARE(c.QueueGetList().size(), 13);

    TAPIGetThread thread(c);
    thread.setToken(c.Token());
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(c.QueueGetList().isEmpty(), 5000);
    // The reload is the last one sent; once the position is current, all have arrived.
    TNameValueList data;
    QTRY_VERIFY(c.GetDataFromBoard(w, data) &&
                TVLApi::UnescapeSnapshot(Json(data).value("current_position").toString()) ==
                    position);
    QCOMPARE(c.GetParameterFromBoard(w, "count_max_moves"), "3");
    QCOMPARE(c.GetParameterFromBoard(w, "arrows"), "5254");
    QCOMPARE(c.GetParameterFromBoard(w, "orientation"), "w");
    QCOMPARE(c.GetParameterFromBoard(w, "position"), position);
}

void TestServiceLink::pollingThreadBringsStudentMoves()
{
    const std::unique_ptr<TTVLApiClient> owner = SignedIn();
    QVERIFY(owner);
    TTVLApiClient& c = *owner;
    const QString room = c.NewRoom("Lesson");
    const TStudent student = JoinStudent(FService, room, "Petya");
    const QString w = student.WorkplaceId;
    QVERIFY(c.SetBoardParameter("position", w, kStart, false));
    QVERIFY(c.ReloadBoard(w, false));
    QVERIFY(
        StudentGet(FService, "/student/move/" + w + "/e2e4", student.Key).value("success").toInt());

    TTestRoom lesson;
    TTestBoard& board = lesson.AddBoard(w);
    // "updated" came three times before the thread got to it.
    for (int i = 0; i < 3; ++i)
        lesson.Queue.Add(w);
    TThreadGetBoards thread(false, c.Token(), lesson, c.ApiBase());
    QTRY_COMPARE(board.Draws, 1);
    QCOMPARE(board.CurrentFEN, kAfterE4);
    // The notation is the service's; it arrives unescaped as the service keeps it.
    TNameValueList data;
    QVERIFY(c.GetDataFromBoard(w, data));
    const QString moves = Json(data).value("moves").toString();
    QVERIFY2(moves.contains("e4"), qPrintable(moves));
    QCOMPARE(board.Moves, TVLApi::UnescapeSnapshot(moves));
    QCOMPARE(board.BoardStatus, "");
    QTest::qWait(200);
    QCOMPARE(board.Draws, 1);
    QVERIFY(thread.StopAndWait(1000));
}

void TestServiceLink::settingsHolderSignsIn()
{
    const std::unique_ptr<TTVLApiClient> first = SignedIn();
    QVERIFY(first);
    QTemporaryDir root;
    const QString exe = root.filePath("bin/");
    const QString documents = root.filePath("home/");
    QDir().mkpath(exe);
    QDir().mkpath(documents);
    QVERIFY(
        ParamsFile::Save(exe + "params.dat",
                         TNameValueList({"RegCode=" + first->RegCode(), "Token=" + first->Token(),
                                         "ServerAddress=" + FService.ApiBase().toString()})));

    auto config = std::make_unique<TConfig>(exe, documents);
    config->LoadParams();
    QVERIFY(config->SignIn(nullptr));
    TTVLApiClient* client = config->APIClient();
    QVERIFY(client && client->Connected());
    QCOMPARE(client->ApiBase(), FService.ApiBase());
    QCOMPARE(client->LiveLinkBase().port(), 13207);

    TNameValueList saved;
    QCOMPARE(ParamsFile::Load(exe + "params.dat", saved), ParamsFile::TLoad::Loaded);
    QCOMPARE(saved.Value("RegCode"), first->RegCode());
    QCOMPARE(saved.Value("Token"), first->Token());

    // The background thread runs with the token and sends what is queued.
    TAPIGetThread* thread = client->ThreadAPIGet();
    QVERIFY(thread && thread->isRunning());
    QCOMPARE(thread->Token(), first->Token());
    const QString room = client->NewRoom("Lesson");
    const QString w = JoinStudent(FService, room, "Petya").WorkplaceId;
    client->SetBoardParameter("answer", w, "engine", true);
    QTRY_COMPARE(client->GetParameterFromBoard(w, "answer"), "engine");

    // The end of the run: the holder goes, and with it the client and its thread.
    QElapsedTimer clock;
    clock.start();
    config.reset();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

void TestServiceLink::settingsHolderWithRefusedToken()
{
    const QString regCode = FService.AddAccount(NewEMail());
    QTemporaryDir root;
    const QString exe = root.filePath("bin/");
    QDir().mkpath(exe);
    const TNameValueList stored({"RegCode=" + regCode, "Token=" + kToken,
                                 "ServerAddress=" + FService.ApiBase().toString()});
    QVERIFY(ParamsFile::Save(exe + "params.dat", stored));
    TConfig config(exe, root.filePath("home/"));
    config.LoadParams();
    // Without dialogs a refused token cannot be replaced: no connection, nothing started.
    QVERIFY(!config.SignIn(nullptr));
    QVERIFY(!config.APIClient()->Connected());
    QVERIFY(!config.APIClient()->ThreadAPIGet());
    TNameValueList saved;
    ParamsFile::Load(exe + "params.dat", saved);
    QCOMPARE(saved.Value("Token"), kToken);
}

TAVLORA_REGISTER_TEST(TestServiceLink);
#include "tst_servicelink.moc"
