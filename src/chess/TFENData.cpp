#include "TFENData.h"

#include <limits>
#include <QStringView>

namespace {

constexpr char16_t kBlank = u' ';
constexpr const char* kEmptyFEN = "8/8/8/8/8/8/8/8 w KQkq - 0 1";
constexpr const char* kEmptyText = "8/8/8/8/8/8/8/8 w - -";

// Operands written in double quotes, and operations written without operand.
constexpr QStringView kQuotedOpcodes =
    u",c0,c1,c2,c3,c4,c5,c6,c7,c8,c9,eco,id,nic,ptp,v0,v1,v2,v3,v4,v5,v6,v7,v8,v9,";
constexpr QStringView kNoOperandOpcodes = u",draw_accept,draw_claim,draw_offer,draw_reject,resign,";

bool InCommaList(QStringView list, QStringView opcode)
{
    // The list is framed by commas, so searching ",opcode," finds whole names only.
    const qsizetype n = opcode.size() + 2;
    for (qsizetype i = 0; i + n <= list.size(); ++i) {
        if (list[i] == u',' && list[i + n - 1] == u',' && list.mid(i + 1, opcode.size()) == opcode)
            return true;
    }
    return false;
}

// A decimal text as an integer (optional sign); false for anything else or on overflow.
bool ParseDecimal(QStringView text, int& value)
{
    if (text.isEmpty()) return false;
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == u'+' || text[0] == u'-') {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size()) return false;
    qint64 result = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return false;
        result = result * 10 + (c - u'0');
        if (result > qint64(std::numeric_limits<int>::max()) + 1) return false;
    }
    if (negative) result = -result;
    if (result < std::numeric_limits<int>::min() || result > std::numeric_limits<int>::max())
        return false;
    value = int(result);
    return true;
}

bool IsBlankOrControl(QChar c)
{
    return c.unicode() <= u' ';
}

QStringView TrimBlanks(QStringView text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && IsBlankOrControl(text[b]))
        ++b;
    while (e > b && IsBlankOrControl(text[e - 1]))
        --e;
    return text.mid(b, e - b);
}

int PieceValue(char16_t c)
{
    switch (c) {
    case u'P':
    case u'p':
        return 1;
    case u'N':
    case u'n':
        return 3;
    case u'B':
    case u'b':
        return 3;
    case u'R':
    case u'r':
        return 5;
    case u'Q':
    case u'q':
        return 9;
    default:
        return 0;
    }
}

} // namespace

TFENData::TFENData(const QString& FEN)
{
    Init(FEN);
    LoadProgramPieces();
    FColorWhiteField = kDefaultWhiteField;
    FColorBlackField = kDefaultBlackField;
}

TFENData::TFENData(const QString& FEN, TRulesOnly)
{
    Init(FEN);
}

void TFENData::Init(const QString& FEN)
{
    FBeginFEN.clear();
    FOnlyOneGamer = false;
    FAutoAnswer = true;
    FChangeGamerAfterMove = true;
    for (auto& line : FLines)
        line.fill(kBlank);
    if (FEN.isEmpty())
        SetEmptyPosition();
    else
        setFEN(FEN);
    FAfterMove = nullptr;
    FMovies.clear();
    FEnMove = true;
    FChanging = false;
}

TFENData::~TFENData()
{
    FArrows.ClearArrows();
    SelectedFields.ClearSelections();
}

void TFENData::SetStartPosition()
{
    setFEN(QString::fromLatin1(kStartFEN));
}

void TFENData::SetEmptyPosition()
{
    setFEN(QString::fromLatin1(kEmptyFEN));
}

// ---------------------------------------------------------------- FEN

