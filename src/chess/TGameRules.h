#pragma once

#include <optional>
#include <QChar>
#include <QList>
#include <QString>

class TFENData;

// The rules of a whole game over the position model: the legal moves of the side to move, how
// a game ends, move texts in standard notation, and a move played with the FEN counters kept
// right. The service checks every move with these, and the teacher's boards read the results.
namespace TGameRules {

// One move in square numbers (col * 10 + row); Promotion is an upper-case Q, R, B or N for a
// pawn reaching the last rank, null otherwise.
struct TMove
{
    int From = 0;
    int To = 0;
    QChar Promotion;

    // Coordinate form: e2e4, e7e8q.
    QString Coordinates() const;
    bool operator==(const TMove& other) const = default;
};

// A coordinate move (e2e4, e7e8q, promotion letter in either case); empty when malformed.
std::optional<TMove> ParseCoordinates(const QString& text);

enum class TGameResult
{
    None,
    Checkmate,
    Stalemate,
    InsufficientMaterial
};

// Every legal move of the side to move; a promotion gives four moves.
QList<TMove> LegalMoves(const TFENData& position);
bool HasLegalMove(const TFENData& position);
bool IsLegal(const TFENData& position, const TMove& move);

// The end of a game is judged only on positions with one king of each colour: exercises with
// marker pieces or without kings never end by themselves.
bool HasBothKings(const TFENData& position);
bool IsCheckmate(const TFENData& position);
bool IsStalemate(const TFENData& position);
// K v K, K and one minor piece v K, K+B v K+B with both bishops on squares of one colour.
bool InsufficientMaterial(const TFENData& position);
TGameResult Result(const TFENData& position);
// "checkmate", "draw", or empty while the game goes on: the status texts of a workplace.
QString ResultText(TGameResult result);

// Standard notation of a legal move on the position: piece letter, disambiguation, "x",
// target, "=Q", "O-O"/"O-O-O", and "+" or "#".
QString San(const TFENData& position, const TMove& move);

struct TPlayedMove
{
    QString FEN; // the position after the move, counters advanced
    QString San;
    TGameResult Result = TGameResult::None;
    bool Capture = false;
};

// Plays a legal move of the side to move on a FEN. The half-move clock restarts on a pawn
// move or a capture and otherwise grows; the full-move number grows after Black's move.
// Empty when the move is not legal.
std::optional<TPlayedMove> Play(const QString& fen, const TMove& move);

// Appends a move in standard notation to a move text with move numbers: "1. e4 e5 2. Nf3";
// a text that starts with Black's move starts "1... e5". fullMove and whiteMoved describe the
// position before the move.
QString AppendMoveText(const QString& moves, int fullMove, bool whiteMoved, const QString& san);

// The legal targets of each square of the side to move, as "e2" -> "e3e4".
QList<QPair<QString, QString>> LegalTargets(const TFENData& position);

// A position the engine can take: standard pieces only, one king of each side, at most 8 pawns
// and 16 pieces a side, no pawn on the first or last rank, and the side not to move not in
// check. engineFen holds the FEN with castling rights cut to those whose king and rook stand
// at home.
bool EnginePosition(const QString& fen, QString* engineFen);

} // namespace TGameRules
