// The real tavlora-service, spoken to over HTTP and WebSocket as the application speaks to it.

#include "ApiText.h"
#include "ServiceClient.h"
#include "TestRegistry.h"
#include "TServiceProcess.h"
#include "TSqliteStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <zlib.h>

namespace {

struct TTeacher
{
    QString Email;
    QString RegCode;
    QByteArray Token;
    QString ConnectionId;
};

// Sign-in by account code, with the code taken from the outbox.
TTeacher SignIn(TServiceProcess& service, const QString& email)
{
    TTeacher t;
    t.Email = email;
    t.RegCode = service.AddAccount(email);
    TClient client(service.ApiBase());
    if (!client.Get("/user/code/new/" + t.RegCode.toLatin1()).Success()) return t;
    const TReply check = client.Get("/user/code/check/" + t.RegCode.toLatin1() + "/" +
                                    service.LatestCode(email).toLatin1());
    t.Token = check.Member("token").toLatin1();
    client.setToken(t.Token);
    t.ConnectionId = client.Get("/user/token/" + t.RegCode.toLatin1()).Member("connection_id");
    return t;
}

QByteArray Bom(const QByteArray& text)
{
    return QByteArray("\xEF\xBB\xBF") + text;
}

QByteArray Md5(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

} // namespace

class TestService : public QObject
{
    Q_OBJECT

    TServiceProcess FService;
    TTeacher A, B;
    QString FRoom, FCollection, FWorkplace, FStudentKey;

    QByteArray Fill(QByteArray path) const
    {
        path.replace("{room}", FRoom.toLatin1())
            .replace("{col}", FCollection.toLatin1())
            .replace("{wp}", FWorkplace.toLatin1())
            .replace("{conn}", A.ConnectionId.toLatin1())
            .replace("{connB}", B.ConnectionId.toLatin1())
            .replace("{reg}", A.RegCode.toLatin1());
        return path;
    }
    TClient ClientOf(const TTeacher& t) const { return TClient(FService.ApiBase(), t.Token); }

private slots:
    void initTestCase()
    {
        QVERIFY2(FService.Start({"--keep-alive-seconds", "2"}), qPrintable(FService.Log()));
        A = SignIn(FService, "anna@school.example");
        B = SignIn(FService, "boris@school.example");
        QVERIFY(ApiText::CheckUUID(QString::fromLatin1(A.Token)));
        QVERIFY(ApiText::Check10Digit(A.ConnectionId));
        QVERIFY(ApiText::Check10Digit(B.ConnectionId));
        TClient a = ClientOf(A);
        FRoom = a.Get("/room/new/" + Seg(QString::fromUtf8("Šachy 5.A"))).Member("RoomId");
        FCollection = a.Get("/collection/new/Own/Mates").Member("collection_id");
        const TReply join = a.Get("/student/join/" + FRoom.toLatin1() + "/Eva");
        FWorkplace = join.Member("workplace_id");
        FStudentKey = join.Member("student_key");
        QVERIFY(ApiText::Check10Digit(FRoom));
        QVERIFY(ApiText::Check13Digit(FCollection));
        QVERIFY(ApiText::Check10Digit(FWorkplace));
    }

    void signInByEMail()
    {
        const QString email = "carla@school.example";
        const QString regCode = FService.AddAccount(email);
        QVERIFY(ApiText::CheckUUID(regCode));
        TClient client(FService.ApiBase());
        QVERIFY(client.Get("/user/code/new_by_email/" + Seg(email)).Success());
        const QString code = FService.LatestCode(email);
        QCOMPARE(code.size(), 6);
        const TReply reply =
            client.Get("/user/reg_code_by_email/" + Seg(email) + "/" + code.toLatin1());
        QVERIFY2(reply.Success(), reply.Body);
        QCOMPARE(reply.Member("reg_code"), regCode);
        client.setToken(reply.Member("token").toLatin1());
        QVERIFY(ApiText::Check10Digit(
            client.Get("/user/token/" + regCode.toLatin1()).Member("connection_id")));
        // A used code is gone.
        QVERIFY(
            !client.Get("/user/reg_code_by_email/" + Seg(email) + "/" + code.toLatin1()).Success());
        // Without open registration an unknown address gets no code.
        const int mails = FService.OutboxCount();
        QVERIFY(!client.Get("/user/code/new_by_email/nobody%40school.example").Success());
        QCOMPARE(FService.OutboxCount(), mails);
    }

