// Game rules over the position model: legal moves, game ends, notation and counters.

#include "TestRegistry.h"
#include "TFENData.h"
#include "TGameRules.h"

#include <QRandomGenerator>

using namespace TGameRules;

namespace {

TMove M(const char* text)
{
    return ParseCoordinates(QString::fromLatin1(text)).value_or(TMove{});
}

// Leaf count at the given depth, every move played through Play.
qint64 Perft(const QString& fen, int depth)
{
    const TFENData position(fen);
    const QList<TMove> moves = LegalMoves(position);
    if (depth == 1) return moves.size();
    qint64 total = 0;
    for (const TMove& move : moves) {
        const auto played = Play(fen, move);
        if (!played) return -1;
        total += Perft(played->FEN, depth - 1);
    }
    return total;
}

} // namespace

class TestGameRules : public QObject
{
    Q_OBJECT
private slots:
    void legalMoveCounts_data();
    void legalMoveCounts();
    void results_data();
    void results();
    void checkmateAgreesWithRandomGames();
    void san_data();
    void san();
    void playAdvancesCounters();
    void playRefuses_data();
    void playRefuses();
    void moveText();
    void legalTargets();
    void enginePositions_data();
    void enginePositions();
};
TAVLORA_REGISTER_TEST(TestGameRules);

void TestGameRules::legalMoveCounts_data()
{
    // Counts at depth 1 and 2, checked against an engine's perft while the table was written.
    QTest::addColumn<QString>("fen");
    QTest::addColumn<int>("depth1");
    QTest::addColumn<int>("depth2");
    QTest::newRow("start") << QString(TFENData::kStartFEN) << 20 << 400;
    QTest::newRow("kiwipete")
        << "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1" << 48 << 2039;
    QTest::newRow("rook endgame, pins") << "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1" << 14 << 191;
    QTest::newRow("in check, promotions")
        << "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1" << 6 << 264;
    QTest::newRow("promotion by capture")
        << "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8" << 44 << 1486;
    QTest::newRow("middle game")
        << "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10" << 46 << 2079;
    QTest::newRow("en passant exposes the king") << "8/8/8/KPp4r/8/8/8/7k w - c6 0 1" << 4 << -1;
    QTest::newRow("en passant") << "4k3/8/8/2pP4/8/8/8/4K3 w - c6 0 1" << 7 << -1;
    QTest::newRow("black promotes") << "4k3/8/8/8/8/8/1p6/R3K3 b Q - 0 1" << 13 << -1;
    QTest::newRow("both castlings") << "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1" << 26 << 568;
    QTest::newRow("castling through an attacked square")
        << "4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1" << 23 << -1;
}

void TestGameRules::legalMoveCounts()
{
    QFETCH(QString, fen);
    QFETCH(int, depth1);
    QFETCH(int, depth2);
    QCOMPARE(LegalMoves(TFENData(fen)).size(), depth1);
    if (depth2 > 0) QCOMPARE(Perft(fen, 2), qint64(depth2));
}

