#include "HttpStub.h"
#include "TConfig.h"
#include "TestRegistry.h"
#include "TServiceProcess.h"
#include "TWebScripts.h"
#include "ZlibStream.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QUrlQuery>

namespace {

// The scripts of the web site answered from a table, for answers the board service never gives.
TStubReply SiteAnswer(const TStubRequest& request, const QByteArray& version, const QByteArray& exe)
{
    TStubReply reply;
    if (request.Target == "/addon_v3/update_exe.php?operation=LastVersion")
        reply.Body = version + "\r\n";
    else if (request.Target == "/addon_v3/update_exe.php?operation=SizeLastExe")
        reply.Body = QByteArray::number(exe.size()) + "\r\n";
    else if (request.Target == "/addon_v3/update_exe.php?operation=LastExe")
        reply.Body = exe;
    else if (request.Target == "/addon_v3/collections.php?op=new" && request.Method == "POST")
        reply.Body = "1718000000042\r\n";
    else
        reply.Status = 404;
    return reply;
}

} // namespace

class TestWebScripts : public QObject
{
    Q_OBJECT
private slots:
    void scriptsAsTheSiteSeesThem();
    void badAnswers_data();
    void badAnswers();
    void actualVersionAsksEveryTime();
    void againstTheBoardService();
};

void TestWebScripts::scriptsAsTheSiteSeesThem()
{
    const QByteArray exe = ZlibStream::Compress(QByteArray(50000, 'E'));
    THttpStub site([&](const TStubRequest& r) { return SiteAnswer(r, "2024.6.23.39", exe); });
    const TWebScripts scripts(site.Url("/addon_v3/"));
    QCOMPARE(scripts.LastVersion(), "2024.6.23.39");
    QCOMPARE(scripts.SizeLastExe(), exe.size());
    QCOMPARE(scripts.LastExe(), exe);
    QCOMPARE(scripts.NewCollectionId("6f1c0e2a-0000-4000-8000-00000000abcd",
                                     QStringLiteral("Эндшпиль & ладьи")),
             "1718000000042");

    const TStubRequest post = site.Requests().last();
    const QUrlQuery form(QString::fromLatin1(post.Body));
    QCOMPARE(form.queryItemValue("user"), "6f1c0e2a-0000-4000-8000-00000000abcd");
    QCOMPARE(form.queryItemValue("name", QUrl::FullyDecoded), QStringLiteral("Эндшпиль & ладьи"));

    THttpDownload* download = scripts.LastExeAsync();
    QSignalSpy finished(download, &THttpDownload::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(download->Result().Body, exe);
    delete download;
}

void TestWebScripts::badAnswers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint64>("size");
    QTest::newRow("empty") << 200 << QByteArray() << qint64(0);
    QTest::newRow("blank first line") << 200 << QByteArray("\r\n2024.6.23.39\r\n") << qint64(0);
    QTest::newRow("error page") << 200 << QByteArray("<!DOCTYPE html>\n<html>...") << qint64(0);
    QTest::newRow("server error") << 500 << QByteArray("2024.6.23.39\r\n1718000000042")
                                  << qint64(0);
    QTest::newRow("path for an id") << 200 << QByteArray("../../../etc/passwd\r\n") << qint64(0);
    QTest::newRow("12 digits") << 200 << QByteArray("171800000004\r\n") << qint64(171800000004);
    QTest::newRow("negative") << 200 << QByteArray("-5\r\n") << qint64(0);
}

void TestWebScripts::badAnswers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(qint64, size);
    THttpStub site([&](const TStubRequest&) {
        TStubReply reply;
        reply.Status = status;
        reply.Body = body;
        return reply;
    });
    const TWebScripts scripts(site.Url("/addon_v3/"));
    QCOMPARE(scripts.LastVersion(), QString());
    QCOMPARE(scripts.SizeLastExe(), size);
    QCOMPARE(scripts.NewCollectionId("u", "n"), QString());
    if (status != 200) QVERIFY(scripts.LastExe().isEmpty());
}

void TestWebScripts::actualVersionAsksEveryTime()
{
    QByteArray published = TConfig::VerInfo().toLatin1();
    QVERIFY(!published.isEmpty());
    THttpStub site([&](const TStubRequest& r) { return SiteAnswer(r, published, "x"); });
    TConfig config(QDir::tempPath(), QDir::tempPath());
    // The address names the stub's port, so the web site is served there.
    config.setServerAddress(QStringLiteral("http://127.0.0.1:%1").arg(site.Port()));
    QList<bool> shown;
    QList<bool> underlined;
    config.OnUpdateButtonVisible = [&shown](bool visible) { shown << visible; };
    config.OnVersionLabelUnderlined = [&underlined](bool on) { underlined << on; };

    QCOMPARE(config.ActualVersion(), TConfig::VerInfo());
    published = "9999.1.1.1";
    QCOMPARE(config.ActualVersion(), "9999.1.1.1");
    QCOMPARE(site.Requests().size(), 2);
    QCOMPARE(shown, QList<bool>({false, true}));
    QCOMPARE(underlined, QList<bool>({false, true}));

    // Nobody there: the empty text, which differs from the own version.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    config.setServerAddress(QStringLiteral("127.0.0.1:%1").arg(probe.serverPort()));
    probe.close();
    QCOMPARE(config.ActualVersion(), QString());
    QCOMPARE(shown.last(), true);
}

// The board service serves the scripts from what an administrator published in its data folder.
void TestWebScripts::againstTheBoardService()
{
    TServiceProcess service;
    QVERIFY(service.Start());
    const TWebScripts scripts(QUrl(service.ApiBase().toString() + "/addon_v3/"));
    // Nothing published yet.
    QCOMPARE(scripts.LastVersion(), QString());
    QCOMPARE(scripts.SizeLastExe(), 0);

    const QString publish = service.DataDir() + "/publish";
    QVERIFY(QDir().mkpath(publish));
    const QByteArray program = QByteArray("\x7F" "ELF") + QByteArray(200000, 'x');
    QFile exe(publish + "/tavlora");
    QVERIFY(exe.open(QIODevice::WriteOnly) && exe.write(program) == program.size());
    exe.close();
    QFile version(publish + "/version.txt");
    QVERIFY(version.open(QIODevice::WriteOnly) && version.write("2026.12.1.7\n") > 0);
    version.close();

    QCOMPARE(scripts.LastVersion(), "2026.12.1.7");
    const QByteArray stream = scripts.LastExe();
    QCOMPARE(scripts.SizeLastExe(), stream.size());
    QByteArray unpacked;
    QVERIFY(ZlibStream::Decompress(stream, unpacked));
    QCOMPARE(unpacked, program);

    const QString regCode = service.AddAccount("olga@school.example");
    const QString id = scripts.NewCollectionId(regCode, QStringLiteral("Эндшпиль"));
    QCOMPARE(id.size(), 13);
    QCOMPARE(scripts.NewCollectionId("not-an-account-code", "x"), QString());
}

TAVLORA_REGISTER_TEST(TestWebScripts);
#include "tst_webscripts.moc"