    void openRegistration()
    {
        TServiceProcess service;
        QVERIFY(service.Start({"--open-registration"}));
        TClient client(service.ApiBase());
        QVERIFY(client.Get("/user/code/new_by_email/new%40school.example").Success());
        const TReply reply = client.Get("/user/reg_code_by_email/new%40school.example/" +
                                        service.LatestCode().toLatin1());
        QVERIFY2(reply.Success(), reply.Body);
        QVERIFY(ApiText::CheckUUID(reply.Member("reg_code")));
        // The same address later finds the same account.
        QCOMPARE(service.AddAccount("new@school.example"), reply.Member("reg_code"));
    }

    void fiveWrongTriesEndTheCode()
    {
        TClient client(FService.ApiBase());
        const QByteArray reg = A.RegCode.toLatin1();
        QVERIFY(client.Get("/user/code/new/" + reg).Success());
        const QString code = FService.LatestCode(A.Email);
        const QByteArray wrong =
            QByteArray::number((code.toInt() + 1) % 1000000).rightJustified(6, '0');
        for (int i = 0; i < 5; ++i) {
            const TReply reply = client.Get("/user/code/check/" + reg + "/" + wrong);
            QVERIFY(!reply.Success());
            QCOMPARE(reply.Member("errorDescription"), QString("Wrong code"));
        }
        QVERIFY(!client.Get("/user/code/check/" + reg + "/" + code.toLatin1()).Success());
        // Malformed codes are refused without counting as a try.
        QVERIFY(client.Get("/user/code/new/" + reg).Success());
        for (const char* bad : {"12345", "12a456", "1234567", "-12345"})
            QVERIFY(!client.Get("/user/code/check/" + reg + "/" + bad).Success());
        QVERIFY(
            client.Get("/user/code/check/" + reg + "/" + FService.LatestCode(A.Email).toLatin1())
                .Success());
    }

    void codesExpire()
    {
        TServiceProcess service;
        QVERIFY(service.Start({"--code-ttl-seconds", "1"}));
        const QByteArray reg = service.AddAccount("dan@school.example").toLatin1();
        TClient client(service.ApiBase());
        QVERIFY(client.Get("/user/code/new/" + reg).Success());
        const QByteArray old = service.LatestCode().toLatin1();
        QTest::qWait(2100);
        const TReply late = client.Get("/user/code/check/" + reg + "/" + old);
        QVERIFY(!late.Success());
        QVERIFY(late.Member("errorDescription").contains("expired"));
        QVERIFY(client.Get("/user/code/new/" + reg).Success());
        QVERIFY(client.Get("/user/code/check/" + reg + "/" + service.LatestCode().toLatin1())
                    .Success());
    }

