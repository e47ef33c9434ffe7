// Move rules of the position model: move tests, making a move, check and mate.
#include "TFENData.h"

#include <cstdlib>
#include <span>

namespace {

constexpr char16_t kBlank = u' ';

bool IsWhitePiece(QChar c)
{
    switch (c.unicode()) {
    case u'B':
    case u'C':
    case u'F':
    case u'K':
    case u'N':
    case u'P':
    case u'Q':
    case u'R':
    case u'X':
        return true;
    default:
        return false;
    }
}

bool IsBlackPiece(QChar c)
{
    switch (c.unicode()) {
    case u'b':
    case u'c':
    case u'f':
    case u'k':
    case u'n':
    case u'p':
    case u'q':
    case u'r':
    case u'x':
        return true;
    default:
        return false;
    }
}

bool SameColour(QChar a, QChar b)
{
    return (IsWhitePiece(a) && IsWhitePiece(b)) || (IsBlackPiece(a) && IsBlackPiece(b));
}

bool OnBoard(int field)
{
    const int col = field / 10, row = field % 10;
    return field > 0 && col >= 1 && col <= 8 && row >= 1 && row <= 8;
}

int Sign(int v)
{
    return (v > 0) - (v < 0);
}

bool IsKingStep(int from, int to)
{
    const int d = std::abs(to - from);
    return d == 1 || d == 9 || d == 10 || d == 11;
}

int PromotionDigit(QChar piece)
{
    switch (piece.toUpper().unicode()) {
    case u'Q':
        return 1;
    case u'R':
        return 2;
    case u'B':
        return 3;
    case u'N':
        return 4;
    default:
        return 0;
    }
}

// Offsets of a king's neighbours, by where the king stands: the corner and edge lists leave out
// the squares off the board.
std::span<const int> KingNeighbours(int king)
{
    static constexpr int kA1[] = {1, 10, 11}, kA8[] = {-1, 9, 10}, kA[] = {-1, 1, 9, 10, 11};
    static constexpr int kH1[] = {-10, -9, 1}, kH8[] = {-11, -10, -1}, kH[] = {-11, -10, -9, -1, 1};
    static constexpr int k1[] = {-10, -9, 1, 10, 11}, k8[] = {-11, -10, -1, 9, 10};
    static constexpr int kAll[] = {-11, -10, -9, -1, 1, 9, 10, 11};
    using Span = std::span<const int>;
    const int col = king / 10, row = king % 10;
    if (col == 1) return row == 1 ? Span(kA1) : row == 8 ? Span(kA8) : Span(kA);
    if (col == 8) return row == 1 ? Span(kH1) : row == 8 ? Span(kH8) : Span(kH);
    return row == 1 ? Span(k1) : row == 8 ? Span(k8) : Span(kAll);
}

} // namespace

// ---------------------------------------------------------------- kings

int TFENData::FindPiece(QChar Piece) const
{
    int found = 0;
    for (int col = 1; col <= 8; ++col)
        for (int row = 1; row <= 8; ++row)
            if (FLines[row - 1][col - 1] == Piece.unicode()) found = col * 10 + row;
    return found;
}

int TFENData::FindCurrentMoveKing() const
{
    return FindPiece(FWhiteMove ? u'K' : u'k');
}

int TFENData::FindOwnerKing() const
{
    return FindPiece(FPlayerColor == u'w' ? u'K' : u'k');
}

int TFENData::FindEnemyKing() const
{
    return FindPiece(FPlayerColor == u'w' ? u'k' : u'K');
}

// ---------------------------------------------------------------- piece tests

bool TFENData::CanMoveBishop(int FromField, int ToField) const
{
    if (FromField == ToField || !OnBoard(FromField) || !OnBoard(ToField)) return false;
    const QChar piece = GetFieldValue(FromField);
    if (piece != u'B' && piece != u'Q' && piece != u'b' && piece != u'q') return false;
    if (SameColour(piece, GetFieldValue(ToField))) return false;
    const int df = ToField / 10 - FromField / 10, dr = ToField % 10 - FromField % 10;
    if (std::abs(df) != std::abs(dr)) return false;
    const int step = Sign(df) * 10 + Sign(dr);
    for (int f = FromField + step; f != ToField; f += step)
        if (GetFieldValue(f) != kBlank) return false;
    return true;
}

