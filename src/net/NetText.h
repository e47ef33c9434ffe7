#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Text and JSON helpers for request paths and reply bodies.
namespace NetText {

// A reply body as text: UTF-8, a leading byte-order mark dropped, invalid bytes replaced.
QString Utf8(const QByteArray& body);
// Everything before the first CR or LF.
QString FirstLine(const QString& text);
// One path segment, UTF-8 and percent-encoded; "/", "?", "#" and "%" are encoded too, so the
// segment cannot split the path or end it. "." and ".." stay as they are (any encoding of them
// means the same to a server): THttpClient refuses a path with such a segment.
QString EncodePathSegment(const QString& segment);
// Parses a JSON object; false (and an empty object) for anything else, with the reason.
bool ParseJsonObject(const QByteArray& json, QJsonObject& object, QString* errorText = nullptr);
// A value as the text a reader of the reply expects: strings as they are, whole numbers without
// a fraction ("1", not "1.0"), true/false, and the empty text for null, arrays and objects.
QString JsonText(const QJsonValue& value);

} // namespace NetText
