#include "TNameValueList.h"

#include "TextFile.h"

#include <algorithm>

QString TNameValueList::Line(int index) const
{
    return index >= 0 && index < FLines.size() ? FLines.at(index) : QString();
}

QString TNameValueList::Name(int index) const
{
    const QString line = Line(index);
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? line : line.left(eq);
}

QString TNameValueList::ValueFromIndex(int index) const
{
    const QString line = Line(index);
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QString() : line.mid(eq + 1);
}

int TNameValueList::IndexOfName(const QString& name) const
{
    for (qsizetype i = 0; i < FLines.size(); ++i) {
        const QString& line = FLines.at(i);
        const qsizetype eq = line.indexOf(u'=');
        const QStringView lineName = eq < 0 ? QStringView(line) : QStringView(line).left(eq);
        if (lineName.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

QString TNameValueList::Value(const QString& name) const
{
    const int i = IndexOfName(name);
    return i < 0 ? QString() : ValueFromIndex(i);
}

void TNameValueList::SetValue(const QString& name, const QString& value)
{
    const int i = IndexOfName(name);
    if (value.isEmpty()) {
        if (i >= 0)
            FLines.removeAt(i);
        return;
    }
    // An existing line keeps the spelling of its name.
    if (i >= 0)
        FLines[i] = Name(i) + u'=' + value;
    else
        FLines.append(name + u'=' + value);
}

void TNameValueList::Insert(int index, const QString& line)
{
    FLines.insert(std::clamp<qsizetype>(index, 0, FLines.size()), line);
}

void TNameValueList::Delete(int index)
{
    if (index >= 0 && index < FLines.size())
        FLines.removeAt(index);
}

void TNameValueList::Sort()
{
    std::stable_sort(FLines.begin(), FLines.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
}

QString TNameValueList::Text() const
{
    QString text;
    qsizetype size = 0;
    for (const QString& line : FLines)
        size += line.size() + 2;
    text.reserve(size);
    for (const QString& line : FLines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return text;
}

void TNameValueList::SetText(const QString& text)
{
    FLines = TextFile::SplitLines(text);
}