    void endpoints_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QStringList>("members");
        QTest::newRow("check server") << QByteArray("/") << QStringList{};
        QTest::newRow("connection id")
            << QByteArray("/user/token/{reg}") << QStringList{"connection_id"};
        QTest::newRow("collection count")
            << QByteArray("/collection/count") << QStringList{"count"};
        QTest::newRow("collection list") << QByteArray("/collection/list") << QStringList{"{col}"};
        QTest::newRow("child collection")
            << QByteArray("/collection/new/{col}/Level%201") << QStringList{"collection_id"};
        QTest::newRow("set order") << QByteArray("/collection/setOrder/{col}/7") << QStringList{};
        QTest::newRow("schools") << QByteArray("/school/list") << QStringList{"Own"};
        QTest::newRow("rooms") << QByteArray("/room/list") << QStringList{"{room}"};
        QTest::newRow("rename room")
            << QByteArray("/room/rename/{room}/Lesson%202") << QStringList{};
        QTest::newRow("open room") << QByteArray("/room/{room}") << QStringList{};
        QTest::newRow("users") << QByteArray("/room/users/{room}")
                               << QStringList{"0000000000", "{wp}"};
        QTest::newRow("boards") << QByteArray("/room/boards/{room}") << QStringList{"{wp}"};
        QTest::newRow("active") << QByteArray("/workplace/active/{conn}") << QStringList{};
        QTest::newRow("connection check")
            << QByteArray("/workplace/{wp}") << QStringList{"current", "connected", "mark"};
        QTest::newRow("rename student")
            << QByteArray("/workplace/setName/{wp}/Eva%20K.") << QStringList{};
        QTest::newRow("parameter")
            << QByteArray("/workplace/setParameter/{wp}/answer/manual") << QStringList{};
        QTest::newRow("position parameter")
            << QByteArray("/workplace/setParameter/{wp}/position/"
                          "6k1~5ppp~8~8~8~8~5PPP~3R2K1%20w%20-%20-%200%201")
            << QStringList{};
        QTest::newRow("read parameter")
            << QByteArray("/workplace/getParameterBoard/{wp}/answer") << QStringList{"value"};
        QTest::newRow("reload") << QByteArray("/workplace/reloadPosition/{wp}") << QStringList{};
        QTest::newRow("update") << QByteArray("/workplace/updateBoard/{wp}") << QStringList{};
        QTest::newRow("snapshot") << QByteArray("/workplace/download/{wp}") << QStringList{"data"};
    }
    void endpoints()
    {
        QFETCH(QByteArray, path);
        QFETCH(QStringList, members);
        TClient a = ClientOf(A);
        const TReply reply = a.Get(Fill(path));
        QVERIFY2(reply.Success(), reply.Body);
        QCOMPARE(reply.Json.value("success").toInt(), 1);
        for (QString member : members)
            QVERIFY2(reply.Json.contains(QString::fromLatin1(Fill(member.toLatin1()))), reply.Body);
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("who");
        // No or a wrong token.
        QTest::newRow("no token") << QByteArray("/room/list") << "none";
        QTest::newRow("made-up token") << QByteArray("/room/list") << "fake";
        QTest::newRow("connection id of another account") << QByteArray("/user/token/{reg}") << "B";
        // Another account's objects.
        QTest::newRow("foreign room file") << QByteArray("/room/get/{room}") << "B";
        QTest::newRow("foreign room users") << QByteArray("/room/users/{room}") << "B";
        QTest::newRow("foreign room rename") << QByteArray("/room/rename/{room}/Mine") << "B";
        QTest::newRow("foreign collection") << QByteArray("/collection/get/{col}") << "B";
        QTest::newRow("foreign collection order")
            << QByteArray("/collection/setOrder/{col}/1") << "B";
        QTest::newRow("foreign collection child")
            << QByteArray("/collection/new/{col}/Mine") << "B";
        QTest::newRow("foreign workplace") << QByteArray("/workplace/download/{wp}") << "B";
        QTest::newRow("foreign parameter")
            << QByteArray("/workplace/setParameter/{wp}/answer/none") << "B";
        QTest::newRow("foreign student name") << QByteArray("/workplace/setName/{wp}/Mine") << "B";
        QTest::newRow("foreign move")
            << QByteArray("/workplace/move/{wp}/e2e4/8~8~8~8~8~8~4P3~8_w_-_-_0_1/1") << "B";
        QTest::newRow("foreign live link") << QByteArray("/workplace/active/{conn}") << "B";
        QTest::newRow("foreign engine call")
            << QByteArray("/robot/move/{conn}/8~8~8~8~8~8~8~8_w_-_-") << "B";
        // Malformed ids, names and values.
        QTest::newRow("room id of 9 digits") << QByteArray("/room/get/123456789") << "A";
        QTest::newRow("room id with sign") << QByteArray("/room/+123456789") << "A";
        QTest::newRow("collection id of 12") << QByteArray("/collection/get/123456789012") << "A";
        QTest::newRow("unknown room") << QByteArray("/room/users/1000000000") << "A";
        QTest::newRow("bad account code") << QByteArray("/user/code/new/not-a-uuid") << "none";
        QTest::newRow("unknown account code")
            << QByteArray("/user/code/new/00000000-0000-0000-0000-000000000000") << "none";
        QTest::newRow("blank room name") << QByteArray("/room/new/%20%20") << "A";
        QTest::newRow("room name with a line break")
            << QByteArray("/room/new/a%0D%0ANameRoom=b") << "A";
        QTest::newRow("room name too long")
            << QByteArray("/room/new/" + QByteArray(151, 'x')) << "A";
        QTest::newRow("invalid utf8 name") << QByteArray("/room/new/%C3%28") << "A";
        QTest::newRow("student name too long")
            << QByteArray("/workplace/setName/{wp}/" + QByteArray(51, 'x')) << "A";
        QTest::newRow("bad parameter name")
            << QByteArray("/workplace/setParameter/{wp}/a%20b/1") << "A";
        QTest::newRow("parameter value too long")
            << QByteArray("/workplace/setParameter/{wp}/x/" + QByteArray(8193, 'x')) << "A";
        QTest::newRow("missing parameter")
            << QByteArray("/workplace/getParameterBoard/{wp}/nothing") << "A";
        QTest::newRow("bad order") << QByteArray("/collection/setOrder/{col}/seven") << "A";
        QTest::newRow("collection under a stranger school")
            << QByteArray("/collection/new/NOSCHOOL/x") << "A";
        QTest::newRow("bad position for the engine")
            << QByteArray("/robot/move/{conn}/8~8~8") << "A";
        QTest::newRow("upload by GET")
            << QByteArray("/room/save/{room}/d41d8cd98f00b204e9800998ecf8427e") << "A";
        QTest::newRow("unknown path") << QByteArray("/nothing/here") << "A";
        QTest::newRow("join unknown room") << QByteArray("/student/join/1000000000/Eve") << "none";
        QTest::newRow("student call without key") << QByteArray("/student/state/{wp}") << "none";
    }
    void refusals()
    {
        QFETCH(QByteArray, path);
        QFETCH(QString, who);
        TClient client(FService.ApiBase(), who == "A"   ? A.Token
                                           : who == "B" ? B.Token
                                           : who == "fake"
                                               ? QByteArray("8d65ce80-972b-4e49-b78c-82e7a943f5cf")
                                               : QByteArray());
        const TReply reply = client.Get(Fill(path));
        QVERIFY(reply.Exchanged);
        QCOMPARE(reply.Json.value("success").toInt(-1), 0);
        QVERIFY2(!reply.Member("errorDescription").isEmpty(), reply.Body);
    }

