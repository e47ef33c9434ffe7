#include "TArrows.h"

namespace {

constexpr std::array<QRgb, kColorSelectionCount> kDefaultArrowColors = {
    0xFF4169E1, // blue
    0xFFFF0000, // red
    0xFFFFFFFF, // white
    0xFF000000, // black
    0xFF008000, // help (engine best move)
    0x00000000, // student: transparent
};

QChar FileLetter(int digit)
{
    return digit >= 2 && digit <= 8 ? QChar(u'a' + digit - 1) : QChar(u'a');
}

int FileValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'1' && u <= u'8')
        return u - u'0';
    if (u >= u'a' && u <= u'h')
        return u - u'a' + 1;
    return 0;
}

int DigitValue(QChar c)
{
    const char16_t u = c.unicode();
    return u >= u'0' && u <= u'9' ? u - u'0' : 0;
}

// Two characters read as a decimal number; 99 (no board square) when they are not one.
int DecimalOr99(QStringView text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : 99;
}

} // namespace

QString FieldsToStr(int Fields)
{
    QString out;
    if (Fields >= 100) {
        out += FileLetter(Fields / 1000 % 10);
        out += QString::number(Fields / 100 % 10);
    }
    out += FileLetter(Fields / 10 % 10);
    out += QString::number(Fields % 10);
    return out;
}

int StrToFields(const QString& Fields)
{
    if (Fields.size() < 2)
        return 0;
    int value = FileValue(Fields.at(0)) * 10 + DigitValue(Fields.at(1));
    if (Fields.size() >= 4) {
        value = value * 10 + FileValue(Fields.at(2));
        value = value * 10 + DigitValue(Fields.at(3));
    }
    return value;
}

// ---------------------------------------------------------------- TArrow

TArrow::TArrow(const QString& Fields, TColorSelection TypeArrow)
    : FToField(Fields.size() >= 4 ? StrToFields(Fields.mid(2, 2)) : 0),
      FFromField(StrToFields(Fields.left(2))), FTypeArrow(TypeArrow)
{
}

QString TArrow::Fields() const
{
    return QString::number(FFromField) + QString::number(FToField);
}

// ---------------------------------------------------------------- TArrows

TArrows::TArrows() : FArrowsColor(kDefaultArrowColors) {}

int TArrows::AddArrow(const QString& Fields, TColorSelection TypeArrow)
{
    const int found = FindArrow(Fields);
    if (found >= 0)
        return found;
    FArrowList.push_back(std::make_unique<TArrow>(Fields, TypeArrow));
    return CountArrows() - 1;
}

int TArrows::AddArrow(const QString& FromField, const QString& ToField, TColorSelection TypeArrow)
{
    const int found = FindArrow(FromField, ToField);
    if (found >= 0)
        return found;
    FArrowList.push_back(std::make_unique<TArrow>(FromField + ToField, TypeArrow));
    return CountArrows() - 1;
}

int TArrows::AddArrow(int FromField, int ToField, TColorSelection TypeArrow)
{
    const int found = FindArrow(FromField, ToField);
    if (found >= 0)
        return found;
    FArrowList.push_back(std::make_unique<TArrow>(
        QString::number(FromField) + QString::number(ToField), TypeArrow));
    return CountArrows() - 1;
}

int TArrows::FindArrow(int FromField, int ToField) const
{
    for (int i = CountArrows() - 1; i >= 0; --i) {
        const TArrow& a = *FArrowList[size_t(i)];
        if (a.FromField() == FromField && a.ToField() == ToField)
            return i;
    }
    return -1;
}

int TArrows::FindArrow(const QString& FromField, const QString& ToField) const
{
    return FindArrow(DecimalOr99(FromField), DecimalOr99(ToField));
}

int TArrows::FindArrow(const QString& Fields) const
{
    return FindArrow(DecimalOr99(QStringView(Fields).left(2)),
                     DecimalOr99(QStringView(Fields).mid(2, 2)));
}

bool TArrows::ClearArrow(int Idx)
{
    if (Idx < 0 || Idx >= CountArrows())
        return false;
    FArrowList.erase(FArrowList.begin() + Idx);
    return true;
}

bool TArrows::ClearArrow(int FromField, int ToField)
{
    return ClearArrow(FindArrow(FromField, ToField));
}

bool TArrows::ClearArrow(const QString& FromField, const QString& ToField)
{
    return ClearArrow(FindArrow(FromField, ToField));
}

bool TArrows::ClearArrow(const QString& Fields)
{
    return ClearArrow(FindArrow(Fields));
}

bool TArrows::ClearArrow(TColorSelection TypeArrow)
{
    const auto before = FArrowList.size();
    std::erase_if(FArrowList, [TypeArrow](const auto& a) { return a->TypeArrow() == TypeArrow; });
    return FArrowList.size() != before;
}