void TestGameRules::results_data()
{
    QTest::addColumn<QString>("fen");
    QTest::addColumn<int>("result");
    const int none = int(TGameResult::None), mate = int(TGameResult::Checkmate),
              stale = int(TGameResult::Stalemate),
              material = int(TGameResult::InsufficientMaterial);
    QTest::newRow("start") << QString(TFENData::kStartFEN) << none;
    QTest::newRow("back rank mate") << "3R2k1/5ppp/8/8/8/8/5PPP/6K1 b - - 1 1" << mate;
    QTest::newRow("back rank, a rook blocks") << "3R2k1/5ppp/8/8/8/8/4rPPP/6K1 b - - 1 1" << none;
    QTest::newRow("smothered mate") << "6rk/5Npp/8/8/8/8/8/6K1 b - - 0 1" << mate;
    QTest::newRow("double check") << "3qkb2/3p1p2/3N4/8/8/8/8/4R1K1 b - - 0 1" << mate;
    QTest::newRow("check, the king takes") << "6k1/5pQp/8/8/8/8/8/6K1 b - - 0 1" << none;
    QTest::newRow("mate by a defended queen") << "6k1/5pQp/8/5N2/8/8/8/6K1 b - - 0 1" << mate;
    QTest::newRow("queen mate") << "6k1/6Q1/6K1/8/8/8/8/8 b - - 0 1" << mate;
    QTest::newRow("en passant ends the check") << "8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1" << none;
    QTest::newRow("stalemate") << "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1" << stale;
    QTest::newRow("stalemate in the corner") << "k7/8/1Q6/8/8/8/8/7K b - - 0 1" << stale;
    QTest::newRow("kings only") << "8/8/4k3/8/8/3K4/8/8 w - - 0 1" << material;
    QTest::newRow("king and knight") << "8/8/4k3/8/8/3KN3/8/8 b - - 0 1" << material;
    QTest::newRow("king and bishop") << "8/8/4k3/8/8/3K4/8/2b5 w - - 0 1" << material;
    QTest::newRow("bishops on one colour") << "5b2/8/4k3/8/8/3K4/8/2B5 w - - 0 1" << material;
    QTest::newRow("bishops on both colours") << "2b5/8/4k3/8/8/3K4/8/2B5 w - - 0 1" << none;
    QTest::newRow("two knights") << "8/8/4k3/8/8/3KNN2/8/8 w - - 0 1" << none;
    QTest::newRow("king and rook") << "8/8/4k3/8/8/3K4/8/7R w - - 0 1" << none;
    QTest::newRow("a pawn left") << "8/8/4k3/8/8/3K4/6P1/8 w - - 0 1" << none;
    // Exercises without kings never end.
    QTest::newRow("knight tour") << "8/8/8/8/8/8/8/N6x w - - 0 1" << none;
    QTest::newRow("one king") << "8/8/8/8/8/8/8/K7 w - - 0 1" << none;
}

void TestGameRules::results()
{
    QFETCH(QString, fen);
    QFETCH(int, result);
    TFENData position(fen);
    QCOMPARE(int(Result(position)), result);
    QCOMPARE(IsCheckmate(position), result == int(TGameResult::Checkmate));
    QCOMPARE(IsStalemate(position), result == int(TGameResult::Stalemate));
    // The model's own mate test agrees on every position of the table.
    TFENData copy(fen);
    QCOMPARE(copy.CheckmateExists(), result == int(TGameResult::Checkmate));
}

void TestGameRules::checkmateAgreesWithRandomGames()
{
    // Random games from busy positions: the model's mate test and "in check with no legal
    // move" must agree on every position reached.
    QRandomGenerator random(20240611);
    const QStringList starts = {
        QString(TFENData::kStartFEN),
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
        "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1"};
    int positions = 0, mates = 0;
    for (int game = 0; game < 60; ++game) {
        QString fen = starts[game % starts.size()];
        for (int ply = 0; ply < 160; ++ply) {
            TFENData position(fen);
            TFENData copy(fen);
            const bool mate = IsCheckmate(position);
            QVERIFY2(copy.CheckmateExists() == mate, qPrintable(fen));
            ++positions;
            const QList<TMove> moves = LegalMoves(position);
            if (moves.isEmpty()) {
                mates += mate;
                break;
            }
            const auto played = Play(fen, moves[int(random.bounded(qsizetype(moves.size())))]);
            QVERIFY(played);
            fen = played->FEN;
        }
    }
    QVERIFY(positions > 2000);
    Q_UNUSED(mates);
}

