#include "TChessItem.h"

#include "CollectionsLog.h"
#include "ICollectionTiles.h"
#include "TChessCollection.h"
#include "TDrawBoardThread.h"
#include "TFENData.h"

#include <QColor>
#include <QIODevice>

// ---------------------------------------------------------------- item

TChessItem::TChessItem(int ID, TChessTypeLine TypeChessLine, TChessCollection* Collection)
    : FID(ID), FTypeChessLine(TypeChessLine), FCollection(Collection)
{
    if (FCollection && FCollection->Tiles()) FFrameItem = FCollection->Tiles()->CreateTile(FID);
}

void TChessItem::ClearDrawed()
{
    if (!FBmpImg.isNull()) FBmpImg.fill(QColor::fromRgba(0xFFD3D3D3));
}

std::optional<TDrawJob> TChessItem::MakeDrawJob()
{
    if (!HasThumbnail() || FFrameItem < 0 || !FCollection || !FCollection->Tiles())
        return std::nullopt;
    const QSize size = FCollection->Tiles()->TileImageSize(FFrameItem);
    if (size.isEmpty()) return std::nullopt;
    TDrawJob job;
    job.ItemKey = FKey;
    job.Serial = ++FDrawSerial;
    job.FID = FID;
    job.Tile = FFrameItem;
    job.ImageSize = size;
    FillDrawJob(job);
    return job;
}

// ---------------------------------------------------------------- puzzle

namespace {

// Splits at every separator; two in a row give an empty part.
template <typename F> void ForEachPart(QStringView text, QChar separator, F&& take)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == separator) {
            take(text.mid(start, i - start));
            start = i + 1;
        }
    }
}

// Up to three fields of a part split at blanks, and how many there were in all.
struct TFields
{
    QStringView Field[3];
    int Count = 0;
};

TFields SplitBlanks(QStringView part)
{
    TFields fields;
    ForEachPart(part, u' ', [&](QStringView field) {
        if (fields.Count < 3) fields.Field[fields.Count] = field;
        ++fields.Count;
    });
    return fields;
}

} // namespace

TChessPuzzle::TChessPuzzle(int ID, TChessCollection* Collection)
    : TChessItem(ID, ctlPuzzle, Collection)
{
}

void TChessPuzzle::AddSource(const QString& SourceLine)
{
    FPuzzle = SourceLine;
    ReadOperations(FPuzzle, FData);
}

void TChessPuzzle::ReadOperations(QStringView Line, TNameValueList& Data)
{
    Data.Clear();
    if (Line.isEmpty()) return;
    bool first = true;
    ForEachPart(Line, u';', [&](QStringView part) {
        if (first) {
            // The position's fields: with six and more the last two are an operation (a FEN's
            // counters, or an opcode and its operand); with four or five the last is a flag.
            first = false;
            int n = 0;
            QStringView secondToLast;
            QStringView last;
            ForEachPart(part, u' ', [&](QStringView field) {
                secondToLast = last;
                last = field;
                ++n;
            });
            if (n >= 6)
                Data.SetValue(secondToLast.toString(), last.toString());
            else if (n >= 4)
                Data.SetValue(last.toString(), QStringLiteral("1"));
            return;
        }
        // An empty part (after the last ";") holds no operation. A part that starts with a
        // blank gives three fields and is skipped, as the file format has always done.
        if (part.isEmpty()) return;
        const TFields fields = SplitBlanks(part);
        if (fields.Count == 1) {
            Data.SetValue(fields.Field[0].toString(), QStringLiteral("1"));
        } else if (fields.Count == 2) {
            QStringView value = fields.Field[1];
            if (value.size() > 1 && value.front() == u'"' && value.back() == u'"')
                value = value.mid(1, value.size() - 2);
            Data.SetValue(fields.Field[0].toString(), value.toString());
        }
    });
}

QString TChessPuzzle::PuzzleLine(const QString& Text)
{
    qsizetype begin = 0;
    qsizetype end = Text.size();
    while (begin < end && Text.at(begin).unicode() <= u' ')
        ++begin;
    while (end > begin && Text.at(end - 1).unicode() <= u' ')
        --end;
    const QStringView line = QStringView(Text).mid(begin, end - begin);
    // Anything else would read back as another item, or as none.
    if (line.isEmpty() || line.front() == u'#' || line.contains(u'\r') || line.contains(u'\n'))
        return QString();
    return line.size() == Text.size() ? Text : line.toString();
}

bool TChessPuzzle::SetPuzzle(const QString& Value)
{
    const QString line = PuzzleLine(Value);
    if (line.isEmpty()) {
        qCWarning(lcCollections) << "not a puzzle line:" << Value.left(80);
        return false;
    }
    AddSource(line);
    return true;
}

QString TChessPuzzle::BestMove() const
{
    return FData.Value(QStringLiteral("bm"));
}

void TChessPuzzle::setBestMove(const QString& Value)
{
    FData.SetValue(QStringLiteral("bm"), Value.size() > kMaxBestMove ? QString() : Value);
}

int TChessPuzzle::CountMoves() const
{
    bool ok = false;
    const int value = FData.Value(QStringLiteral("TVLcount_moves")).toInt(&ok);
    return ok ? value : kNoMoveLimit;
}

void TChessPuzzle::setCountMoves(int Value)
{
    FData.SetValue(QStringLiteral("TVLcount_moves"),
                   Value > 0 ? QString::number(Value) : QString());
}

bool TChessPuzzle::ShowMarkers() const
{
    return FData.Value(QStringLiteral("TVLshow_markers")) == u"1";
}

void TChessPuzzle::setShowMarkers(bool Value)
{
    FData.SetValue(QStringLiteral("TVLshow_markers"), Value ? QStringLiteral("1") : QString());
}

void TChessPuzzle::FillDrawJob(TDrawJob& Job) const
{
    Job.Position = FPuzzle;
    if (FArrows.CountArrows() > 0) {
        auto arrows = std::make_shared<TArrows>();
        arrows->CopyArrows(FArrows, true);
        for (int kind = 0; kind < kColorSelectionCount; ++kind)
            arrows->setArrowsColor(kind, FArrows.ArrowsColor(kind));
        Job.Arrows = std::move(arrows);
    }
}

bool TChessPuzzle::DrawItem()
{
    const std::optional<TDrawJob> job = MakeDrawJob();
    if (!job) return false;
    TFENData board;
    TDrawBoardThread::PrepareBoard(board);
    FCollection->ThumbnailDrawn(*job, TDrawBoardThread::DrawThumbnail(*job, board));
    return false;
}

// ---------------------------------------------------------------- game

TChessGame::TChessGame(int ID, TChessCollection* Collection) : TChessItem(ID, ctlGame, Collection)
{
}

void TChessGame::AddSource(const QString& SourceLine)
{
    FSource.append(SourceLine);
}

bool TChessGame::SaveGame(QStringList& Lines) const
{
    Lines = FSource;
    return true;
}

bool TChessGame::SaveGame(QIODevice& Stream) const
{
    QString text;
    SaveGame(text);
    const QByteArray bytes = text.toUtf8();
    return Stream.write(bytes) == bytes.size();
}

bool TChessGame::SaveGame(QString& Text) const
{
    Text = TNameValueList(FSource).Text();
    return true;
}
