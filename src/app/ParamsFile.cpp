#include "ParamsFile.h"

#include "AppStoreLog.h"
#include "TextFile.h"
#include "ZlibStream.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace ParamsFile {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
// A settings file is a few hundred bytes; anything near this is not one.
constexpr qsizetype kMaxText = 16 << 20;

bool FitsLatin1(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 0xFF) return false;
    return true;
}

} // namespace

QByteArray Encode(const TNameValueList& list)
{
    const QString text = list.Text();
    QByteArray bytes = text.toLatin1();
    // Latin-1 text that happens to start like the mark ("ï»¿") is written as UTF-8 as well.
    if (!FitsLatin1(text) || bytes.startsWith(kUtf8Bom))
        bytes = QByteArray(kUtf8Bom, 3) + text.toUtf8();
    return ZlibStream::Compress(bytes);
}

bool Decode(const QByteArray& bytes, TNameValueList& list)
{
    list.Clear();
    QByteArray text;
    if (!ZlibStream::Decompress(bytes, text, kMaxText)) return false;
    if (text.startsWith(kUtf8Bom)) {
        // Only our own mark is dropped: a U+FEFF that belongs to the text stays.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        list.SetText(utf8(QByteArrayView(text).sliced(3)));
    } else {
        list.SetText(QString::fromLatin1(text));
    }
    return true;
}

TLoad Load(const QString& path, TNameValueList& list)
{
    if (!QFileInfo::exists(path)) return TLoad::Missing;
    QFile file(path);
    QByteArray bytes;
    bool ok = file.open(QIODevice::ReadOnly);
    if (ok) {
        bytes = file.readAll();
        ok = file.error() == QFileDevice::NoError && Decode(bytes, list);
    }
    if (ok) return TLoad::Loaded;

    list.Clear();
    const QString bad = path + QStringLiteral(".bad");
    QString error;
    if (file.isOpen() ? TextFile::WriteBytes(bad, bytes, &error) : false)
        qCWarning(lcAppStore) << path << "cannot be read; kept as" << bad
                              << "and the settings start from their defaults";
    else
        qCWarning(lcAppStore) << path << "cannot be read (" << file.errorString() << error
                              << "); the settings start from their defaults";
    return TLoad::Unreadable;
}

bool Save(const QString& path, const TNameValueList& list, QString* errorText)
{
    const QByteArray bytes = Encode(list);
    QString error;
    if (bytes.isEmpty())
        error = QStringLiteral("compression failed");
    else if (TextFile::WriteBytes(path, bytes, &error))
        return true;
    qCWarning(lcAppStore) << "cannot write" << path << ":" << error;
    if (errorText) *errorText = error;
    return false;
}

} // namespace ParamsFile
