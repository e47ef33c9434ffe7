#pragma once

#include "TNameValueList.h"

#include <QByteArray>
#include <QString>

// params.dat: the settings list as one zlib stream of name=value lines ended by CR LF.
//
// The lines are in the 8-bit code page, Latin-1 here. A list holding a character outside
// Latin-1 (a folder with a Cyrillic name, say) is written as UTF-8 behind a byte-order mark
// instead, so no character is ever lost; reading recognises that mark.
namespace ParamsFile {

QByteArray Encode(const TNameValueList& list);
// False (and an empty list) when the bytes are no zlib stream.
bool Decode(const QByteArray& bytes, TNameValueList& list);

enum class TLoad
{
    Missing,
    Loaded,
    Unreadable
};
// Replaces the list with the file's lines. An unreadable file leaves an empty list and a copy
// of itself beside it under the name + ".bad", so that nothing in it is lost.
TLoad Load(const QString& path, TNameValueList& list);
// Replaces the file as a whole (never half written); false with the reason on failure.
bool Save(const QString& path, const TNameValueList& list, QString* errorText = nullptr);

} // namespace ParamsFile
