#pragma once

#include <QString>
#include <QStringList>

// An ordered list of text lines, most of them "name=value". Names are matched without regard
// to letter case; the value is everything after the first "=". Setting an empty value removes
// the line. One type serves settings, lesson parameters, language tables, piece sets and EPD
// operations.
class TNameValueList
{
public:
    TNameValueList() = default;
    explicit TNameValueList(const QStringList& lines) : FLines(lines) {}

    int Count() const { return int(FLines.size()); }
    bool IsEmpty() const { return FLines.isEmpty(); }
    const QStringList& Lines() const { return FLines; }
    QString Line(int index) const;

    // The part before the first "=", or the whole line when it has none.
    QString Name(int index) const;
    // The part after the first "=", empty when the line has none.
    QString ValueFromIndex(int index) const;

    // Index of the first line with this name (case-insensitive), -1 for none.
    int IndexOfName(const QString& name) const;
    bool Contains(const QString& name) const { return IndexOfName(name) >= 0; }
    QString Value(const QString& name) const;
    // Replaces the value of an existing line in place (its name keeps its spelling), appends a
    // new line otherwise; an empty value removes the line.
    void SetValue(const QString& name, const QString& value);

    void Add(const QString& line) { FLines.append(line); }
    void Insert(int index, const QString& line);
    void Delete(int index);
    void Clear() { FLines.clear(); }
    // Lines ordered alphabetically without regard to case (stable).
    void Sort();

    // All lines, each ended by CR LF.
    QString Text() const;
    // Replaces the lines with those of a text; CR LF, LF and CR all end a line, and a final
    // line end does not add an empty line.
    void SetText(const QString& text);

    bool operator==(const TNameValueList& other) const = default;

private:
    QStringList FLines;
};