bool TFENData::CanMoveRook(int FromField, int ToField) const
{
    if (FromField == ToField || !OnBoard(FromField) || !OnBoard(ToField)) return false;
    const QChar piece = GetFieldValue(FromField);
    if (piece != u'R' && piece != u'Q' && piece != u'r' && piece != u'q') return false;
    if (SameColour(piece, GetFieldValue(ToField))) return false;
    const int df = ToField / 10 - FromField / 10, dr = ToField % 10 - FromField % 10;
    if (df != 0 && dr != 0) return false;
    const int step = Sign(df) * 10 + Sign(dr);
    for (int f = FromField + step; f != ToField; f += step)
        if (GetFieldValue(f) != kBlank) return false;
    return true;
}

bool TFENData::CanMoveQueen(int FromField, int ToField) const
{
    return CanMoveRook(FromField, ToField) || CanMoveBishop(FromField, ToField);
}

bool TFENData::CanMoveKnight(int FromField, int ToField) const
{
    if (FromField == ToField || !OnBoard(FromField) || !OnBoard(ToField)) return false;
    const QChar piece = GetFieldValue(FromField);
    if (piece != u'N' && piece != u'n') return false;
    if (SameColour(piece, GetFieldValue(ToField))) return false;
    const int d = std::abs(ToField - FromField);
    return d == 8 || d == 12 || d == 19 || d == 21;
}

bool TFENData::CanMoveKing(int FromField, int ToField, bool EnCastlingMove) const
{
    if (FromField == ToField || !OnBoard(FromField) || !OnBoard(ToField)) return false;
    const QChar piece = GetFieldValue(FromField);
    if (piece != u'K' && piece != u'k') return false;
    if (SameColour(piece, GetFieldValue(ToField))) return false;

    if (EnCastlingMove) {
        struct Castling
        {
            int from, to;
            bool TFENData::*right;
            int blanks[3];
            int rook;
            char16_t rookPiece;
            int safe[3];
            QChar opponent;
        };
        static constexpr Castling kCastlings[] = {
            {51, 71, &TFENData::FEnWhiteShortCastling, {61, 71, 0}, 81, u'R', {51, 61, 71}, u'b'},
            {51, 31, &TFENData::FEnWhiteLongCastling, {41, 31, 21}, 11, u'R', {51, 41, 31}, u'b'},
            {58, 78, &TFENData::FEnBlackShortCastling, {68, 78, 0}, 88, u'r', {58, 68, 78}, u'w'},
            {58, 38, &TFENData::FEnBlackLongCastling, {48, 38, 28}, 18, u'r', {58, 48, 38}, u'w'},
        };
        for (const Castling& c : kCastlings) {
            if (FromField != c.from || ToField != c.to) continue;
            if (CheckExists() || !(this->*c.right)) return false;
            for (int b : c.blanks)
                if (b && GetFieldValue(b) != kBlank) return false;
            if (GetFieldValue(c.rook) != c.rookPiece) return false;
            for (int s : c.safe)
                if (IsFieldReached(s, c.opponent)) return false;
            return true;
        }
    }

    if (!IsKingStep(FromField, ToField)) return false;
    TFENData copy(FEN(), kRulesOnly);
    copy.SetFieldValue(ToField, piece);
    copy.SetFieldValue(FromField, QChar(kBlank));
    return !copy.CheckExists();
}

bool TFENData::CanMovePawn(int FromField, int ToField) const
{
    if (FromField == ToField || !OnBoard(FromField) || !OnBoard(ToField)) return false;
    const QChar piece = GetFieldValue(FromField);
    if (piece != u'P' && piece != u'p') return false;
    const QChar target = GetFieldValue(ToField);
    if (SameColour(piece, target)) return false;

    // Pawns go the way of the side to move, whatever their letter.
    const int dir = FWhiteMove ? 1 : -1;
    const int df = ToField / 10 - FromField / 10, dr = ToField % 10 - FromField % 10;
    if (df == 0) {
        if (dr == dir) return target == kBlank;
        const int startRow = FWhiteMove ? 2 : 7;
        return dr == 2 * dir && FromField % 10 == startRow &&
               GetFieldValue(FromField + dir) == kBlank && target == kBlank;
    }
    if (std::abs(df) != 1 || dr != dir) return false;
    if (FWhiteMove ? IsBlackPiece(target) : IsWhitePiece(target)) return true;
    return ToField == ConvertSymbolToNumber(FTakeOnPassField);
}