void TestGameRules::san_data()
{
    QTest::addColumn<QString>("fen");
    QTest::addColumn<QString>("move");
    QTest::addColumn<QString>("san");
    const QString start(TFENData::kStartFEN);
    const QString kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
    QTest::newRow("pawn") << start << "e2e4"
                          << "e4";
    QTest::newRow("knight") << start << "g1f3"
                            << "Nf3";
    QTest::newRow("short castling") << kiwipete << "e1g1"
                                    << "O-O";
    QTest::newRow("long castling") << kiwipete << "e1c1"
                                   << "O-O-O";
    QTest::newRow("black long castling") << "r3k3/8/8/8/8/8/8/4K3 b q - 0 1"
                                         << "e8c8"
                                         << "O-O-O";
    QTest::newRow("castling with check") << "5k2/8/8/8/8/8/8/4K2R w K - 0 1"
                                         << "e1g1"
                                         << "O-O+";
    QTest::newRow("pawn capture") << kiwipete << "d5e6"
                                  << "dxe6";
    QTest::newRow("en passant") << "4k3/8/8/2pP4/8/8/8/4K3 w - c6 0 1"
                                << "d5c6"
                                << "dxc6";
    QTest::newRow("promotion with check") << "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1"
                                          << "b7b8q"
                                          << "b8=Q+";
    QTest::newRow("under-promotion with check") << "8/1P6/2k5/8/8/8/8/4K3 w - - 0 1"
                                                << "b7b8n"
                                                << "b8=N+";
    QTest::newRow("promotion by capture")
        << "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8"
        << "d7c8q"
        << "dxc8=Q";
    QTest::newRow("black promotion by capture, check") << "4k3/8/8/8/8/8/1p6/R3K3 b Q - 0 1"
                                                       << "b2a1q"
                                                       << "bxa1=Q+";
    QTest::newRow("two squares without a piece promote to a queen")
        << "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1"
        << "b7b8"
        << "b8=Q+";
    QTest::newRow("rooks on one rank") << "4k3/8/8/8/8/8/8/R4RK1 w - - 0 1"
                                       << "a1d1"
                                       << "Rad1";
    QTest::newRow("rooks on one file") << "4k3/R7/8/8/8/8/8/R3K3 w - - 0 1"
                                       << "a1a4"
                                       << "R1a4";
    QTest::newRow("queens: rank") << "4k3/8/8/8/8/Q1Q5/8/Q3K3 w - - 0 1"
                                  << "a1b2"
                                  << "Q1b2";
    QTest::newRow("queens: file and rank") << "4k3/8/8/8/8/Q1Q5/8/Q3K3 w - - 0 1"
                                           << "a3b2"
                                           << "Qa3b2";
    QTest::newRow("knights, capture") << "4k3/8/8/3p4/8/2N1N3/8/4K3 w - - 0 1"
                                      << "c3d5"
                                      << "Ncxd5";
    QTest::newRow("a pinned knight does not count") << "4k3/8/8/4N3/8/2b5/1N6/K7 w - - 0 1"
                                                    << "e5d3"
                                                    << "Nd3";
    QTest::newRow("mate") << "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1"
                          << "d1d8"
                          << "Rd8#";
    QTest::newRow("black mate") << "rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq - 0 2"
                                << "d8h4"
                                << "Qh4#";
    QTest::newRow("illegal") << start << "e2e5"
                             << "";
}

void TestGameRules::san()
{
    QFETCH(QString, fen);
    QFETCH(QString, move);
    QFETCH(QString, san);
    const auto parsed = ParseCoordinates(move);
    QVERIFY(parsed);
    QCOMPARE(San(TFENData(fen), *parsed), san);
    const auto played = Play(fen, *parsed);
    QCOMPARE(played ? played->San : QString(), san);
}

