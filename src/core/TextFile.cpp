#include "TextFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace TextFile {

namespace {
constexpr char kBom[] = "\xEF\xBB\xBF";
}

QString DecodeUtf8(const QByteArray& bytes)
{
    QByteArrayView view(bytes);
    if (view.startsWith(QByteArrayView(kBom, 3)))
        view = view.sliced(3);
    return QString::fromUtf8(view);
}

QByteArray EncodeUtf8Bom(const QStringList& lines)
{
    QByteArray out(kBom, 3);
    for (const QString& line : lines) {
        out += line.toUtf8();
        out += "\r\n";
    }
    return out;
}

QByteArray EncodeUtf8Bom(const QString& text)
{
    return QByteArray(kBom, 3) + text.toUtf8();
}

bool ReadText(const QString& path, QString& text)
{
    text.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    text = DecodeUtf8(file.readAll());
    return true;
}

bool ReadLines(const QString& path, QStringList& lines)
{
    QString text;
    const bool ok = ReadText(path, text);
    lines = SplitLines(text);
    return ok;
}

bool WriteBytes(const QString& path, const QByteArray& bytes, QString* errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (errorText)
            *errorText = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

bool WriteLines(const QString& path, const QStringList& lines, QString* errorText)
{
    return WriteBytes(path, EncodeUtf8Bom(lines), errorText);
}

QStringList SplitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

} // namespace TextFile
