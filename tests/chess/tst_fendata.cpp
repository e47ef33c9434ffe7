#include "TFENData.h"
#include "TestRegistry.h"

class TestFENData : public QObject
{
    Q_OBJECT
private slots:
    void fenRoundTrip_data();
    void fenRoundTrip();
    void shortFEN();
    void enPassantField_data();
    void enPassantField();
    void castlingNeedsPiecesAtHome();
    void changing();
    void squareAccess();
    void conversions();
    void material();
    void epdRoundTrip();
    void epdOperations();
    void positionCode_data();
    void positionCode();
    void anyTextKeepsEightSquaresPerRank();
};
TAVLORA_REGISTER_TEST(TestFENData);

void TestFENData::fenRoundTrip_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    const QString start = TFENData::kStartFEN;
    QTest::newRow("start") << start << start;
    QTest::newRow("empty board drops castling") << "8/8/8/8/8/8/8/8 w KQkq - 0 1"
                                                << "8/8/8/8/8/8/8/8 w - - 0 1";
    QTest::newRow("board only") << "4k3/8/8/8/8/8/8/4K3" << "4k3/8/8/8/8/8/8/4K3 w - - 0 1";
    QTest::newRow("full-move 0") << "4k3/8/8/8/8/8/8/4K3 b - - 12 0" << "4k3/8/8/8/8/8/8/4K3 b - - 12 1";
    QTest::newRow("no counters") << "4k3/8/8/8/8/8/8/4K3 b - -" << "4k3/8/8/8/8/8/8/4K3 b - - 0 1";
    QTest::newRow("rank of nine squares") << "rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
                                          << "8/8/8/8/8/8/8/8 w - - 0 1";
    QTest::newRow("two blanks: black to move") << "4k3/8/8/8/8/8/8/4K3  w" << "4k3/8/8/8/8/8/8/4K3 b - - 0 1";
    QTest::newRow("upper-case W is black") << "4k3/8/8/8/8/8/8/4K3 W" << "4k3/8/8/8/8/8/8/4K3 b - - 0 1";
    QTest::newRow("markers and foreign characters kept")
        << "cxf5/8/8/8/8/8/8/CXF2Z19 w - - 3 7" << "cxf5/8/8/8/8/8/8/CXF2Z19 w - - 3 7";
    QTest::newRow("non-numeric counters") << "8/8/8/8/8/8/8/8 w - - x y" << "8/8/8/8/8/8/8/8 w - - 0 1";
    QTest::newRow("empty text") << "" << "8/8/8/8/8/8/8/8 w - - 0 1";
    QTest::newRow("garbage") << "//// // \xff\xfe" << "8/8/8/8/8/8/8/8 b - - 0 1";
}

void TestFENData::fenRoundTrip()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    TFENData data(in);
    QCOMPARE(data.FEN(), out);
    TFENData again;
    again.setFEN(in);
    QCOMPARE(again.FEN(), out);
}

