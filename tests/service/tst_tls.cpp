// HTTPS and WSS with a certificate made for the test.

#include "ServiceClient.h"
#include "TestRegistry.h"
#include "TServiceProcess.h"

#include <QProcess>
#include <QSslCertificate>
#include <QTemporaryDir>

class TestServiceTls : public QObject
{
    Q_OBJECT

    QTemporaryDir FDir;
    TServiceProcess FService;
    QSslConfiguration FTrusting;

private slots:
    void initTestCase()
    {
        const QString cert = FDir.filePath("cert.pem"), key = FDir.filePath("key.pem");
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                                  "-out", cert, "-days", "2", "-subj", "/CN=localhost", "-addext",
                                  "subjectAltName=DNS:localhost,IP:127.0.0.1"});
        QVERIFY(openssl.waitForFinished(60000));
        QCOMPARE(openssl.exitCode(), 0);
        QVERIFY2(FService.Start({"--tls-cert", cert, "--tls-key", key}),
                 qPrintable(FService.Log()));
        QCOMPARE(FService.ApiBase().scheme(), QString("https"));
        FTrusting = QSslConfiguration::defaultConfiguration();
        FTrusting.addCaCertificates(QSslCertificate::fromPath(cert));
    }

    void httpsWithTheTrustedCertificate()
    {
        TClient client(FService.ApiBase());
        client.setSsl(FTrusting);
        const TReply reply = client.Get("/");
        QVERIFY2(reply.Success(), reply.Body);
        const QString reg = FService.AddAccount("tls@school.example");
        QVERIFY(client.Get("/user/code/new/" + reg.toLatin1()).Success());
        const TReply token = client.Get("/user/code/check/" + reg.toLatin1() + "/" +
                                        FService.LatestCode().toLatin1());
        QVERIFY(token.Success());
        client.setToken(token.Member("token").toLatin1());
        const QString connection =
            client.Get("/user/token/" + reg.toLatin1()).Member("connection_id");

        TLiveClient live;
        live.setSsl(FTrusting);
        QVERIFY(live.Open(QUrl(FService.WsBase().toString() + "/ws/" + connection)));
        QVERIFY(live.WaitFor("active " + connection));
    }

    void untrustedCertificateIsRefused()
    {
        // A fresh client that does not know the certificate.
        TClient client(FService.ApiBase());
        QVERIFY(!client.Get("/").Exchanged);
        TLiveClient live;
        QVERIFY(!live.Open(QUrl(FService.WsBase().toString() + "/ws/1000000000")));
    }

    void plainHttpOnTheTlsPortGetsNoReply()
    {
        QUrl plain = FService.ApiBase();
        plain.setScheme("http");
        TClient client(plain);
        QVERIFY(!client.Get("/").Success());
    }
};

TAVLORA_REGISTER_TEST(TestServiceTls);
#include "tst_tls.moc"