void TFENData::setFEN(const QString& Value)
{
    for (auto& line : FLines)
        line.fill(kBlank);

    const QString text = Value.isEmpty() ? QString::fromLatin1(kEmptyText) : Value;
    // Split at every blank; two blanks in a row give an empty field.
    std::array<QStringView, 6> fields;
    int fieldCount = 0;
    {
        const QStringView view(text);
        qsizetype start = 0;
        for (qsizetype i = 0; i <= view.size(); ++i) {
            if (i == view.size() || view[i] == u' ') {
                if (fieldCount < 6) fields[fieldCount] = view.mid(start, i - start);
                ++fieldCount;
                start = i + 1;
            }
        }
    }

    // Board: without "/" and with digits as blanks it must be exactly 64 squares.
    {
        std::array<char16_t, 64> squares;
        int n = 0;
        bool fits = true;
        for (QChar qc : fields[0]) {
            const char16_t c = qc.unicode();
            if (c == u'/') continue;
            const bool digit = c >= u'1' && c <= u'8';
            const int run = digit ? c - u'0' : 1;
            if (n + run > 64) {
                fits = false;
                break;
            }
            for (int k = 0; k < run; ++k)
                squares[n++] = digit ? kBlank : c;
        }
        if (fits && n == 64) {
            for (int r = 0; r < 8; ++r)
                for (int c = 0; c < 8; ++c)
                    FLines[7 - r][c] = squares[r * 8 + c];
        }
    }

    setWhiteMove(fieldCount >= 2 ? fields[1] == u"w" : true);
    setEnCastling(fieldCount >= 3 ? fields[2].toString() : QStringLiteral("KQkq"));
    setTakeOnPassField(fieldCount >= 4 ? fields[3].toString() : QStringLiteral("-"));
    int counter = 0;
    setCountHalfMovies(fieldCount >= 5 && ParseDecimal(fields[4], counter) ? counter : 0);
    counter = 0;
    setCountMovies(fieldCount >= 6 && ParseDecimal(fields[5], counter) ? counter : 0);

    if (!FBeginFEN.isEmpty() && FBeginFEN != Value) FChanging = true;
    FBeginFEN = Value;
    FPlayerColor = FWhiteMove ? u'w' : u'b';
}

QString TFENData::FEN() const
{
    QString out;
    out.reserve(90);
    for (int r = 7; r >= 0; --r) {
        int blanks = 0;
        for (char16_t c : FLines[r]) {
            if (c == kBlank) {
                ++blanks;
                continue;
            }
            if (blanks) {
                out += QChar(u'0' + blanks);
                blanks = 0;
            }
            out += QChar(c);
        }
        if (blanks) out += QChar(u'0' + blanks);
        if (r > 0) out += u'/';
    }
    out += FWhiteMove ? QLatin1String(" w ") : QLatin1String(" b ");
    out += EnCastling();
    out += u' ';
    out += FTakeOnPassField.isEmpty() ? QStringLiteral("-") : FTakeOnPassField;
    out += u' ';
    out += QString::number(FCountHalfMovies);
    out += u' ';
    out += QString::number(FCountMovies < 1 ? 1 : FCountMovies);
    return out;
}

QString TFENData::ShortFEN() const
{
    const QString full = FEN();
    // The full text always has six fields; keep everything before the fourth blank.
    int blanks = 0;
    for (qsizetype i = 0; i < full.size(); ++i) {
        if (full.at(i) == u' ' && ++blanks == 4) return full.left(i);
    }
    return QStringLiteral("8/8/8/8/8/8/8/8 w KQkq -");
}

// ---------------------------------------------------------------- EPD

QString TFENData::EPD()
{
    for (int i = FAdditionalInfo.Count() - 1; i >= 0; --i) {
        if (!FAdditionalInfo.Line(i).contains(u'=')) FAdditionalInfo.Delete(i);
    }
    QString out = ShortFEN() + u' ';
    for (int i = 0; i < FAdditionalInfo.Count(); ++i) {
        if (i > 0) out += u';';
        const QString name = FAdditionalInfo.Name(i);
        out += name;
        if (InCommaList(kQuotedOpcodes, name))
            out += QLatin1String(" \"") + FAdditionalInfo.ValueFromIndex(i) + u'"';
        else if (!InCommaList(kNoOperandOpcodes, name))
            out += u' ' + FAdditionalInfo.ValueFromIndex(i);
    }
    return out;
}

