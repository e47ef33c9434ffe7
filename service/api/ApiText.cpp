#include "ApiText.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QStringDecoder>

namespace ApiText {

namespace {

constexpr qsizetype kMaxPathBytes = 16 * 1024;
constexpr int kMaxSegments = 64;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool AllDigits(const QString& value, qsizetype length)
{
    if (value.size() != length) return false;
    for (QChar c : value)
        if (c < u'0' || c > u'9') return false;
    return true;
}

bool IsControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029;
}

bool IsHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

QByteArrayView Trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t'))
        v.chop(1);
    return v;
}

// Value of a parameter ("boundary=...", "name=\"file\"") in a header value; quotes removed.
QByteArray HeaderParameter(QByteArrayView header, QByteArrayView name)
{
    qsizetype pos = 0;
    while (pos < header.size()) {
        qsizetype semi = header.indexOf(';', pos);
        if (semi < 0) semi = header.size();
        QByteArrayView part = Trimmed(header.sliced(pos, semi - pos));
        const qsizetype eq = part.indexOf('=');
        if (eq > 0 && Trimmed(part.first(eq)).compare(name, Qt::CaseInsensitive) == 0) {
            QByteArrayView value = Trimmed(part.sliced(eq + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.sliced(1, value.size() - 2);
            return value.toByteArray();
        }
        pos = semi + 1;
    }
    return {};
}

} // namespace

bool DecodeComponent(QByteArrayView raw, QString& out, bool plusIsBlank)
{
    QByteArray bytes;
    bytes.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size()) return false;
            const int hi = HexValue(raw[i + 1]), lo = HexValue(raw[i + 2]);
            if (hi < 0 || lo < 0) return false;
            bytes.append(char(hi * 16 + lo));
            i += 2;
        } else if (c == '+' && plusIsBlank) {
            bytes.append(' ');
        } else {
            bytes.append(c);
        }
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    out = decoder.decode(bytes);
    if (decoder.hasError()) return false;
    // A NUL never belongs in a name, a value or an identifier.
    return !out.contains(QChar(0));
}

bool SplitPath(QByteArrayView rawPath, QStringList& segments)
{
    segments.clear();
    if (rawPath.isEmpty() || rawPath.front() != '/' || rawPath.size() > kMaxPathBytes) return false;
    qsizetype pos = 1;
    while (true) {
        qsizetype slash = rawPath.indexOf('/', pos);
        if (slash < 0) slash = rawPath.size();
        QString segment;
        if (!DecodeComponent(rawPath.sliced(pos, slash - pos), segment)) return false;
        segments.append(segment);
        if (segments.size() > kMaxSegments) return false;
        if (slash == rawPath.size()) break;
        pos = slash + 1;
    }
    return true;
}

bool CheckUUID(const QString& value)
{
    if (value.size() != 36) return false;
    for (int i = 0; i < 36; ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? value[i] != u'-' : !IsHex(value[i])) return false;
    }
    return true;
}

bool Check10Digit(const QString& value)
{
    return AllDigits(value, 10);
}

bool Check13Digit(const QString& value)
{
    return AllDigits(value, 13);
}

bool CheckMd5(const QString& value)
{
    if (value.size() != 32) return false;
    for (QChar c : value)
        if (!IsHex(c)) return false;
    return true;
}

bool CheckEMail(const QString& value)
{
    if (value.isEmpty() || value.size() > 254) return false;
    const qsizetype at = value.lastIndexOf(u'@');
    if (at <= 0 || at == value.size() - 1 || value.indexOf(u'@') != at) return false;
    for (QChar c : value)
        if (IsControl(c) || c.isSpace() || c == u'/' || c == u'\\' || c == u'<' || c == u'>' ||
            c == u'"' || c == u',' || c == u';')
            return false;
    const QString domain = value.mid(at + 1);
    return !domain.startsWith(u'.') && !domain.endsWith(u'.') && !domain.contains(u"..");
}

bool CheckCode(const QString& value)
{
    return AllDigits(value, 6);
}

bool CheckParameterName(const QString& value)
{
    if (value.isEmpty() || value.size() > 32) return false;
    for (QChar c : value)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_') return false;
    return true;
}