    void foreignChangesLeaveNothingBehind()
    {
        TClient a = ClientOf(A), b = ClientOf(B);
        const QByteArray before = a.Get(Fill("/room/users/{room}")).Body;
        QVERIFY(!b.Get(Fill("/workplace/setName/{wp}/Intruder")).Success());
        QVERIFY(!b.Get(Fill("/room/rename/{room}/Intruder")).Success());
        QCOMPARE(a.Get(Fill("/room/users/{room}")).Body, before);
        QVERIFY(!a.Get("/room/list").Body.contains("Intruder"));
        QVERIFY(!b.Get("/room/list").Body.contains(FRoom.toLatin1()));
        QVERIFY(!b.Get("/collection/list").Body.contains(FCollection.toLatin1()));
    }

    void listsHaveTheApplicationsMembers()
    {
        TClient a = ClientOf(A);
        const TReply list = a.Get("/collection/list");
        const QJsonObject col = list.Json.value(FCollection).toObject();
        for (const char* member :
             {"collection_id", "parent_id", "name_collection", "code_school", "is_owner",
              "level_collection", "full_path_collection", "order_id", "md5_hash"})
            QVERIFY2(col.contains(QLatin1String(member)), member);
        QCOMPARE(col.value("code_school").toString(), QString("Own"));
        QCOMPARE(col.value("parent_id").toString(), QString("0"));
        QCOMPARE(col.value("is_owner").toString(), QString("1"));
        QCOMPARE(col.value("md5_hash").toString().toLatin1(),
                 Md5(a.Get(Fill("/collection/get/{col}")).Body));

        const QJsonObject room = a.Get("/room/list").Json.value(FRoom).toObject();
        for (const char* member : {"room_id", "type_room", "name_room", "md5_hash"})
            QVERIFY2(room.contains(QLatin1String(member)), member);
        QCOMPARE(room.value("md5_hash").toString().toLatin1(),
                 Md5(a.Get(Fill("/room/get/{room}")).Body));

        // The placeholder board comes first, its value a language key.
        const TReply users = a.Get(Fill("/room/users/{room}"));
        QVERIFY(users.Body.startsWith("{\"success\":1,\"0000000000\":\"RoomBoard\""));
        QVERIFY(a.Get("/school/list").Json.value("Own").toObject().contains("is_admin"));
    }

