// The API client against the scripted stub: what it sends for each operation, how it reads
// the replies no real service gives, its guards and its transport failures.

#include "ServerFixture.h"
#include "TestRegistry.h"
#include "TextFile.h"
#include "TVLApiText.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <thread>
#include <zlib.h>

using namespace ServerFixture;

// An operation of the client, its result written as text.
using TOp = std::function<QString(TTVLApiClient&)>;
Q_DECLARE_METATYPE(TOp)

namespace {

QString B(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QByteArray Gzip(const QByteArray& data)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QUrl FreePortUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort()));
}

const QString kPosition = QStringLiteral("8/8/8/8/8/8/8/8 w - -");

} // namespace

class TestApiClient : public QObject
{
    Q_OBJECT
private slots:
    void validators_data();
    void validators();
    void identityWrites_data();
    void identityWrites();
    void headers();
    void replyText_data();
    void replyText();
    void exchangeFailures_data();
    void exchangeFailures();
    void envelope_data();
    void envelope();
    void operations_data();
    void operations();
    void guards_data();
    void guards();
    void errorsClearConnection_data();
    void errorsClearConnection();
    void queuedCommands();
    void uploads_data();
    void uploads();
    void uploadKeepsFileRewrittenMeanwhile_data();
    void uploadKeepsFileRewrittenMeanwhile();
    void downloads_data();
    void downloads();
    void oneRequestAtATime();
};

void TestApiClient::validators_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("valid");
    QTest::newRow("uuid lower case") << "uuid" << kRegCode << true;
    QTest::newRow("uuid upper case") << "uuid" << kToken << true;
    QTest::newRow("uuid 35") << "uuid" << kRegCode.left(35) << false;
    QTest::newRow("uuid 37") << "uuid" << kRegCode + "a" << false;
    QTest::newRow("uuid dash moved")
        << "uuid" << QString("6f1c0e2-a1b2c-4d3e-8f40-00000000abcd") << false;
    QTest::newRow("uuid no dashes") << "uuid" << QString(36, u'a') << false;
    QTest::newRow("uuid letter g")
        << "uuid" << QString("6f1c0e2a-1b2c-4d3e-8f40-00000000abcg") << false;
    QTest::newRow("uuid blank") << "uuid" << QString("6f1c0e2a-1b2c-4d3e-8f40-00000000abc ")
                                << false;
    QTest::newRow("uuid empty") << "uuid" << QString() << false;
    QTest::newRow("10 digits") << "10" << QString("0123456789") << true;
    QTest::newRow("9 digits") << "10" << QString("123456789") << false;
    QTest::newRow("11 digits") << "10" << QString("12345678901") << false;
    QTest::newRow("10 with sign") << "10" << QString("+123456789") << false;
    QTest::newRow("10 with blank") << "10" << QString(" 123456789") << false;
    QTest::newRow("10 other digits") << "10" << QString::fromUtf8("١٢٣٤٥٦٧٨٩٠") << false;
    QTest::newRow("13 digits") << "13" << QString("1718000000001") << true;
    QTest::newRow("12 digits") << "13" << QString("171800000000") << false;
    QTest::newRow("13 with letter") << "13" << QString("171800000000x") << false;
}

void TestApiClient::validators()
{
    QFETCH(QString, kind);
    QFETCH(QString, value);
    QFETCH(bool, valid);
    if (kind == "uuid") QCOMPARE(TTVLApiClient::CheckUUID(value), valid);
    if (kind == "10") QCOMPARE(TTVLApiClient::Check10Digit(value), valid);
    if (kind == "13") QCOMPARE(TTVLApiClient::Check13Digit(value), valid);
}

void TestApiClient::identityWrites_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("stored");
    QTest::newRow("token") << "Token" << kToken << kToken;
    QTest::newRow("token not a uuid") << "Token" << QString("not-a-token") << QString();
    QTest::newRow("account code") << "RegCode" << kRegCode << kRegCode;
    QTest::newRow("account code 35") << "RegCode" << kRegCode.left(35) << QString();
    QTest::newRow("connection") << "ConnectionID" << kConnection << kConnection;
    QTest::newRow("connection 9") << "ConnectionID" << QString("123456789") << QString();
}

void TestApiClient::identityWrites()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, stored);
    TTVLApiClient client;
    SetIdentity(client); // an invalid write clears what was there
    if (field == "Token") {
        client.setToken(value);
        QCOMPARE(client.Token(), stored);
    } else if (field == "RegCode") {
        client.setRegCode(value);
        QCOMPARE(client.RegCode(), stored);
    } else {
        client.setConnectionID(value);
        QCOMPARE(client.ConnectionID(), stored);
        QCOMPARE(client.Connected(), !stored.isEmpty());
    }
}

