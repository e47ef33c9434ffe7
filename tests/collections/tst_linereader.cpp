// The collection file's line reader: title, sections, puzzles and games, and the operations
// read from a puzzle line.
#include "TChessCollection.h"
#include "TestRegistry.h"
#include "TextFile.h"

#include <QBuffer>

using namespace Qt::Literals::StringLiterals;

namespace {

// One entry per item: "P:" and the puzzle line, or "G:" and the game's lines joined by "|".
QStringList Items(const TChessCollection& collection)
{
    QStringList items;
    for (int i = 0; i < collection.GetCount(); ++i) {
        const TChessItem* item = collection.GetChessItem(i);
        if (item->TypeChessLine() == ctlPuzzle)
            items.append(u"P:" + static_cast<const TChessPuzzle*>(item)->Puzzle());
        else
            items.append(u"G:" + item->Source().join(u'|'));
    }
    return items;
}

void ReadText(TChessCollection& collection, const QString& text)
{
    collection.ReadCollectionLines(TextFile::SplitLines(text));
}

const QString kMate = QStringLiteral("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -");
const QString kRook = QStringLiteral("R7/P4k2/8/8/8/8/r7/6K1 w - -");

} // namespace

class TestLineReader : public QObject
{
    Q_OBJECT

private slots:
    void readRules_data();
    void readRules();
    void puzzleOperations_data();
    void puzzleOperations();
    void puzzleAccessorsWrite();
    void setPuzzleRereadsOperations();
    void saveGameForms();
};

void TestLineReader::readRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");

    const QString p = u"P:"_s;
    QTest::newRow("title and puzzles") << u"#Mates\n#EPD\n"_s + kMate + u'\n' + kRook << u"Mates"_s
                                       << QStringList{p + kMate, p + kRook};
    QTest::newRow("first line not a title")
        << kMate + u"\n#EPD\n" + kRook << QString() << QStringList{p + kMate, p + kRook};
    QTest::newRow("first line #EPD is the title")
        << u"#EPD\n"_s + kMate << u"EPD"_s << QStringList{p + kMate};
    QTest::newRow("title only") << u"#Empty"_s << u"Empty"_s << QStringList();
    QTest::newRow("lines before a marker are puzzles")
        << u"#T\n"_s + kMate + u'\n' + kRook << u"T"_s << QStringList{p + kMate, p + kRook};
    QTest::newRow("marker with blanks around it")
        << u"#T\n  #PGN \t\n[Event \"x\"]\n1. e4 *"_s << u"T"_s
        << QStringList{u"G:[Event \"x\"]|1. e4 *"_s};
    QTest::newRow("#FEN opens puzzles") << u"#T\n#PGN\n1. d4 *\n#FEN\n"_s + kMate << u"T"_s
                                        << QStringList{u"G:1. d4 *"_s, p + kMate};
    QTest::newRow("games across lines, #PGN before each")
        << u"#T\n#PGN\n[Event \"a\"]\n1. e4 e5 *\n#PGN\n1. c4 *\n"_s << u"T"_s
        << QStringList{u"G:[Event \"a\"]|1. e4 e5 *"_s, u"G:1. c4 *"_s};
    QTest::newRow("lower-case epd ends a game only")
        << u"#T\n#PGN\n1. e4 *\n#epd\n1. d4 *"_s << u"T"_s
        << QStringList{u"G:1. e4 *"_s, u"G:1. d4 *"_s};
    QTest::newRow("lower-case pgn among puzzles") << u"#T\n#EPD\n"_s + kMate + u"\n#pgn\n" + kRook
                                                  << u"T"_s << QStringList{p + kMate, p + kRook};
    QTest::newRow("marker with more text is no marker")
        << u"#T\n#PGN\n1. e4 *\n#EPD puzzles\n1. d4 *"_s << u"T"_s
        << QStringList{u"G:1. e4 *"_s, u"G:1. d4 *"_s};
    QTest::newRow("blank after # is no marker") << u"#T\n#PGN\n1. e4 *\n# EPD\n1. d4 *"_s << u"T"_s
                                                << QStringList{u"G:1. e4 *"_s, u"G:1. d4 *"_s};
    QTest::newRow("comment line ends a game")
        << u"#T\n#PGN\n1. e4 *\n# next one\n1. d4 *"_s << u"T"_s
        << QStringList{u"G:1. e4 *"_s, u"G:1. d4 *"_s};
    QTest::newRow("blank lines ignored, lines trimmed")
        << u"#T\n\n   \n  "_s + kMate + u"\t \n\n#PGN\n 1. e4\n\n e5 *\n"
        << u"T"_s << QStringList{p + kMate, u"G:1. e4|e5 *"_s};
    QTest::newRow("title keeps its inner blanks")
        << u"  #  Spaced name  \n"_s + kMate << u"  Spaced name"_s << QStringList{p + kMate};
    QTest::newRow("a blank first line leaves no title")
        << u"\n#Name\n"_s + kMate << QString() << QStringList{p + kMate};
}