    void newRoomFileIsTheApplicationsOneLiner()
    {
        TClient a = ClientOf(A);
        const QString id = a.Get("/room/new/" + Seg("Chess club")).Member("RoomId");
        QCOMPARE(a.Get("/room/get/" + id.toLatin1()).Body, Bom("NameRoom=Chess club\r\n"));
        const QString col = a.Get("/collection/new/Own/Endgames").Member("collection_id");
        QCOMPARE(a.Get("/collection/get/" + col.toLatin1()).Body, Bom("#Endgames\r\n#EPD\r\n"));
    }

    void uploads()
    {
        TClient a = ClientOf(A);
        const QByteArray file =
            Bom("#Mates in one\r\n#EPD\r\n6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -\r\n");
        const QByteArray col = FCollection.toLatin1();
        QVERIFY(!a.PostFile("/collection/save/" + col + "/" + Md5("other"), file,
                            QString::fromLatin1(col + ".tvl"))
                     .Success());
        const TReply saved = a.PostFile("/collection/save/" + col + "/" + Md5(file).toUpper(), file,
                                        QString::fromLatin1(col + ".tvl"));
        QVERIFY2(saved.Success(), saved.Body);
        QCOMPARE(a.Get("/collection/get/" + col).Body, file);
        const QJsonObject listed = a.Get("/collection/list").Json.value(FCollection).toObject();
        QCOMPARE(listed.value("md5_hash").toString().toLatin1(), Md5(file));
        // The title line names the collection.
        QCOMPARE(listed.value("name_collection").toString(), QString("Mates in one"));

        const QByteArray notText = "\xFF\xFE#x\r\n";
        QVERIFY(!a.PostFile("/collection/save/" + col + "/" + Md5(notText), notText,
                            QString::fromLatin1(col + ".tvl"))
                     .Success());
        const QByteArray huge(4 * 1024 * 1024 + 1, 'a');
        const TReply tooLarge =
            a.PostFile("/room/save/" + FRoom.toLatin1() + "/" + Md5(huge), huge, "r.room");
        QVERIFY(tooLarge.Exchanged);
        QCOMPARE(tooLarge.Json.value("success").toInt(-1), 0);
        // Refused uploads changed nothing.
        QCOMPARE(a.Get("/collection/get/" + col).Body, file);

        const QByteArray roomFile = Bom("NameRoom=  Lesson\r\nCollection1=" + col + "\r\n");
        QVERIFY(
            a.PostFile("/room/save/" + FRoom.toLatin1() + "/" + Md5(roomFile), roomFile, "r.room")
                .Success());
        QCOMPARE(a.Get("/room/get/" + FRoom.toLatin1()).Body, roomFile);
    }

    void teacherMoves()
    {
        TClient a = ClientOf(A);
        const QByteArray wp = FWorkplace.toLatin1();
        QVERIFY(a.Get("/workplace/setParameter/" + wp +
                      "/position/6k1~5ppp~8~8~8~8~5PPP~3R2K1%20w%20-%20-%200%201")
                    .Success());
        QVERIFY(a.Get("/workplace/reloadPosition/" + wp).Success());
        const QByteArray start = "6k1~5ppp~8~8~8~8~5PPP~3R2K1_w_-_-_0_1";
        QCOMPARE(a.Get("/workplace/download/" + wp)
                     .Json.value("data")
                     .toObject()
                     .value("current_position")
                     .toString()
                     .toLatin1(),
                 start);
        QVERIFY(!a.Get("/workplace/move/" + wp + "/d1d9/" + start + "/1").Success());
        QVERIFY(!a.Get("/workplace/move/" + wp + "/d1e3/" + start + "/1")
                     .Success()); // a rook does not go so
        QVERIFY(!a.Get("/workplace/move/" + wp + "/g8h8/" + start + "/1")
                     .Success()); // not black's turn
        QVERIFY(!a.Get("/workplace/move/" + wp + "/d1d8/8~8~8~8~8~8~8~8_w_-_-_0_1/1")
                     .Success()); // stale position
        const TReply mate = a.Get("/workplace/move/" + wp + "/d1d8/" + start + "/1");
        QVERIFY2(mate.Success(), mate.Body);
        const QJsonObject data = a.Get("/workplace/download/" + wp).Json.value("data").toObject();
        QCOMPARE(data.value("current_position").toString(),
                 QString("3R2k1~5ppp~8~8~8~8~5PPP~6K1_b_-_-_1_1"));
        QCOMPARE(data.value("status").toString(), QString("checkmate"));
        QCOMPARE(data.value("moves").toString(), QString("1._Rd8$"));
        QCOMPARE(a.Get("/workplace/getParameterBoard/" + wp + "/disable_next_move").Member("value"),
                 QString("1"));
    }