void TestApiClient::headers()
{
    THttpStub stub([](const TStubRequest&) { return Answer("{\"success\":1}"); });
    TTVLApiClient client(stub.Url(""));
    client.setToken(kToken);
    QVERIFY(client.CheckServer());
    client.setToken("broken");
    QVERIFY(client.CheckServer());

    const QList<TStubRequest> requests = stub.Requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].Target, "/");
    QCOMPARE(requests[0].Header("TVLToken"), kToken.toUtf8());
    for (const TStubRequest& request : requests) {
        QCOMPARE(request.Header("Accept-Charset"), "UTF-8");
        QCOMPARE(request.Header("Accept-Encoding"), "gzip,deflate");
    }
    // A token that was refused by the validator is sent no more.
    bool hasToken = false;
    for (const auto& [name, value] : requests[1].Headers)
        hasToken |= name.compare("TVLToken", Qt::CaseInsensitive) == 0;
    QVERIFY(!hasToken);
}

void TestApiClient::replyText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QString>("text");
    const QString jsonError = TVLApi::kJsonError;
    QTest::newRow("object") << QByteArray("{\"success\":1}") << 200 << QByteArray()
                            << "{\"success\":1}\r\n";
    QTest::newRow("object over lines") << QByteArray("{\n\"success\":1\n}\n") << 200 << QByteArray()
                                       << "{\r\n\"success\":1\r\n}\r\n";
    QTest::newRow("array") << QByteArray("[1,2]") << 200 << QByteArray() << jsonError;
    QTest::newRow("string") << QByteArray("\"text\"") << 200 << QByteArray() << jsonError;
    QTest::newRow("number") << QByteArray("42") << 200 << QByteArray() << jsonError;
    QTest::newRow("collection file")
        << QByteArray("\xEF\xBB\xBF#Name\n#EPD\r\n8/8/8/8/8/8/8/8 w - -") << 200 << QByteArray()
        << "#Name\r\n#EPD\r\n8/8/8/8/8/8/8/8 w - -\r\n";
    QTest::newRow("cut json stays text")
        << QByteArray("{\"success\":1") << 200 << QByteArray() << "{\"success\":1\r\n";
    QTest::newRow("empty") << QByteArray() << 200 << QByteArray() << QString();
    QTest::newRow("error status is read")
        << QByteArray("{\"success\":0}") << 500 << QByteArray() << "{\"success\":0}\r\n";
    QTest::newRow("gzip") << Gzip("{\"success\":1,\"x\":\"ж\"}") << 200 << QByteArray("gzip")
                          << QString::fromUtf8("{\"success\":1,\"x\":\"ж\"}\r\n");
}

void TestApiClient::replyText()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QByteArray, encoding);
    QFETCH(QString, text);
    THttpStub stub([=](const TStubRequest&) {
        TStubReply reply = Answer(body);
        reply.Status = status;
        if (!encoding.isEmpty()) reply.Headers = {{"Content-Encoding", encoding}};
        return reply;
    });
    TTVLApiClient client(stub.Url(""));
    QCOMPARE(client.APIGet("/collection/get/1718000000001", 500), text);
}

void TestApiClient::exchangeFailures_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("limitMs");
    // The connection time-out plus 100 ms: an unreachable server must not hold the UI longer.
    QTest::newRow("silent server") << "silent" << 600;
    QTest::newRow("refused") << "refused" << 300;
    QTest::newRow("answer beyond the read time-out") << "slow" << 900;
}

void TestApiClient::exchangeFailures()
{
    QFETCH(QString, server);
    QFETCH(int, limitMs);
    TSilentPort silent;
    THttpStub slow([](const TStubRequest&) { return Answer("{\"success\":1}", 2000); });
    QUrl base;
    if (server == "silent") {
        if (silent.Port() == 0) QSKIP("this kernel does not let a listening port be saturated");
        base = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(silent.Port()));
    } else if (server == "refused") {
        base = FreePortUrl();
    } else {
        base = slow.Url("");
    }
    TTVLApiClient client(base);
    client.setReadTimeoutMs(700);
    SetIdentity(client);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(client.APIGet("/", TTVLApiClient::kConnectTimeoutMs), TVLApi::kHttpGetError);
    QVERIFY2(clock.elapsed() <= limitMs, qPrintable(QString::number(clock.elapsed())));
    // A typed operation turns it into its failure value.
    QCOMPARE(client.GetCountCollections(), 0);
    // A failed exchange is no malformed reply: the connection stays.
    QCOMPARE(client.ConnectionID(), kConnection);
}

void TestApiClient::envelope_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("success");
    QTest::newRow("number 1") << QByteArray("{\"success\":1}") << true;
    QTest::newRow("text 1") << QByteArray("{\"success\":\"1\"}") << true;
    QTest::newRow("true") << QByteArray("{\"success\":true}") << false;
    QTest::newRow("text true") << QByteArray("{\"success\":\"true\"}") << false;
    QTest::newRow("missing") << QByteArray("{\"ok\":1}") << false;
    QTest::newRow("0") << QByteArray("{\"success\":0,\"errorDescription\":\"no\"}") << false;
    QTest::newRow("2") << QByteArray("{\"success\":2}") << false;
    QTest::newRow("array") << QByteArray("[{\"success\":1}]") << false;
    QTest::newRow("plain text") << QByteArray("success=1") << false;
}

