#pragma once

#include <QByteArray>

// zlib streams (RFC 1950: two header bytes, deflate data, Adler-32 trailer), as the settings file
// and the published executable use them. qCompress would not do: it puts a length in front.
namespace ZlibStream {

// Compressed at the default level, so the stream starts with 78 9C.
QByteArray Compress(const QByteArray& data);
// False (and an empty result) for anything that is not one whole stream, or that would grow
// beyond maxSize bytes.
bool Decompress(const QByteArray& stream, QByteArray& data, qsizetype maxSize = 256 << 20);

} // namespace ZlibStream