void TestLineReader::readRules()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(QStringList, items);

    TChessCollection collection;
    ReadText(collection, text);
    QCOMPARE(collection.NameCollection(), name);
    QCOMPARE(Items(collection), items);
    for (int i = 0; i < collection.GetCount(); ++i)
        QCOMPARE(collection.GetChessItem(i)->ID(), i);

    // What is saved reads back to the same collection, and saves the same again.
    const QStringList saved = collection.SaveToLines();
    TChessCollection again;
    again.ReadCollectionLines(saved);
    QCOMPARE(again.NameCollection(), name);
    QCOMPARE(Items(again), items);
    QCOMPARE(again.SaveToLines(), saved);
}

void TestLineReader::puzzleOperations_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("data");
    QTest::addColumn<QString>("bestMove");
    QTest::addColumn<int>("countMoves");
    QTest::addColumn<bool>("markers");

    const QString pos = u"r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - -"_s;
    QTest::newRow("no blank after ;")
        << pos + u" bm Qxh7+;TVLcount_moves 3;" << QStringList{u"bm=Qxh7+"_s, u"TVLcount_moves=3"_s}
        << u"Qxh7+"_s << 3 << false;
    QTest::newRow("a blank after ; hides the next operation")
        << pos + u" bm Qxh7+; TVLcount_moves 3;" << QStringList{u"bm=Qxh7+"_s} << u"Qxh7+"_s << 999
        << false;
    QTest::newRow("markers and a quoted operand")
        << pos + u" bm Qxh7+;TVLshow_markers 1;id \"WAC.004\";"
        << QStringList{u"bm=Qxh7+"_s, u"TVLshow_markers=1"_s, u"id=WAC.004"_s} << u"Qxh7+"_s << 999
        << true;
    QTest::newRow("opcode without operand is a flag")
        << pos + u" bm Qxh7+;TVLshow_markers;" << QStringList{u"bm=Qxh7+"_s, u"TVLshow_markers=1"_s}
        << u"Qxh7+"_s << 999 << true;
    QTest::newRow("markers other than 1")
        << pos + u" bm Qxh7+;TVLshow_markers 0;"
        << QStringList{u"bm=Qxh7+"_s, u"TVLshow_markers=0"_s} << u"Qxh7+"_s << 999 << false;
    QTest::newRow("move limit not a number")
        << pos + u" bm Qxh7+;TVLcount_moves many;"
        << QStringList{u"bm=Qxh7+"_s, u"TVLcount_moves=many"_s} << u"Qxh7+"_s << 999 << false;
    QTest::newRow("lone quote is kept")
        << pos + u" bm Qxh7+;c0 \";" << QStringList{u"bm=Qxh7+"_s, u"c0=\""_s} << u"Qxh7+"_s << 999
        << false;
    QTest::newRow("six-field FEN")
        << u"r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - - 0 1"_s << QStringList{u"0=1"_s}
        << QString() << 999 << false;
    QTest::newRow("six-field FEN with an operation")
        << u"R7/P4k2/8/8/8/8/r7/6K1 w - - 0 1 bm Rh8;TVLcount_moves 2;"_s
        << QStringList{u"bm=Rh8"_s, u"TVLcount_moves=2"_s} << u"Rh8"_s << 2 << false;
    QTest::newRow("four fields") << pos << QStringList{u"-=1"_s} << QString() << 999 << false;
    QTest::newRow("fewer than four fields")
        << u"8/8/8/8/8/8/8/8 w"_s << QStringList() << QString() << 999 << false;
    QTest::newRow("two best moves are not read as bm")
        << u"r1bqk2r/ppp1nppp/4p3/n5N1/2BPp3/P1P5/2P2PPP/R1BQK2R w KQkq - bm Ba2 Nxf7; id \"WAC.022\";"_s
        << QStringList{u"Ba2=Nxf7"_s} << QString() << 999 << false;
}

