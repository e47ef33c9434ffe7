#include "TFENData.h"
#include "TestRegistry.h"

namespace {
// Every (from, to) pair the rules allow for the side to move.
int CountAllowedPairs(const TFENData& data)
{
    int count = 0;
    for (int from = 11; from <= 88; ++from) {
        const QChar p = data.GetFieldValue(from);
        const bool own = data.WhiteMove() ? QString("KQRBNP").contains(p) : QString("kqrbnp").contains(p);
        if (!own)
            continue;
        for (int to = 11; to <= 88; ++to)
            count += data.CanMovePiece(from, to);
    }
    return count;
}
} // namespace

class TestRules : public QObject
{
    Q_OBJECT
private slots:
    void allowedMoves_data();
    void allowedMoves();
    void firstMoves();
    void enPassant();
    void castling_data();
    void castling();
    void kingStepIsNotCastling();
    void pinnedPiece();
    void promotion_data();
    void promotion();
    void afterMoveFiresWhenTurnPasses();
    void checkmate_data();
    void checkmate();
    void kings();
};
TAVLORA_REGISTER_TEST(TestRules);

void TestRules::allowedMoves_data()
{
    // Counts of distinct from-to pairs, checked against an engine's legal move lists.
    QTest::addColumn<QString>("fen");
    QTest::addColumn<int>("pairs");
    QTest::newRow("start") << QString(TFENData::kStartFEN) << 20;
    QTest::newRow("kiwipete white")
        << "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1" << 48;
    QTest::newRow("kiwipete black")
        << "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1" << 43;
    QTest::newRow("rook endgame, pins") << "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1" << 14;
    QTest::newRow("in check") << "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"
                              << 6;
    QTest::newRow("promotion capture") << "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8"
                                       << 41;
}

void TestRules::allowedMoves()
{
    QFETCH(QString, fen);
    QFETCH(int, pairs);
    TFENData data(fen);
    QCOMPARE(CountAllowedPairs(data), pairs);
}

void TestRules::firstMoves()
{
    TFENData data(TFENData::kStartFEN);
    QVERIFY(data.MovePiece(52, 54, u' '));
    QCOMPARE(data.TakeOnPassField(), "e3");
    QVERIFY(!data.WhiteMove());
    QVERIFY(data.MovePiece(57, 55, u' '));
    QCOMPARE(data.Movies(), "52540;57550;");
    QCOMPARE(data.FEN(), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 1");
    QVERIFY(!data.Changing()); // moves do not mark the position as changed

    QVERIFY(!data.MovePiece(11, 12, u' ')); // onto an own piece
    QVERIFY(!data.MovePiece(54, 55, u' ')); // pawn blocked
    data.setEnMove(false);
    QVERIFY(!data.MovePiece(62, 63, u' '));
    QCOMPARE(data.Movies(), "52540;57550;");
}

void TestRules::enPassant()
{
    TFENData data("4k3/8/8/3pP3/8/8/P7/4K3 w - d6 0 1");
    QVERIFY(!data.CanMovePiece(12, 46)); // a pawn on a2 does not reach d6
    QVERIFY(data.MovePiece(55, 46, u' '));
    QCOMPARE(data.GetFieldValue(45), QChar(u' '));
    QCOMPARE(data.GetFieldValue(46), QChar(u'P'));
    QCOMPARE(data.TakeOnPassField(), "-");

    // Taking en passant may end a check given by the pawn that just made its double step.
    TFENData check("8/1Q6/8/k7/pP6/2K5/8/8 b - b3 0 1");
    QVERIFY(check.CheckExists());
    QVERIFY(!check.CheckmateExists());
    QVERIFY(check.MovePiece(14, 23, u' '));
    QCOMPARE(check.GetFieldValue(24), QChar(u' '));

    // ... and may not expose the own king along the rank.
    TFENData pin("8/8/8/8/k2pP2R/8/8/4K3 b - e3 0 1");
    QVERIFY(!pin.CanMovePiece(44, 53));
}

void TestRules::castling_data()
{
    QTest::addColumn<QString>("fen");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<QString>("after"); // FEN after the move when allowed
    QTest::newRow("short") << "4k3/8/8/8/8/8/8/4K2R w K - 0 1" << 71 << true
                           << "4k3/8/8/8/8/8/8/5RK1 b - - 0 1";
    QTest::newRow("long, b1 attacked is fine") << "1r2k3/8/8/8/8/8/8/R3K3 w Q - 0 1" << 31 << true
                                                << "1r2k3/8/8/8/8/8/8/2KR4 b - - 0 1";
    QTest::newRow("black short") << "4k2r/8/8/8/8/8/8/4K3 b k - 0 1" << 78 << true
                                 << "5rk1/8/8/8/8/8/8/4K3 w - - 0 1";
    QTest::newRow("f1 attacked") << "4k3/8/8/8/8/8/5r2/4K2R w K - 0 1" << 71 << false << "";
    QTest::newRow("in check") << "4k3/8/8/8/8/8/8/r3K2R w K - 0 1" << 71 << false << "";
    QTest::newRow("no right") << "4k3/8/8/8/8/8/8/4K2R w - - 0 1" << 71 << false << "";
    QTest::newRow("blocked") << "4k3/8/8/8/8/8/8/4KN1R w K - 0 1" << 71 << false << "";
    QTest::newRow("d1 attacked") << "3rk3/8/8/8/8/8/8/R3K3 w Q - 0 1" << 31 << false << "";
}

void TestRules::castling()
{
    QFETCH(QString, fen);
    QFETCH(int, to);
    QFETCH(bool, allowed);
    QFETCH(QString, after);
    TFENData data(fen);
    const int from = data.WhiteMove() ? 51 : 58;
    QCOMPARE(data.MovePiece(from, to, u' '), allowed);
    QCOMPARE(data.FEN(), allowed ? after : fen);
}

void TestRules::kingStepIsNotCastling()
{
    TFENData data("4k3/8/8/8/8/8/8/5K1R w - - 0 1");
    QVERIFY(data.MovePiece(61, 71, u' '));
    QCOMPARE(data.GetFieldValue(81), QChar(u'R'));
    QCOMPARE(data.GetFieldValue(61), QChar(u' '));
}

void TestRules::pinnedPiece()
{
    TFENData data("4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1");
    QVERIFY(!data.CanMovePiece(52, 43));
    QVERIFY(data.CanMovePiece(51, 41));
    data.setChangeGamerAfterMove(false);
    QVERIFY(data.MovePiece(52, 43, u' '));
    QVERIFY(data.WhiteMove());
    // The king's own step test still holds: e1-e2 walks into the rook.
    QVERIFY(!data.CanMovePiece(51, 52));
}

void TestRules::promotion_data()
{
    QTest::addColumn<QString>("fen");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QChar>("newPiece");
    QTest::addColumn<QChar>("placed");
    QTest::addColumn<QString>("record");
    const QString white = "4k3/P7/8/8/8/8/8/4K3 w - - 0 1";
    QTest::newRow("knight") << white << 17 << 18 << QChar(u'n') << QChar(u'N') << "17184;";
    QTest::newRow("rook") << white << 17 << 18 << QChar(u'R') << QChar(u'R') << "17182;";
    QTest::newRow("blank gives queen") << white << 17 << 18 << QChar(u' ') << QChar(u'Q') << "17181;";
    QTest::newRow("king is no promotion piece") << white << 17 << 18 << QChar(u'K') << QChar(u'Q') << "17181;";
    QTest::newRow("black bishop") << "4k3/8/8/8/8/8/p7/4K3 b - - 0 1" << 12 << 11 << QChar(u'B')
                                  << QChar(u'b') << "12113;";
    QTest::newRow("not a promotion") << QString(TFENData::kStartFEN) << 71 << 63 << QChar(u'q')
                                     << QChar(u'N') << "71631;";
}

void TestRules::promotion()
{
    QFETCH(QString, fen);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QChar, newPiece);
    QFETCH(QChar, placed);
    QFETCH(QString, record);
    TFENData data(fen);
    QVERIFY(data.MovePiece(from, to, newPiece));
    QCOMPARE(data.GetFieldValue(to), placed);
    QCOMPARE(data.Movies(), record);
}