void TestApiClient::envelope()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, success);
    THttpStub stub([=](const TStubRequest&) { return Answer(reply); });
    TTVLApiClient client(stub.Url(""));
    QCOMPARE(client.CheckServer(), success);
}

void TestApiClient::operations_data()
{
    QTest::addColumn<TOp>("op");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("result");
    const QByteArray ok = "{\"success\":1}";
    const QByteArray reg = kRegCode.toLatin1();

    QTest::newRow("CheckServer") << TOp([](auto& c) -> QString { return B(c.CheckServer()); }) << ok
                                 << QByteArray("/") << "true";
    QTest::newRow("CheckActiveConnection")
        << TOp([](auto& c) -> QString { return B(c.CheckActiveConnection()); }) << ok
        << QByteArray("/workplace/active/4000000001") << "true";
    QTest::newRow("GetCodeToCheckOwner")
        << TOp([](auto& c) -> QString { return B(c.GetCodeToCheckOwner()); }) << ok
        << QByteArray("/user/code/new/" + reg) << "true";
    QTest::newRow("CheckCodeConfirm takes the token")
        << TOp([](auto& c) -> QString {
               const bool done = c.CheckCodeConfirm("012345");
               return B(done) + ' ' + c.Token();
           })
        << QByteArray("{\"success\":1,\"token\":\"" + kOtherToken.toLatin1() + "\"}")
        << QByteArray("/user/code/check/" + reg + "/012345") << QString("true " + kOtherToken);
    QTest::newRow("GetCodeToCheckEMail encodes the address")
        << TOp([](auto& c) -> QString { return B(c.GetCodeToCheckEMail("a/b c@x.ru")); }) << ok
        << QByteArray("/user/code/new_by_email/a%2Fb%20c%40x.ru") << "true";
    QTest::newRow("GetRegCodeByEMail")
        << TOp([](auto& c) -> QString {
               c.setRegCode(QString());
               const bool done = c.GetRegCodeByEMail("654321", "t@x.ru");
               return B(done) + ' ' + c.RegCode() + ' ' + c.Token();
           })
        << QByteArray("{\"success\":1,\"reg_code\":\"" + reg + "\",\"token\":\"" +
                      kOtherToken.toLatin1() + "\"}")
        << QByteArray("/user/reg_code_by_email/t%40x.ru/654321")
        << QString("true " + kRegCode + ' ' + kOtherToken);
    QTest::newRow("GetConnectionIDByToken") << TOp([](auto& c) -> QString {
        const bool done = c.GetConnectionIDByToken();
        return B(done) + ' ' + c.ConnectionID();
    }) << QByteArray("{\"success\":1,\"connection_id\":\"0123456789\"}")
                                            << QByteArray("/user/token/" + reg)
                                            << "true 0123456789";
    QTest::newRow("GetConnectionIDByToken, 9 digits") << TOp([](auto& c) -> QString {
        const bool done = c.GetConnectionIDByToken();
        return B(done) + ' ' + c.ConnectionID();
    }) << QByteArray("{\"success\":1,\"connection_id\":123456789}")
                                                      << QByteArray("/user/token/" + reg)
                                                      << QString("false " + kConnection);
    QTest::newRow("GetCountCollections")
        << TOp([](auto& c) -> QString { return QString::number(c.GetCountCollections()); })
        << QByteArray("{\"success\":1,\"count\":7}") << QByteArray("/collection/count") << "7";
    QTest::newRow("GetCountCollections, not a number")
        << TOp([](auto& c) -> QString { return QString::number(c.GetCountCollections()); })
        << QByteArray("{\"success\":1,\"count\":\"seven\"}") << QByteArray("/collection/count")
        << "0";
    QTest::newRow("GetCollections") << TOp([](auto& c) -> QString {
        TNameValueList list;
        const bool done = c.GetCollections(list);
        return B(done) + ' ' + list.Text();
    }) << QByteArray("{\"success\":1,\n\"1718000000001\":{}}")
                                    << QByteArray("/collection/list")
                                    << "true {\"success\":1,\r\n\"1718000000001\":{}}\r\n";
    QTest::newRow("GetCollections refused leaves the list") << TOp([](auto& c) -> QString {
        TNameValueList list({"kept"});
        const bool done = c.GetCollections(list);
        return B(done) + ' ' + list.Text();
    }) << QByteArray("{\"success\":0}") << QByteArray("/collection/list")
                                                            << "false kept\r\n";
    QTest::newRow("LoadSchools writes a refusal too") << TOp([](auto& c) -> QString {
        TNameValueList list({"kept"});
        const bool done = c.LoadSchools(list);
        return B(done) + ' ' + list.Text();
    }) << QByteArray("{\"success\":0}") << QByteArray("/school/list")
                                                      << "false {\"success\":0}\r\n";
    QTest::newRow("GetRooms writes any \"success\"") << TOp([](auto& c) -> QString {
        TNameValueList list({"kept"});
        const bool done = c.GetRooms(list);
        return B(done) + ' ' + list.Text();
    }) << QByteArray("{\"success\":true}") << QByteArray("/room/list")
                                                     << "false {\"success\":true}\r\n";
    QTest::newRow("CreateNewCollection encodes the name")
        << TOp([](auto& c) -> QString {
               return c.CreateNewCollection(QString::fromUtf8("Ладья/1 ?"), "Own");
           })
        << QByteArray("{\"success\":1,\"collection_id\":1718000000001}")
        << QByteArray("/collection/new/Own/%D0%9B%D0%B0%D0%B4%D1%8C%D1%8F%2F1%20%3F")
        << "1718000000001";
    QTest::newRow("CreateNewCollection, id 0")
        << TOp([](auto& c) -> QString { return c.CreateNewCollection("A", "1718000000001"); })
        << QByteArray("{\"success\":1,\"collection_id\":\"0\"}")
        << QByteArray("/collection/new/1718000000001/A") << "";
    QTest::newRow("SetOrderIdCollection")
        << TOp([](auto& c) -> QString { return B(c.SetOrderIdCollection("1718000000001", -3)); })
        << ok << QByteArray("/collection/setOrder/1718000000001/-3") << "true";
    QTest::newRow("GetRooms") << TOp([](auto& c) -> QString {
        TNameValueList list;
        return B(c.GetRooms(list));
    }) << ok << QByteArray("/room/list")
                              << "true";
    QTest::newRow("NewRoom keeps blanks")
        << TOp([](auto& c) -> QString { return c.NewRoom(QString::fromUtf8(" Урок 1 ")); })
        << QByteArray("{\"success\":1,\"RoomId\":\"1234567890\"}")
        << QByteArray("/room/new/%20%D0%A3%D1%80%D0%BE%D0%BA%201%20") << "1234567890";
    QTest::newRow("NewRoom, RoomId 0")
        << TOp([](auto& c) -> QString { return c.NewRoom("A"); })
        << QByteArray("{\"success\":1,\"RoomId\":0}") << QByteArray("/room/new/A") << "";
    QTest::newRow("NewRoom, RoomId missing")
        << TOp([](auto& c) -> QString { return c.NewRoom("A"); }) << ok << QByteArray("/room/new/A")
        << "";
    QTest::newRow("RenameRoom") << TOp([](auto& c) -> QString {
        return B(c.RenameRoom("a/b", "1234567890"));
    }) << ok << QByteArray("/room/rename/1234567890/a%2Fb")
                                << "true";
    QTest::newRow("OpenRoom") << TOp([](auto& c) -> QString { return B(c.OpenRoom("1234567890")); })
                              << ok << QByteArray("/room/1234567890") << "true";
    QTest::newRow("GetStudentsInRoom") << TOp([](auto& c) -> QString {
        TNameValueList list;
        const bool done = c.GetStudentsInRoom("1234567890", list);
        return B(done) + ' ' + list.Text();
    }) << QByteArray("{\"success\":1,\"0000000000\":\"RoomBoard\"}")
                                       << QByteArray("/room/users/1234567890")
                                       << "true {\"success\":1,\"0000000000\":\"RoomBoard\"}\r\n";
    QTest::newRow("GetBoards") << TOp([](auto& c) -> QString {
        TNameValueList list;
        return B(c.GetBoards("1234567890", list));
    }) << ok << QByteArray("/room/boards/1234567890")
                               << "true";
    QTest::newRow("GetTimeoutConnection")
        << TOp([](auto& c) -> QString { return QString::number(c.GetTimeoutConnection(kBoard)); })
        << QByteArray(
               "{\"success\":1,\"current\":1718000010,\"connected\":\"1\",\"mark\":\"1718000000\"}")
        << QByteArray("/workplace/1234567890") << "10";
    QTest::newRow("GetTimeoutConnection, mark 0")
        << TOp([](auto& c) -> QString { return QString::number(c.GetTimeoutConnection(kBoard)); })
        << QByteArray("{\"success\":1,\"current\":1718000010,\"connected\":\"0\",\"mark\":0}")
        << QByteArray("/workplace/1234567890") << "-1";
    QTest::newRow("GetTimeoutConnection, no mark")
        << TOp([](auto& c) -> QString { return QString::number(c.GetTimeoutConnection(kBoard)); })
        << QByteArray("{\"success\":1,\"current\":1718000010,\"connected\":\"1\"}")
        << QByteArray("/workplace/1234567890") << "-1";
    QTest::newRow("GetTimeoutConnection, no connected")
        << TOp([](auto& c) -> QString { return QString::number(c.GetTimeoutConnection(kBoard)); })
        << QByteArray("{\"success\":1,\"current\":1718000010,\"mark\":1718000000}")
        << QByteArray("/workplace/1234567890") << "-1";
    QTest::newRow("SetUserName") << TOp([](auto& c) -> QString {
        return B(c.SetUserName(QString::fromUtf8("Петя / 2"), kBoard));
    }) << ok << QByteArray("/workplace/setName/1234567890/%D0%9F%D0%B5%D1%82%D1%8F%20%2F%202")
                                 << "true";
    QTest::newRow("SetBoardParameter escapes only the slash")
        << TOp([](auto& c) -> QString {
               return B(c.SetBoardParameter("position", kBoard, kPosition, false));
           })
        << ok
        << QByteArray("/workplace/setParameter/1234567890/position/8~8~8~8~8~8~8~8%20w%20-%20-")
        << "true";
    QTest::newRow("SetBoardParameter, boolean") << TOp([](auto& c) -> QString {
        return B(c.SetBoardParameter("en_moves", kBoard, true, false));
    }) << ok << QByteArray("/workplace/setParameter/1234567890/en_moves/1")
                                                << "true";
    QTest::newRow("SetBoardParameter, integer") << TOp([](auto& c) -> QString {
        return B(c.SetBoardParameter("count_max_moves", kBoard, 3, false));
    }) << ok << QByteArray("/workplace/setParameter/1234567890/count_max_moves/3")
                                                << "true";
    QTest::newRow("SetBoardParameter, literal text") << TOp([](auto& c) -> QString {
        return B(c.SetBoardParameter("answer", kBoard, "none", false));
    }) << ok << QByteArray("/workplace/setParameter/1234567890/answer/none")
                                                     << "true";
    QTest::newRow("SendManualMove escapes the position") << TOp([](auto& c) -> QString {
        return B(c.SendManualMove(kBoard, "e7e8q", kPosition, true, false));
    }) << ok << QByteArray("/workplace/move/1234567890/e7e8q/8~8~8~8~8~8~8~8_w_-_-/1")
                                                         << "true";
    QTest::newRow("ReloadBoard") << TOp([](auto& c) -> QString {
        return B(c.ReloadBoard(kBoard, false));
    }) << ok << QByteArray("/workplace/reloadPosition/1234567890")
                                 << "true";
    QTest::newRow("UpdateBoard") << TOp([](auto& c) -> QString {
        return B(c.UpdateBoard(kBoard, false));
    }) << ok << QByteArray("/workplace/updateBoard/1234567890")
                                 << "true";
    QTest::newRow("GetDataFromBoard") << TOp([](auto& c) -> QString {
        TNameValueList list;
        const bool done = c.GetDataFromBoard(kBoard, list);
        return B(done) + ' ' + list.Text();
    }) << QByteArray("{\"success\":1,\"data\":{\"status\":\"draw\"}}")
                                      << QByteArray("/workplace/download/1234567890")
                                      << "true {\"status\":\"draw\"}\r\n";
    QTest::newRow("GetParameterFromBoard")
        << TOp([](auto& c) -> QString { return c.GetParameterFromBoard(kBoard, "arrows"); })
        << QByteArray("{\"success\":1,\"value\":\"5254\"}")
        << QByteArray("/workplace/getParameterBoard/1234567890/arrows") << "5254";
    QTest::newRow("GetParameterFromBoard, no value")
        << TOp([](auto& c) -> QString { return c.GetParameterFromBoard(kBoard, "arrows"); }) << ok
        << QByteArray("/workplace/getParameterBoard/1234567890/arrows") << "-";
    QTest::newRow("GetMove")
        << TOp([](auto& c) -> QString {
               return c.GetMove("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
           })
        << QByteArray("{\"success\":1,\"move\":\"e7e5\"}")
        << QByteArray(
               "/robot/move/4000000001/rnbqkbnr~pppppppp~8~8~4P3~8~PPPP1PPP~RNBQKBNR_b_KQkq_-_0_1")
        << "e7e5";
}

void TestApiClient::operations()
{
    QFETCH(TOp, op);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, path);
    QFETCH(QString, result);
    THttpStub stub([=](const TStubRequest&) { return Answer(reply); });
    TTVLApiClient client(stub.Url(""));
    SetIdentity(client);
    QCOMPARE(op(client), result);
    const QList<TStubRequest> requests = stub.Requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].Method, "GET");
    QCOMPARE(requests[0].Target, path);
}