void TestLineReader::puzzleOperations()
{
    QFETCH(QString, line);
    QFETCH(QStringList, data);
    QFETCH(QString, bestMove);
    QFETCH(int, countMoves);
    QFETCH(bool, markers);

    TChessCollection collection;
    ReadText(collection, u"#T\n"_s + line);
    QCOMPARE(collection.GetCount(), 1);
    const auto* puzzle = static_cast<const TChessPuzzle*>(collection.GetChessItem(0));
    QCOMPARE(puzzle->Puzzle(), line);
    QCOMPARE(puzzle->GetStartFEN(), line);
    QCOMPARE(puzzle->Data().Lines(), data);
    QCOMPARE(puzzle->BestMove(), bestMove);
    QCOMPARE(puzzle->CountMoves(), countMoves);
    QCOMPARE(puzzle->ShowMarkers(), markers);
    // The file keeps the line as it was, whatever was read from it.
    QCOMPARE(collection.SaveToLines(), (QStringList{u"#T"_s, u"#EPD"_s, line}));
}

void TestLineReader::puzzleAccessorsWrite()
{
    TChessPuzzle puzzle(0);
    puzzle.AddSource(kMate + u" bm Rd8#;TVLcount_moves 1;TVLshow_markers 1;");

    puzzle.setBestMove(u"Rd8+Kxd8Q"_s); // 9 characters
    QCOMPARE(puzzle.BestMove(), u"Rd8+Kxd8Q"_s);
    puzzle.setBestMove(u"Rd8+Kxd8Qa"_s); // 10
    QCOMPARE(puzzle.BestMove(), QString());
    QVERIFY(!puzzle.Data().Contains(u"bm"_s));

    puzzle.setCountMoves(12);
    QCOMPARE(puzzle.Data().Value(u"TVLcount_moves"_s), u"12"_s);
    puzzle.setCountMoves(0);
    QVERIFY(!puzzle.Data().Contains(u"TVLcount_moves"_s));
    QCOMPARE(puzzle.CountMoves(), 999);

    puzzle.setShowMarkers(false);
    QVERIFY(!puzzle.ShowMarkers());
    QVERIFY(!puzzle.Data().Contains(u"TVLshow_markers"_s));
    puzzle.setShowMarkers(true);
    QVERIFY(puzzle.ShowMarkers());
}

void TestLineReader::setPuzzleRereadsOperations()
{
    TChessPuzzle puzzle(0);
    puzzle.AddSource(kMate + u" bm Rd8#;TVLcount_moves 1;");
    // An editor's EPD text ends in a blank when it has no operations.
    QVERIFY(puzzle.SetPuzzle(kRook + u' '));
    QCOMPARE(puzzle.Puzzle(), kRook);
    QCOMPARE(puzzle.BestMove(), QString());
    QCOMPARE(puzzle.CountMoves(), 999);

    // Texts that would not read back as this one puzzle change nothing.
    for (const QString& bad : QStringList{QString(), u"  "_s, u"#PGN"_s, kMate + u"\r\n#PGN"}) {
        QVERIFY(!puzzle.SetPuzzle(bad));
        QCOMPARE(puzzle.Puzzle(), kRook);
    }
}

void TestLineReader::saveGameForms()
{
    TChessCollection collection;
    ReadText(collection, u"#T\n#PGN\n[Event \"Пари\"]\n1. e4 e5 {Открытая игра} 1/2-1/2\n"_s);
    const auto* game = static_cast<const TChessGame*>(collection.GetChessItem(0));
    QVERIFY(game);

    QStringList lines{u"old"_s};
    QVERIFY(game->SaveGame(lines));
    QCOMPARE(lines, (QStringList{u"[Event \"Пари\"]"_s, u"1. e4 e5 {Открытая игра} 1/2-1/2"_s}));

    QString text;
    QVERIFY(game->SaveGame(text));
    QCOMPARE(text, u"[Event \"Пари\"]\r\n1. e4 e5 {Открытая игра} 1/2-1/2\r\n"_s);

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(game->SaveGame(buffer));
    QCOMPARE(buffer.data(), text.toUtf8());

    QBuffer closed;
    QVERIFY(!game->SaveGame(closed));
}

TAVLORA_REGISTER_TEST(TestLineReader);
#include "tst_linereader.moc"
