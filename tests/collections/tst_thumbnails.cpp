// Thumbnails: drawn on background threads, handed to the tiles on the UI thread, and safe
// whatever happens to the items or the collection meanwhile.
#include "CollectionTestDoubles.h"
#include "TChessCollection.h"
#include "TDrawBoardThread.h"
#include "TestRegistry.h"
#include "TextFile.h"
#include "TFENData.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kID = 1700000000001;

const QStringList kPositions{
    u"2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6;"_s,
    u"8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - bm Rxb2;"_s,
    u"5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - - bm Rg3;"_s,
    u"r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - - bm Qxh7+;"_s,
};

QStringList Puzzles(int count)
{
    QStringList lines{u"#Thumbnails"_s, u"#EPD"_s};
    for (int i = 0; i < count; ++i)
        lines.append(kPositions[i % kPositions.size()]);
    return lines;
}

// The picture the tile must get: the same renderer, the built-in piece set, no letters.
QImage Expected(const QString& position, int side)
{
    TFENData board(position);
    TDrawBoardThread::PrepareBoard(board);
    return board.RenderBoard(false, side);
}

} // namespace

class TestThumbnails : public QObject
{
    Q_OBJECT

private slots:
    void drawnOffTheUiThreadShownOnIt();
    void destructorStopsRunningThreads();
    void deleteAndClearWhileDrawing();
    void newerRequestWins();
    void itemsSharingAnFidAreBothDrawn();
};

void TestThumbnails::drawnOffTheUiThreadShownOnIt()
{
    QTemporaryDir dir;
    QVERIFY(TextFile::WriteLines(
        dir.path() + u"/1700000000001.tvl"_s,
        {u"#Mixed"_s, kPositions[0], u"#PGN"_s, u"1. e4 *"_s, u"#EPD"_s, kPositions[1]}));
    TTilesDouble tiles;
    tiles.ImageSize = QSize(200, 145); // side min(180, 130) = 130
    TChessCollection collection(dir.path());
    collection.setTiles(&tiles);
    QVERIFY(collection.LoadCollection(kID));

    // Every item got its tile, in order, games too.
    QCOMPARE(int(tiles.Tiles.size()), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(tiles.Tiles[size_t(i)].ItemID, i);
        QCOMPARE(tiles.Tiles[size_t(i)].Name, u"frCollectionInList"_s + QString::number(i + 1));
        QCOMPARE(collection.GetChessItem(i)->FrameItem(), i);
    }
    // Loading returned before any picture could arrive: they come through the event loop.
    QCOMPARE(collection.CountDrawThreads(), 1);
    QCOMPARE(tiles.ImagesDelivered(), 0);
    QTRY_COMPARE(collection.CountDrawThreads(), 0);
    QCOMPARE(tiles.ImagesDelivered(), 2);
    QCOMPARE(tiles.Faults, QStringList());

    for (int i : {0, 2}) {
        const TTilesDouble::TTile& tile = tiles.Tiles[size_t(i)];
        QCOMPARE(tile.Tag, i);
        QCOMPARE(tile.FENPosition, kPositions[i / 2]);
        QCOMPARE(tile.Image, Expected(kPositions[i / 2], 130));
    }
    QCOMPARE(tiles.Tiles[1].Images, 0); // games are not drawn
    QCOMPARE(tiles.Tiles[1].Tag, -1);

    // One item again, on a thread of its own.
    collection.Redraw(collection.GetChessItem(2));
    QCOMPARE(collection.CountDrawThreads(), 1);
    QTRY_COMPARE(tiles.Tiles[2].Images, 2);
    QTRY_COMPARE(collection.CountDrawThreads(), 0);
}

void TestThumbnails::destructorStopsRunningThreads()
{
    TTilesDouble tiles;
    tiles.ImageSize = QSize(2000, 2000); // big boards, so that drawing them all takes long
    auto collection = std::make_unique<TChessCollection>();
    collection->setTiles(&tiles);
    collection->ReadCollectionLines(Puzzles(300));
    collection->RedrawAll();
    collection->RedrawAll();
    QCOMPARE(collection->CountDrawThreads(), 2);
    QTest::qWait(50);

    QElapsedTimer timer;
    timer.start();
    collection.reset();
    // Each thread finishes at most the board it is drawing.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    const int delivered = tiles.ImagesDelivered();
    QTest::qWait(50);
    QCOMPARE(tiles.ImagesDelivered(), delivered); // nothing arrives for a freed collection
    QVERIFY(delivered < 300);
    QCOMPARE(tiles.Faults, QStringList());
}

