#pragma once

#include "TArrows.h"
#include "TNameValueList.h"

#include <array>
#include <functional>
#include <memory>
#include <QChar>
#include <QRgb>
#include <QString>

class QIODevice;
class QImage;
class QPainter;
class QPointF;

class TFENData;
using TNotifyEvent = std::function<void(TFENData* Sender)>;
// Asked for the piece a pawn is promoted to; returns a piece letter.
using TSelectNewPieceEvent = std::function<QChar(TFENData* Sender)>;

// One chess position: the board as eight ranks of eight characters, side to move, castling
// rights, en-passant square, counters, EPD operations, square colours, and the arrows and
// marked squares drawn over it. Squares are numbered col * 10 + row (a1 = 11, h8 = 88).
class TFENData
{
public:
    static constexpr const char* kStartFEN =
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    static constexpr QRgb kDefaultWhiteField = 0xFFFFFFFF;
    static constexpr QRgb kDefaultBlackField = 0xFF9C9C9C;

    // An empty text gives the empty position. Loads "0.pset" from the program's folder when
    // that file exists.
    explicit TFENData(const QString& FEN = QString());
    // For models that are only asked about the rules and never drawn: no piece set is read,
    // so making one costs no file check and no lock.
    struct TRulesOnly
    {
    };
    static constexpr TRulesOnly kRulesOnly{};
    TFENData(const QString& FEN, TRulesOnly);
    TFENData(const TFENData&) = delete;
    TFENData& operator=(const TFENData&) = delete;
    ~TFENData();

    void SetStartPosition();
    void SetEmptyPosition();

    // --- text forms ---
    QString FEN() const;
    void setFEN(const QString& Value);
    QString ShortFEN() const;
    // Reading drops operation lines that hold no "=".
    QString EPD();
    void setEPD(const QString& Value);

    bool WhiteMove() const { return FWhiteMove; }
    void setWhiteMove(bool Value);
    QString EnCastling() const;
    void setEnCastling(const QString& Value);
    bool EnWhiteShortCastling() const { return FEnWhiteShortCastling; }
    void setEnWhiteShortCastling(bool Value);
    bool EnWhiteLongCastling() const { return FEnWhiteLongCastling; }
    void setEnWhiteLongCastling(bool Value);
    bool EnBlackShortCastling() const { return FEnBlackShortCastling; }
    void setEnBlackShortCastling(bool Value);
    bool EnBlackLongCastling() const { return FEnBlackLongCastling; }
    void setEnBlackLongCastling(bool Value);
    QString TakeOnPassField() const { return FTakeOnPassField; }
    void setTakeOnPassField(const QString& Value);
    int CountHalfMovies() const { return FCountHalfMovies; }
    void setCountHalfMovies(int Value);
    int CountMovies() const { return FCountMovies; }
    void setCountMovies(int Value);
    bool Changing() const { return FChanging; }
    void setChanging(bool Value) { FChanging = Value; }

    // --- EPD operations ---
    QString ValueParam(const QString& Param) const { return GetValueParam(Param); }
    void setValueParam(const QString& Param, const QString& Value) { SetValueParam(Param, Value); }
    QString GetValueParam(const QString& Param) const;
    // Sets an operation, then sorts the list ignoring case; an empty value removes it.
    void SetValueParam(const QString& Param, const QString& Value);
    QString BestMove() const;
    void setBestMove(const QString& Value);
    // Every operation line, name=value, each ended by CR LF.
    QString AdditionalLines() const { return FAdditionalInfo.Text(); }
    const TNameValueList& AdditionalInfo() const { return FAdditionalInfo; }

    // --- material ---
    int ValueWhitePieces() const;
    int ValueBlackPieces() const;
    int CountPieces() const;

    // --- square access ---
    QChar GetFieldValue(int FieldNum) const;
    QChar GetFieldValue(int ACol, int ARow) const;
    QChar GetFieldValue(QChar ACol, QChar ARow) const;
    // Character literals would otherwise pick the integer forms.
    QChar GetFieldValue(char16_t ACol, char16_t ARow) const
    {
        return GetFieldValue(QChar(ACol), QChar(ARow));
    }
    void SetFieldValue(int FieldNum, QChar NewValue);
    void SetFieldValue(int ACol, int ARow, QChar NewValue);
    void SetFieldValue(QChar ACol, QChar ARow, QChar NewValue);
    void SetFieldValue(char16_t ACol, char16_t ARow, QChar NewValue)
    {
        SetFieldValue(QChar(ACol), QChar(ARow), NewValue);
    }
    // Rank row (1 to 8) as its eight characters, file a first.
    QString Line(int Row) const;

    // --- square conversions ---
    QString ConvertNumberToSymbol(int FieldNo) const;
    int ConvertSymbolToNumber(const QString& FieldName) const;
    QString IntFieldToStrField(int intField) const;
    int StrFieldToIntField(const QString& sField) const;

    // --- drawing ---
    QRgb ColorWhiteField() const { return FColorWhiteField; }
    void setColorWhiteField(QRgb Value) { FColorWhiteField = Value; }
    QRgb ColorBlackField() const { return FColorBlackField; }
    void setColorBlackField(QRgb Value) { FColorBlackField = Value; }
    TArrows& Arrows() { return FArrows; }
    const TArrows& Arrows() const { return FArrows; }

