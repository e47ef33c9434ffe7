#include "TGameRules.h"

#include "TFENData.h"

#include <cstdlib>
#include <QPair>

namespace TGameRules {

namespace {

constexpr char16_t kBlank = u' ';

bool IsWhiteChessPiece(QChar c)
{
    return c == u'K' || c == u'Q' || c == u'R' || c == u'B' || c == u'N' || c == u'P';
}

bool IsBlackChessPiece(QChar c)
{
    return c == u'k' || c == u'q' || c == u'r' || c == u'b' || c == u'n' || c == u'p';
}

bool OwnPiece(const TFENData& position, QChar c)
{
    return position.WhiteMove() ? IsWhiteChessPiece(c) : IsBlackChessPiece(c);
}

QString SquareName(int field)
{
    return QString(QChar(u'a' + field / 10 - 1)) + QChar(u'0' + field % 10);
}

bool IsPawn(QChar c)
{
    return c == u'P' || c == u'p';
}

// The rank a pawn of the side to move promotes on.
int LastRow(const TFENData& position)
{
    return position.WhiteMove() ? 8 : 1;
}

bool IsPromotion(const TFENData& position, const TMove& move)
{
    return IsPawn(position.GetFieldValue(move.From)) && move.To % 10 == LastRow(position);
}

// A pawn move to the last rank without a piece is a queen's promotion (the teacher's board
// sends only the two squares).
TMove Normalised(const TFENData& position, TMove move)
{
    if (move.Promotion.isNull() && IsPromotion(position, move)) move.Promotion = u'Q';
    return move;
}

bool ValidPromotion(QChar c)
{
    return c == u'Q' || c == u'R' || c == u'B' || c == u'N';
}

bool IsCapture(const TFENData& position, const TMove& move)
{
    return position.GetFieldValue(move.To) != kBlank ||
           (IsPawn(position.GetFieldValue(move.From)) && move.From / 10 != move.To / 10);
}

bool IsCastling(const TFENData& position, const TMove& move)
{
    const QChar piece = position.GetFieldValue(move.From);
    return (piece == u'K' || piece == u'k') && std::abs(move.To / 10 - move.From / 10) == 2;
}

// Notation without the check sign.
QString SanBody(const TFENData& position, const TMove& move)
{
    if (IsCastling(position, move))
        return move.To / 10 == 7 ? QStringLiteral("O-O") : QStringLiteral("O-O-O");
    const QChar piece = position.GetFieldValue(move.From);
    const bool capture = IsCapture(position, move);
    QString san;
    if (IsPawn(piece)) {
        if (capture) san += QChar(u'a' + move.From / 10 - 1);
    } else {
        san += piece.toUpper();
        // Other pieces of the same kind that may go to the same square.
        bool ambiguous = false, sameFile = false, sameRow = false;
        for (int col = 1; col <= 8; ++col) {
            for (int row = 1; row <= 8; ++row) {
                const int other = col * 10 + row;
                if (other == move.From || position.GetFieldValue(other) != piece ||
                    !position.CanMovePiece(other, move.To))
                    continue;
                ambiguous = true;
                sameFile = sameFile || col == move.From / 10;
                sameRow = sameRow || row == move.From % 10;
            }
        }
        if (ambiguous) {
            if (!sameFile)
                san += QChar(u'a' + move.From / 10 - 1);
            else if (!sameRow)
                san += QChar(u'0' + move.From % 10);
            else
                san += SquareName(move.From);
        }
    }
    if (capture) san += u'x';
    san += SquareName(move.To);
    if (!move.Promotion.isNull()) {
        san += u'=';
        san += move.Promotion;
    }
    return san;
}

QString CheckSign(const TFENData& after)
{
    if (!after.CheckExists()) return {};
    return IsCheckmate(after) ? QStringLiteral("#") : QStringLiteral("+");
}

// Plays the move on the model; the counters are not touched.
bool MakeMove(TFENData& position, const TMove& move)
{
    return position.MovePiece(move.From, move.To,
                              move.Promotion.isNull() ? QChar(kBlank) : move.Promotion);
}

bool LightSquare(int field)
{
    return (field / 10 + field % 10) % 2 == 1;
}

} // namespace

QString TMove::Coordinates() const
{
    QString text = SquareName(From) + SquareName(To);
    if (!Promotion.isNull()) text += Promotion.toLower();
    return text;
}

std::optional<TMove> ParseCoordinates(const QString& text)
{
    if (text.size() != 4 && text.size() != 5) return std::nullopt;
    const auto square = [&](int i) {
        const char16_t f = text[i].unicode(), r = text[i + 1].unicode();
        if (f < u'a' || f > u'h' || r < u'1' || r > u'8') return 0;
        return (f - u'a' + 1) * 10 + (r - u'0');
    };
    TMove move;
    move.From = square(0);
    move.To = square(2);
    if (move.From == 0 || move.To == 0) return std::nullopt;
    if (text.size() == 5) {
        move.Promotion = text[4].toUpper();
        if (!ValidPromotion(move.Promotion)) return std::nullopt;
    }
    return move;
}

QList<TMove> LegalMoves(const TFENData& position)
{
    QList<TMove> moves;
    for (int from = 11; from <= 88; ++from) {
        if (from % 10 == 0 || from % 10 == 9 || !OwnPiece(position, position.GetFieldValue(from)))
            continue;
        for (int to = 11; to <= 88; ++to) {
            if (to % 10 == 0 || to % 10 == 9 || !position.CanMovePiece(from, to)) continue;
            TMove move{from, to, QChar()};
            if (IsPromotion(position, move)) {
                for (QChar piece : {u'Q', u'R', u'B', u'N'}) {
                    move.Promotion = piece;
                    moves.append(move);
                }
            } else {
                moves.append(move);
            }
        }
    }
    return moves;
}

bool HasLegalMove(const TFENData& position)
{
    for (int from = 11; from <= 88; ++from) {
        if (from % 10 == 0 || from % 10 == 9 || !OwnPiece(position, position.GetFieldValue(from)))
            continue;
        for (int to = 11; to <= 88; ++to)
            if (to % 10 != 0 && to % 10 != 9 && position.CanMovePiece(from, to)) return true;
    }
    return false;
}

bool IsLegal(const TFENData& position, const TMove& move)
{
    if (move.From < 11 || move.From > 88 || move.To < 11 || move.To > 88) return false;
    if (!OwnPiece(position, position.GetFieldValue(move.From))) return false;
    if (!move.Promotion.isNull() &&
        (!ValidPromotion(move.Promotion) || !IsPromotion(position, move)))
        return false;
    return position.CanMovePiece(move.From, move.To);
}

bool HasBothKings(const TFENData& position)
{
    int white = 0, black = 0;
    for (int col = 1; col <= 8; ++col) {
        for (int row = 1; row <= 8; ++row) {
            const QChar c = position.GetFieldValue(col, row);
            white += c == u'K';
            black += c == u'k';
        }
    }
    return white == 1 && black == 1;
}

bool IsCheckmate(const TFENData& position)
{
    return HasBothKings(position) && position.CheckExists() && !HasLegalMove(position);
}

bool IsStalemate(const TFENData& position)
{
    return HasBothKings(position) && !position.CheckExists() && !HasLegalMove(position);
}

bool InsufficientMaterial(const TFENData& position)
{
    if (!HasBothKings(position)) return false;
    int knights = 0, bishops = 0, lightBishops = 0;
    for (int col = 1; col <= 8; ++col) {
        for (int row = 1; row <= 8; ++row) {
            switch (position.GetFieldValue(col, row).toUpper().unicode()) {
            case u'P':
            case u'R':
            case u'Q':
                return false;
            case u'N':
                ++knights;
                break;
            case u'B':
                ++bishops;
                lightBishops += LightSquare(col * 10 + row);
                break;
            default:
                break;
            }
        }
    }
    // One minor piece cannot mate, and neither can any number of bishops on one colour.
    if (knights + bishops <= 1) return true;
    return knights == 0 && (lightBishops == 0 || lightBishops == bishops);
}

TGameResult Result(const TFENData& position)
{
    if (!HasBothKings(position)) return TGameResult::None;
    if (!HasLegalMove(position))
        return position.CheckExists() ? TGameResult::Checkmate : TGameResult::Stalemate;
    if (InsufficientMaterial(position)) return TGameResult::InsufficientMaterial;
    return TGameResult::None;
}

QString ResultText(TGameResult result)
{
    switch (result) {
    case TGameResult::Checkmate:
        return QStringLiteral("checkmate");
    case TGameResult::Stalemate:
    case TGameResult::InsufficientMaterial:
        return QStringLiteral("draw");
    default:
        return {};
    }
}

QString San(const TFENData& position, const TMove& given)
{
    const TMove move = Normalised(position, given);
    TFENData after(position.FEN(), TFENData::kRulesOnly);
    if (!IsLegal(position, move) || !MakeMove(after, move)) return {};
    return SanBody(position, move) + CheckSign(after);
}

std::optional<TPlayedMove> Play(const QString& fen, const TMove& given)
{
    TFENData position(fen, TFENData::kRulesOnly);
    const TMove move = Normalised(position, given);
    if (!IsLegal(position, move)) return std::nullopt;
    TPlayedMove played;
    played.Capture = IsCapture(position, move);
    const bool resets = played.Capture || IsPawn(position.GetFieldValue(move.From));
    const bool blackMoved = !position.WhiteMove();
    const int halfMoves = position.CountHalfMovies();
    const int fullMoves = qMax(1, position.CountMovies());
    QString san = SanBody(position, move);
    if (!MakeMove(position, move)) return std::nullopt;
    position.setCountHalfMovies(resets ? 0 : halfMoves + 1);
    position.setCountMovies(blackMoved ? fullMoves + 1 : fullMoves);
    played.Result = Result(position);
    if (position.CheckExists()) san += played.Result == TGameResult::Checkmate ? u'#' : u'+';
    played.San = san;
    played.FEN = position.FEN();
    return played;
}

QString AppendMoveText(const QString& moves, int fullMove, bool whiteMoved, const QString& san)
{
    const QString number = QString::number(qMax(1, fullMove));
    if (whiteMoved)
        return (moves.isEmpty() ? QString() : moves + u' ') + number + QStringLiteral(". ") + san;
    if (moves.isEmpty()) return number + QStringLiteral("... ") + san;
    return moves + u' ' + san;
}

QList<QPair<QString, QString>> LegalTargets(const TFENData& position)
{
    QList<QPair<QString, QString>> targets;
    for (const TMove& move : LegalMoves(position)) {
        const QString from = SquareName(move.From), to = SquareName(move.To);
        if (targets.isEmpty() || targets.last().first != from) targets.append({from, QString()});
        // The four promotions share their target.
        if (!targets.last().second.endsWith(to)) targets.last().second += to;
    }
    return targets;
}

bool EnginePosition(const QString& fen, QString* engineFen)
{
    TFENData position(fen, TFENData::kRulesOnly);
    int pieces[2] = {0, 0}, pawns[2] = {0, 0}, kings[2] = {0, 0};
    for (int col = 1; col <= 8; ++col) {
        for (int row = 1; row <= 8; ++row) {
            const QChar c = position.GetFieldValue(col, row);
            if (c == kBlank) continue;
            const bool white = IsWhiteChessPiece(c);
            if (!white && !IsBlackChessPiece(c)) return false;
            const int side = white ? 0 : 1;
            ++pieces[side];
            if (c.toUpper() == u'K') ++kings[side];
            if (IsPawn(c)) {
                if (row == 1 || row == 8) return false;
                ++pawns[side];
            }
        }
    }
    for (int side = 0; side < 2; ++side)
        if (kings[side] != 1 || pawns[side] > 8 || pieces[side] > 16) return false;
    {
        TFENData other(position.FEN(), TFENData::kRulesOnly);
        other.setWhiteMove(!position.WhiteMove());
        if (other.CheckExists()) return false;
    }
    if (engineFen) {
        QString castling;
        const auto at = [&](int field, char16_t piece) {
            return position.GetFieldValue(field) == QChar(piece);
        };
        if (position.EnWhiteShortCastling() && at(51, u'K') && at(81, u'R')) castling += u'K';
        if (position.EnWhiteLongCastling() && at(51, u'K') && at(11, u'R')) castling += u'Q';
        if (position.EnBlackShortCastling() && at(58, u'k') && at(88, u'r')) castling += u'k';
        if (position.EnBlackLongCastling() && at(58, u'k') && at(18, u'r')) castling += u'q';
        // An en-passant square only behind a pawn that just made its double step.
        QString passed = QStringLiteral("-");
        const int pass = position.StrFieldToIntField(position.TakeOnPassField());
        if (pass != 0) {
            const bool white = position.WhiteMove();
            const int behind = pass + (white ? -1 : 1);
            if (pass % 10 == (white ? 6 : 3) && position.GetFieldValue(pass) == kBlank &&
                position.GetFieldValue(behind) == QChar(white ? u'p' : u'P'))
                passed = position.TakeOnPassField();
        }
        *engineFen = position.FEN().section(u' ', 0, 0) +
                     (position.WhiteMove() ? QStringLiteral(" w ") : QStringLiteral(" b ")) +
                     (castling.isEmpty() ? QStringLiteral("-") : castling) + u' ' + passed + u' ' +
                     QString::number(position.CountHalfMovies()) + u' ' +
                     QString::number(qMax(1, position.CountMovies()));
    }
    return true;
}

} // namespace TGameRules
