#include "NetText.h"

#include "TextFile.h"

#include <limits>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QUrl>

namespace NetText {

QString Utf8(const QByteArray& body)
{
    return TextFile::DecodeUtf8(body);
}

QString FirstLine(const QString& text)
{
    qsizetype end = 0;
    while (end < text.size() && text.at(end) != u'\r' && text.at(end) != u'\n')
        ++end;
    return text.left(end);
}

QString EncodePathSegment(const QString& segment)
{
    // Unreserved characters only stay as they are (RFC 3986 2.3).
    return QString::fromLatin1(QUrl::toPercentEncoding(segment));
}

bool ParseJsonObject(const QByteArray& json, QJsonObject& object, QString* errorText)
{
    object = QJsonObject();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        if (errorText)
            *errorText =
                error.errorString() + QLatin1String(" at ") + QString::number(error.offset);
        return false;
    }
    if (!doc.isObject()) {
        if (errorText) *errorText = QStringLiteral("not a JSON object");
        return false;
    }
    object = doc.object();
    return true;
}

QString JsonText(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double: {
        // Integers keep every digit (identifiers have thirteen of them).
        constexpr qint64 kNone = std::numeric_limits<qint64>::min();
        const qint64 whole = value.toInteger(kNone);
        if (whole != kNone) return QString::number(whole);
        return QString::number(value.toDouble(), 'g', 17);
    }
    default:
        return QString();
    }
}

} // namespace NetText