void TestApiClient::guards_data()
{
    QTest::addColumn<TOp>("op");
    QTest::addColumn<QString>("identity"); // none, code, full, noconnection
    QTest::addColumn<QString>("result");
    QTest::newRow("GetCodeToCheckOwner, no account code")
        << TOp([](auto& c) -> QString { return B(c.GetCodeToCheckOwner()); }) << "none"
        << "false";
    QTest::newRow("CheckCodeConfirm, 5 digits")
        << TOp([](auto& c) -> QString { return B(c.CheckCodeConfirm("12345")); }) << "code"
        << "false";
    QTest::newRow("CheckCodeConfirm, a letter")
        << TOp([](auto& c) -> QString { return B(c.CheckCodeConfirm("12a456")); }) << "code"
        << "false";
    QTest::newRow("CheckCodeConfirm, reads as -1")
        << TOp([](auto& c) -> QString { return B(c.CheckCodeConfirm("-00001")); }) << "code"
        << "false";
    QTest::newRow("CheckCodeConfirm, blank")
        << TOp([](auto& c) -> QString { return B(c.CheckCodeConfirm(" 12345")); }) << "code"
        << "false";
    QTest::newRow("GetRegCodeByEMail, 7 digits")
        << TOp([](auto& c) -> QString { return B(c.GetRegCodeByEMail("1234567", "t@x.ru")); })
        << "none"
        << "false";
    QTest::newRow("GetConnectionIDByToken, no token")
        << TOp([](auto& c) -> QString { return B(c.GetConnectionIDByToken()); }) << "code"
        << "false";
    QTest::newRow("GetCountCollections, no token")
        << TOp([](auto& c) -> QString { return QString::number(c.GetCountCollections()); })
        << "code"
        << "0";
    QTest::newRow("CreateNewCollection, no identity")
        << TOp([](auto& c) -> QString { return c.CreateNewCollection("A", "Own"); }) << "none"
        << "";
    QTest::newRow("SetOrderIdCollection, 12 digits")
        << TOp([](auto& c) -> QString { return B(c.SetOrderIdCollection("171800000000", 1)); })
        << "full"
        << "false";
    QTest::newRow("NewRoom, blanks")
        << TOp([](auto& c) -> QString { return c.NewRoom(QString::fromUtf8("  \t ")); }) << "full"
        << "";
    QTest::newRow("RenameRoom, blank name")
        << TOp([](auto& c) -> QString { return B(c.RenameRoom(" ", "1234567890")); }) << "full"
        << "false";
    QTest::newRow("RenameRoom, 9 digits")
        << TOp([](auto& c) -> QString { return B(c.RenameRoom("A", "123456789")); }) << "full"
        << "false";
    QTest::newRow("OpenRoom, 11 digits")
        << TOp([](auto& c) -> QString { return B(c.OpenRoom("12345678901")); }) << "full"
        << "false";
    QTest::newRow("GetTimeoutConnection, bad id") << TOp([](auto& c) -> QString {
        return QString::number(c.GetTimeoutConnection("12345 7890"));
    }) << "full"
                                                  << "-1";
    QTest::newRow("SetBoardParameter, bad id")
        << TOp([](auto& c) -> QString { return B(c.SetBoardParameter("a", "x", "1", true)); })
        << "full"
        << "false";
    QTest::newRow("SendManualMove, no token") << TOp([](auto& c) -> QString {
        return B(c.SendManualMove(kBoard, "e2e4", kPosition, false, false));
    }) << "code"
                                              << "false";
    QTest::newRow("GetParameterFromBoard, no token")
        << TOp([](auto& c) -> QString { return c.GetParameterFromBoard(kBoard, "a"); }) << "code"
        << "-";
    QTest::newRow("GetMove, no connection")
        << TOp([](auto& c) -> QString { return c.GetMove(kPosition); }) << "noconnection"
        << "";
    QTest::newRow("CheckActiveConnection, no connection")
        << TOp([](auto& c) -> QString { return B(c.CheckActiveConnection()); }) << "noconnection"
        << "false";
    QTest::newRow("UploadCollection, no token") << TOp([](auto& c) -> QString {
        return B(c.UploadCollection(TAVLORA_FIXTURES "/none.tvl"));
    }) << "code"
                                                << "false";
}