void TFENData::setEPD(const QString& Value)
{
    qsizetype cut = Value.size();
    int blanks = 0;
    for (qsizetype i = 0; i < Value.size(); ++i) {
        if (Value.at(i) == u' ' && ++blanks == 4) {
            cut = i + 1;
            break;
        }
    }
    const QString position = Value.left(cut);
    if (!position.isEmpty()) setFEN(position);

    FAdditionalInfo.Clear();
    const QStringView rest = QStringView(Value).mid(cut);
    if (rest.isEmpty()) return;
    for (QStringView piece : rest.split(u';')) {
        const qsizetype blank = piece.indexOf(u' ');
        if (blank < 0) {
            // An operation without operand keeps a lone double quote as its value.
            FAdditionalInfo.SetValue(piece.toString(), QStringLiteral("\""));
            continue;
        }
        QStringView value = TrimBlanks(piece.mid(blank + 1));
        if (value.size() > 1 && value.front() == u'"' && value.back() == u'"')
            value = value.mid(1, value.size() - 2);
        FAdditionalInfo.SetValue(piece.left(blank).toString(), value.toString());
    }
}

QString TFENData::GetValueParam(const QString& Param) const
{
    return FAdditionalInfo.Value(Param);
}

void TFENData::SetValueParam(const QString& Param, const QString& Value)
{
    FAdditionalInfo.SetValue(Param, Value);
    FAdditionalInfo.Sort();
}

QString TFENData::BestMove() const
{
    return FAdditionalInfo.Value(QStringLiteral("bm"));
}

void TFENData::setBestMove(const QString& Value)
{
    FAdditionalInfo.SetValue(QStringLiteral("bm"), Value);
}

// ---------------------------------------------------------------- properties

void TFENData::setWhiteMove(bool Value)
{
    if (FWhiteMove != Value) FChanging = true;
    FWhiteMove = Value;
}

QString TFENData::EnCastling() const
{
    QString out;
    if (FEnWhiteShortCastling) out += u'K';
    if (FEnWhiteLongCastling) out += u'Q';
    if (FEnBlackShortCastling) out += u'k';
    if (FEnBlackLongCastling) out += u'q';
    return out.isEmpty() ? QStringLiteral("-") : out;
}

void TFENData::setEnCastling(const QString& Value)
{
    const bool whiteKing = GetFieldValue(51) == u'K';
    const bool blackKing = GetFieldValue(58) == u'k';
    setEnWhiteShortCastling(Value.contains(u'K') && whiteKing && GetFieldValue(81) == u'R');
    setEnWhiteLongCastling(Value.contains(u'Q') && whiteKing && GetFieldValue(11) == u'R');
    setEnBlackShortCastling(Value.contains(u'k') && blackKing && GetFieldValue(88) == u'r');
    setEnBlackLongCastling(Value.contains(u'q') && blackKing && GetFieldValue(18) == u'r');
}

void TFENData::setEnWhiteShortCastling(bool Value)
{
    if (FEnWhiteShortCastling != Value) FChanging = true;
    FEnWhiteShortCastling = Value;
}

void TFENData::setEnWhiteLongCastling(bool Value)
{
    if (FEnWhiteLongCastling != Value) FChanging = true;
    FEnWhiteLongCastling = Value;
}

void TFENData::setEnBlackShortCastling(bool Value)
{
    if (FEnBlackShortCastling != Value) FChanging = true;
    FEnBlackShortCastling = Value;
}

void TFENData::setEnBlackLongCastling(bool Value)
{
    if (FEnBlackLongCastling != Value) FChanging = true;
    FEnBlackLongCastling = Value;
}