int TArrows::CopyArrow(const TArrows& FromArrows, int Idx)
{
    const TArrow* from = FromArrows.Arrows(Idx);
    if (!from)
        return -1;
    return AddArrow(from->Fields(), from->TypeArrow());
}

void TArrows::CopyArrows(const TArrows& FromArrows, bool ClearOldArrows)
{
    if (&FromArrows == this)
        return;
    if (ClearOldArrows)
        ClearArrows();
    for (int i = 0; i < FromArrows.CountArrows(); ++i)
        CopyArrow(FromArrows, i);
}

QString TArrows::ArrowsByType(TColorSelection TypeArrow) const
{
    QString out;
    for (const auto& a : FArrowList) {
        if (a->TypeArrow() == TypeArrow)
            out += FieldsToStr(a->FromField()) + FieldsToStr(a->ToField());
    }
    return out.isEmpty() ? QStringLiteral("-") : out;
}

QString TArrows::ArrowsStr() const
{
    QString out;
    for (const auto& a : FArrowList)
        out += FieldsToStr(a->FromField()) + FieldsToStr(a->ToField());
    return out;
}

const TArrow* TArrows::Arrows(int Index) const
{
    return Index >= 0 && Index < CountArrows() ? FArrowList[size_t(Index)].get() : nullptr;
}

TArrow* TArrows::Arrows(int Index)
{
    return Index >= 0 && Index < CountArrows() ? FArrowList[size_t(Index)].get() : nullptr;
}

void TArrows::setArrows(int Index, const TArrow& Value)
{
    if (TArrow* a = Arrows(Index)) {
        a->setFromField(Value.FromField());
        a->setToField(Value.ToField());
        a->setTypeArrow(Value.TypeArrow());
    }
}

QRgb TArrows::ArrowsColor(int Index) const
{
    return Index >= 0 && Index < kColorSelectionCount ? FArrowsColor[size_t(Index)] : 0;
}

void TArrows::setArrowsColor(int Index, QRgb Value)
{
    if (Index >= BlueSelection && Index <= BlackSelection)
        FArrowsColor[size_t(Index)] = Value;
}

// ---------------------------------------------------------------- TSelectedFields

int TSelectedFields::AddSelection(int Field, TColorSelection Color)
{
    const int found = FindSelection(Field);
    if (found >= 0)
        return found;
    FFields.push_back(std::make_unique<TSelectField>(Field, Color));
    return CountSelections() - 1;
}

int TSelectedFields::AddSelection(const QString& Field, TColorSelection Color)
{
    return AddSelection(StrToFields(Field), Color);
}

int TSelectedFields::FindSelection(int Field) const
{
    for (int i = CountSelections() - 1; i >= 0; --i) {
        if (FFields[size_t(i)]->NumField() == Field)
            return i;
    }
    return -1;
}

int TSelectedFields::FindSelection(const QString& Field) const
{
    return FindSelection(StrToFields(Field));
}

bool TSelectedFields::ClearSelection(int Field)
{
    const int i = FindSelection(Field);
    if (i < 0)
        return false;
    FFields.erase(FFields.begin() + i);
    return true;
}

bool TSelectedFields::ClearSelection(const QString& Field)
{
    return ClearSelection(StrToFields(Field));
}

int TSelectedFields::CopySelection(const TSelectedFields& FromSelected, int Idx)
{
    const TSelectField* from = FromSelected.Selections(Idx);
    if (!from)
        return -1;
    return AddSelection(from->NumField(), from->Color());
}

void TSelectedFields::CopySelections(const TSelectedFields& FromSelected, bool ClearOldSelections)
{
    if (&FromSelected == this)
        return;
    if (ClearOldSelections)
        ClearSelections();
    for (int i = 0; i < FromSelected.CountSelections(); ++i)
        CopySelection(FromSelected, i);
}

const TSelectField* TSelectedFields::Selections(int Index) const
{
    return Index >= 0 && Index < CountSelections() ? FFields[size_t(Index)].get() : nullptr;
}

TSelectField* TSelectedFields::Selections(int Index)
{
    return Index >= 0 && Index < CountSelections() ? FFields[size_t(Index)].get() : nullptr;
}

void TSelectedFields::setSelections(int Index, const TSelectField& Value)
{
    if (TSelectField* s = Selections(Index)) {
        s->setNumField(Value.NumField());
        s->setColor(Value.Color());
    }
}

QString TSelectedFields::SelectionsStr() const
{
    QString out;
    for (const auto& s : FFields)
        out += FieldsToStr(s->NumField()) + QString::number(int(s->Color()));
    return out.isEmpty() ? QStringLiteral("-") : out;
}
