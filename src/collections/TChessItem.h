#pragma once

#include "TArrows.h"
#include "TNameValueList.h"

#include <memory>
#include <optional>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

class QIODevice;
class TChessCollection;

// Kind of a collection item; ctlNone stands for any kind where a kind is asked for, and
// ctlCourse has no item class.
enum TChessTypeLine : quint8
{
    ctlNone,
    ctlPuzzle,
    ctlGame,
    ctlCourse,
};

// Everything a drawing thread needs of one thumbnail, copied on the UI thread, so the item may
// change or go away while the thread still draws.
struct TDrawJob
{
    quint64 ItemKey = 0; // which item (never reused within a collection)
    quint64 Serial = 0;  // which request for that item; only the newest one is shown
    int FID = -1;
    int Tile = -1;
    QString Position;
    QSize ImageSize;
    std::shared_ptr<const TArrows> Arrows; // null when the item has none
};

// One task of a collection: a puzzle or a game, with its tile in the browser.
class TChessItem
{
public:
    // Makes the item's tile when the collection has a tile owner.
    TChessItem(int ID, TChessTypeLine TypeChessLine, TChessCollection* Collection);
    virtual ~TChessItem() = default;
    TChessItem(const TChessItem&) = delete;
    TChessItem& operator=(const TChessItem&) = delete;

    // One trimmed, non-empty source line of the item, in file order.
    virtual void AddSource(const QString& SourceLine) = 0;
    // Draws the thumbnail on the calling thread and hands it to the tile; puzzles give false,
    // games (which are not drawn) true.
    virtual bool DrawItem() = 0;
    // Fills the item's picture, when it has one, with light grey.
    void ClearDrawed();

    int ID() const { return FID; }
    const QStringList& Source() const { return FSource; }
    TChessTypeLine TypeChessLine() const { return FTypeChessLine; }
    const QImage& BmpImg() const { return FBmpImg; }
    void setBmpImg(const QImage& Value) { FBmpImg = Value; }
    // Handle of the item's tile, -1 when it has none.
    int FrameItem() const { return FFrameItem; }
    TChessCollection* Collection() const { return FCollection; }

    // A copy of what the thumbnail needs, or nothing when the item is not drawn or its tile has
    // no image. Each call is a new request that supersedes the earlier ones. UI thread.
    std::optional<TDrawJob> MakeDrawJob();

protected:
    virtual bool HasThumbnail() const { return false; }
    virtual void FillDrawJob(TDrawJob& Job) const { Q_UNUSED(Job); }

    int FID;
    QStringList FSource;
    TChessTypeLine FTypeChessLine;
    QImage FBmpImg;
    int FFrameItem = -1;
    TChessCollection* FCollection;

private:
    friend class TChessCollection;
    friend class TDrawBoardThread;
    quint64 FKey = 0;
    quint64 FDrawSerial = 0;
};

// A puzzle: one position line with its operations.
class TChessPuzzle : public TChessItem
{
public:
    static constexpr int kMaxBestMove = 9;
    static constexpr int kNoMoveLimit = 999;

    explicit TChessPuzzle(int ID, TChessCollection* Collection = nullptr);

    // Takes the line as the puzzle and reads its operations.
    void AddSource(const QString& SourceLine) override;
    bool DrawItem() override;

    QString Puzzle() const { return FPuzzle; }
    // A new line from the board editor; its operations are read again. False (and nothing
    // changed) for a text that cannot stand as one puzzle line of a file.
    bool SetPuzzle(const QString& Value);
    QString GetStartFEN() const { return FPuzzle; }
    const TNameValueList& Data() const { return FData; }
    TArrows& Arrows() { return FArrows; }
    const TArrows& Arrows() const { return FArrows; }

    // "bm"; a move longer than 9 characters is stored as empty.
    QString BestMove() const;
    void setBestMove(const QString& Value);
    // "TVLcount_moves"; 999 when absent or not a number. Only a value above 0 is stored.
    int CountMoves() const;
    void setCountMoves(int Value);
    // "TVLshow_markers" is "1".
    bool ShowMarkers() const;
    void setShowMarkers(bool Value);

    // The text trimmed of blanks when it can be one puzzle line (not empty, no line break, not
    // a "#" line); empty otherwise.
    static QString PuzzleLine(const QString& Text);
    // The operations of a puzzle line by the file's rules, into Data (emptied first).
    static void ReadOperations(QStringView Line, TNameValueList& Data);

protected:
    bool HasThumbnail() const override { return true; }
    void FillDrawJob(TDrawJob& Job) const override;

private:
    QString FPuzzle;
    TNameValueList FData;
    TArrows FArrows;
};

// A game: its PGN lines, given back unchanged and in order.
class TChessGame : public TChessItem
{
public:
    explicit TChessGame(int ID, TChessCollection* Collection = nullptr);

    void AddSource(const QString& SourceLine) override;
    bool DrawItem() override { return true; }

    // The list becomes the game's lines.
    bool SaveGame(QStringList& Lines) const;
    // The lines as UTF-8, each ended by CR LF; false when the stream took less.
    bool SaveGame(QIODevice& Stream) const;
    // The lines as one text, each ended by CR LF.
    bool SaveGame(QString& Text) const;
};
