#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Parsing and forming the texts of the JSON API: paths, identifiers, names, the position
// escapes, form and multipart bodies, and JSON objects whose members keep their order. Pure
// functions: everything a client sends passes through here first.
namespace ApiText {

// Percent-decodes one path segment or form value; false when an escape is malformed or the
// bytes are not UTF-8. plusIsBlank: form encoding, where "+" stands for a blank.
bool DecodeComponent(QByteArrayView raw, QString& out, bool plusIsBlank = false);
// Splits an encoded path ("/a/b%20c") into decoded segments ({"a", "b c"}); the leading "/" is
// required. "/" alone gives one empty segment. False for a malformed or oversized path.
bool SplitPath(QByteArrayView rawPath, QStringList& segments);

bool CheckUUID(const QString& value);
bool Check10Digit(const QString& value);
bool Check13Digit(const QString& value);
bool CheckMd5(const QString& value);
bool CheckEMail(const QString& value);
// Six decimal digits.
bool CheckCode(const QString& value);
// A board parameter's name: 1 to 32 letters, digits or "_".
bool CheckParameterName(const QString& value);
// Coordinate move: e2e4, or e7e8q with the promotion piece.
bool CheckMove(const QString& value);

// A user-given name: blanks trimmed at both ends, not empty, at most maxLength characters, no
// control characters. False when it does not qualify.
bool CleanName(const QString& value, int maxLength, QString& out);
// A free text such as a parameter value: at most maxLength characters, no control characters.
bool CheckFreeText(const QString& value, int maxLength);

// Position texts in paths: "_" is a blank, "~" is "/", "$" is "#".
QString UnescapePosition(const QString& value);
// The form sent back in snapshots: blank "_", "/" "~", "#" "$".
QString EscapePosition(const QString& value);
// Parameter values carry only the "/" escape.
QString UnescapeParameter(const QString& value);

// A FEN text the position model can take: six fields (four accepted, counters then default),
// eight ranks of eight squares, side to move, castling and en-passant fields well formed. Kings
// are not required: exercises may leave them out. On success normalised holds the six fields
// joined by single blanks.
bool CheckFEN(const QString& value, QString& normalised);

// Decoded fields of an "application/x-www-form-urlencoded" body; false when malformed.
bool ParseForm(QByteArrayView body, QList<QPair<QString, QString>>& fields);
QString FormValue(const QList<QPair<QString, QString>>& fields, const QString& name);

struct TFormPart
{
    QString Name;
    QString FileName;
    QByteArray Data;
};
// The parts of a "multipart/form-data" body. False when the content type has no boundary or
// the body does not follow it.
bool ParseMultipart(QByteArrayView contentType, QByteArrayView body, QList<TFormPart>& parts);

// A random (version 4) UUID from the system's cryptographic source, lower case.
QString NewUuid();

// Lower-case hexadecimal MD5 of the bytes.
QString Md5Hex(QByteArrayView data);
// Lower-case hexadecimal SHA-256 of the text's UTF-8 (how tokens and keys are kept).
QString HashSecret(const QString& secret);

// Text of one JSON string, quotes included.
QByteArray JsonString(const QString& value);

// A JSON object written member by member, in the order given.
class TJsonObject
{
public:
    TJsonObject& Add(const QString& name, const QString& value);
    TJsonObject& Add(const QString& name, const char* value)
    {
        return Add(name, QString::fromUtf8(value));
    }
    TJsonObject& Add(const QString& name, qint64 value);
    TJsonObject& Add(const QString& name, int value) { return Add(name, qint64(value)); }
    TJsonObject& Add(const QString& name, const TJsonObject& value);
    QByteArray Text() const { return FText + '}'; }

private:
    void Name(const QString& name);
    QByteArray FText = "{";
};

} // namespace ApiText