    void connectionCheckFollowsTheStudent()
    {
        TClient a = ClientOf(A);
        TClient student(FService.ApiBase());
        const TReply join = student.Get("/student/join/" + FRoom.toLatin1() + "/Gone");
        const QByteArray wp = join.Member("workplace_id").toLatin1();
        const TReply fresh = a.Get("/workplace/" + wp);
        QVERIFY(fresh.Json.value("current").toInteger() - fresh.Json.value("mark").toInteger() >=
                0);
        QVERIFY(fresh.Json.value("mark").toInteger() > 0);
        // A student who left reads as disconnected: no mark.
        QNetworkRequest leave(
            QUrl::fromEncoded(FService.ApiBase().toEncoded() + "/student/leave/" + wp));
        leave.setRawHeader("TVLStudent", join.Member("student_key").toLatin1());
        QNetworkReply* reply = student.Manager().get(leave);
        QVERIFY(QTest::qWaitFor([reply] { return reply->isFinished(); }, 5000));
        reply->deleteLater();
        QVERIFY(!a.Get(Fill("/room/users/{room}")).Json.contains(QString::fromLatin1(wp)));
    }

    void notifications()
    {
        TLiveClient live, other;
        QVERIFY(live.Open(QUrl(FService.WsBase().toString() + "/ws/" + A.ConnectionId)));
        QVERIFY(other.Open(QUrl(FService.WsBase().toString() + "/ws/" + B.ConnectionId)));
        QVERIFY(live.WaitFor("active " + A.ConnectionId));
        // Base64 of the UTF-8 words.
        QCOMPARE(live.Raw.first(),
                 QString::fromLatin1(("active " + A.ConnectionId).toUtf8().toBase64()));
        live.Clear();
        TClient a = ClientOf(A);
        QVERIFY(a.Get("/workplace/active/" + A.ConnectionId.toLatin1()).Success());
        QVERIFY(live.WaitFor("active " + A.ConnectionId));
        QVERIFY(a.Get(Fill("/workplace/setParameter/{wp}/markers/1")).Success());
        QVERIFY(live.WaitFor("updated " + FWorkplace));
        QVERIFY(a.Get(Fill("/workplace/setName/{wp}/Eva")).Success());
        QVERIFY(live.WaitFor("room " + FRoom));
        live.Clear();
        TClient student(FService.ApiBase());
        QVERIFY(student.Get("/student/join/" + FRoom.toLatin1() + "/Filip").Success());
        QVERIFY(live.WaitFor("room " + FRoom));
        // The confirmations go on by themselves (every 2 s here).
        live.Clear();
        QVERIFY(live.WaitFor("active " + A.ConnectionId, 4000));
        for (const QString& words : other.Words)
            QVERIFY2(!words.contains(FWorkplace) && !words.contains(FRoom), qPrintable(words));
    }

