#include "HttpStub.h"
#include "NetText.h"
#include "TestRegistry.h"
#include "THttpClient.h"

#include <atomic>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QSslKey>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <thread>
#include <zlib.h>

namespace {

struct TPart
{
    QByteArray Disposition;
    QByteArray ContentType;
    QByteArray Body;
};

// Splits a multipart/form-data body the way a server reads it.
QList<TPart> ParseMultipart(const TStubRequest& request)
{
    QByteArray boundary = request.Header("Content-Type");
    boundary = boundary.mid(boundary.indexOf("boundary=") + 9);
    if (boundary.startsWith('"')) boundary = boundary.mid(1, boundary.size() - 2);
    const QByteArray delimiter = "--" + boundary;
    QList<TPart> parts;
    qsizetype pos = request.Body.indexOf(delimiter);
    while (pos >= 0) {
        pos += delimiter.size();
        if (request.Body.mid(pos, 2) == "--") break;
        const QByteArray end = "\r\n" + delimiter;
        const qsizetype next = request.Body.indexOf(end, pos);
        if (next < 0) break;
        const QByteArray raw = request.Body.mid(pos + 2, next - pos - 2);
        const qsizetype split = raw.indexOf("\r\n\r\n");
        TPart part;
        for (const QByteArray& line : raw.left(split).split('\n')) {
            const QByteArray trimmed = line.trimmed();
            if (trimmed.startsWith("Content-Disposition:"))
                part.Disposition = trimmed.mid(20).trimmed();
            else if (trimmed.startsWith("Content-Type:"))
                part.ContentType = trimmed.mid(13).trimmed();
        }
        part.Body = raw.mid(split + 4);
        parts.append(part);
        pos = next + 2;
    }
    return parts;
}

TStubReply Answer(const QByteArray& body, int delayMs = 0)
{
    TStubReply reply;
    reply.Body = body;
    reply.DelayMs = delayMs;
    return reply;
}

} // namespace

class TestHttp : public QObject
{
    Q_OBJECT
private slots:
    void getSendsHeadersAndDecodesText();
    void headGivesContentLength();
    void postFormAsServerReadsIt();
    void postMultipartAsServerReadsIt();
    void failures_data();
    void failures();
    void connectTimeoutOnSilentServer_data();
    void connectTimeoutOnSilentServer();
    void readTimeout_data();
    void readTimeout();
    void syncCallRunsNoNestedEventLoop();
    void callsFromWorkerThreads();
    void asyncProgressAndResult();
    void asyncCancelAndDelete();
    void httpsWithOwnCertificate();
    void cancelEndsSyncCalls();
    void ownAcceptEncodingIsDecoded_data();
    void ownAcceptEncodingIsDecoded();
};

void TestHttp::getSendsHeadersAndDecodesText()
{
    THttpStub stub([](const TStubRequest&) {
        return Answer("\xEF\xBB\xBF"
                      "2024.6.23.39\r\nsecond line\r\n");
    });
    THttpOptions options;
    options.Headers = {{"X-Token", "abc-123"}, {"Accept-Language", "ru"}};
    const THttpResult result = THttpClient::Get(stub.Url("/addon_v3/x.php?a=1&b=%D0%B6"), options);
    QVERIFY2(result.Ok(), qPrintable(result.ErrorText));
    QCOMPARE(result.Status, 200);
    QCOMPARE(result.FirstLine(), "2024.6.23.39");
    QCOMPARE(result.Header("content-length"), QByteArray::number(result.Body.size()));

    const QList<TStubRequest> requests = stub.Requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].Method, "GET");
    QCOMPARE(requests[0].Target, "/addon_v3/x.php?a=1&b=%D0%B6");
    QCOMPARE(requests[0].Header("x-token"), "abc-123");
    QCOMPARE(requests[0].Header("Accept-Language"), "ru");
}