void TFENData::setTakeOnPassField(const QString& Value)
{
    QString stored;
    int number = 0;
    bool digitsOnly = !Value.isEmpty();
    for (QChar c : Value)
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    if (digitsOnly && ParseDecimal(Value, number) && number > 0) {
        stored = IntFieldToStrField(number);
    } else if (StrFieldToIntField(Value) != 0) {
        stored = Value;
    } else {
        FTakeOnPassField.clear();
        return;
    }
    if (FTakeOnPassField != stored) FChanging = true;
    FTakeOnPassField = stored;
}

void TFENData::setCountHalfMovies(int Value)
{
    if (FCountHalfMovies != Value) FChanging = true;
    FCountHalfMovies = Value;
}

void TFENData::setCountMovies(int Value)
{
    if (FCountMovies != Value) FChanging = true;
    FCountMovies = Value;
}

void TFENData::setChangeGamerAfterMove(bool Value)
{
    if (FChangeGamerAfterMove != Value) FChanging = true;
    FChangeGamerAfterMove = Value;
}

void TFENData::setAutoAnswer(bool Value)
{
    if (FAutoAnswer != Value) FChanging = true;
    FAutoAnswer = Value;
}

// ---------------------------------------------------------------- material

int TFENData::ValueWhitePieces() const
{
    int sum = 0;
    for (const auto& line : FLines)
        for (char16_t c : line)
            if (c >= u'A' && c <= u'Z') sum += PieceValue(c);
    return sum;
}

int TFENData::ValueBlackPieces() const
{
    int sum = 0;
    for (const auto& line : FLines)
        for (char16_t c : line)
            if (c >= u'a' && c <= u'z') sum += PieceValue(c);
    return sum;
}

int TFENData::CountPieces() const
{
    int count = 0;
    for (const auto& line : FLines)
        for (char16_t c : line)
            if (c != kBlank) ++count;
    return count;
}

// ---------------------------------------------------------------- squares

QChar TFENData::GetFieldValue(int FieldNum) const
{
    if (FieldNum < 0) return u'-';
    return GetFieldValue(FieldNum / 10, FieldNum % 10);
}

QChar TFENData::GetFieldValue(int ACol, int ARow) const
{
    if (ACol < 1 || ACol > 8 || ARow < 1 || ARow > 8) return u'-';
    return QChar(FLines[ARow - 1][ACol - 1]);
}

QChar TFENData::GetFieldValue(QChar ACol, QChar ARow) const
{
    int col = 0;
    const char16_t c = ACol.unicode();
    if (c >= u'1' && c <= u'8')
        col = c - u'0';
    else if (c >= u'A' && c <= u'H')
        col = c - u'A' + 1;
    else if (c >= u'a' && c <= u'h')
        col = c - u'a' + 1;
    const char16_t r = ARow.unicode();
    const int row = (r >= u'1' && r <= u'8') ? r - u'0' : 0;
    return GetFieldValue(col, row);
}

void TFENData::SetFieldValue(int FieldNum, QChar NewValue)
{
    if (FieldNum >= 0) SetFieldValue(FieldNum / 10, FieldNum % 10, NewValue);
}

void TFENData::SetFieldValue(int ACol, int ARow, QChar NewValue)
{
    if (ACol < 1 || ACol > 8 || ARow < 1 || ARow > 8) return;
    FLines[ARow - 1][ACol - 1] = NewValue.unicode();
}

void TFENData::SetFieldValue(QChar ACol, QChar ARow, QChar NewValue)
{
    SetFieldValue(ConvertSymbolToNumber(QString(ACol) + ARow), NewValue);
}

QString TFENData::Line(int Row) const
{
    if (Row < 1 || Row > 8) return QString();
    return QString(reinterpret_cast<const QChar*>(FLines[Row - 1].data()), 8);
}

// ---------------------------------------------------------------- conversions

