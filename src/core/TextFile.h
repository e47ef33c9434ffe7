#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The one reader and writer of the project's text files: UTF-8 with a byte-order mark and
// CR LF line ends (collections, rooms, lists, language tables).
namespace TextFile {

// Decodes UTF-8 text; a leading byte-order mark is dropped.
QString DecodeUtf8(const QByteArray& bytes);
// The lines as UTF-8 with a byte-order mark, every line ended by CR LF.
QByteArray EncodeUtf8Bom(const QStringList& lines);
QByteArray EncodeUtf8Bom(const QString& text);

// Reads a whole file; false (and an empty text) when it cannot be read.
bool ReadText(const QString& path, QString& text);
bool ReadLines(const QString& path, QStringList& lines);

// Writes through QSaveFile so a crash never leaves half a file. On failure the old file stays
// and errorText (when given) says why.
bool WriteBytes(const QString& path, const QByteArray& bytes, QString* errorText = nullptr);
bool WriteLines(const QString& path, const QStringList& lines, QString* errorText = nullptr);

// Splits a text into lines at CR LF, LF or CR; a final line end adds no empty line.
QStringList SplitLines(const QString& text);

} // namespace TextFile