void TestHttp::headGivesContentLength()
{
    THttpStub stub([](const TStubRequest&) { return Answer(QByteArray(123456, 'x')); });
    const THttpResult result = THttpClient::Head(stub.Url("/file.bin"));
    QVERIFY2(result.Ok(), qPrintable(result.ErrorText));
    QCOMPARE(result.ContentLength, 123456);
    QVERIFY(result.Body.isEmpty());
    QCOMPARE(stub.Requests().value(0).Method, "HEAD");
}

void TestHttp::postFormAsServerReadsIt()
{
    THttpStub stub([](const TStubRequest&) { return Answer("1234567890123\r\n"); });
    const THttpFields fields = {{"user", "6f1c0e2a-0000-4000-8000-00000000abcd"},
                                {"name", QStringLiteral("Эндшпиль & ладьи = 100% ?")},
                                {"empty", QString()}};
    const THttpResult result =
        THttpClient::PostForm(stub.Url("/addon_v3/collections.php?op=new"), fields);
    QVERIFY2(result.Ok(), qPrintable(result.ErrorText));
    QCOMPARE(result.FirstLine(), "1234567890123");

    const TStubRequest request = stub.Requests().value(0);
    QCOMPARE(request.Method, "POST");
    QCOMPARE(request.Target, "/addon_v3/collections.php?op=new");
    QVERIFY(request.Header("Content-Type").startsWith("application/x-www-form-urlencoded"));
    // What a server's form decoder makes of it.
    const QUrlQuery query(QString::fromLatin1(request.Body));
    const auto items = query.queryItems(QUrl::FullyDecoded);
    QCOMPARE(items.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(items[i].first, fields[i].first);
        QCOMPARE(items[i].second, fields[i].second);
    }
}

void TestHttp::postMultipartAsServerReadsIt()
{
    THttpStub stub([](const TStubRequest&) { return Answer("{\"success\":1}"); });
    static const char raw[] = "line 1\r\n--boundary look-alike\r\n\0\x01\xFF end";
    const QByteArray content(raw, sizeof raw - 1);
    THttpFilePart file;
    file.FieldName = "file";
    file.FileName = QStringLiteral("Коллекция \"1\".tvl");
    file.Content = content;
    const THttpResult result = THttpClient::PostMultipart(
        stub.Url("/collection/upload/"), {{"user", "u-1"}, {"name", QStringLiteral("Имя")}}, file);
    QVERIFY2(result.Ok(), qPrintable(result.ErrorText));

    const TStubRequest request = stub.Requests().value(0);
    QVERIFY(request.Header("Content-Type").startsWith("multipart/form-data"));
    const QList<TPart> parts = ParseMultipart(request);
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts[0].Disposition, "form-data; name=\"user\"");
    QCOMPARE(parts[0].Body, "u-1");
    QCOMPARE(parts[1].Body, QStringLiteral("Имя").toUtf8());
    // The quote in the file name cannot end the header.
    QCOMPARE(parts[2].Disposition, "form-data; name=\"file\"; filename=\"" +
                                       QStringLiteral("Коллекция %221%22.tvl").toUtf8() + "\"");
    QCOMPARE(parts[2].ContentType, "application/octet-stream");
    QCOMPARE(parts[2].Body, content);
}

void TestHttp::failures_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("failure");
    QTest::newRow("refused") << "refused" << int(THttpResult::TFailure::Network);
    QTest::newRow("404 keeps its body") << "404" << int(THttpResult::TFailure::Http);
    // A status line, then the connection closes before the declared body is in.
    QTest::newRow("body cut short") << "cut 200" << int(THttpResult::TFailure::Network);
    QTest::newRow("error body cut short") << "cut 404" << int(THttpResult::TFailure::Network);
    QTest::newRow("unknown scheme") << "scheme" << int(THttpResult::TFailure::Network);
    QTest::newRow("empty url") << "empty" << int(THttpResult::TFailure::Network);
    // Qt would drop these segments (encoded or not) and send the request to another path.
    QTest::newRow("dot-dot segment")
        << "/rooms/../admin" << int(THttpResult::TFailure::Unavailable);
    QTest::newRow("encoded dot-dot segment")
        << "/rooms/%2E%2e/admin" << int(THttpResult::TFailure::Unavailable);
    QTest::newRow("dot segment") << "/rooms/./x" << int(THttpResult::TFailure::Unavailable);
}

