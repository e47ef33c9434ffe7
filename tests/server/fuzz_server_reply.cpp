// Replies of the board service as the server link reads them: the reply text with its built-in
// failure replies, the envelope, and the workplace snapshot with its escapes.

#include "NetText.h"
#include "THttpClient.h"
#include "TThreadGetBoards.h"
#include "TVLApiText.h"

#include <cstddef>
#include <cstdint>
#include <QJsonObject>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    THttpResult result;
    result.Failure = THttpResult::TFailure::None;
    result.Status = 200;
    result.Body = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = TVLApi::ReplyText(result);
    // Every line of the reply ends with CR LF, unless it became a built-in failure reply.
    if (!TVLApi::IsBuiltInFailure(text) && !text.isEmpty() && !text.endsWith(QLatin1String("\r\n")))
        __builtin_trap();

    QJsonObject object;
    if (NetText::ParseJsonObject(text.toUtf8(), object)) {
        int success = 0;
        TVLApi::ReadSuccess(object, success);
        TVLApi::IsSuccess(object);
    }
    TBoardSnapshot snapshot;
    if (TBoardSnapshot::Decode(text, snapshot) && snapshot.CurrentFEN &&
        (snapshot.CurrentFEN->contains(u'_') || snapshot.CurrentFEN->contains(u'~')))
        __builtin_trap(); // the escapes are undone in full
    return 0;
}