void TestRules::afterMoveFiresWhenTurnPasses()
{
    TFENData data(TFENData::kStartFEN);
    int calls = 0;
    data.setAfterMove([&](TFENData* sender) {
        QCOMPARE(sender, &data);
        ++calls;
    });
    QVERIFY(data.MovePiece(52, 54, u' '));
    QCOMPARE(calls, 1);
    QVERIFY(data.MovePiece(57, 55, u' ')); // the turn comes back to the player: no event
    QCOMPARE(calls, 1);
}

void TestRules::checkmate_data()
{
    QTest::addColumn<QString>("fen");
    QTest::addColumn<bool>("check");
    QTest::addColumn<bool>("mate");
    QTest::newRow("no check") << QString(TFENData::kStartFEN) << false << false;
    QTest::newRow("back rank") << "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1" << true << true;
    QTest::newRow("back rank, bishop interposes") << "R5k1/5ppp/8/2b5/8/8/8/6K1 b - - 0 1" << true
                                                  << false;
    QTest::newRow("back rank, rook takes") << "R5k1/5ppp/8/8/8/8/8/r5K1 b - - 0 1" << true << false;
    QTest::newRow("pinned interposer") << "R5k1/5ppp/8/8/2b5/8/8/1Q4K1 b - - 0 1" << true << true;
    QTest::newRow("double check, free square") << "4k3/8/3N4/8/8/8/8/4R1K1 b - - 0 1" << true << false;
    QTest::newRow("double check, boxed in") << "4R2k/5Npp/8/8/8/8/8/6K1 b - - 0 1" << true << true;
    QTest::newRow("smothered") << "6rk/5Npp/8/8/8/8/8/6K1 b - - 0 1" << true << true;
    QTest::newRow("fool's mate") << "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3"
                                 << true << true;
    QTest::newRow("king in the corner") << "8/8/8/8/8/8/1q6/K7 w - - 0 1" << true << false;
    QTest::newRow("corner, protected queen") << "8/8/8/8/8/2k5/1q6/K7 w - - 0 1" << true << true;
}

void TestRules::checkmate()
{
    QFETCH(QString, fen);
    QFETCH(bool, check);
    QFETCH(bool, mate);
    TFENData data(fen);
    data.setEnMove(false); // untouched without a check
    QCOMPARE(data.CheckExists(), check);
    QCOMPARE(data.CheckmateExists(), mate);
    QCOMPARE(data.EnMove(), check ? !mate : false);
}

void TestRules::kings()
{
    TFENData data("4k3/8/8/8/8/8/8/K3K3 b - - 0 1");
    QCOMPARE(data.FindCurrentMoveKing(), 58);
    QCOMPARE(data.FindOwnerKing(), 58);
    QCOMPARE(data.FindEnemyKing(), 51); // the last one in the scan (file a first) wins
    TFENData none("8/8/8/8/8/8/8/8 w - - 0 1");
    QCOMPARE(none.FindCurrentMoveKing(), 0);
    QVERIFY(!none.CheckExists());
}

#include "tst_rules.moc"