void TestHttp::failures()
{
    QFETCH(QString, what);
    QFETCH(int, failure);
    THttpStub stub([what](const TStubRequest&) {
        TStubReply reply = Answer("{\"success\":0}");
        reply.Status = what == "cut 200" ? 200 : 404;
        if (what.startsWith("cut")) reply.ContentLength = 100;
        return reply;
    });
    QUrl url = stub.Url("/missing");
    if (what == "refused") {
        // A port that was just free: nothing listens there.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        url = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()));
        probe.close();
    } else if (what == "scheme") {
        url = QUrl("gopher://127.0.0.1/");
    } else if (what == "empty") {
        url = QUrl();
    } else if (what.startsWith('/')) {
        url = stub.Url(what);
    }
    QElapsedTimer clock;
    clock.start();
    const THttpResult result = THttpClient::Get(url);
    QCOMPARE(int(result.Failure), failure);
    QVERIFY(!result.Ok());
    QVERIFY(!result.ErrorText.isEmpty());
    QVERIFY2(clock.elapsed() < 400, qPrintable(QString::number(clock.elapsed())));
    if (what == "404") {
        QCOMPARE(result.Status, 404);
        QCOMPARE(result.Body, "{\"success\":0}");
    }
    if (what.startsWith("cut")) {
        // The start of an answer must not pass for the answer.
        QCOMPARE(result.Status, what == "cut 200" ? 200 : 404);
        QVERIFY(result.Body.isEmpty());
    }
    if (what.startsWith('/')) {
        QCOMPARE(result.ErrorText, "bad request");
        QVERIFY(stub.Requests().isEmpty());
        // Dots inside a name are no dot segment.
        QCOMPARE(THttpClient::Get(stub.Url("/rooms/.../a..b")).Status, 404);
        QCOMPARE(stub.Requests().value(0).Target, "/rooms/.../a..b");
    }
}

void TestHttp::connectTimeoutOnSilentServer_data()
{
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("api 500 ms") << 500;
    QTest::newRow("polling 100 ms") << 100;
}

void TestHttp::connectTimeoutOnSilentServer()
{
    QFETCH(int, timeoutMs);
    TSilentPort silent;
    if (silent.Port() == 0) QSKIP("this kernel does not let a listening port be saturated");
    THttpOptions options;
    options.ConnectTimeoutMs = timeoutMs;
    options.ReadTimeoutMs = 5000;
    QElapsedTimer clock;
    clock.start();
    const THttpResult result =
        THttpClient::Get(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(silent.Port())), options);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(int(result.Failure), int(THttpResult::TFailure::ConnectTimeout));
    QVERIFY2(elapsed >= timeoutMs - 10 && elapsed <= timeoutMs + 100,
             qPrintable(QStringLiteral("failed after %1 ms").arg(elapsed)));
}

void TestHttp::readTimeout_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("pieces");
    QTest::addColumn<int>("readTimeoutMs");
    QTest::addColumn<bool>("answered");
    // Connecting is quick; the answer itself takes longer than the connect time-out.
    QTest::newRow("slow answer within the read time-out") << 1500 << 1 << 3000 << true;
    QTest::newRow("trickling answer within the read time-out") << 100 << 8 << 3000 << true;
    QTest::newRow("answer after the read time-out") << 2000 << 1 << 800 << false;
    QTest::newRow("trickle longer than the read time-out") << 0 << 10 << 800 << false;
}

