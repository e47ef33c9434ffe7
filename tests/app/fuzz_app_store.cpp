// Outside input of the settings store: the settings file, a server address typed by the user,
// and JSON replies. The first byte picks the parser, the rest is its input.
#include "NetText.h"
#include "ParamsFile.h"
#include "TServerUrls.h"

#include <cstdlib>
#include <QJsonObject>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const QByteArray input(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0: {
        // Whatever decodes must come back the same after a save.
        TNameValueList list;
        if (ParamsFile::Decode(input, list)) {
            TNameValueList again;
            if (!ParamsFile::Decode(ParamsFile::Encode(list), again) || again != list) std::abort();
        }
        break;
    }
    case 1: {
        const TServerUrls urls = TServerUrls::FromAddress(QString::fromUtf8(input));
        const QString scheme = urls.Api.scheme();
        if (!urls.Api.isValid() || urls.Api.host().isEmpty() || urls.Api.port() <= 0 ||
            (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
            urls.LiveLink.port() != TServerUrls::kLiveLinkPort ||
            urls.WebSite.path() != QLatin1String("/addon_v3/"))
            std::abort();
        break;
    }
    default: {
        QJsonObject object;
        if (NetText::ParseJsonObject(input, object))
            for (auto it = object.begin(); it != object.end(); ++it)
                NetText::JsonText(it.value());
        break;
    }
    }
    return 0;
}