    void unknownLinksAreRefused_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("unknown id") << "/ws/1000000000";
        QTest::newRow("not an id") << "/ws/abc";
        QTest::newRow("no id") << "/ws/";
        QTest::newRow("other path") << "/other";
    }
    void unknownLinksAreRefused()
    {
        QFETCH(QString, path);
        TLiveClient live;
        live.Open(QUrl(FService.WsBase().toString() + path));
        QVERIFY(QTest::qWaitFor([&] { return live.Closed; }, 5000));
        QVERIFY(live.Words.isEmpty());
    }

    void siteScripts()
    {
        TClient client(FService.ApiBase());
        QCOMPARE(client.Get("/addon_v3/update_exe.php?operation=LastVersion").Body, QByteArray());
        QCOMPARE(client.Get("/addon_v3/update_exe.php?operation=SizeLastExe").Body, QByteArray());
        const QString publish = FService.DataDir() + "/publish/";
        QFile version(publish + "version.txt");
        QVERIFY(version.open(QIODevice::WriteOnly));
        version.write("1.2.3.4\n");
        version.close();
        QByteArray exe;
        for (int i = 0; i < 5000; ++i)
            exe += QByteArray::number(i);
        QFile program(publish + "tavlora");
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.write(exe);
        program.close();
        QCOMPARE(client.Get("/addon_v3/update_exe.php?operation=LastVersion").Body,
                 QByteArray("1.2.3.4\r\n"));
        const QByteArray stream = client.Get("/addon_v3/update_exe.php?operation=LastExe").Body;
        QCOMPARE(client.Get("/addon_v3/update_exe.php?operation=SizeLastExe").Body,
                 QByteArray::number(stream.size()) + "\r\n");
        QVERIFY(stream.startsWith("\x78\x9C"));
        QByteArray unpacked(exe.size(), Qt::Uninitialized);
        uLongf size = uLongf(unpacked.size());
        QCOMPARE(uncompress(reinterpret_cast<Bytef*>(unpacked.data()), &size,
                            reinterpret_cast<const Bytef*>(stream.constData()),
                            uLong(stream.size())),
                 Z_OK);
        QCOMPARE(unpacked.left(qsizetype(size)), exe);

        const QByteArray id = client
                                  .PostForm("/addon_v3/collections.php?op=new",
                                            "user=" + A.RegCode.toLatin1() +
                                                "&name=" + Seg(QString::fromUtf8("Šachmat")))
                                  .Body;
        QVERIFY2(QRegularExpression("^\\d{13}\r\n$").match(QString::fromLatin1(id)).hasMatch(), id);
        TClient a = ClientOf(A);
        QCOMPARE(a.Get("/collection/list")
                     .Json.value(QString::fromLatin1(id.trimmed()))
                     .toObject()
                     .value("name_collection")
                     .toString(),
                 QString::fromUtf8("Šachmat"));
        QCOMPARE(client.PostForm("/addon_v3/collections.php?op=new", "user=nobody&name=x").Body,
                 QByteArray());
    }

    void dataSurvivesARestart()
    {
        TClient a = ClientOf(A);
        const QByteArray rooms = a.Get("/room/list").Body;
        const QByteArray snapshot = a.Get(Fill("/workplace/download/{wp}")).Body;
        QVERIFY(FService.Restart());
        a.setBase(FService.ApiBase());
        // The same token still signs in, and everything is where it was.
        QCOMPARE(a.Get("/room/list").Body, rooms);
        QCOMPARE(a.Get(Fill("/workplace/download/{wp}")).Body, snapshot);
        TLiveClient live;
        QVERIFY(live.Open(QUrl(FService.WsBase().toString() + "/ws/" + A.ConnectionId)));
        QVERIFY(live.WaitFor("active " + A.ConnectionId));
    }

    void killDuringWritesLosesNothingAcknowledged()
    {
        TServiceProcess service;
        QVERIFY(service.Start());
        const TTeacher t = SignIn(service, "kim@school.example");
        TClient client(service.ApiBase(), t.Token);
        const QByteArray room = client.Get("/room/new/Load").Member("RoomId").toLatin1();
        const QByteArray wp =
            client.Get("/student/join/" + room + "/S").Member("workplace_id").toLatin1();
        QVERIFY(!wp.isEmpty());

        // Many writes in flight at once; the service is killed while they run.
        QNetworkAccessManager nam;
        QList<int> acknowledged;
        int finished = 0;
        const int total = 3000;
        for (int i = 0; i < total; ++i) {
            QNetworkRequest request(
                QUrl::fromEncoded(service.ApiBase().toEncoded() + "/workplace/setParameter/" + wp +
                                  "/p" + QByteArray::number(i) + "/v" + QByteArray::number(i)));
            request.setRawHeader("TVLToken", t.Token);
            QNetworkReply* reply = nam.get(request);
            QObject::connect(reply, &QNetworkReply::finished, reply,
                             [reply, i, &acknowledged, &finished] {
                                 ++finished;
                                 if (QJsonDocument::fromJson(reply->readAll())
                                         .object()
                                         .value("success")
                                         .toInt() == 1)
                                     acknowledged.append(i);
                                 reply->deleteLater();
                             });
        }
        QVERIFY(QTest::qWaitFor([&] { return acknowledged.size() >= 300; }, 30000));
        service.Kill();
        QVERIFY(QTest::qWaitFor([&] { return finished == total; }, 30000));
        QVERIFY(acknowledged.size() < total);

        {
            TSqliteStore store(service.DataDir() + "/tavlora.sqlite");
            QVERIFY(store.Open(nullptr));
            QVERIFY(store.IntegrityOk());
        }
        QVERIFY(service.Start());
        client.setBase(service.ApiBase());
        for (int i : std::as_const(acknowledged)) {
            const TReply reply =
                client.Get("/workplace/getParameterBoard/" + wp + "/p" + QByteArray::number(i));
            QVERIFY2(reply.Member("value") == "v" + QString::number(i), reply.Body);
        }
    }

    void silentConnectionsAreClosed()
    {
        TServiceProcess service;
        QVERIFY(service.Start({"--idle-seconds", "1"}));
        QTcpSocket silent, talking;
        silent.connectToHost(QHostAddress::LocalHost, service.ApiPort());
        talking.connectToHost(QHostAddress::LocalHost, service.ApiPort());
        QVERIFY(silent.waitForConnected(5000) && talking.waitForConnected(5000));
        QElapsedTimer clock;
        clock.start();
        // Traffic keeps a connection open past the idle time.
        for (int i = 0; i < 3; ++i) {
            talking.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            QVERIFY(talking.waitForReadyRead(5000));
            talking.readAll();
            QTest::qWait(600);
        }
        QCOMPARE(talking.state(), QAbstractSocket::ConnectedState);
        QVERIFY(QTest::qWaitFor([&] { return silent.state() == QAbstractSocket::UnconnectedState; },
                                5000));
        QVERIFY(clock.elapsed() >= 900);
    }

    void accountCommand()
    {
        const QString first = FService.AddAccount("eve@school.example");
        QVERIFY(ApiText::CheckUUID(first));
        QCOMPARE(FService.AddAccount("EVE@school.example"), first);
        QVERIFY(FService.AddAccount("not an address").isEmpty());
    }

    void schools()
    {
        QCOMPARE(FService.Command({"school", "add", "ZS1", "Basic school 1"}), 0);
        QCOMPARE(FService.Command({"school", "member", "ZS1", A.Email, "admin"}), 0);
        QCOMPARE(FService.Command({"school", "member", "ZS1", B.Email}), 0);
        TClient a = ClientOf(A), b = ClientOf(B);
        QCOMPARE(a.Get("/school/list").Json.value("ZS1").toObject().value("is_admin").toString(),
                 QString("1"));
        QCOMPARE(b.Get("/school/list").Json.value("ZS1").toObject().value("is_admin").toString(),
                 QString("0"));
        const QString col = a.Get("/collection/new/ZS1/Tactics").Member("collection_id");
        QVERIFY(ApiText::Check13Digit(col));
        // A member reads the school's collections but only an admin or the owner changes them.
        const QJsonObject seen = b.Get("/collection/list").Json.value(col).toObject();
        QCOMPARE(seen.value("code_school").toString(), QString("ZS1"));
        QCOMPARE(seen.value("is_owner").toString(), QString("0"));
        QCOMPARE(seen.value("full_path_collection").toString(), QString("Basic school 1.Tactics"));
        QVERIFY(b.Get("/collection/get/" + col.toLatin1()).Success() ||
                !b.Get("/collection/get/" + col.toLatin1()).Body.isEmpty());
        QVERIFY(!b.Get("/collection/setOrder/" + col.toLatin1() + "/3").Success());
        QVERIFY(!b.Get("/collection/new/ZS1/Mine").Success());
    }

    void cleanShutdown()
    {
        TServiceProcess service;
        QVERIFY(service.Start());
        QVERIFY(service.Stop());
    }
};

TAVLORA_REGISTER_TEST(TestService);
#include "tst_service.moc"
