#pragma once

#include <QRgb>
#include <QString>

#include <array>
#include <memory>
#include <vector>

// Marked squares and arrows drawn over a board, and their wire texts.

// Kind of a mark or an arrow.
enum TColorSelection : quint8 {
    BlueSelection = 0,
    RedSelection = 1,
    WhiteSelection = 2,
    BlackSelection = 3,
    HelpSelection = 4,
    StudentSelection = 5,
};
constexpr int kColorSelectionCount = 6;

// Square text of a square number, or "e2e4" for a pair of 100 and more.
QString FieldsToStr(int Fields);
// Square number of "e4" or "54", pair number of "e2e4" or "5254"; 0 when unreadable.
int StrToFields(const QString& Fields);

class TArrow
{
public:
    // Fields: "e2e4" or "5254"; characters 1-2 give the from-square, 3-4 the to-square.
    TArrow(const QString& Fields, TColorSelection TypeArrow);

    int FromField() const { return FFromField; }
    void setFromField(int value) { FFromField = value; }
    int ToField() const { return FToField; }
    void setToField(int value) { FToField = value; }
    TColorSelection TypeArrow() const { return FTypeArrow; }
    void setTypeArrow(TColorSelection value) { FTypeArrow = value; }

    int FromFieldCol() const { return FFromField / 10; }
    int FromFieldRow() const { return FFromField % 10; }
    int ToFieldCol() const { return FToField / 10; }
    int ToFieldRow() const { return FToField % 10; }
    // Decimal from-square followed by the decimal to-square ("5254").
    QString Fields() const;

private:
    int FToField = 0;
    int FFromField = 0;
    TColorSelection FTypeArrow = BlueSelection;
};

class TArrows
{
public:
    TArrows();
    TArrows(const TArrows&) = delete;
    TArrows& operator=(const TArrows&) = delete;
    ~TArrows() { ClearArrows(); }

    int AddArrow(const QString& Fields, TColorSelection TypeArrow);
    int AddArrow(const QString& FromField, const QString& ToField, TColorSelection TypeArrow);
    int AddArrow(int FromField, int ToField, TColorSelection TypeArrow);

    int FindArrow(int FromField, int ToField) const;
    int FindArrow(const QString& FromField, const QString& ToField) const;
    int FindArrow(const QString& Fields) const;

    bool ClearArrow(int Idx);
    bool ClearArrow(int FromField, int ToField);
    bool ClearArrow(const QString& FromField, const QString& ToField);
    bool ClearArrow(const QString& Fields);
    bool ClearArrow(TColorSelection TypeArrow);
    void ClearArrows() { FArrowList.clear(); }
    int CountArrows() const { return int(FArrowList.size()); }

    int CopyArrow(const TArrows& FromArrows, int Idx);
    void CopyArrows(const TArrows& FromArrows, bool ClearOldArrows);

    // Wire text of one kind: "e2e4g1f3", or "-" when the kind has no arrow.
    QString ArrowsByType(TColorSelection TypeArrow) const;
    // Every arrow of every kind in list order; empty when there is none.
    QString ArrowsStr() const;

    const TArrow* Arrows(int Index) const;
    TArrow* Arrows(int Index);
    // Copies squares and kind of the given arrow into the stored one.
    void setArrows(int Index, const TArrow& Value);

    QRgb ArrowsColor(int Index) const;
    // Only the four kinds the teacher draws (0 to 3) take a new colour.
    void setArrowsColor(int Index, QRgb Value);

private:
    std::vector<std::unique_ptr<TArrow>> FArrowList;
    std::array<QRgb, kColorSelectionCount> FArrowsColor;
};

class TSelectField
{
public:
    TSelectField(int NumField, TColorSelection Color) : FColor(Color), FNumField(NumField) {}

    TColorSelection Color() const { return FColor; }
    void setColor(TColorSelection value) { FColor = value; }
    int NumField() const { return FNumField; }
    void setNumField(int value) { FNumField = value; }

private:
    TColorSelection FColor;
    int FNumField;
};

class TSelectedFields
{
public:
    TSelectedFields() = default;
    TSelectedFields(const TSelectedFields&) = delete;
    TSelectedFields& operator=(const TSelectedFields&) = delete;
    ~TSelectedFields() { ClearSelections(); }

    int AddSelection(int Field, TColorSelection Color);
    int AddSelection(const QString& Field, TColorSelection Color);
    int FindSelection(int Field) const;
    int FindSelection(const QString& Field) const;
    bool ClearSelection(int Field);
    bool ClearSelection(const QString& Field);
    void ClearSelections() { FFields.clear(); }
    int CountSelections() const { return int(FFields.size()); }

    int CopySelection(const TSelectedFields& FromSelected, int Idx);
    void CopySelections(const TSelectedFields& FromSelected, bool ClearOldSelections);

    const TSelectField* Selections(int Index) const;
    TSelectField* Selections(int Index);
    void setSelections(int Index, const TSelectField& Value);

    // Wire text: square and kind digit per mark ("e40d51"), "-" when empty.
    QString SelectionsStr() const;

private:
    std::vector<std::unique_ptr<TSelectField>> FFields;
};
