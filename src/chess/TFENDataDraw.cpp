// Board rendering of the position model and its piece sets. Everything paints into QImage with
// QPainter's raster engine, so boards can be drawn on any thread.
#include "TextFile.h"
#include "TFENData.h"
#include "TSvgPath.h"

#include <cmath>
#include <numbers>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QLoggingCategory>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

namespace {

Q_LOGGING_CATEGORY(lcChess, "tavlora.chess")

// Larger requests are drawn at this size: 4086 px is already a 64 MB picture.
constexpr int kMaxBoardSize = 4096;
// The built-in set is 13 kB; anything this large is not a piece set.
constexpr qint64 kMaxPieceSetBytes = 1 << 20;
// Piece paths live in a 160 by 160 box; far-out coordinates only make the rasterizer work.
constexpr qreal kPathBox = 160;
constexpr qreal kMaxPathExtent = 10000;
constexpr int kMaxCachedPaths = 256;
constexpr qreal kMarkOpacity = 0.7;
constexpr QRgb kRedMark = 0xFFFF0000;
constexpr QRgb kBlueMark = 0xFF4169E1;

QStringList PieceLines(const QByteArray& bytes)
{
    return TextFile::SplitLines(TextFile::DecodeUtf8(bytes));
}

// Reads at most kMaxPieceSetBytes from the device's current position; false when it holds more.
bool ReadPieceSet(QIODevice& device, QStringList& lines)
{
    const QByteArray bytes = device.read(kMaxPieceSetBytes + 1);
    if (bytes.size() > kMaxPieceSetBytes) {
        qCWarning(lcChess) << "piece set larger than" << kMaxPieceSetBytes << "bytes ignored";
        return false;
    }
    lines = PieceLines(bytes);
    return true;
}

// "0.pset" beside the executable, read once and shared by every model until the file changes.
class ProgramPieceSet
{
public:
    static ProgramPieceSet& Instance()
    {
        static ProgramPieceSet set;
        return set;
    }

    // Empty when there is no application object or no file.
    QStringList Lines()
    {
        QMutexLocker lock(&FMutex);
        if (!FFileKnown) {
            if (!QCoreApplication::instance()) return {};
            FFile = QCoreApplication::applicationDirPath() + QStringLiteral("/0.pset");
            FFileKnown = true;
        }
        const QFileInfo info(FFile);
        if (!info.isFile()) return {};
        const qint64 size = info.size();
        const QDateTime modified = info.lastModified();
        if (size == FSize && modified == FModified) return FLines;

        FLines.clear();
        FSize = -1;
        QFile file(FFile);
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcChess) << "cannot read" << FFile << file.errorString();
            return {};
        }
        QStringList lines;
        if (ReadPieceSet(file, lines)) FLines = lines;
        FSize = size;
        FModified = modified;
        return FLines;
    }

private:
    QMutex FMutex;
    bool FFileKnown = false;
    QString FFile;
    qint64 FSize = -1;
    QDateTime FModified;
    QStringList FLines;
};

// Parsed piece paths by their text, so drawing a square does not parse. Shared between
// threads: callers only read the elements of a cached path and draw their own scaled copy
// (QPainterPath fills lazy caches on first use, which must not happen on a shared instance).
class PathCache
{
public:
    struct Entry
    {
        QPainterPath path;
        bool drawable = false;
    };

    static PathCache& Instance()
    {
        static PathCache cache;
        return cache;
    }

    Entry Get(const QString& text)
    {
        QMutexLocker lock(&FMutex);
        const auto found = FPaths.constFind(text);
        if (found != FPaths.constEnd()) return *found;
        Entry entry;
        bool ok = false;
        qsizetype errorAt = -1;
        entry.path = TSvgPath::parse(text, &ok, &errorAt);
        if (!ok)
            qCWarning(lcChess) << "piece path has an error at character" << errorAt
                               << "and is drawn up to it";
        const QRectF bounds = entry.path.controlPointRect();
        entry.drawable = entry.path.elementCount() > 0 && bounds.left() >= -kMaxPathExtent &&
                         bounds.top() >= -kMaxPathExtent && bounds.right() <= kMaxPathExtent &&
                         bounds.bottom() <= kMaxPathExtent;
        if (!entry.drawable && entry.path.elementCount() > 0)
            qCWarning(lcChess) << "piece path reaches far outside its box and is not drawn";
        if (FPaths.size() >= kMaxCachedPaths) FPaths.clear();
        FPaths.insert(text, entry);
        return entry;
    }

private:
    QMutex FMutex;
    QHash<QString, Entry> FPaths;
};