void TestApiClient::guards()
{
    QFETCH(TOp, op);
    QFETCH(QString, identity);
    QFETCH(QString, result);
    THttpStub stub([](const TStubRequest&) { return Answer("{\"success\":1}"); });
    TTVLApiClient client(stub.Url(""));
    if (identity != "none") client.setRegCode(kRegCode);
    if (identity == "full" || identity == "noconnection") client.setToken(kToken);
    if (identity == "full") client.setConnectionID(kConnection);
    QCOMPARE(op(client), result);
    QCOMPARE(stub.Requests().size(), 0);
    QVERIFY(client.QueueGetList().isEmpty());
}

void TestApiClient::errorsClearConnection_data()
{
    QTest::addColumn<TOp>("op");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("cleared");
    const TOp owner = [](auto& c) -> QString { return B(c.GetCodeToCheckOwner()); };
    const TOp confirm = [](auto& c) -> QString { return B(c.CheckCodeConfirm("123456")); };
    const TOp token = [](auto& c) -> QString { return B(c.GetConnectionIDByToken()); };
    QTest::newRow("owner, plain text") << owner << QByteArray("oops") << true;
    QTest::newRow("owner, refused") << owner << QByteArray("{\"success\":0}") << false;
    QTest::newRow("confirm, no token member") << confirm << QByteArray("{\"success\":1}") << true;
    // APIGet makes an array its "JSON Error" reply, which reads as a refusal.
    QTest::newRow("confirm, array") << confirm << QByteArray("[]") << false;
    QTest::newRow("token, no success") << token << QByteArray("{\"connection_id\":1}") << true;
    QTest::newRow("token, refused") << token << QByteArray("{\"success\":\"0\"}") << false;
    QTest::newRow("other operations keep it")
        << TOp([](auto& c) -> QString { return B(c.CheckServer()); }) << QByteArray("oops")
        << false;
}