bool TFENData::CanMovePiece(int FromField, int ToField) const
{
    bool allowed = false;
    switch (GetFieldValue(FromField).unicode()) {
    case u'B':
    case u'b':
        allowed = CanMoveBishop(FromField, ToField);
        break;
    case u'K':
    case u'k':
        allowed = CanMoveKing(FromField, ToField, true);
        break;
    case u'N':
    case u'n':
        allowed = CanMoveKnight(FromField, ToField);
        break;
    case u'P':
    case u'p':
        allowed = CanMovePawn(FromField, ToField);
        break;
    case u'Q':
    case u'q':
        allowed = CanMoveQueen(FromField, ToField);
        break;
    case u'R':
    case u'r':
        allowed = CanMoveRook(FromField, ToField);
        break;
    default:
        return false;
    }
    if (!allowed || !FChangeGamerAfterMove) return allowed;

    const QChar piece = GetFieldValue(FromField);
    TFENData copy(FEN(), kRulesOnly);
    copy.SetFieldValue(ToField, piece);
    copy.SetFieldValue(FromField, QChar(kBlank));
    // An en-passant capture also takes the pawn behind the target square off the board, which
    // may end a check or open a line to the king.
    if ((piece == u'P' || piece == u'p') && FromField / 10 != ToField / 10 &&
        ToField == ConvertSymbolToNumber(FTakeOnPassField))
        copy.SetFieldValue(ToField + (FWhiteMove ? -1 : 1), QChar(kBlank));
    const int king = copy.FindCurrentMoveKing();
    return king == 0 || !copy.IsFieldReached(king, FWhiteMove ? u'b' : u'w');
}

// ---------------------------------------------------------------- attacks

bool TFENData::Attacks(int Field, int Target) const
{
    const QChar piece = GetFieldValue(Field);
    switch (piece.unicode()) {
    case u'B':
    case u'b':
        return CanMoveBishop(Field, Target);
    case u'R':
    case u'r':
        return CanMoveRook(Field, Target);
    case u'Q':
    case u'q':
        return CanMoveQueen(Field, Target);
    case u'N':
    case u'n':
        return CanMoveKnight(Field, Target);
    case u'K':
    case u'k':
        return Field != Target && IsKingStep(Field, Target);
    case u'P':
        return Target == Field + 11 || Target == Field - 9;
    case u'p':
        return Target == Field + 9 || Target == Field - 11;
    default:
        return false;
    }
}

bool TFENData::IsFieldReached(int Field, QChar Color) const
{
    const bool white = Color == u'w';
    for (int col = 1; col <= 8; ++col) {
        for (int row = 1; row <= 8; ++row) {
            const QChar c(FLines[row - 1][col - 1]);
            if ((white ? IsWhitePiece(c) : IsBlackPiece(c)) && Attacks(col * 10 + row, Field))
                return true;
        }
    }
    return false;
}

bool TFENData::CheckExists() const
{
    const int king = FindCurrentMoveKing();
    return king != 0 && IsFieldReached(king, FWhiteMove ? u'b' : u'w');
}

// ---------------------------------------------------------------- making a move

bool TFENData::MovePiece(int FromField, int ToField, QChar NewPiece)
{
    if (!FEnMove || !CanMovePiece(FromField, ToField)) return false;

    const QChar piece = GetFieldValue(FromField);
    QChar placed = piece;
    int digit = PromotionDigit(NewPiece);
    const bool promotes =
        (piece == u'P' && ToField % 10 == 8) || (piece == u'p' && ToField % 10 == 1);
    if (promotes) {
        // A pawn never leaves the board on promotion: without a usable piece it becomes a queen.
        if (digit == 0) digit = 1;
        const QChar chosen(u"QRBN"[digit - 1]);
        placed = piece == u'P' ? chosen : chosen.toLower();
    }
    SetFieldValue(ToField, placed);
    SetFieldValue(FromField, QChar(kBlank));

    if (piece == u'K') {
        if (FromField == 51 && ToField == 71 && GetFieldValue(81) == u'R') {
            SetFieldValue(81, QChar(kBlank));
            SetFieldValue(61, QChar(u'R'));
        } else if (FromField == 51 && ToField == 31 && GetFieldValue(11) == u'R') {
            SetFieldValue(11, QChar(kBlank));
            SetFieldValue(41, QChar(u'R'));
        }
        FEnWhiteShortCastling = FEnWhiteLongCastling = false;
    } else if (piece == u'k') {
        if (FromField == 58 && ToField == 78 && GetFieldValue(88) == u'r') {
            SetFieldValue(88, QChar(kBlank));
            SetFieldValue(68, QChar(u'r'));
        } else if (FromField == 58 && ToField == 38 && GetFieldValue(18) == u'r') {
            SetFieldValue(18, QChar(kBlank));
            SetFieldValue(48, QChar(u'r'));
        }
        FEnBlackShortCastling = FEnBlackLongCastling = false;
    }

    if (piece == u'P' || piece == u'p') {
        if (FTakeOnPassField == IntFieldToStrField(ToField))
            SetFieldValue(ToField + (FWhiteMove ? -1 : 1), QChar(kBlank));
        if (std::abs(FromField - ToField) == 2)
            FTakeOnPassField = IntFieldToStrField(std::max(FromField, ToField) - 1);
        else
            FTakeOnPassField = QStringLiteral("-");
    } else {
        FTakeOnPassField = QStringLiteral("-");
    }

    const bool whiteKingHome = GetFieldValue(51) == u'K';
    const bool blackKingHome = GetFieldValue(58) == u'k';
    FEnWhiteShortCastling = FEnWhiteShortCastling && whiteKingHome && GetFieldValue(81) == u'R';
    FEnWhiteLongCastling = FEnWhiteLongCastling && whiteKingHome && GetFieldValue(11) == u'R';
    FEnBlackShortCastling = FEnBlackShortCastling && blackKingHome && GetFieldValue(88) == u'r';
    FEnBlackLongCastling = FEnBlackLongCastling && blackKingHome && GetFieldValue(18) == u'r';

    if (FChangeGamerAfterMove) FWhiteMove = !FWhiteMove;

    FMovies +=
        QString::number(FromField) + QString::number(ToField) + QString::number(digit) + u';';

    const bool passedAway =
        (FPlayerColor == u'w' && !FWhiteMove) || (FPlayerColor == u'b' && FWhiteMove);
    if (passedAway && FAfterMove) FAfterMove(this);
    return true;
}