void TestGameRules::playAdvancesCounters()
{
    auto played = Play(QString(TFENData::kStartFEN), M("e2e4"));
    QVERIFY(played);
    QCOMPARE(played->FEN, QString("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
    played = Play(played->FEN, M("g8f6"));
    QCOMPARE(played->FEN, QString("rnbqkb1r/pppppppp/5n2/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 1 2"));
    played = Play(played->FEN, M("b1c3"));
    QCOMPARE(played->FEN.section(' ', 4), QString("2 2"));
    // A capture restarts the clock.
    played = Play(played->FEN, M("f6e4"));
    QVERIFY(played->Capture);
    QCOMPARE(played->FEN.section(' ', 4), QString("0 3"));
    // So does a pawn move after quiet moves.
    played = Play("4k3/8/8/8/8/8/4P3/4K3 w - - 37 60", M("e2e3"));
    QCOMPARE(played->FEN.section(' ', 4), QString("0 60"));
    played = Play("4k3/8/8/8/8/8/4P3/4K3 b - - 37 60", M("e8d8"));
    QCOMPARE(played->FEN.section(' ', 4), QString("38 61"));
    // The game's end comes with the move.
    played = Play("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", M("d1d8"));
    QCOMPARE(int(played->Result), int(TGameResult::Checkmate));
    QCOMPARE(ResultText(played->Result), QString("checkmate"));
    played = Play("7k/8/6K1/8/8/8/8/5Q2 w - - 0 1", M("f1f7"));
    QCOMPARE(ResultText(played->Result), QString("draw"));
    played = Play("8/8/4k3/8/8/3K4/8/7q w - - 0 1", M("d3e2"));
    QCOMPARE(ResultText(played->Result), QString());
}

void TestGameRules::playRefuses_data()
{
    QTest::addColumn<QString>("fen");
    QTest::addColumn<QString>("move");
    const QString start(TFENData::kStartFEN);
    QTest::newRow("not the side to move") << start << "e7e5";
    QTest::newRow("empty square") << start << "e4e5";
    QTest::newRow("no such step") << start << "e2e5";
    QTest::newRow("promotion letter on a plain move") << start << "e2e4q";
    QTest::newRow("promotion to a king") << "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1"
                                         << "b7b8k";
    QTest::newRow("pinned") << "4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1"
                            << "e2d3";
    QTest::newRow("king into check") << "4k3/4r3/8/8/8/8/8/3K4 w - - 0 1"
                                     << "d1e1";
    QTest::newRow("marker pieces do not move") << "4k3/8/8/8/8/8/8/X3K3 w - - 0 1"
                                               << "a1a2";
    QTest::newRow("malformed position") << "not a fen"
                                        << "e2e4";
}

void TestGameRules::playRefuses()
{
    QFETCH(QString, fen);
    QFETCH(QString, move);
    const auto parsed = ParseCoordinates(move);
    QVERIFY(!parsed || !Play(fen, *parsed));
}

void TestGameRules::moveText()
{
    QString text = AppendMoveText({}, 1, true, "e4");
    QCOMPARE(text, QString("1. e4"));
    text = AppendMoveText(text, 1, false, "e5");
    text = AppendMoveText(text, 2, true, "Nf3");
    QCOMPARE(text, QString("1. e4 e5 2. Nf3"));
    QCOMPARE(AppendMoveText({}, 12, false, "Qh4#"), QString("12... Qh4#"));
    QCOMPARE(AppendMoveText("12... Qh4#", 13, true, "Kd2"), QString("12... Qh4# 13. Kd2"));
    QCOMPARE(ParseCoordinates("e9e4"), std::optional<TMove>());
    QCOMPARE(ParseCoordinates("e7e8Q")->Coordinates(), QString("e7e8q"));
}

void TestGameRules::legalTargets()
{
    const auto targets = LegalTargets(TFENData("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1"));
    QCOMPARE(targets.size(), 2);
    QCOMPARE(targets[0], (QPair<QString, QString>("b7", "b8"))); // four promotions, one target
    QCOMPARE(targets[1].first, QString("e1"));
    QCOMPARE(targets[1].second, QString("d1d2e2f1f2"));
}

void TestGameRules::enginePositions_data()
{
    QTest::addColumn<QString>("fen");
    QTest::addColumn<QString>("engineFen");
    QTest::newRow("start") << QString(TFENData::kStartFEN) << QString(TFENData::kStartFEN);
    QTest::newRow("castling rights without their rooks") << "4k2r/8/8/8/8/8/8/4K3 w KQkq - 3 20"
                                                         << "4k2r/8/8/8/8/8/8/4K3 w k - 3 20";
    QTest::newRow("en passant without a pawn to take") << "4k3/8/8/8/8/8/8/4K3 w - e6 0 1"
                                                       << "4k3/8/8/8/8/8/8/4K3 w - - 0 1";
    QTest::newRow("no black king") << "8/8/8/8/8/8/8/4K3 w - - 0 1"
                                   << "";
    QTest::newRow("two white kings") << "4k3/8/8/8/8/8/8/K3K3 w - - 0 1"
                                     << "";
    QTest::newRow("marker piece") << "4k3/8/8/8/8/8/8/X3K3 w - - 0 1"
                                  << "";
    QTest::newRow("pawn on the last rank") << "3Pk3/8/8/8/8/8/8/4K3 w - - 0 1"
                                           << "";
    QTest::newRow("nine pawns") << "4k3/8/8/8/8/P7/PPPPPPPP/4K3 w - - 0 1"
                                << "";
    QTest::newRow("side not to move in check") << "4k3/8/8/8/8/8/8/4K2r b - - 0 1"
                                               << "";
}

void TestGameRules::enginePositions()
{
    QFETCH(QString, fen);
    QFETCH(QString, engineFen);
    QString out;
    QCOMPARE(EnginePosition(fen, &out), !engineFen.isEmpty());
    if (!engineFen.isEmpty()) QCOMPARE(out, engineFen);
}

#include "tst_gamerules.moc"