void TestApiClient::errorsClearConnection()
{
    QFETCH(TOp, op);
    QFETCH(QByteArray, reply);
    QFETCH(bool, cleared);
    THttpStub stub([=](const TStubRequest&) { return Answer(reply); });
    TTVLApiClient client(stub.Url(""));
    SetIdentity(client);
    QCOMPARE(op(client), "false");
    QCOMPARE(client.ConnectionID().isEmpty(), cleared);
}

void TestApiClient::queuedCommands()
{
    THttpStub stub([](const TStubRequest&) { return Answer("{\"success\":1}"); });
    TTVLApiClient client(stub.Url(""));
    SetIdentity(client);
    QVERIFY(!client.SetBoardParameter("position", kBoard, kPosition, true));
    QVERIFY(!client.SendManualMove(kBoard, "e2e4", kPosition, false, true));
    QVERIFY(!client.UpdateBoard(kBoard, true));
    QVERIFY(!client.ReloadBoard(kBoard, true));
    QCOMPARE(stub.Requests().size(), 0);
    const QStringList expected = {
        "/workplace/setParameter/1234567890/position/8~8~8~8~8~8~8~8%20w%20-%20-",
        "/workplace/move/1234567890/e2e4/8~8~8~8~8~8~8~8_w_-_-/0",
        "/workplace/updateBoard/1234567890", "/workplace/reloadPosition/1234567890"};
    QCOMPARE(client.QueueGetList(), expected);
    QCOMPARE(client.TakeQueued(), expected[0]);
    QCOMPARE(client.QueueGetList().size(), 3);
}

