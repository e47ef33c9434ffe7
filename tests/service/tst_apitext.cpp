// The request texts the service parses before anything reaches the store.

#include "ApiText.h"
#include "TestRegistry.h"

using namespace ApiText;

class TestApiText : public QObject
{
    Q_OBJECT

private slots:
    void splitPath_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("segments");
        QTest::newRow("root") << QByteArray("/") << true << QStringList{""};
        QTest::newRow("utf8 name") << QByteArray("/room/new/%C5%A0ach%20klub") << true
                                   << QStringList{"room", "new",
                                                  QString::fromUtf8("\xC5\xA0"
                                                                    "ach klub")};
        QTest::newRow("encoded slash stays in its segment")
            << QByteArray("/room/new/a%2Fb") << true << QStringList{"room", "new", "a/b"};
        QTest::newRow("trailing slash keeps an empty value")
            << QByteArray("/workplace/setParameter/1234567890/selected/") << true
            << QStringList{"workplace", "setParameter", "1234567890", "selected", ""};
        QTest::newRow("no leading slash") << QByteArray("room/list") << false << QStringList{};
        QTest::newRow("broken escape") << QByteArray("/room/new/%G1") << false << QStringList{};
        QTest::newRow("cut escape") << QByteArray("/room/new/%4") << false << QStringList{};
        QTest::newRow("invalid utf8") << QByteArray("/room/new/%FF%FE") << false << QStringList{};
        QTest::newRow("overlong utf8") << QByteArray("/room/new/%C0%AF") << false << QStringList{};
        QTest::newRow("nul") << QByteArray("/room/new/a%00b") << false << QStringList{};
        QTest::newRow("too many segments")
            << QByteArray("/a").repeated(100) << false << QStringList{};
    }
    void splitPath()
    {
        QFETCH(QByteArray, raw);
        QFETCH(bool, ok);
        QFETCH(QStringList, segments);
        QStringList out;
        QCOMPARE(SplitPath(raw, out), ok);
        if (ok) QCOMPARE(out, segments);
    }

    void identifiers_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("uuid");
        QTest::addColumn<bool>("ten");
        QTest::addColumn<bool>("thirteen");
        QTest::newRow("uuid lower")
            << "8d65ce80-972b-4e49-b78c-82e7a943f5cf" << true << false << false;
        QTest::newRow("uuid upper")
            << "8D65CE80-972B-4E49-B78C-82E7A943F5CF" << true << false << false;
        QTest::newRow("uuid 35") << "8d65ce80-972b-4e49-b78c-82e7a943f5c" << false << false
                                 << false;
        QTest::newRow("uuid dash moved")
            << "8d65ce8-0972b-4e49-b78c-82e7a943f5cf" << false << false << false;
        QTest::newRow("uuid non-hex")
            << "8d65ce80-972b-4e49-b78c-82e7a943f5cg" << false << false << false;
        QTest::newRow("ten") << "1234567890" << false << true << false;
        QTest::newRow("nine") << "123456789" << false << false << false;
        QTest::newRow("signed") << "+123456789" << false << false << false;
        QTest::newRow("blank") << " 123456789" << false << false << false;
        QTest::newRow("arabic-indic digits")
            << QString::fromUtf8("١٢٣٤٥٦٧٨٩٠") << false << false << false;
        QTest::newRow("thirteen") << "1234567890123" << false << false << true;
    }
    void identifiers()
    {
        QFETCH(QString, value);
        QFETCH(bool, uuid);
        QFETCH(bool, ten);
        QFETCH(bool, thirteen);
        QCOMPARE(CheckUUID(value), uuid);
        QCOMPARE(Check10Digit(value), ten);
        QCOMPARE(Check13Digit(value), thirteen);
    }

    void names_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("clean");
        QTest::newRow("trimmed") << "  Room 1 " << true << "Room 1";
        QTest::newRow("blanks only") << "   " << false << "";
        QTest::newRow("line break") << "a\r\nNameRoom=x" << false << "";
        QTest::newRow("too long") << QString(151, u'x') << false << "";
        QTest::newRow("longest") << QString(150, u'x') << true << QString(150, u'x');
    }
    void names()
    {
        QFETCH(QString, value);
        QFETCH(bool, ok);
        QFETCH(QString, clean);
        QString out;
        QCOMPARE(CleanName(value, 150, out), ok);
        if (ok) QCOMPARE(out, clean);
    }

    void fen_data()
    {
        QTest::addColumn<QString>("fen");
        QTest::addColumn<bool>("ok");
        QTest::newRow("start") << "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
                               << true;
        QTest::newRow("four fields") << "8/8/8/8/8/8/8/8 w - -" << true;
        QTest::newRow("seven squares")
            << "rnbqkbn/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1" << false;
        QTest::newRow("nine ranks") << "8/8/8/8/8/8/8/8/8 w - - 0 1" << false;
        QTest::newRow("bad side") << "8/8/8/8/8/8/8/8 x - - 0 1" << false;
        QTest::newRow("bad castling") << "8/8/8/8/8/8/8/8 w KK - 0 1" << false;
        QTest::newRow("bad en passant") << "8/8/8/8/8/8/8/8 w - e4 0 1" << false;
        QTest::newRow("bad piece") << "8/8/8/8/8/8/8/7z w - - 0 1" << false;
        QTest::newRow("empty") << "" << false;
    }
    void fen()
    {
        QFETCH(QString, fen);
        QFETCH(bool, ok);
        QString normalised;
        QCOMPARE(CheckFEN(fen, normalised), ok);
        if (ok) QCOMPARE(normalised.count(u' '), 5);
    }

    void escapes()
    {
        const QString fen = "r1b1k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
        QCOMPARE(EscapePosition(fen), QString("r1b1k2r~8~8~8~8~8~8~R3K2R_w_KQkq_-_0_1"));
        QCOMPARE(UnescapePosition(EscapePosition(fen)), fen);
        QCOMPARE(EscapePosition("Qh7#"), QString("Qh7$"));
        QCOMPARE(UnescapeParameter("8~8~8~8~8~8~8~8 w - -"), QString("8/8/8/8/8/8/8/8 w - -"));
    }

    void multipart_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("file");
        const QByteArray good =
            "--XyZ\r\nContent-Disposition: form-data; name=\"file\"; "
            "filename=\"1.tvl\"\r\nContent-Type: application/octet-stream\r\n\r\n"
            "#Name\r\n--XyZ not yet\r\n\r\n--XyZ--\r\n";
        QTest::newRow("quoted boundary")
            << QByteArray("multipart/form-data; boundary=\"XyZ\"") << good << true
            << QByteArray("#Name\r\n--XyZ not yet\r\n");
        QTest::newRow("plain boundary") << QByteArray("multipart/form-data; boundary=XyZ") << good
                                        << true << QByteArray("#Name\r\n--XyZ not yet\r\n");
        QTest::newRow("no boundary")
            << QByteArray("multipart/form-data") << good << false << QByteArray();
        QTest::newRow("not closed") << QByteArray("multipart/form-data; boundary=XyZ")
                                    << good.left(good.size() - 9) << false << QByteArray();
        QTest::newRow("not multipart")
            << QByteArray("text/plain; boundary=XyZ") << good << false << QByteArray();
    }
    void multipart()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        QFETCH(bool, ok);
        QFETCH(QByteArray, file);
        QList<TFormPart> parts;
        QCOMPARE(ParseMultipart(contentType, body, parts), ok);
        if (ok) {
            QCOMPARE(parts.size(), 1);
            QCOMPARE(parts[0].Name, QString("file"));
            QCOMPARE(parts[0].FileName, QString("1.tvl"));
            QCOMPARE(parts[0].Data, file);
        }
    }

    void jsonKeepsOrderAndEscapes()
    {
        const QByteArray text = TJsonObject()
                                    .Add("success", 1)
                                    .Add("b", QString("say \"hi\"\n"))
                                    .Add("a", TJsonObject().Add("x", "1"))
                                    .Text();
        QCOMPARE(text,
                 QByteArray("{\"success\":1,\"b\":\"say \\\"hi\\\"\\n\",\"a\":{\"x\":\"1\"}}"));
    }

    void uuidsAreRandomVersion4()
    {
        const QString a = NewUuid(), b = NewUuid();
        QVERIFY(CheckUUID(a));
        QVERIFY(a != b);
        QCOMPARE(a[14], QChar(u'4'));
    }
};

TAVLORA_REGISTER_TEST(TestApiText);
#include "tst_apitext.moc"