void TestHttp::readTimeout()
{
    QFETCH(int, delayMs);
    QFETCH(int, pieces);
    QFETCH(int, readTimeoutMs);
    QFETCH(bool, answered);
    THttpStub stub([=](const TStubRequest&) {
        TStubReply reply = Answer(QByteArray(4000, 'a'), delayMs);
        reply.Pieces = pieces;
        reply.PieceDelayMs = 150;
        return reply;
    });
    THttpOptions options;
    options.ConnectTimeoutMs = 500;
    options.ReadTimeoutMs = readTimeoutMs;
    QElapsedTimer clock;
    clock.start();
    const THttpResult result = THttpClient::Get(stub.Url("/slow"), options);
    const qint64 elapsed = clock.elapsed();
    if (answered) {
        QVERIFY2(result.Ok(), qPrintable(result.ErrorText));
        QCOMPARE(result.Body.size(), 4000);
    } else {
        QCOMPARE(int(result.Failure), int(THttpResult::TFailure::ReadTimeout));
        QVERIFY(result.Body.isEmpty());
        QVERIFY2(elapsed <= readTimeoutMs + 150, qPrintable(QString::number(elapsed)));
    }
}

void TestHttp::syncCallRunsNoNestedEventLoop()
{
    THttpStub stub([](const TStubRequest&) { return Answer("ok", 300); });
    bool timerRan = false;
    QTimer::singleShot(0, this, [&timerRan] { timerRan = true; });
    const THttpResult result = THttpClient::Get(stub.Url("/"));
    QVERIFY(result.Ok());
    // A nested event loop would have run the timer during the call.
    QVERIFY(!timerRan);
    QTRY_VERIFY(timerRan);
}

void TestHttp::callsFromWorkerThreads()
{
    THttpStub stub([](const TStubRequest& request) { return Answer(request.Target, 100); });
    // The calls below then race to start the network thread, as workers do at start-up.
    THttpClient::Shutdown();
    std::atomic<int> good{0};
    const auto call = [&](int n) {
        const QString path = QStringLiteral("/n/%1").arg(n);
        const THttpResult result = THttpClient::Get(stub.Url(path));
        if (result.Ok() && result.Text() == path) ++good;
    };
    // Plain threads without an event loop, a QThread with one, and the main thread, together.
    std::vector<std::thread> plain;
    for (int i = 0; i < 4; ++i)
        plain.emplace_back(call, i);
    QThread looping;
    auto* context = new QObject;
    context->moveToThread(&looping);
    connect(&looping, &QThread::finished, context, &QObject::deleteLater);
    looping.start();
    std::atomic<bool> loopDone{false};
    QMetaObject::invokeMethod(
        context,
        [&] {
            call(10);
            loopDone = true;
        },
        Qt::QueuedConnection);
    call(20);
    for (auto& thread : plain)
        thread.join();
    QTRY_VERIFY_WITH_TIMEOUT(loopDone, 10000);
    looping.quit();
    QVERIFY(looping.wait(10000));
    QCOMPARE(good.load(), 6);
    QCOMPARE(stub.Requests().size(), 6);
}

void TestHttp::asyncProgressAndResult()
{
    QByteArray payload(64 * 1024, Qt::Uninitialized);
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7);
    THttpStub stub([payload](const TStubRequest&) {
        TStubReply reply = Answer(payload);
        reply.Pieces = 8;
        reply.PieceDelayMs = 60;
        return reply;
    });
    THttpDownload* download = THttpClient::GetAsync(stub.Url("/LastExe"));
    QSignalSpy progress(download, &THttpDownload::progress);
    QSignalSpy finished(download, &THttpDownload::finished);
    QVERIFY(download->IsRunning());
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.size(), 1);
    QVERIFY(!download->IsRunning());
    QVERIFY2(download->Result().Ok(), qPrintable(download->Result().ErrorText));
    QCOMPARE(download->Result().Body, payload);
    // Several steps, growing, the last one complete.
    QVERIFY(progress.size() >= 3);
    qint64 last = -1;
    for (const QList<QVariant>& step : progress) {
        QVERIFY(step[0].toLongLong() >= last);
        last = step[0].toLongLong();
    }
    QCOMPARE(progress.last()[0].toLongLong(), payload.size());
    QCOMPARE(progress.last()[1].toLongLong(), payload.size());
    delete download;
}