void TestApiClient::uploads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("room");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("prefix"); // empty: nothing is sent
    QTest::addColumn<bool>("result");
    const QByteArray ok = "{\"success\":1}";
    QTest::newRow("collection") << "1718000000001.tvl" << false << ok
                                << "/collection/save/1718000000001/" << true;
    QTest::newRow("extension in capitals")
        << "1718000000001.TVL" << false << ok << "/collection/save/1718000000001/" << true;
    QTest::newRow("room") << "1234567890.room" << true << ok << "/room/save/1234567890/" << true;
    QTest::newRow("refused") << "1718000000001.tvl" << false
                             << QByteArray("{\"success\":0,\"errorDescription\":\"MD5\"}")
                             << "/collection/save/1718000000001/" << false;
    QTest::newRow("plain text reply") << "1718000000001.tvl" << false << QByteArray("saved")
                                      << "/collection/save/1718000000001/" << false;
    QTest::newRow("two dots") << "1718.000000001.tvl" << false << ok << "" << false;
    QTest::newRow("identifier not a number") << "collection.tvl" << false << ok << "" << false;
    QTest::newRow("identifier 0") << "0000000000000.tvl" << false << ok << "" << false;
    QTest::newRow("room file as collection") << "1234567890.room" << false << ok << "" << false;
    QTest::newRow("no extension") << "1718000000001" << false << ok << "" << false;
}

void TestApiClient::uploads()
{
    QFETCH(QString, name);
    QFETCH(bool, room);
    QFETCH(QByteArray, reply);
    QFETCH(QString, prefix);
    QFETCH(bool, result);
    THttpStub stub([=](const TStubRequest&) { return Answer(reply); });
    TTVLApiClient client(stub.Url(""));
    SetIdentity(client);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    const QByteArray content = TextFile::EncodeUtf8Bom(QStringList{"#Эндшпиль", "#EPD", kPosition});
    WriteAll(path, content);

    QCOMPARE(room ? client.UploadRoom(path) : client.UploadCollection(path), result);
    // Deleted exactly when the service took it.
    QCOMPARE(QFile::exists(path), !result);
    const QList<TStubRequest> requests = stub.Requests();
    if (prefix.isEmpty()) {
        QCOMPARE(requests.size(), 0);
        return;
    }
    QCOMPARE(requests.size(), 1);
    const TStubRequest& request = requests[0];
    QCOMPARE(request.Method, "POST");
    const QString md5 = QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex();
    QCOMPARE(QString::fromLatin1(request.Target), prefix + md5);
    QCOMPARE(request.Header("TVLToken"), kToken.toUtf8());
    QVERIFY(request.Header("Content-Type").startsWith("multipart/form-data"));
    QVERIFY(request.Body.contains(QByteArray("name=\"file\"; filename=\"" + name.toUtf8() + "\"")));
    QVERIFY(request.Body.contains(content));
}

void TestApiClient::uploadKeepsFileRewrittenMeanwhile_data()
{
    QTest::addColumn<bool>("whileWaiting"); // else while on its way
    QTest::newRow("while on its way") << false;
    QTest::newRow("while waiting for another request") << true;
}