bool CheckMove(const QString& value)
{
    if (value.size() != 4 && value.size() != 5) return false;
    const auto file = [](QChar c) { return c >= u'a' && c <= u'h'; };
    const auto rank = [](QChar c) { return c >= u'1' && c <= u'8'; };
    if (!file(value[0]) || !rank(value[1]) || !file(value[2]) || !rank(value[3])) return false;
    return value.size() == 4 || QStringLiteral("qrbnQRBN").contains(value[4]);
}

bool CleanName(const QString& value, int maxLength, QString& out)
{
    const QString trimmed = value.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > maxLength) return false;
    for (QChar c : trimmed)
        if (IsControl(c)) return false;
    out = trimmed;
    return true;
}

bool CheckFreeText(const QString& value, int maxLength)
{
    if (value.size() > maxLength) return false;
    for (QChar c : value)
        if (IsControl(c)) return false;
    return true;
}

QString UnescapePosition(const QString& value)
{
    QString out = value;
    out.replace(u'$', u'#').replace(u'_', u' ').replace(u'~', u'/');
    return out;
}

QString EscapePosition(const QString& value)
{
    QString out = value;
    out.replace(u' ', u'_').replace(u'/', u'~').replace(u'#', u'$');
    return out;
}

QString UnescapeParameter(const QString& value)
{
    QString out = value;
    return out.replace(u'~', u'/');
}

bool CheckFEN(const QString& value, QString& normalised)
{
    if (value.size() > 120) return false;
    QStringList fields = value.simplified().split(u' ', Qt::SkipEmptyParts);
    if (fields.size() == 4) fields << QStringLiteral("0") << QStringLiteral("1");
    if (fields.size() != 6) return false;

    const QStringList ranks = fields[0].split(u'/');
    if (ranks.size() != 8) return false;
    for (const QString& rank : ranks) {
        int squares = 0;
        for (QChar c : rank) {
            if (c >= u'1' && c <= u'8')
                squares += c.unicode() - u'0';
            else if (QStringLiteral("KQRBNPCXFkqrbnpcxf").contains(c))
                ++squares;
            else
                return false;
        }
        if (squares != 8) return false;
    }
    if (fields[1] != u"w" && fields[1] != u"b") return false;
    if (fields[2] != u"-") {
        if (fields[2].size() > 4) return false;
        for (QChar c : fields[2])
            if (!QStringLiteral("KQkq").contains(c) || fields[2].count(c) > 1) return false;
    }
    if (fields[3] != u"-" &&
        !(fields[3].size() == 2 && fields[3][0] >= u'a' && fields[3][0] <= u'h' &&
          (fields[3][1] == u'3' || fields[3][1] == u'6')))
        return false;
    bool ok1 = false, ok2 = false;
    const int half = fields[4].toInt(&ok1);
    const int full = fields[5].toInt(&ok2);
    if (!ok1 || !ok2 || half < 0 || half > 9999 || full < 1 || full > 9999 ||
        fields[4].size() > 4 || fields[5].size() > 4)
        return false;
    normalised = fields.join(u' ');
    return true;
}

bool ParseForm(QByteArrayView body, QList<QPair<QString, QString>>& fields)
{
    fields.clear();
    if (body.isEmpty()) return true;
    qsizetype pos = 0;
    while (pos <= body.size()) {
        qsizetype amp = body.indexOf('&', pos);
        if (amp < 0) amp = body.size();
        const QByteArrayView pair = body.sliced(pos, amp - pos);
        if (!pair.isEmpty()) {
            const qsizetype eq = pair.indexOf('=');
            QString name, value;
            if (!DecodeComponent(eq < 0 ? pair : pair.first(eq), name, true) ||
                (eq >= 0 && !DecodeComponent(pair.sliced(eq + 1), value, true)))
                return false;
            fields.append({name, value});
        }
        pos = amp + 1;
    }
    return true;
}

QString FormValue(const QList<QPair<QString, QString>>& fields, const QString& name)
{
    for (const auto& field : fields)
        if (field.first == name) return field.second;
    return {};
}