// Finished piece pictures, already shrunk into their square, by everything that shapes them.
// Boards are redrawn often with the same set at the same size, so most pieces come from here.
class TileCache
{
public:
    struct Key
    {
        QString path;
        QRgb square;
        int size;
        int inset;
        bool black;
        bool operator==(const Key&) const = default;
    };

    static TileCache& Instance()
    {
        static TileCache cache;
        return cache;
    }

    QImage Find(const Key& key)
    {
        QMutexLocker lock(&FMutex);
        return FTiles.value(key);
    }

    void Insert(const Key& key, const QImage& tile)
    {
        QMutexLocker lock(&FMutex);
        if (FBytes + tile.sizeInBytes() > kMaxBytes) {
            FTiles.clear();
            FBytes = 0;
        }
        FTiles.insert(key, tile);
        FBytes += tile.sizeInBytes();
    }

private:
    static constexpr qsizetype kMaxBytes = 32 * 1024 * 1024;
    QMutex FMutex;
    QHash<Key, QImage> FTiles;
    qsizetype FBytes = 0;
};

size_t qHash(const TileCache::Key& key, size_t seed = 0)
{
    return qHashMulti(seed, key.path, key.square, key.size, key.inset, key.black);
}

// A new path with every point scaled; never shares data with the source.
QPainterPath ScaledCopy(const QPainterPath& source, qreal sx, qreal sy)
{
    QPainterPath out;
    out.setFillRule(source.fillRule());
    out.reserve(source.elementCount());
    const int n = source.elementCount();
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element& e = source.elementAt(i);
        const QPointF p(e.x * sx, e.y * sy);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            out.moveTo(p);
            break;
        case QPainterPath::LineToElement:
            out.lineTo(p);
            break;
        case QPainterPath::CurveToElement:
            if (i + 2 < n) {
                const QPainterPath::Element& c2 = source.elementAt(i + 1);
                const QPainterPath::Element& end = source.elementAt(i + 2);
                out.cubicTo(p, QPointF(c2.x * sx, c2.y * sy), QPointF(end.x * sx, end.y * sy));
            }
            i += 2;
            break;
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    return out;
}

// Round half to even, whatever the floating-point environment says.
double RoundHalfEven(double x)
{
    const double r = std::round(x);
    if (std::abs(x - std::trunc(x)) == 0.5) return 2.0 * std::round(x / 2.0);
    return r;
}

bool OnBoard(int col, int row)
{
    return col >= 1 && col <= 8 && row >= 1 && row <= 8;
}

bool SmallInset(QChar piece)
{
    switch (piece.unicode()) {
    case u'C':
    case u'P':
    case u'X':
    case u'c':
    case u'p':
    case u'x':
        return true;
    default:
        return false;
    }
}

// Uncompressed 32-bit BMP with an alpha mask (V4 header, top-down rows): writing it is one copy
// of the pixels, and Qt's reader brings the alpha back.
QByteArray EncodeBmp(const QImage& image)
{
    Q_ASSERT(image.format() == QImage::Format_ARGB32_Premultiplied);
    const qint32 w = image.width(), h = image.height();
    const quint32 pixelBytes = quint32(w) * quint32(h) * 4;
    constexpr quint32 kFileHeader = 14, kInfoHeader = 108;
    QByteArray out(int(kFileHeader + kInfoHeader + pixelBytes), Qt::Uninitialized);
    uchar* d = reinterpret_cast<uchar*>(out.data());
    std::memset(d, 0, kFileHeader + kInfoHeader);
    d[0] = 'B';
    d[1] = 'M';
    qToLittleEndian<quint32>(kFileHeader + kInfoHeader + pixelBytes, d + 2);
    qToLittleEndian<quint32>(kFileHeader + kInfoHeader, d + 10);
    uchar* info = d + kFileHeader;
    qToLittleEndian<quint32>(kInfoHeader, info);
    qToLittleEndian<qint32>(w, info + 4);
    qToLittleEndian<qint32>(-h, info + 8); // negative: first row is the top one
    qToLittleEndian<quint16>(1, info + 12);
    qToLittleEndian<quint16>(32, info + 14);
    qToLittleEndian<quint32>(3, info + 16); // BI_BITFIELDS
    qToLittleEndian<quint32>(pixelBytes, info + 20);
    qToLittleEndian<qint32>(2835, info + 24); // 72 dpi
    qToLittleEndian<qint32>(2835, info + 28);
    qToLittleEndian<quint32>(0x00FF0000, info + 40);
    qToLittleEndian<quint32>(0x0000FF00, info + 44);
    qToLittleEndian<quint32>(0x000000FF, info + 48);
    qToLittleEndian<quint32>(0xFF000000, info + 52);
    qToLittleEndian<quint32>(0x73524742, info + 56); // 'sRGB'
    // BMP alpha is straight, not premultiplied.
    uchar* pixels = d + kFileHeader + kInfoHeader;
    for (int y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* dst = pixels + qsizetype(y) * w * 4;
        for (int x = 0; x < w; ++x)
            qToLittleEndian<quint32>(qUnpremultiply(src[x]), dst + x * 4);
    }
    return out;
}