// ---------------------------------------------------------------- mate

bool TFENData::CheckmateExists()
{
    if (!CheckExists()) return false;

    const int king = FindCurrentMoveKing();
    const QChar opponent = FWhiteMove ? u'b' : u'w';
    int checkers = 0, checker = 0;
    for (int col = 1; col <= 8; ++col) {
        for (int row = 1; row <= 8; ++row) {
            const int field = col * 10 + row;
            const QChar c = GetFieldValue(field);
            if ((opponent == u'w' ? IsWhitePiece(c) : IsBlackPiece(c)) && Attacks(field, king)) {
                ++checkers;
                checker = field;
            }
        }
    }

    bool kingEscapes = false;
    for (int offset : KingNeighbours(king))
        kingEscapes = kingEscapes || CanMovePiece(king, king + offset);

    const auto ownPiece = [this](QChar c) {
        return FWhiteMove ? IsWhitePiece(c) : IsBlackPiece(c);
    };
    bool mated = !kingEscapes;
    if (checkers == 1 && mated) {
        for (int f = 11; f <= 88 && mated; ++f)
            if (OnBoard(f) && ownPiece(GetFieldValue(f)) && CanMovePiece(f, checker)) mated = false;

        // A pawn that just made a double step and gives check can be taken en passant.
        const QChar checkerPiece = GetFieldValue(checker);
        const int passField = StrFieldToIntField(FTakeOnPassField);
        if (mated && passField != 0 && (checkerPiece == u'P' || checkerPiece == u'p') &&
            checker == passField + (FWhiteMove ? -1 : 1)) {
            const QChar ownPawn = FWhiteMove ? u'P' : u'p';
            for (int side : {-10, 10}) {
                const int f = checker + side;
                if (mated && OnBoard(f) && GetFieldValue(f) == ownPawn &&
                    CanMovePiece(f, passField))
                    mated = false;
            }
        }

        const QChar upper = checkerPiece.toUpper();
        if (mated && (upper == u'B' || upper == u'R' || upper == u'Q')) {
            QList<int> between;
            const int df = king / 10 - checker / 10, dr = king % 10 - checker % 10;
            const bool straight = (df == 0 || dr == 0) && upper != u'B';
            const bool diagonal = std::abs(df) == std::abs(dr) && upper != u'R';
            if (straight || diagonal) {
                const int step = Sign(df) * 10 + Sign(dr);
                for (int f = checker + step; f != king; f += step)
                    between.append(f);
            }
            for (int f = 11; f <= 88 && mated; ++f) {
                if (!OnBoard(f) || !ownPiece(GetFieldValue(f))) continue;
                for (int target : between) {
                    if (!CanMovePiece(f, target)) continue;
                    TFENData copy(FEN(), kRulesOnly);
                    copy.MovePiece(f, target, QChar(kBlank));
                    copy.setWhiteMove(FWhiteMove);
                    if (!copy.CheckExists()) {
                        mated = false;
                        break;
                    }
                }
            }
        }
    }

    FEnMove = !mated;
    return mated;
}