void TestHttp::asyncCancelAndDelete()
{
    THttpStub stub([](const TStubRequest&) {
        TStubReply reply = Answer(QByteArray(100000, 'z'));
        reply.Pieces = 20;
        reply.PieceDelayMs = 200;
        return reply;
    });
    THttpDownload* download = THttpClient::GetAsync(stub.Url("/big"));
    QSignalSpy finished(download, &THttpDownload::finished);
    QSignalSpy progress(download, &THttpDownload::progress);
    QVERIFY(progress.wait(3000));
    QElapsedTimer clock;
    clock.start();
    download->Cancel();
    QVERIFY(finished.wait(2000));
    QVERIFY(clock.elapsed() < 500);
    QCOMPARE(int(download->Result().Failure), int(THttpResult::TFailure::Cancelled));
    QVERIFY(download->Result().Body.isEmpty());
    delete download;

    // A download dropped while it runs ends quietly; the next one still works.
    delete THttpClient::GetAsync(stub.Url("/big"));
    QTest::qWait(100);
    THttpStub quick([](const TStubRequest&) { return Answer("fine"); });
    QCOMPARE(THttpClient::Get(quick.Url("/")).Text(), "fine");
}

void TestHttp::httpsWithOwnCertificate()
{
    // A certificate of our own for 127.0.0.1, as a school's service may have.
    QTemporaryDir dir;
    QProcess openssl;
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-days", "2", "-subj", "/CN=localhost", "-addext",
                   "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", dir.filePath("key.pem"),
                   "-out", dir.filePath("cert.pem")});
    if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0)
        QSKIP("openssl cannot make a test certificate here");
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(dir.filePath("cert.pem"));
    QFile keyFile(dir.filePath("key.pem"));
    QVERIFY(keyFile.open(QIODevice::ReadOnly));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(certificates.value(0));
    tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Ec));
    THttpStub stub([](const TStubRequest&) { return Answer("secure", 300); }, tls);

    // The handshake is part of connecting; the answer after it may take longer than that.
    THttpOptions options;
    options.ConnectTimeoutMs = 100;
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.addCaCertificates(certificates);
    options.Ssl = trusting;
    const THttpResult result = THttpClient::Get(stub.Url("/"), options);
    QVERIFY2(result.Ok(), qPrintable(result.ErrorText));
    QCOMPARE(result.Text(), "secure");

    // Without trust in that certificate the exchange is refused.
    THttpClient::ClearConnections();
    options.Ssl.reset();
    const THttpResult refused = THttpClient::Get(stub.Url("/"), options);
    QCOMPARE(int(refused.Failure), int(THttpResult::TFailure::Network));
    QCOMPARE(refused.Error, QNetworkReply::SslHandshakeFailedError);
}

void TestHttp::cancelEndsSyncCalls()
{
    THttpStub stub([](const TStubRequest&) { return Answer("late", 3000); });
    THttpOptions options;
    options.Cancel = std::make_shared<THttpCancel>();
    std::atomic<int> cancelled{0};
    QElapsedTimer clock;
    {
        // jthread: joined on every way out, also when a check below fails.
        std::vector<std::jthread> callers;
        for (int i = 0; i < 2; ++i)
            callers.emplace_back([&] {
                const THttpResult result = THttpClient::Get(stub.Url("/slow"), options);
                if (result.Failure == THttpResult::TFailure::Cancelled) ++cancelled;
            });
        QTRY_COMPARE(stub.Requests().size(), 2);
        clock.start();
        options.Cancel->Cancel();
    }
    QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(cancelled.load(), 2);
    // A cancelled handle stops later calls before they are sent.
    QCOMPARE(int(THttpClient::Get(stub.Url("/again"), options).Failure),
             int(THttpResult::TFailure::Cancelled));
    QCOMPARE(stub.Requests().size(), 2);
}