// The premultiplied picture with straight alpha, by the same arithmetic as EncodeBmp.
QImage StraightAlpha(const QImage& image)
{
    Q_ASSERT(image.format() == QImage::Format_ARGB32_Premultiplied);
    QImage out(image.size(), QImage::Format_ARGB32);
    if (out.isNull()) return out;
    // Sizes in locals: the pixel stores may alias the image's fields and would reload them.
    const int w = image.width(), h = image.height();
    for (int y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            dst[x] = qUnpremultiply(src[x]);
    }
    return out;
}

// Text needs the GUI application's fonts; without one the coordinates are left out.
bool CanDrawText()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

// ---------------------------------------------------------------- piece sets

void TFENData::LoadProgramPieces()
{
    const QStringList lines = ProgramPieceSet::Instance().Lines();
    if (!lines.isEmpty()) FPieces = TNameValueList(lines);
}

bool TFENData::LoadPiecesFromFile(const QString& FileName)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcChess) << "cannot read piece set" << FileName << file.errorString();
        return false;
    }
    return LoadPiecesFromStream(file);
}

bool TFENData::LoadPiecesFromStream(QIODevice& Stm)
{
    if (!Stm.isReadable()) return false;
    if (!Stm.isSequential() && !Stm.seek(0)) return false;
    QStringList lines;
    if (!ReadPieceSet(Stm, lines)) return false;
    FPieces = TNameValueList(lines);
    return true;
}

QString TFENData::GetPiecePath(QChar Piece) const
{
    return FPieces.Value(QString(Piece.toUpper()));
}

// ---------------------------------------------------------------- drawing