void TestFENData::shortFEN()
{
    TFENData data;
    data.SetStartPosition();
    QCOMPARE(data.ShortFEN(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    data.SetEmptyPosition();
    QCOMPARE(data.ShortFEN(), "8/8/8/8/8/8/8/8 w - -");
}

void TestFENData::enPassantField_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("stored");
    QTest::newRow("number") << "53" << "e3";
    QTest::newRow("off-board number") << "59" << "-";
    QTest::newRow("square") << "e3" << "e3";
    QTest::newRow("upper case") << "E3" << "";
    QTest::newRow("rank 9") << "e9" << "";
    QTest::newRow("dash") << "-" << "";
    QTest::newRow("zero") << "0" << "";
}

void TestFENData::enPassantField()
{
    QFETCH(QString, in);
    QFETCH(QString, stored);
    TFENData data;
    data.setTakeOnPassField(in);
    QCOMPARE(data.TakeOnPassField(), stored);
    TFENData viaFen("4k3/8/8/8/8/8/8/4K3 w - " + in + " 0 1");
    QCOMPARE(viaFen.TakeOnPassField(), stored);
}

void TestFENData::castlingNeedsPiecesAtHome()
{
    TFENData data("r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1");
    QCOMPARE(data.EnCastling(), "Kq");
    data.setEnCastling("qK"); // any order, letters anywhere
    QCOMPARE(data.EnCastling(), "Kq");
    data.setEnCastling("");
    QCOMPARE(data.EnCastling(), "-");
}

void TestFENData::changing()
{
    TFENData data(TFENData::kStartFEN);
    QVERIFY(!data.Changing());
    data.setFEN(TFENData::kStartFEN); // the same text again
    data.setWhiteMove(true);          // the same value
    data.SetFieldValue(52, u' ');     // board edits never mark
    QVERIFY(!data.Changing());
    data.setCountMovies(5);
    QVERIFY(data.Changing());
    data.setChanging(false);
    data.setFEN("4k3/8/8/8/8/8/8/4K3 w - - 0 5");
    QVERIFY(data.Changing());
}

void TestFENData::squareAccess()
{
    TFENData data(TFENData::kStartFEN);
    QCOMPARE(data.GetFieldValue(51), QChar(u'K'));
    QCOMPARE(data.GetFieldValue(5, 8), QChar(u'k'));
    QCOMPARE(data.GetFieldValue(u'E', u'1'), QChar(u'K'));
    QCOMPARE(data.GetFieldValue(u'5', u'8'), QChar(u'k'));
    QCOMPARE(data.GetFieldValue(0), QChar(u'-'));
    QCOMPARE(data.GetFieldValue(9, 1), QChar(u'-'));
    QCOMPARE(data.GetFieldValue(-11), QChar(u'-'));
    QCOMPARE(data.GetFieldValue(u'i', u'1'), QChar(u'-'));

    const QString before = data.FEN();
    data.SetFieldValue(99, u'Q');
    data.SetFieldValue(0, 9, u'Q');
    data.SetFieldValue(u'E', u'4', u'Q'); // the character form is case-sensitive
    QCOMPARE(data.FEN(), before);
    data.SetFieldValue(u'e', u'4', u'Q');
    QCOMPARE(data.GetFieldValue(54), QChar(u'Q'));
    for (int row = 1; row <= 8; ++row)
        QCOMPARE(data.Line(row).size(), 8);
}

void TestFENData::conversions()
{
    TFENData d;
    QCOMPARE(d.ConvertNumberToSymbol(54), "e4");
    QCOMPARE(d.ConvertNumberToSymbol(50), "e0");
    QCOMPARE(d.ConvertNumberToSymbol(95), "-");
    QCOMPARE(d.ConvertSymbolToNumber("e4"), 54);
    QCOMPARE(d.ConvertSymbolToNumber("4e"), 54);
    QCOMPARE(d.ConvertSymbolToNumber("-"), -1);
    QCOMPARE(d.ConvertSymbolToNumber("e"), -1);
    QCOMPARE(d.ConvertSymbolToNumber("4"), -6);
    QCOMPARE(d.ConvertSymbolToNumber("E4"), -6);
    QCOMPARE(d.IntFieldToStrField(53), "e3");
    QCOMPARE(d.IntFieldToStrField(59), "-");
    QCOMPARE(d.IntFieldToStrField(90), "-");
    QCOMPARE(d.StrFieldToIntField("h8"), 88);
    QCOMPARE(d.StrFieldToIntField("H8"), 0);
    QCOMPARE(d.StrFieldToIntField("e44"), 0);
}

void TestFENData::material()
{
    TFENData data("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    QCOMPARE(data.ValueWhitePieces(), 39);
    QCOMPARE(data.ValueBlackPieces(), 39);
    QCOMPARE(data.CountPieces(), 32);
    data.setFEN("4k3/8/cxf5/8/8/CXF5/8/3QK3 w - - 0 1");
    QCOMPARE(data.ValueWhitePieces(), 9);
    QCOMPARE(data.ValueBlackPieces(), 0);
    QCOMPARE(data.CountPieces(), 9);
}

void TestFENData::epdRoundTrip()
{
    const QString epd = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - "
                        "bm Bb5;id \"Ruy Lopez\";draw_offer";
    TFENData data;
    data.setEPD(epd);
    QCOMPARE(data.ValueParam("id"), "Ruy Lopez");
    QCOMPARE(data.ValueParam("draw_offer"), "\"");
    QCOMPARE(data.BestMove(), "Bb5");
    QCOMPARE(data.EPD(), epd);
    QCOMPARE(data.FEN(), "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 0 1");
}

void TestFENData::epdOperations()
{
    TFENData data;
    // A blank after ";" gives the later operations an empty opcode.
    data.setEPD("8/8/8/8/8/8/8/8 w - - bm e4; id \"x\"");
    QCOMPARE(data.BestMove(), "e4");
    QCOMPARE(data.ValueParam(""), "id \"x\"");

    // Setting through ValueParam sorts, ignoring case; an empty value removes.
    data.setEPD("4k3/8/8/8/8/8/8/4K3 w - - ");
    data.setValueParam("id", "first");
    data.setValueParam("Ce", "12");
    data.setValueParam("bm", "Qe2");
    QCOMPARE(data.AdditionalLines(), "bm=Qe2\r\nCe=12\r\nid=first\r\n");
    data.setValueParam("ce", QString());
    data.setBestMove(QString());
    QCOMPARE(data.AdditionalLines(), "id=first\r\n");
    QCOMPARE(data.EPD(), "4k3/8/8/8/8/8/8/4K3 w - - id \"first\"");

    // Fewer than four blanks: the whole text is the position, there are no operations.
    data.setEPD("4k3/8/8/8/8/8/8/4K3 b");
    QCOMPARE(data.EPD(), "4k3/8/8/8/8/8/8/4K3 b - - ");
}

void TestFENData::positionCode_data()
{
    QTest::addColumn<QString>("fen");
    QTest::addColumn<QString>("code");
    QTest::newRow("start") << QString(TFENData::kStartFEN)
                           << "FFFF00000000FFFFVEDUTDEVJJJJJJJJPPPPPPPPRNBQKBNR00F0";
    QTest::newRow("kings, black, e3") << "4k3/8/8/8/8/8/8/4K3 b - e3 0 1"
                                      << "0800000000000008TK010E";
    QTest::newRow("short board") << "4k" << "0[1T0100";
}

void TestFENData::positionCode()
{
    QFETCH(QString, fen);
    QFETCH(QString, code);
    QCOMPARE(FENToPositionCode(fen), code);
}

void TestFENData::anyTextKeepsEightSquaresPerRank()
{
    const QStringList texts = {"", " ", "/", "8/8/8/8/8/8/8/88 w", "9/9/9/9/9/9/9/9",
                               "pppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppp",
                               QString(1000, u'1'), "1/1/1/1/1/1/1/1 - - - - -"};
    for (const QString& t : texts) {
        TFENData data(t);
        data.setEPD(t + ";;;" + t);
        for (int row = 1; row <= 8; ++row)
            QCOMPARE(data.Line(row).size(), 8);
        TFENData back(data.FEN());
        QCOMPARE(back.FEN(), data.FEN());
    }
}

#include "tst_fendata.moc"