namespace {

QByteArray Deflated(const QByteArray& data, int windowBits)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
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

} // namespace

void TestHttp::ownAcceptEncodingIsDecoded_data()
{
    const QByteArray text = QStringLiteral("{\"success\":1, \"name\":\"Ладья\"}\r\n").toUtf8();
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("gzip") << QByteArray("gzip") << Deflated(text, 15 + 16) << true << text;
    QTest::newRow("deflate, zlib") << QByteArray("deflate") << Deflated(text, 15) << true << text;
    QTest::newRow("deflate, raw") << QByteArray("deflate") << Deflated(text, -15) << true << text;
    QTest::newRow("none") << QByteArray() << text << true << text;
    QTest::newRow("cut gzip") << QByteArray("gzip") << Deflated(text, 15 + 16).left(12) << false
                              << QByteArray();
    QTest::newRow("unknown encoding") << QByteArray("br") << text << false << QByteArray();
}

void TestHttp::ownAcceptEncodingIsDecoded()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    QFETCH(QByteArray, expected);
    THttpStub stub([=](const TStubRequest&) {
        TStubReply reply = Answer(body);
        if (!encoding.isEmpty()) reply.Headers = {{"Content-Encoding", encoding}};
        return reply;
    });
    THttpOptions options;
    options.Headers = {{"Accept-Encoding", "gzip,deflate"}};
    const THttpResult result = THttpClient::Get(stub.Url("/"), options);
    QCOMPARE(stub.Requests().value(0).Header("Accept-Encoding"), "gzip,deflate");
    QCOMPARE(result.Ok(), ok);
    QCOMPARE(result.Body, expected);
}

class TestNetText : public QObject
{
    Q_OBJECT
private slots:
    void encodePathSegment();
    void jsonText_data();
    void jsonText();
    void parseJsonObject();
};

void TestNetText::encodePathSegment()
{
    QCOMPARE(NetText::EncodePathSegment(QStringLiteral("rnbqkbnr~pp/p?#%1 ж")),
             "rnbqkbnr~pp%2Fp%3F%23%251%20%D0%B6");
    QCOMPARE(NetText::FirstLine(QStringLiteral("a b\r\nc")), "a b");
    QCOMPARE(NetText::FirstLine(QStringLiteral("only")), "only");
}

void TestNetText::jsonText_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("text");
    QTest::newRow("integer") << QByteArray("{\"v\":1}") << "1";
    QTest::newRow("13 digits") << QByteArray("{\"v\":1718000000001}") << "1718000000001";
    QTest::newRow("fraction") << QByteArray("{\"v\":0.5}") << "0.5";
    QTest::newRow("string") << QByteArray("{\"v\":\"1\"}") << "1";
    QTest::newRow("bool") << QByteArray("{\"v\":true}") << "true";
    QTest::newRow("null") << QByteArray("{\"v\":null}") << "";
    QTest::newRow("object") << QByteArray("{\"v\":{}}") << "";
}

void TestNetText::jsonText()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, text);
    QJsonObject object;
    QVERIFY(NetText::ParseJsonObject(json, object));
    QCOMPARE(NetText::JsonText(object.value("v")), text);
}

void TestNetText::parseJsonObject()
{
    QJsonObject object;
    QString error;
    for (const QByteArray& bad :
         {QByteArray("[1,2]"), QByteArray("{\"a\":"), QByteArray(""), QByteArray("\xFF\xFE{}")}) {
        object.insert("stale", 1);
        QVERIFY(!NetText::ParseJsonObject(bad, object, &error));
        QVERIFY(object.isEmpty());
        QVERIFY(!error.isEmpty());
    }
}

TAVLORA_REGISTER_TEST(TestHttp);
TAVLORA_REGISTER_TEST(TestNetText);
#include "tst_http.moc"