void TestApiClient::uploadKeepsFileRewrittenMeanwhile()
{
    QFETCH(bool, whileWaiting);
    QTemporaryDir dir;
    const QString path = dir.filePath("1718000000001.tvl");
    const QByteArray older = "#A\r\n", newer = "#A\r\nnewer line\r\n";
    WriteAll(path, older);
    std::atomic<bool> held{false};
    // The UI thread saves a newer change while the upload is on its way, or while it waits
    // for a slow request of the other thread to end.
    THttpStub stub([&](const TStubRequest& request) {
        if (request.Method == "GET") {
            held = true;
            return Answer("{\"success\":1}", 600);
        }
        if (!whileWaiting) WriteAll(path, newer);
        return Answer("{\"success\":1}");
    });
    TTVLApiClient client(stub.Url(""));
    SetIdentity(client);
    std::atomic<bool> uploaded{false};
    if (whileWaiting) {
        std::jthread other([&] { client.CheckServer(); });
        QTRY_VERIFY(held.load());
        std::jthread upload([&] { uploaded = client.UploadCollection(path); });
        // By now the upload has read the file and waits its turn.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        WriteAll(path, newer);
    } else {
        uploaded = client.UploadCollection(path);
    }
    QVERIFY(uploaded.load());

    // The digest in the address is that of the bytes sent, and a file that no longer holds
    // them stays for the next upload.
    const QList<TStubRequest> requests = stub.Requests();
    QCOMPARE(requests.last().Method, "POST");
    const bool sentNewer = requests.last().Body.contains("newer line");
    const QString md5 =
        QCryptographicHash::hash(sentNewer ? newer : older, QCryptographicHash::Md5).toHex();
    QCOMPARE(QString::fromLatin1(requests.last().Target), "/collection/save/1718000000001/" + md5);
    QCOMPARE(ReadAll(path), sentNewer ? QByteArray("<missing>") : newer);
}

void TestApiClient::downloads_data()
{
    QTest::addColumn<QString>("server"); // stub, dead
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("file"); // the target afterwards
    const QByteArray old = "old content";
    QTest::newRow("file text") << "stub" << 200 << QByteArray("#Name\n#EPD\n8/8/8/8/8/8/8/8 w - -")
                               << true
                               << QByteArray(
                                      "\xEF\xBB\xBF#Name\r\n#EPD\r\n8/8/8/8/8/8/8/8 w - -\r\n");
    QTest::newRow("server cannot be reached") << "dead" << 200 << QByteArray() << false << old;
    QTest::newRow("refusal is no file")
        << "stub" << 200 << QByteArray("{\"success\":0,\"errorDescription\":\"Not found\"}")
        << false << old;
    QTest::newRow("array") << "stub" << 200 << QByteArray("[]") << false << old;
    QTest::newRow("error page of a proxy")
        << "stub" << 502 << QByteArray("<html><body>Bad Gateway</body></html>") << false << old;
}

void TestApiClient::downloads()
{
    QFETCH(QString, server);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(bool, result);
    QFETCH(QByteArray, file);
    THttpStub stub([=](const TStubRequest&) {
        TStubReply answer = Answer(reply);
        answer.Status = status;
        return answer;
    });
    TTVLApiClient client(server == "dead" ? FreePortUrl() : stub.Url(""));
    SetIdentity(client);
    QTemporaryDir dir;
    const QString collection = dir.filePath("1718000000001.tvl");
    const QString room = dir.filePath("1234567890.room");
    WriteAll(collection, "old content");
    WriteAll(room, "old content");
    QCOMPARE(client.DownloadCollection("1718000000001", collection), result);
    QCOMPARE(ReadAll(collection), file);
    QCOMPARE(client.DownloadRoom("1234567890", room), result);
    QCOMPARE(ReadAll(room), file);
    if (server == "stub") {
        QCOMPARE(stub.Requests().value(0).Target, "/collection/get/1718000000001");
        QCOMPARE(stub.Requests().value(1).Target, "/room/get/1234567890");
    }
    // A target that cannot be written is a failed download too.
    if (result) QVERIFY(!client.DownloadCollection("1718000000001", dir.filePath("no/such/x.tvl")));
}

void TestApiClient::oneRequestAtATime()
{
    // Each request is answered 200 ms after it arrives; two callers at once must not overlap.
    QElapsedTimer clock;
    clock.start();
    std::mutex mutex;
    QList<qint64> arrivals;
    THttpStub stub([&](const TStubRequest&) {
        std::lock_guard lock(mutex);
        arrivals.append(clock.elapsed());
        return Answer("{\"success\":1}", 200);
    });
    TTVLApiClient client(stub.Url(""));
    std::atomic<int> good{0};
    {
        std::jthread upload([&] { good += client.CheckServer(); });
        good += client.CheckServer();
    }
    QCOMPARE(good.load(), 2);
    QCOMPARE(arrivals.size(), 2);
    QVERIFY2(arrivals[1] - arrivals[0] >= 190,
             qPrintable(QStringLiteral("%1 ms apart").arg(arrivals[1] - arrivals[0])));
}

TAVLORA_REGISTER_TEST(TestApiClient);
#include "tst_apiclient.moc"