void TestThumbnails::deleteAndClearWhileDrawing()
{
    QTemporaryDir dir;
    QVERIFY(TextFile::WriteLines(dir.path() + u"/1700000000001.tvl"_s, Puzzles(150)));
    TTilesDouble tiles;
    tiles.ImageSize = QSize(400, 400);
    TChessCollection collection(dir.path());
    collection.setTiles(&tiles);
    QVERIFY(collection.LoadCollection(kID));
    collection.RedrawAll();

    // Delete every other item while both threads still hold them.
    for (int i = collection.GetCount() - 1; i >= 0; i -= 2) {
        tiles.Gone.insert(collection.GetChessItem(i)->FrameItem());
        QVERIFY(collection.DeleteItem(i));
    }
    QTest::qWait(20);
    for (int i = 0; i < collection.GetCount(); ++i)
        tiles.Gone.insert(collection.GetChessItem(i)->FrameItem());
    collection.ClearLines();
    QTRY_COMPARE(collection.CountDrawThreads(), 0);
    QCOMPARE(tiles.Faults, QStringList());

    // A new load of what the deletions saved draws as usual.
    QVERIFY(collection.LoadCollection(kID));
    QCOMPARE(collection.GetCount(), 75);
    QTRY_COMPARE(collection.CountDrawThreads(), 0);
    QCOMPARE(tiles.Faults, QStringList());
    const TTilesDouble::TTile& last = tiles.Tiles.back();
    QCOMPARE(last.Images, 1);
    QCOMPARE(last.FENPosition, kPositions[148 % 4]);
}

void TestThumbnails::newerRequestWins()
{
    // The last item is the last one its first thread reaches, while its redraw after an edit
    // runs alone: the older picture arrives last and must not replace the newer one.
    TTilesDouble tiles;
    tiles.ImageSize = QSize(300, 300);
    TChessCollection collection;
    collection.setTiles(&tiles);
    collection.ReadCollectionLines(Puzzles(80));
    collection.RedrawAll();
    auto* puzzle = static_cast<TChessPuzzle*>(collection.GetChessItem(79));
    const QString edited = u"7k/p7/1R5K/6r1/6p1/6P1/8/8 w - - bm Rb7;"_s;
    QVERIFY(puzzle->SetPuzzle(edited));
    collection.Redraw(puzzle);
    QTRY_COMPARE(collection.CountDrawThreads(), 0);

    const TTilesDouble::TTile& tile = tiles.Tiles.back();
    QCOMPARE(tile.FENPosition, edited);
    QCOMPARE(tile.Image, Expected(edited, 270));
    QCOMPARE(tiles.Faults, QStringList());
}

void TestThumbnails::itemsSharingAnFidAreBothDrawn()
{
    QTemporaryDir dir;
    QVERIFY(TextFile::WriteLines(dir.path() + u"/1700000000001.tvl"_s, Puzzles(3)));
    TTilesDouble tiles;
    TChessCollection collection(dir.path());
    collection.setTiles(&tiles);
    QVERIFY(collection.LoadCollection(kID));
    QTRY_COMPARE(collection.CountDrawThreads(), 0);
    QVERIFY(collection.DeleteItem(0));
    QVERIFY(collection.AddPuzzle(kPositions[3]));
    QCOMPARE(collection.GetChessItem(1)->ID(), collection.GetChessItem(2)->ID());

    collection.RedrawAll();
    QTRY_COMPARE(collection.CountDrawThreads(), 0);
    QCOMPARE(tiles.Tiles[2].Images, 2);
    QCOMPARE(tiles.Tiles[3].Images, 1);
    QCOMPARE(tiles.Tiles[3].FENPosition, kPositions[3]);
}

TAVLORA_REGISTER_TEST(TestThumbnails);
#include "tst_thumbnails.moc"
