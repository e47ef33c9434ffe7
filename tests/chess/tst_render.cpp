#include "TestRegistry.h"
#include "TFENData.h"
#include "TSvgPath.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>
#include <QThread>

namespace {

// 396 px: unit 22, squares of 44.
constexpr int kSize = 400;
constexpr int kU = 22;
constexpr int kS = 44;

// Every piece letter drawn as a square over its whole box, so a piece shows where its scratch
// picture lands.
const QByteArray kFullBoxSet =
    "K=M0,0 L160,0 L160,160 L0,160 Z\r\nQ=M0,0 L160,0 L160,160 L0,160 Z\r\n"
    "R=M0,0 L160,0 L160,160 L0,160 Z\r\nB=M0,0 L160,0 L160,160 L0,160 Z\r\n"
    "N=M0,0 L160,0 L160,160 L0,160 Z\r\nP=M0,0 L160,0 L160,160 L0,160 Z\r\n"
    "C=M0,0 L160,0 L160,160 L0,160 Z\r\nX=M0,0 L160,0 L160,160 L0,160 Z\r\n"
    "F=M0,0 L160,0 L160,160 L0,160 Z\r\n";

void LoadSet(TFENData& data, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QVERIFY(data.LoadPiecesFromStream(buffer));
}

QByteArray BuiltInSet()
{
    QFile file(QStringLiteral(":/pieces/0.pset"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QRgb Pixel(const QImage& image, int x, int y)
{
    return image.convertToFormat(QImage::Format_ARGB32).pixel(x, y);
}

// Top-left corner of a square of the 396 px picture.
QPoint SquareOrigin(int col, int row)
{
    return QPoint(kU + (col - 1) * kS, kU + (8 - row) * kS);
}

QPoint SquareCentre(int col, int row)
{
    return SquareOrigin(col, row) + QPoint(kS / 2, kS / 2);
}

bool Bluish(QRgb c)
{
    return qAlpha(c) == 255 && qBlue(c) > qRed(c) + 40;
}

bool Reddish(QRgb c)
{
    return qAlpha(c) == 255 && qRed(c) > qBlue(c) + 40 && qRed(c) > qGreen(c) + 40;
}

} // namespace

class TestRender : public QObject
{
    Q_OBJECT
private slots:
    void pictureSize_data();
    void pictureSize();
    void squaresAndMargins();
    void sideToMove_data();
    void sideToMove();
    void pieceInset_data();
    void pieceInset();
    void drawField_data();
    void drawField();
    void arrow();
    void studentArrowDoesNotShow();
    void offBoardArrowsAndMarksDrawNothing();
    void marks();
    void fieldCorners();
    void piecesFollowColoursAndSet();
    void missingPieceSetDrawsSquaresOnly();
    void garbagePieceSet();
    void oversizedPieceSetIsRefused();
    void builtInPieceSet();
    void getPiecePath();
    void programPieceSetIsShared();
    void workerThreadDrawsTheSame();
    void streamRoundTrip();
};
TAVLORA_REGISTER_TEST(TestRender);

void TestRender::pictureSize_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("side");
    QTest::newRow("400") << 400 << 396;
    QTest::newRow("multiple of 18") << 396 << 396;
    QTest::newRow("just below a multiple") << 413 << 396;
    QTest::newRow("smallest") << 18 << 18;
    QTest::newRow("too small") << 17 << 0;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("negative") << -400 << 0;
    QTest::newRow("huge is capped") << 1000000 << 4086;
}

void TestRender::pictureSize()
{
    QFETCH(int, size);
    QFETCH(int, side);
    TFENData data(TFENData::kStartFEN);
    LoadSet(data, BuiltInSet());
    const QImage picture = data.RenderBoard(true, size);
    QCOMPARE(picture.width(), side);
    QCOMPARE(picture.height(), side);
    QImage bmp;
    data.DrawBoard(bmp, true, size, true);
    QCOMPARE(bmp.size(), picture.size());
}

void TestRender::squaresAndMargins()
{
    TFENData data;
    data.setColorWhiteField(0xFFEEDDCC);
    data.setColorBlackField(0xFF336699);
    const QImage picture = data.RenderBoard(false, kSize).convertToFormat(QImage::Format_ARGB32);
    // a8 and h1 light, a1 and h8 dark.
    QCOMPARE(picture.pixel(SquareCentre(1, 8)), 0xFFEEDDCCu);
    QCOMPARE(picture.pixel(SquareCentre(8, 1)), 0xFFEEDDCCu);
    QCOMPARE(picture.pixel(SquareCentre(1, 1)), 0xFF336699u);
    QCOMPARE(picture.pixel(SquareCentre(8, 8)), 0xFF336699u);
    QCOMPARE(picture.pixel(SquareCentre(5, 4)), 0xFFEEDDCCu);
    // Squares end exactly on the grid.
    QCOMPARE(picture.pixel(SquareOrigin(2, 8)), 0xFF336699u);
    QCOMPARE(picture.pixel(SquareOrigin(2, 8) - QPoint(1, 0)), 0xFFEEDDCCu);
    // Without letters the margins are transparent, apart from the frame and the triangle.
    for (const QPoint p : {QPoint(0, 0), QPoint(10, 200), QPoint(200, 10), QPoint(200, 390),
                           QPoint(390, 200), QPoint(395, 0)})
        QCOMPARE(qAlpha(picture.pixel(p)), 0);
    QCOMPARE(picture.pixel(kU - 1, 200), 0xFF000000u);

    // Letters go into the margins, in black.
    const QImage lettered = data.RenderBoard(true, kSize).convertToFormat(QImage::Format_ARGB32);
    int inked = 0;
    for (int y = 0; y < kU; ++y)
        for (int x = kU; x < kU + kS; ++x)
            inked += qAlpha(lettered.pixel(x, y)) > 128 && qRed(lettered.pixel(x, y)) < 64;
    QVERIFY(inked > 5);
}

void TestRender::sideToMove_data()
{
    QTest::addColumn<QString>("fen");
    QTest::addColumn<QPoint>("inside");
    QTest::addColumn<QPoint>("outside");
    // White: (385, 379) (396, 390) (374, 390); Black: (385, 17) (396, 6) (374, 6).
    QTest::newRow("white") << "4k3/8/8/8/8/8/8/4K3 w - - 0 1" << QPoint(385, 387)
                           << QPoint(385, 10);
    QTest::newRow("black") << "4k3/8/8/8/8/8/8/4K3 b - - 0 1" << QPoint(385, 9) << QPoint(385, 387);
}

void TestRender::sideToMove()
{
    QFETCH(QString, fen);
    QFETCH(QPoint, inside);
    QFETCH(QPoint, outside);
    TFENData data(fen);
    const QImage picture = data.RenderBoard(false, kSize).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(picture.pixel(inside), 0xFF000000u);
    QCOMPARE(qAlpha(picture.pixel(outside)), 0);
    // Just beside the slanted edges and beyond the apex.
    const int apexY = fen.contains(u" w ") ? 379 : 17;
    const int dir = fen.contains(u" w ") ? -1 : 1;
    QCOMPARE(qAlpha(picture.pixel(385, apexY + 3 * dir)), 0);
    QCOMPARE(qAlpha(picture.pixel(376, apexY - 2 * dir)), 0);
    QCOMPARE(qAlpha(picture.pixel(394, apexY - 2 * dir)), 0);
    QCOMPARE(picture.pixel(385, apexY - 3 * dir), 0xFF000000u);
}

void TestRender::pieceInset_data()
{
    QTest::addColumn<QChar>("piece");
    QTest::addColumn<int>("inset");
    QTest::addColumn<QRgb>("fill");
    // trunc(44 * 0.15) = 6 for checkers, pawns and crosses, trunc(44 * 0.1) = 4 for the rest.
    QTest::newRow("K") << QChar(u'K') << 4 << QRgb(0xFFFFFFFF);
    QTest::newRow("q") << QChar(u'q') << 4 << QRgb(0xFF000000);
    QTest::newRow("F") << QChar(u'F') << 4 << QRgb(0xFFFFFFFF);
    QTest::newRow("P") << QChar(u'P') << 6 << QRgb(0xFFFFFFFF);
    QTest::newRow("p") << QChar(u'p') << 6 << QRgb(0xFF000000);
    QTest::newRow("C") << QChar(u'C') << 6 << QRgb(0xFFFFFFFF);
    QTest::newRow("X") << QChar(u'X') << 6 << QRgb(0xFFFFFFFF);
    QTest::newRow("x") << QChar(u'x') << 6 << QRgb(0xFF000000);
}

void TestRender::pieceInset()
{
    QFETCH(QChar, piece);
    QFETCH(int, inset);
    QFETCH(QRgb, fill);
    TFENData data;
    data.SetFieldValue(54, piece); // e4, a light square
    data.setColorWhiteField(0xFF00FF00);
    LoadSet(data, kFullBoxSet);
    const QImage picture = data.RenderBoard(false, kSize).convertToFormat(QImage::Format_ARGB32);
    const QPoint o = SquareOrigin(5, 4);
    const int mid = kS / 2;
    // The square's own colour in the inset, the piece inside it, on all four sides.
    QCOMPARE(picture.pixel(o.x() + inset - 1, o.y() + mid), 0xFF00FF00u);
    QCOMPARE(picture.pixel(o.x() + inset + 1, o.y() + mid), fill);
    QCOMPARE(picture.pixel(o.x() + kS - inset, o.y() + mid), 0xFF00FF00u);
    QCOMPARE(picture.pixel(o.x() + kS - inset - 2, o.y() + mid), fill);
    QCOMPARE(picture.pixel(o.x() + mid, o.y() + inset - 1), 0xFF00FF00u);
    QCOMPARE(picture.pixel(o.x() + mid, o.y() + inset + 1), fill);
    QCOMPARE(picture.pixel(o.x() + mid, o.y() + kS - inset), 0xFF00FF00u);
    QCOMPARE(picture.pixel(o.x() + mid, o.y() + kS - inset - 2), fill);
}

void TestRender::drawField_data()
{
    QTest::addColumn<QChar>("piece");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<QRgb>("square");
    QTest::addColumn<QRgb>("outline");
    QTest::addColumn<QRgb>("fill");
    constexpr QRgb light = 0xFFFFFFE0, dark = 0xFF202080, white = 0xFFFFFFFF, black = 0xFF000000;
    QTest::newRow("white piece, same parity: dark")
        << QChar(u'Q') << 1 << 1 << dark << black << white;
    QTest::newRow("black piece, both even: dark")
        << QChar(u'q') << 2 << 4 << dark << white << black;
    QTest::newRow("white piece, light") << QChar(u'R') << 1 << 2 << light << black << white;
    QTest::newRow("black piece, light") << QChar(u'n') << 8 << 3 << light << white << black;
    QTest::newRow("blank") << QChar(u' ') << 1 << 2 << light << light << light;
    QTest::newRow("dash") << QChar(u'-') << 1 << 1 << dark << dark << dark;
    QTest::newRow("letter without a path") << QChar(u'Z') << 1 << 2 << light << light << light;
}

void TestRender::drawField()
{
    QFETCH(QChar, piece);
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(QRgb, square);
    QFETCH(QRgb, outline);
    QFETCH(QRgb, fill);
    TFENData data;
    data.setColorWhiteField(0xFFFFFFE0);
    data.setColorBlackField(0xFF202080);
    const QByteArray inner = "M40,40 L120,40 L120,120 L40,120 Z";
    LoadSet(data, "Q=" + inner + "\r\nR=" + inner + "\r\nN=" + inner + "\r\n-=" + inner + "\r\n");
    // A canvas of the path box's size draws the path unscaled.
    QImage canvas(160, 160, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter p(&canvas);
        data.DrawField(p, piece, row, col);
    }
    const QImage image = canvas.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.pixel(5, 5), square);
    QCOMPARE(image.pixel(159, 159), square);
    // Stroke 2 centred on the edge at 40: its outer pixel shows, the fill covers the inner one.
    QCOMPARE(image.pixel(39, 80), outline);
    QCOMPARE(image.pixel(80, 120), outline);
    QCOMPARE(image.pixel(40, 80), fill);
    QCOMPARE(image.pixel(80, 80), fill);
    QCOMPARE(image.pixel(37, 80), square);
}

void TestRender::arrow()
{
    TFENData data;
    data.Arrows().AddArrow(52, 54, BlueSelection);
    const QImage picture = data.RenderBoard(false, kSize).convertToFormat(QImage::Format_ARGB32);
    // Tip at the centre of e4 (220, 220); head back at y 249 between (209, 249) and (231, 249);
    // the shaft runs from the centre of e2 (220, 308) to (220, 249).
    QVERIFY(Bluish(picture.pixel(220, 222)));
    QCOMPARE(picture.pixel(220, 217), 0xFFFFFFFFu);
    QVERIFY(Bluish(picture.pixel(211, 247)));
    QVERIFY(Bluish(picture.pixel(229, 247)));
    QVERIFY(!Bluish(picture.pixel(207, 247)));
    QVERIFY(Bluish(picture.pixel(220, 300)));
    QCOMPARE(picture.pixel(225, 300), TFENData::kDefaultWhiteField);
    // Head and shaft are laid over e3 at 0.7 each: had the shaft gone on into the head, the
    // overlap would be darker than the head beside it.
    QCOMPARE(picture.pixel(220, 245), picture.pixel(214, 245));
    QCOMPARE(picture.pixel(220, 260), picture.pixel(214, 246));
    QCOMPARE(picture.pixel(214, 260), TFENData::kDefaultBlackField);

    // Arrows take the colour of their kind from the model's list.
    TFENData red;
    red.Arrows().AddArrow(52, 54, RedSelection);
    QVERIFY(Reddish(red.RenderBoard(false, kSize).pixel(220, 300)));
}

void TestRender::studentArrowDoesNotShow()
{
    TFENData plain(TFENData::kStartFEN);
    TFENData student(TFENData::kStartFEN);
    student.Arrows().AddArrow(52, 54, StudentSelection);
    student.Arrows().AddArrow(71, 63, StudentSelection);
    QCOMPARE(student.RenderBoard(true, kSize), plain.RenderBoard(true, kSize));
}

void TestRender::offBoardArrowsAndMarksDrawNothing()
{
    TFENData plain;
    TFENData data;
    data.Arrows().AddArrow(99, 54, RedSelection);
    data.Arrows().AddArrow(50, 55, RedSelection);
    data.SelectedFields.AddSelection(0, RedSelection);
    data.SelectedFields.AddSelection(-11, BlueSelection);
    data.SelectedFields.AddSelection(59, BlueSelection);
    QCOMPARE(data.RenderBoard(false, kSize), plain.RenderBoard(false, kSize));
}

void TestRender::marks()
{
    TFENData data;
    data.SelectedFields.AddSelection(QStringLiteral("e4"), RedSelection);
    data.SelectedFields.AddSelection(QStringLiteral("d5"), WhiteSelection);
    const QImage picture = data.RenderBoard(false, kSize).convertToFormat(QImage::Format_ARGB32);
    // Rings inside the squares shrunk by trunc(4.4) = 4, pen 4.4 wide.
    const QPoint e4 = SquareOrigin(5, 4), d5 = SquareOrigin(4, 5);
    QVERIFY(Reddish(picture.pixel(e4.x() + 4, e4.y() + kS / 2)));
    QVERIFY(Reddish(picture.pixel(e4.x() + kS / 2, e4.y() + kS - 4)));
    QCOMPARE(picture.pixel(e4 + QPoint(kS / 2, kS / 2)), TFENData::kDefaultWhiteField);
    QCOMPARE(picture.pixel(e4 + QPoint(1, 1)), TFENData::kDefaultWhiteField);
    // Every kind but red is blue.
    const QRgb blue = picture.pixel(d5.x() + 4, d5.y() + kS / 2);
    QVERIFY(Bluish(blue));
    QVERIFY(qGreen(blue) > qRed(blue));
    // 0.7 of the colour over the square.
    QVERIFY(qAbs(qRed(picture.pixel(e4.x() + kS / 2, e4.y() + 4)) - 255) <= 2);
    QVERIFY(qAbs(qGreen(picture.pixel(e4.x() + kS / 2, e4.y() + 4)) - 77) <= 3);
}

void TestRender::fieldCorners()
{
    QImage canvas(396, 396, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter p(&canvas);
        TFENData::DrawFieldCorners(p, 4, 4, kS, 0xFFFF0000); // e4
    }
    const QImage image = canvas.convertToFormat(QImage::Format_ARGB32);
    const QPoint o = SquareOrigin(5, 4);
    // e = 44 div 6 = 7: triangles in the four corners, at opacity 0.7.
    for (const QPoint corner :
         {QPoint(1, 1), QPoint(kS - 2, 1), QPoint(1, kS - 2), QPoint(kS - 2, kS - 2)}) {
        const QRgb c = image.pixel(o + corner);
        QVERIFY2(qAbs(qAlpha(c) - 178) <= 2 && qRed(c) >= 250 && qBlue(c) == 0,
                 qPrintable(QString::number(c, 16)));
    }
    for (const QPoint empty : {QPoint(kS / 2, kS / 2), QPoint(6, 6), QPoint(kS / 2, 1),
                               QPoint(kS + 2, 1), QPoint(-2, -2)})
        QCOMPARE(qAlpha(image.pixel(o + empty)), 0);
}

void TestRender::piecesFollowColoursAndSet()
{
    // Finished pieces are reused between drawings; a new colour or set must still show.
    TFENData data(TFENData::kStartFEN);
    LoadSet(data, BuiltInSet());
    const QPoint a8 = SquareOrigin(1, 8) + QPoint(5, 5); // inside the rook's picture, off the rook
    QCOMPARE(Pixel(data.RenderBoard(false, kSize), a8.x(), a8.y()), 0xFFFFFFFFu);
    data.setColorWhiteField(0xFF112233);
    QCOMPARE(Pixel(data.RenderBoard(false, kSize), a8.x(), a8.y()), 0xFF112233u);
    LoadSet(data, kFullBoxSet);
    QCOMPARE(Pixel(data.RenderBoard(false, kSize), a8.x(), a8.y()), 0xFF000000u);
}

void TestRender::missingPieceSetDrawsSquaresOnly()
{
    TFENData start(TFENData::kStartFEN);
    LoadSet(start, QByteArray());
    QVERIFY(start.Pieces().IsEmpty());
    TFENData empty(QStringLiteral("8/8/8/8/8/8/8/8 w - - 0 1"));
    QCOMPARE(start.RenderBoard(true, kSize), empty.RenderBoard(true, kSize));
    // A set without the pawn line leaves the pawns out.
    TFENData pawns(QStringLiteral("8/pppppppp/8/8/8/8/PPPPPPPP/8 w - - 0 1"));
    LoadSet(pawns, "K=M0,0 L160,0 L160,160 Z\r\n");
    QCOMPARE(pawns.RenderBoard(false, kSize), empty.RenderBoard(false, kSize));
}

void TestRender::garbagePieceSet()
{
    QByteArray garbage;
    QRandomGenerator random(7);
    for (int i = 0; i < 4096; ++i)
        garbage.append(char(random.bounded(256)));
    const QByteArray bad =
        "K=M1e999 2 L3 4\r\nQ=M0,0 L1e308,1e308 L-1e308,1e308 Z\r\n"
        "R=M0 0 A1e300 1 45 1 1 1e300 1e-300\r\nB=M80 80 C\r\nN=" +
        QByteArray("M0 0") + QByteArray(" l1,1 l-1,-1").repeated(20000) +
        "\r\nP=====\r\nC=M\xff\xfe 10 10\r\n=M0 0 L160 160\r\nX\r\nF=M0 0 L1e6 1e6 L0 1e6 Z\r\n";
    for (const QByteArray& set : {garbage, bad}) {
        TFENData data(QStringLiteral("KQRBNPCX/kqrbnpcx/Ff\x01\xff?-=./8/8/8/8/8 w - - 0 1"));
        LoadSet(data, set);
        const QImage picture = data.RenderBoard(true, kSize);
        QCOMPARE(picture.width(), 396);
        QCOMPARE(Pixel(picture, SquareCentre(1, 1).x(), SquareCentre(1, 1).y()),
                 TFENData::kDefaultBlackField);
    }
}

void TestRender::oversizedPieceSetIsRefused()
{
    TFENData data;
    LoadSet(data, "K=M0 0 L10 10\r\n");
    QBuffer big;
    big.setData(QByteArray(2 * 1024 * 1024, 'K'));
    big.open(QIODevice::ReadOnly);
    QVERIFY(!data.LoadPiecesFromStream(big));
    QCOMPARE(data.GetPiecePath(u'K'), QStringLiteral("M0 0 L10 10"));
    QVERIFY(!data.LoadPiecesFromFile(QStringLiteral("/nonexistent/0.pset")));
    QCOMPARE(data.Pieces().Count(), 1);
}

void TestRender::builtInPieceSet()
{
    const QByteArray bytes = BuiltInSet();
    QVERIFY(!bytes.isEmpty());
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    for (char c : bytes)
        QVERIFY(uchar(c) < 128);
    const QList<QByteArray> lines = bytes.trimmed().split('\n');
    QCOMPARE(lines.size(), 13);
    QCOMPARE(lines.at(0).trimmed(),
             "K=M77,9 L85,9 L85,17 L93,17 L93,25 L85,25 L85,33 L77,33 L77,25 L69,25 L69,17 L77,17 "
             "L77,9 M27,122 C-10,43 20,0 81,47 L81,122 L27,122 M137,122 C174,43 144,0 83,47 "
             "L83,122 L137,122 M27,124 L137,124 137,134 27,134 27,124 M27,136 L137,136 137,146 "
             "27,146 27,136");
    QVERIFY(lines.contains("C=M36.7,68.3 L48.4,48 L68.3,36.4 L92,36.4 L112,48 L123,68.3 L123,91.5 "
                           "L112,112 L92,123 L68.3,123.4 L48.4,112 L36.7,92 L36.7,68.3\r"));
    QVERIFY(lines.contains("X=M45,35 80,70 115,35 125,45 90,80 125,115 115,125 80,90 45,125 "
                           "35,115 70,80 35,45 45,35\r"));
    const QList<QByteArray> tail = {
        "DefaultColorPiece_Black=4278190080", "DefaultColorPiece_White=4294967295",
        "DefaultStrokePiece_Black=4294967295", "DefaultStrokePiece_White=4278190080"};
    QCOMPARE(lines.mid(9).size(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(lines.at(9 + i).trimmed(), tail.at(i));

    TFENData data;
    LoadSet(data, bytes);
    for (QChar piece : QStringLiteral("KQRBNPCXF")) {
        bool ok = false;
        const QPainterPath path = TSvgPath::parse(data.GetPiecePath(piece), &ok);
        QVERIFY2(ok, qPrintable(QString(piece)));
        // Inside the box, standing on the king's baseline.
        const QRectF box = path.boundingRect();
        QVERIFY2(QRectF(0, 0, 160, 160).contains(box), qPrintable(QString(piece)));
        if (QStringLiteral("KQRBNP").contains(piece)) QCOMPARE(box.bottom(), 146.0);
    }
}

void TestRender::getPiecePath()
{
    TFENData data;
    LoadSet(data, "k=M1 1\r\nQ=M2 2=3\r\nQ=M9 9\r\nR\r\n");
    QCOMPARE(data.GetPiecePath(u'K'), QStringLiteral("M1 1")); // names ignore case
    QCOMPARE(data.GetPiecePath(u'k'), QStringLiteral("M1 1"));
    QCOMPARE(data.GetPiecePath(u'q'), QStringLiteral("M2 2=3")); // first line, after the first "="
    QCOMPARE(data.GetPiecePath(u'R'), QString());
    QCOMPARE(data.GetPiecePath(u'B'), QString());
}

void TestRender::programPieceSetIsShared()
{
    const QString file = QCoreApplication::applicationDirPath() + QStringLiteral("/0.pset");
    QVERIFY(!QFile::exists(file));
    const auto write = [&](const QByteArray& bytes) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    write("K=M0 0 L1 1\r\nQ=M0 0 L2 2\r\n");
    TFENData first;
    TFENData second(TFENData::kStartFEN);
    // A model for the rules only never reads the set.
    const TFENData rulesOnly(TFENData::kStartFEN, TFENData::kRulesOnly);
    write("K=M0 0 L3 3\r\n");
    TFENData third;
    QFile::remove(file);
    TFENData fourth;

    QCOMPARE(first.Pieces().Count(), 2);
    QCOMPARE(second.Pieces().Lines(), first.Pieces().Lines());
    QCOMPARE(third.GetPiecePath(u'K'), QStringLiteral("M0 0 L3 3")); // a changed file is read again
    QVERIFY(fourth.Pieces().IsEmpty());
    QVERIFY(rulesOnly.Pieces().IsEmpty());
    QCOMPARE(rulesOnly.FEN(), second.FEN());
}

void TestRender::workerThreadDrawsTheSame()
{
    const auto draw = [] {
        TFENData data(
            QStringLiteral("r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4"));
        QFile file(QStringLiteral(":/pieces/0.pset"));
        file.open(QIODevice::ReadOnly);
        data.LoadPiecesFromStream(file);
        data.Arrows().AddArrow(85, 76, RedSelection);
        data.Arrows().AddArrow(33, 55, HelpSelection);
        data.SelectedFields.AddSelection(76, RedSelection);
        data.SelectedFields.AddSelection(55, BlueSelection);
        QImage bmp;
        data.DrawBoard(bmp, true, kSize, true);
        return bmp;
    };
    const QImage here = draw();
    QImage there;
    QThread* worker = QThread::create([&] { there = draw(); });
    worker->start();
    QVERIFY(worker->wait(30000));
    delete worker;
    QVERIFY(!here.isNull());
    QCOMPARE(there, here);
}

void TestRender::streamRoundTrip()
{
    TFENData data(TFENData::kStartFEN);
    LoadSet(data, BuiltInSet());
    // Half-transparent squares show that the stream keeps the alpha.
    data.setColorWhiteField(0x80FF8000);
    data.Arrows().AddArrow(52, 54, BlueSelection);
    data.SelectedFields.AddSelection(54, RedSelection);

    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    data.DrawBoardToStream(stream, true, kSize, false);
    QCOMPARE(stream.pos(), 0);
    QVERIFY(stream.data().startsWith("BM"));

    // The stream holds straight alpha; premultiplied again it is the rendered picture.
    const QImage rendered = data.RenderBoard(true, kSize);
    QImage bmp;
    data.DrawBoard(bmp, true, kSize, false);
    QCOMPARE(bmp.convertToFormat(QImage::Format_ARGB32_Premultiplied), rendered);
    // Any BMP reader sees the same picture, alpha included.
    QImageReader reader(&stream, "bmp");
    QCOMPARE(reader.read(), bmp);
    QCOMPARE(qAlpha(bmp.pixel(SquareOrigin(1, 8) + QPoint(1, 1))), 0x80);
    QCOMPARE(qAlpha(bmp.pixel(0, 0)), 0);

    // Too small a size writes nothing and gives an empty bitmap.
    QBuffer empty;
    empty.open(QIODevice::ReadWrite);
    data.DrawBoardToStream(empty, true, 10, true);
    QCOMPARE(empty.size(), 0);
    data.DrawBoard(bmp, true, 10, true);
    QVERIFY(bmp.isNull());
}

#include "tst_render.moc"