void TFENData::DrawField(QPainter& Canvas, QChar Piece, int Row, int Col) const
{
    if (!Canvas.isActive() || !Canvas.device()) return;
    const int w = Canvas.device()->width(), h = Canvas.device()->height();
    if (w <= 0 || h <= 0) return;
    Canvas.save();
    Canvas.resetTransform();
    Canvas.setOpacity(1);
    Canvas.setRenderHint(QPainter::Antialiasing);
    const bool dark = (Row % 2 == 0) == (Col % 2 == 0);
    Canvas.fillRect(QRect(0, 0, w, h),
                    QColor::fromRgba(dark ? FColorBlackField : FColorWhiteField));

    if (Piece != u' ' && Piece != u'-') {
        const QString text = GetPiecePath(Piece);
        if (!text.isEmpty()) {
            const PathCache::Entry entry = PathCache::Instance().Get(text);
            if (entry.drawable) {
                const QPainterPath path = ScaledCopy(entry.path, w / kPathBox, h / kPathBox);
                const bool black = Piece.isLower();
                const QColor fill = black ? Qt::black : Qt::white;
                const QColor outline = black ? Qt::white : Qt::black;
                // The fill covers the inner half of the outline, so only its outer half shows.
                Canvas.strokePath(path,
                                  QPen(outline, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
                Canvas.fillPath(path, fill);
            }
        }
    }
    Canvas.restore();
}

void TFENData::DrawArrow(QPainter& Canvas, const QPointF& Start, const QPointF& End, qreal Size,
                         qreal Opacity)
{
    double a;
    if (End.x() == Start.x())
        a = End.y() > Start.y() ? std::numbers::pi / 2 : -std::numbers::pi / 2;
    else {
        a = std::atan((End.y() - Start.y()) / (End.x() - Start.x()));
        if (End.x() < Start.x()) a += std::numbers::pi;
    }
    const double length = Size * 0.7;
    const double half = 0.3490658503988659; // 20 degrees
    const QPointF p1(End.x() - RoundHalfEven(length * std::cos(a + half)),
                     End.y() - RoundHalfEven(length * std::sin(a + half)));
    const QPointF p2(End.x() - RoundHalfEven(length * std::cos(a - half)),
                     End.y() - RoundHalfEven(length * std::sin(a - half)));
    const QPointF back = (p1 + p2) / 2;

    Canvas.save();
    Canvas.setOpacity(Opacity);
    Canvas.drawLine(Start, back);
    Canvas.setPen(Qt::NoPen);
    const QPointF head[3] = {p1, p2, End};
    Canvas.drawPolygon(head, 3);
    Canvas.restore();
}

QImage TFENData::RenderBoard(bool ShowLetter, int SizeBoard) const
{
    const int u = std::min(SizeBoard, kMaxBoardSize) / 18;
    if (u <= 0) return QImage();
    const int s = 2 * u;
    const int side = 18 * u;
    QImage picture(side, side, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull()) return picture;
    picture.fill(Qt::transparent);

    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    // A one-pixel frame just outside the squares.
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(u - 0.5, u - 0.5, 16 * u + 1, 16 * u + 1));

    const auto squareX = [&](int col) { return u + (col - 1) * s; };
    const auto squareY = [&](int row) { return u + (8 - row) * s; };
    const QColor light = QColor::fromRgba(FColorWhiteField);
    const QColor dark = QColor::fromRgba(FColorBlackField);
    for (int row = 1; row <= 8; ++row)
        for (int col = 1; col <= 8; ++col)
            p.fillRect(QRect(squareX(col), squareY(row), s, s), (col + row) % 2 ? light : dark);

    if (ShowLetter && CanDrawText()) {
        QFont font;
        font.setPixelSize(std::max(1, qRound(u * 0.6)));
        p.setFont(font);
        p.setPen(Qt::black);
        const int rightX = 16 * u + int(1.3 * u);
        for (int i = 0; i < 8; ++i) {
            const QString letter(QChar(u'a' + i));
            const QString digit(QChar(u'8' - i));
            p.drawText(QRectF(u + i * s, 0, s, u), Qt::AlignCenter, letter);
            p.drawText(QRectF(u + i * s, 17 * u, s, 2 * u), Qt::AlignHCenter | Qt::AlignTop,
                       letter);
            p.drawText(QRectF(0, u + i * s, u, s), Qt::AlignCenter, digit);
            p.drawText(QRectF(rightX, u + i * s, 19 * u - rightX, s),
                       Qt::AlignLeft | Qt::AlignVCenter, digit);
        }
    }

    // Side to move: a black triangle in the right margin, at White's or Black's end.
    {
        const int b = 17 * u, e = 18 * u;
        QPoint marker[3];
        if (FWhiteMove) {
            marker[0] = QPoint(b + s / 4, b + s / 8);
            marker[1] = QPoint(e, e - s / 4 + s / 8);
            marker[2] = QPoint(b, e - s / 4 + s / 8);
        } else {
            marker[0] = QPoint(b + s / 4, u - s / 8);
            marker[1] = QPoint(e, u - s / 4 - s / 8);
            marker[2] = QPoint(b, u - s / 4 - s / 8);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawPolygon(marker, 3);
    }

    // Pieces: each square is painted whole into a scratch picture that is then copied smaller
    // into its square, so markers and pawns come out smaller than the other pieces.
    {
        QImage scratch;
        for (int row = 1; row <= 8; ++row) {
            for (int col = 1; col <= 8; ++col) {
                const QChar piece(FLines[row - 1][col - 1]);
                if (piece == u' ') continue;
                const int g = int(s * (SmallInset(piece) ? 0.15 : 0.1));
                const bool darkSquare = (col + row) % 2 == 0;
                const TileCache::Key key{GetPiecePath(piece),
                                         darkSquare ? FColorBlackField : FColorWhiteField, s, g,
                                         piece.isLower()};
                // A square without a path shows only its own colour, which is already there.
                if (key.path.isEmpty() || piece == u'-') continue;
                QImage tile = TileCache::Instance().Find(key);
                if (tile.isNull()) {
                    if (scratch.isNull())
                        scratch = QImage(s, s, QImage::Format_ARGB32_Premultiplied);
                    scratch.fill(Qt::transparent);
                    {
                        QPainter sp(&scratch);
                        DrawField(sp, piece, row, col);
                    }
                    tile = QImage(s - 2 * g, s - 2 * g, QImage::Format_ARGB32_Premultiplied);
                    tile.fill(Qt::transparent);
                    {
                        QPainter tp(&tile);
                        tp.setRenderHint(QPainter::SmoothPixmapTransform);
                        tp.drawImage(QRect(0, 0, tile.width(), tile.height()), scratch);
                    }
                    TileCache::Instance().Insert(key, tile);
                }
                p.drawImage(QPoint(squareX(col) + g, squareY(row) + g), tile);
            }
        }
    }

    // Arrows in list order; squares off the board draw nothing.
    for (int i = 0; i < FArrows.CountArrows(); ++i) {
        const TArrow* arrow = FArrows.Arrows(i);
        if (!OnBoard(arrow->FromFieldCol(), arrow->FromFieldRow()) ||
            !OnBoard(arrow->ToFieldCol(), arrow->ToFieldRow()))
            continue;
        const QColor colour = QColor::fromRgba(FArrows.ArrowsColor(arrow->TypeArrow()));
        if (colour.alpha() == 0) continue;
        p.setPen(QPen(colour, s / 10.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        p.setBrush(colour);
        const QPointF start(squareX(arrow->FromFieldCol()) + s / 2.0,
                            squareY(arrow->FromFieldRow()) + s / 2.0);
        const QPointF end(squareX(arrow->ToFieldCol()) + s / 2.0,
                          squareY(arrow->ToFieldRow()) + s / 2.0);
        DrawArrow(p, start, end, s, 0.7);
    }

    // Marked squares: a ring inside the square.
    {
        const int m = int(s * 0.1);
        p.setBrush(Qt::NoBrush);
        p.setOpacity(kMarkOpacity);
        for (int i = 0; i < SelectedFields.CountSelections(); ++i) {
            const TSelectField* mark = SelectedFields.Selections(i);
            const int col = mark->NumField() / 10, row = mark->NumField() % 10;
            if (mark->NumField() < 0 || !OnBoard(col, row)) continue;
            const QRgb colour = mark->Color() == RedSelection ? kRedMark : kBlueMark;
            p.setPen(QPen(QColor::fromRgba(colour), s / 10.0));
            p.drawEllipse(QRectF(squareX(col) + m, squareY(row) + m, s - 2 * m, s - 2 * m));
        }
        p.setOpacity(1);
    }
    return picture;
}

void TFENData::DrawBoardToStream(QIODevice& Stream, bool ShowLetter, int SizeBoard,
                                 bool DirectionWhite) const
{
    Q_UNUSED(DirectionWhite);
    const QImage picture = RenderBoard(ShowLetter, SizeBoard);
    if (!picture.isNull()) {
        const QByteArray bmp = EncodeBmp(picture);
        if (Stream.write(bmp) != bmp.size())
            qCWarning(lcChess) << "board picture could not be written:" << Stream.errorString();
    }
    if (!Stream.isSequential()) Stream.seek(0);
}

void TFENData::DrawBoard(QImage& Bmp, bool ShowLetter, int SizeBoard, bool DirectionWhite) const
{
    Q_UNUSED(DirectionWhite);
    const QImage picture = RenderBoard(ShowLetter, SizeBoard);
    Bmp = picture.isNull() ? QImage() : StraightAlpha(picture);
}

// ---------------------------------------------------------------- drag corners

void TFENData::DrawCornerTriangle(QPainter& Canvas, const std::array<QPointF, 3>& Points,
                                  int OriginX, int OriginY, QRgb Color, int Size)
{
    if (!Canvas.isActive() || Size <= 0 || Size > kMaxBoardSize) return;
    QImage scratch(Size, Size, QImage::Format_ARGB32_Premultiplied);
    if (scratch.isNull()) return;
    scratch.fill(Qt::transparent);
    {
        QPainter sp(&scratch);
        sp.setRenderHint(QPainter::Antialiasing);
        sp.setOpacity(0.7);
        sp.setPen(Qt::NoPen);
        sp.setBrush(QColor::fromRgba(Color));
        sp.drawPolygon(Points.data(), 3);
    }
    Canvas.save();
    Canvas.setOpacity(1);
    Canvas.drawImage(QPoint(OriginX, OriginY), scratch);
    Canvas.restore();
}

void TFENData::DrawFieldCorners(QPainter& Canvas, int ColIndex, int Row, int SquareSize, QRgb Color)
{
    const int s = SquareSize;
    if (s <= 0 || s > kMaxBoardSize) return;
    const int e = s / 6;
    const int ox = s / 2 + ColIndex * s, oy = s / 2 + (8 - Row) * s;
    const std::array<std::array<QPointF, 3>, 4> corners = {{
        {QPointF(0, e), QPointF(0, 0), QPointF(e, 0)},
        {QPointF(s - 1 - e, 0), QPointF(s - 1, 0), QPointF(s - 1, e)},
        {QPointF(0, s - e - 1), QPointF(0, s - 1), QPointF(e, s - 1)},
        {QPointF(s - e - 1, s - 1), QPointF(s - 1, s - 1), QPointF(s - 1, s - e - 1)},
    }};
    for (const auto& triangle : corners)
        DrawCornerTriangle(Canvas, triangle, ox, oy, Color, s);
}
