#include "ZlibStream.h"

#include "AppStoreLog.h"

#include <algorithm>
#include <zlib.h>

namespace ZlibStream {

QByteArray Compress(const QByteArray& data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray stream(qsizetype(size), Qt::Uninitialized);
    const int result = compress2(reinterpret_cast<Bytef*>(stream.data()), &size,
                                 reinterpret_cast<const Bytef*>(data.constData()),
                                 uLong(data.size()), Z_DEFAULT_COMPRESSION);
    if (result != Z_OK) {
        qCWarning(lcAppStore) << "zlib compress2 failed:" << result;
        return QByteArray();
    }
    stream.resize(qsizetype(size));
    return stream;
}

bool Decompress(const QByteArray& stream, QByteArray& data, qsizetype maxSize)
{
    data.clear();
    qsizetype capacity = std::clamp<qsizetype>(stream.size() * 4, 1024, maxSize);
    for (;;) {
        QByteArray out(capacity, Qt::Uninitialized);
        uLongf outSize = uLongf(out.size());
        uLong inSize = uLong(stream.size());
        const int result = uncompress2(reinterpret_cast<Bytef*>(out.data()), &outSize,
                                       reinterpret_cast<const Bytef*>(stream.constData()), &inSize);
        if (result == Z_OK) {
            if (inSize != uLong(stream.size()))
                qCInfo(lcAppStore) << stream.size() - qsizetype(inSize)
                                   << "bytes after the end of the zlib stream ignored";
            out.resize(qsizetype(outSize));
            data = out;
            return true;
        }
        // Only a full output buffer gives Z_BUF_ERROR; broken or cut input gives Z_DATA_ERROR.
        if (result != Z_BUF_ERROR || capacity >= maxSize) return false;
        capacity = std::min(capacity * 2, maxSize);
    }
}

} // namespace ZlibStream
