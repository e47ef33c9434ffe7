#include "TVLApiText.h"

#include "NetText.h"
#include "TextFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace TVLApi {

bool IsBuiltInFailure(const QString& reply)
{
    return reply == QLatin1String(kHttpGetError) || reply == QLatin1String(kJsonError);
}

QUrl RequestUrl(const QUrl& base, const QString& path)
{
    QString text = base.toString(QUrl::FullyEncoded);
    while (text.endsWith(u'/'))
        text.chop(1);
    // Tolerant: a blank or a letter beyond ASCII left in a path is encoded, "%2F" stays.
    return QUrl(text + path, QUrl::TolerantMode);
}

THttpHeaders RequestHeaders(const QString& token)
{
    THttpHeaders headers;
    if (!token.isEmpty()) headers.append({QByteArrayLiteral("TVLToken"), token.toUtf8()});
    headers.append({QByteArrayLiteral("Accept-Charset"), QByteArrayLiteral("UTF-8")});
    headers.append({QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("gzip,deflate")});
    return headers;
}

QString CrLfLines(const QString& text)
{
    QString lines;
    lines.reserve(text.size() + 64);
    for (const QString& line : TextFile::SplitLines(text))
        lines += line + QLatin1String("\r\n");
    return lines;
}

QString ReplyText(const THttpResult& result)
{
    using TFailure = THttpResult::TFailure;
    // The status is not looked at: an error page is read like any other answer.
    if (result.Failure != TFailure::None && result.Failure != TFailure::Http)
        return QString::fromLatin1(kHttpGetError);
    const QString text = CrLfLines(result.Text());
    const QByteArray utf8 = text.toUtf8();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(utf8, &error);
    if (error.error == QJsonParseError::NoError)
        return doc.isObject() ? text : QString::fromLatin1(kJsonError);
    // A lone string, number or literal is JSON too, though no document: it parses as the one
    // item of an array.
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + utf8 + ']', &error);
    if (error.error == QJsonParseError::NoError && wrapped.array().size() == 1)
        return QString::fromLatin1(kJsonError);
    return text;
}

bool ReadInt64(const QString& text, qint64& value)
{
    if (text.isEmpty() || text.size() > 20) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool sign = i == 0 && (c == u'-' || c == u'+') && text.size() > 1;
        if (!sign && !(c >= u'0' && c <= u'9')) return false;
    }
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok;
}

QString MemberText(const QJsonObject& object, const QString& name)
{
    return NetText::JsonText(object.value(name));
}

bool ReadSuccess(const QJsonObject& reply, int& success)
{
    const auto it = reply.constFind(QLatin1String("success"));
    if (it == reply.constEnd()) return false;
    qint64 value = 0;
    if (!ReadInt64(NetText::JsonText(*it), value)) return false;
    success = value == 1 ? 1 : (value == 0 ? 0 : -1);
    return true;
}

bool IsSuccess(const QJsonObject& reply)
{
    int success = 0;
    return ReadSuccess(reply, success) && success == 1;
}

QString EncodeSegment(const QString& text)
{
    return NetText::EncodePathSegment(text);
}

QString EscapePosition(const QString& position)
{
    QString text = position;
    text.replace(u' ', u'_').replace(u'/', u'~');
    return text;
}

QString EscapeParameter(const QString& value)
{
    QString text = value;
    text.replace(u'/', u'~');
    return text;
}

QString UnescapeSnapshot(const QString& text)
{
    QString plain = text;
    plain.replace(u'$', u'#').replace(u'_', u' ').replace(u'~', u'/');
    return plain;
}

} // namespace TVLApi