    // Paints the board picture (18u square, u = SizeBoard / 18) and writes it into the stream
    // as an uncompressed 32-bit BMP with alpha, then rewinds the stream. DirectionWhite is
    // accepted and ignored: boards are always drawn with White at the bottom.
    void DrawBoardToStream(QIODevice& Stream, bool ShowLetter, int SizeBoard,
                           bool DirectionWhite) const;
    // The picture DrawBoardToStream writes, as Format_ARGB32 with straight alpha, pixel for
    // pixel what a BMP reader loads from that stream; null when the size is too small.
    void DrawBoard(QImage& Bmp, bool ShowLetter, int SizeBoard, bool DirectionWhite) const;
    // The picture itself, for callers that do not need a stream.
    QImage RenderBoard(bool ShowLetter, int SizeBoard) const;
    // One square with its piece over the whole paint device of the painter.
    void DrawField(QPainter& Canvas, QChar Piece, int Row, int Col) const;
    // Path text of the piece's upper-cased letter; empty when the set has none.
    QString GetPiecePath(QChar Piece) const;
    bool LoadPiecesFromFile(const QString& FileName);
    bool LoadPiecesFromStream(QIODevice& Stm);
    const TNameValueList& Pieces() const { return FPieces; }

    // Corner brackets laid over a picture while a piece is dragged.
    static void DrawCornerTriangle(QPainter& Canvas, const std::array<QPointF, 3>& Points,
                                   int OriginX, int OriginY, QRgb Color, int Size);
    static void DrawFieldCorners(QPainter& Canvas, int ColIndex, int Row, int SquareSize,
                                 QRgb Color);

    // --- move rules ---
    // Makes the move when it is allowed; NewPiece is the promotion piece (blank otherwise).
    bool MovePiece(int FromField, int ToField, QChar NewPiece);
    bool CheckExists() const;
    bool CheckmateExists();
    int FindCurrentMoveKing() const;
    int FindOwnerKing() const;
    int FindEnemyKing() const;
    void BackMove() {}
    // The piece on FromField may go to ToField (its own test, castling allowed, and the
    // mover's king safe afterwards when moves pass the turn).
    bool CanMovePiece(int FromField, int ToField) const;
    // Some piece of the colour ('w' or 'b') attacks the square.
    bool IsFieldReached(int Field, QChar Color) const;

    // --- plain fields ---
    QString Movies() const { return FMovies; }
    void setMovies(const QString& Value) { FMovies = Value; }
    bool EnMove() const { return FEnMove; }
    void setEnMove(bool Value) { FEnMove = Value; }
    bool ChangeGamerAfterMove() const { return FChangeGamerAfterMove; }
    void setChangeGamerAfterMove(bool Value);
    bool AutoAnswer() const { return FAutoAnswer; }
    void setAutoAnswer(bool Value);
    bool OnlyOneGamer() const { return FOnlyOneGamer; }
    void setOnlyOneGamer(bool Value) { FOnlyOneGamer = Value; }
    QChar PlayerColor() const { return FPlayerColor; }
    const TNotifyEvent& AfterMove() const { return FAfterMove; }
    void setAfterMove(TNotifyEvent Value) { FAfterMove = std::move(Value); }
    const TNotifyEvent& OnAutoAnswer() const { return fOnAutoAnswer; }
    void setOnAutoAnswer(TNotifyEvent Value) { fOnAutoAnswer = std::move(Value); }
    const TNotifyEvent& CheckCheckmate() const { return FCheckCheckmate; }
    void setCheckCheckmate(TNotifyEvent Value) { FCheckCheckmate = std::move(Value); }
    const TSelectNewPieceEvent& SelectNewPiece() const { return FSelectNewPiece; }
    void setSelectNewPiece(TSelectNewPieceEvent Value) { FSelectNewPiece = std::move(Value); }

    // Marked squares; public as the owners of boards copy into it directly.
    TSelectedFields SelectedFields;

private:
    void Init(const QString& FEN);
    // Takes the piece set of "0.pset" beside the executable, when there is one.
    void LoadProgramPieces();
    static void DrawArrow(QPainter& Canvas, const QPointF& Start, const QPointF& End, qreal Size,
                          qreal Opacity);

    bool CanMoveBishop(int FromField, int ToField) const;
    bool CanMoveRook(int FromField, int ToField) const;
    bool CanMoveQueen(int FromField, int ToField) const;
    bool CanMoveKnight(int FromField, int ToField) const;
    bool CanMoveKing(int FromField, int ToField, bool EnCastlingMove) const;
    bool CanMovePawn(int FromField, int ToField) const;
    // Whether the piece on Field attacks Target by the rules of IsFieldReached.
    bool Attacks(int Field, int Target) const;
    int FindPiece(QChar Piece) const;

    bool FEnWhiteShortCastling = false;
    bool FEnWhiteLongCastling = false;
    bool FEnBlackShortCastling = false;
    bool FEnBlackLongCastling = false;
    int FCountHalfMovies = 0;
    int FCountMovies = 0;
    QString FTakeOnPassField;
    bool FWhiteMove = true;
    TNameValueList FPieces;
    // FLines[row - 1][col - 1]; always eight squares per rank.
    std::array<std::array<char16_t, 8>, 8> FLines{};
    TNameValueList FAdditionalInfo;
    QString FBeginFEN;
    QString FMovies;
    bool FOnlyOneGamer = false;
    bool FChangeGamerAfterMove = true;
    TNotifyEvent fOnAutoAnswer;
    TNotifyEvent FAfterMove;
    bool FAutoAnswer = true;
    bool FBeginPlayerIsWhite = false;
    QChar FPlayerColor = u'w';
    TSelectNewPieceEvent FSelectNewPiece;
    bool FEnMove = true;
    TNotifyEvent FCheckCheckmate;
    bool FChanging = false;
    QRgb FColorWhiteField = kDefaultWhiteField;
    QRgb FColorBlackField = kDefaultBlackField;
    TArrows FArrows;
    QString FBestMove;
};

// Compact code of a position (board bits in hex, pieces, side, castling, en passant).
QString FENToPositionCode(const QString& FEN);