bool ParseMultipart(QByteArrayView contentType, QByteArrayView body, QList<TFormPart>& parts)
{
    parts.clear();
    if (!Trimmed(contentType).toByteArray().toLower().startsWith("multipart/form-data"))
        return false;
    const QByteArray boundary = HeaderParameter(contentType, "boundary");
    if (boundary.isEmpty() || boundary.size() > 200) return false;
    const QByteArray delimiter = "--" + boundary;
    const QByteArray nextDelimiter = "\r\n--" + boundary;

    qsizetype pos = body.indexOf(delimiter);
    if (pos < 0) return false;
    pos += delimiter.size();
    while (true) {
        // After a delimiter: "--" closes the body, CR LF opens a part.
        if (body.sliced(pos).startsWith("--")) return true;
        if (!body.sliced(pos).startsWith("\r\n")) return false;
        pos += 2;
        const qsizetype headerEnd = body.indexOf("\r\n\r\n", pos);
        if (headerEnd < 0 || headerEnd - pos > 8192) return false;
        TFormPart part;
        const QByteArrayView headers = body.sliced(pos, headerEnd - pos);
        qsizetype line = 0;
        while (line <= headers.size()) {
            qsizetype end = headers.indexOf("\r\n", line);
            if (end < 0) end = headers.size();
            const QByteArrayView header = headers.sliced(line, end - line);
            const qsizetype colon = header.indexOf(':');
            if (colon > 0 &&
                Trimmed(header.first(colon)).compare("content-disposition", Qt::CaseInsensitive) ==
                    0) {
                const QByteArrayView value = header.sliced(colon + 1);
                part.Name = QString::fromUtf8(HeaderParameter(value, "name"));
                part.FileName = QString::fromUtf8(HeaderParameter(value, "filename"));
            }
            line = end + 2;
        }
        const qsizetype dataStart = headerEnd + 4;
        // Only a delimiter followed by CR LF or "--" ends the part.
        qsizetype dataEnd = body.indexOf(nextDelimiter, dataStart);
        while (dataEnd >= 0) {
            const QByteArrayView after = body.sliced(dataEnd + nextDelimiter.size());
            if (after.startsWith("\r\n") || after.startsWith("--")) break;
            dataEnd = body.indexOf(nextDelimiter, dataEnd + 1);
        }
        if (dataEnd < 0) return false;
        part.Data = body.sliced(dataStart, dataEnd - dataStart).toByteArray();
        parts.append(part);
        if (parts.size() > 16) return false;
        pos = dataEnd + nextDelimiter.size();
    }
}

QString NewUuid()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    QByteArray bytes(reinterpret_cast<const char*>(words), 16);
    bytes[6] = char((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = char((bytes[8] & 0x3F) | 0x80); // variant 1
    const QByteArray hex = bytes.toHex();
    return QString::fromLatin1(hex.mid(0, 8) + '-' + hex.mid(8, 4) + '-' + hex.mid(12, 4) + '-' +
                               hex.mid(16, 4) + '-' + hex.mid(20, 12));
}

QString Md5Hex(QByteArrayView data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

QString HashSecret(const QString& secret)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(secret.toLower().toUtf8(), QCryptographicHash::Sha256).toHex());
}

QByteArray JsonString(const QString& value)
{
    QByteArray out;
    out.reserve(value.size() + 2);
    out += '"';
    const QByteArray utf8 = value.toUtf8();
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (u < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[u >> 4];
                out += hex[u & 15];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

void TJsonObject::Name(const QString& name)
{
    if (FText.size() > 1) FText += ',';
    FText += JsonString(name);
    FText += ':';
}

TJsonObject& TJsonObject::Add(const QString& name, const QString& value)
{
    Name(name);
    FText += JsonString(value);
    return *this;
}

TJsonObject& TJsonObject::Add(const QString& name, qint64 value)
{
    Name(name);
    FText += QByteArray::number(value);
    return *this;
}

TJsonObject& TJsonObject::Add(const QString& name, const TJsonObject& value)
{
    Name(name);
    FText += value.Text();
    return *this;
}

} // namespace ApiText