QString TFENData::ConvertNumberToSymbol(int FieldNo) const
{
    const int col = FieldNo / 10;
    if (col < 1 || col > 8) return QStringLiteral("-");
    return QChar(u'a' + col - 1) + QString::number(FieldNo % 10);
}

int TFENData::ConvertSymbolToNumber(const QString& FieldName) const
{
    int file = -10;
    for (char16_t f = u'a'; f <= u'h'; ++f) {
        if (FieldName.contains(QChar(f))) {
            file = (f - u'a' + 1) * 10;
            break;
        }
    }
    for (char16_t r = u'1'; r <= u'8'; ++r) {
        if (FieldName.contains(QChar(r))) return file + (r - u'0');
    }
    return -1;
}

QString TFENData::IntFieldToStrField(int intField) const
{
    const int col = intField / 10, row = intField % 10;
    if (col < 1 || col > 8 || row < 1 || row > 8) return QStringLiteral("-");
    return QString(QChar(u'a' + col - 1)) + QChar(u'0' + row);
}

int TFENData::StrFieldToIntField(const QString& sField) const
{
    if (sField.size() != 2) return 0;
    const char16_t f = sField.at(0).unicode(), r = sField.at(1).unicode();
    if (f < u'a' || f > u'h' || r < u'1' || r > u'8') return 0;
    return (f - u'a' + 1) * 10 + (r - u'0');
}

// ---------------------------------------------------------------- position code

QString FENToPositionCode(const QString& FEN)
{
    const QStringList fields = FEN.split(u' ', Qt::SkipEmptyParts);
    const QString field = [&] { return fields.isEmpty() ? QString() : fields.at(0); }();
    QString board;
    for (QChar c : field) {
        if (c == u'/') continue;
        if (c.isDigit() && c.unicode() < 128)
            board += QString(c.unicode() - u'0', u'0');
        else
            board += c;
    }

    QString bits, pieces;
    for (QChar c : board) {
        if (c == u'0') {
            bits += u'0';
        } else {
            bits += u'1';
            pieces += c;
        }
    }
    QString code;
    qsizetype i = 0;
    for (; i + 4 <= bits.size(); i += 4) {
        int nibble = 0;
        for (int k = 0; k < 4; ++k)
            nibble = nibble * 2 + (bits.at(i + k) == u'1');
        code += QChar(nibble < 10 ? u'0' + nibble : u'A' + nibble - 10);
    }
    if (i < bits.size()) code += u'[' + bits.mid(i);

    static constexpr std::pair<char16_t, char16_t> kBlack[] = {
        {u'k', u'T'}, {u'q', u'U'}, {u'r', u'V'}, {u'b', u'D'}, {u'n', u'E'},
        {u'p', u'J'}, {u'c', u'S'}, {u'x', u'Y'}, {u'f', u'Z'}};
    for (QChar& c : pieces) {
        for (const auto& [from, to] : kBlack)
            if (c == QChar(from)) c = QChar(to);
    }
    code += pieces;
    code += u'0';
    code += fields.size() >= 2 && fields.at(1) == u"w" ? u'0' : u'1';

    static const QStringList kCastling = {
        u"-"_qs, u"q"_qs,  u"k"_qs,  u"kq"_qs,  u"Q"_qs,  u"Qq"_qs,  u"Qk"_qs,  u"Qkq"_qs,
        u"K"_qs, u"Kq"_qs, u"Kk"_qs, u"Kkq"_qs, u"KQ"_qs, u"KQq"_qs, u"KQk"_qs, u"KQkq"_qs};
    const int castling = fields.size() >= 3 ? int(kCastling.indexOf(fields.at(2))) : -1;
    code += QString::number(castling < 0 ? 0 : castling, 16);
    code += fields.size() >= 4 && fields.at(3).size() >= 2 ? fields.at(3).at(0) : QChar(u'0');
    return code.toUpper();
}
