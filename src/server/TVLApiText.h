#pragma once

#include "THttpClient.h"

#include <QJsonObject>
#include <QString>
#include <QUrl>

// The wire side of the board service's JSON API, shared by the API client and the two worker
// threads: request addresses and headers, the reply text with its two built-in failure
// replies, the envelope, and the escapes of position texts.
namespace TVLApi {

// The exchange failed: no connection, a time-out, any error of the HTTP client.
inline constexpr char kHttpGetError[] = "{\"success\":0, \"errorDescription\":\"HTTPGet Error\"}";
// The reply is JSON, but not a JSON object.
inline constexpr char kJsonError[] = "{\"success\":0, \"errorDescription\":\"JSON Error\"}";

bool IsBuiltInFailure(const QString& reply);

// base + path. The path is already encoded (segments through EncodeSegment); anything a URL
// cannot hold that is still in it gets percent-encoded.
QUrl RequestUrl(const QUrl& base, const QString& path);
// The request headers: TVLToken when there is a token, Accept-Charset, Accept-Encoding.
THttpHeaders RequestHeaders(const QString& token);

// The reply of a GET as the callers read it: the body as UTF-8 lines, each ended by CR LF; a
// failed exchange gives kHttpGetError and a JSON value that is no object kJsonError. Text that
// is not JSON at all stays as it is. An answer with an error status is read all the same.
QString ReplyText(const THttpResult& result);
// The body as text lines, each ended by CR LF.
QString CrLfLines(const QString& text);

// The envelope's "success" as an integer; false when the member is missing or does not read as
// an integer (the design counts that as an error, not as a refusal).
bool ReadSuccess(const QJsonObject& reply, int& success);
// "success" reads as 1 (a number 1 or the text "1"; true is no success).
bool IsSuccess(const QJsonObject& reply);
// A member's value as text: numbers without a fraction, strings as they are.
QString MemberText(const QJsonObject& object, const QString& name);
// Whole numbers only, no blanks; false otherwise.
bool ReadInt64(const QString& text, qint64& value);

// One path segment: UTF-8, percent-encoded, so a "/" inside a name cannot split the path.
QString EncodeSegment(const QString& text);
// A position for a path segment: blank to "_", "/" to "~".
QString EscapePosition(const QString& position);
// A board parameter value: "/" to "~" only.
QString EscapeParameter(const QString& value);
// Positions and move lists of a snapshot: "$" to "#", then "_" to blank, then "~" to "/".
QString UnescapeSnapshot(const QString& text);

} // namespace TVLApi
