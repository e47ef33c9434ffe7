#include "TServerUrls.h"

#include "AppStoreLog.h"

namespace {

QUrl ParseAddress(const QString& address)
{
    QString text = address.trimmed();
    if (!text.contains(QLatin1String("://"))) text.prepend(QLatin1String("http://"));
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || url.port() == 0 ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QUrl();
    return url;
}

} // namespace

bool TServerUrls::IsValidAddress(const QString& address)
{
    return ParseAddress(address).isValid();
}

TServerUrls TServerUrls::FromAddress(const QString& address)
{
    QUrl url = ParseAddress(address);
    if (!url.isValid()) {
        if (!address.trimmed().isEmpty())
            qCWarning(lcAppStore) << "not a server address:" << address << "- using"
                                  << DefaultAddress();
        url = ParseAddress(DefaultAddress());
    }
    const bool secure = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;

    TServerUrls urls;
    urls.Api.setScheme(secure ? QStringLiteral("https") : QStringLiteral("http"));
    urls.Api.setHost(url.host());
    urls.Api.setPort(url.port(kApiPort));
    urls.LiveLink.setScheme(secure ? QStringLiteral("wss") : QStringLiteral("ws"));
    urls.LiveLink.setHost(url.host());
    urls.LiveLink.setPort(kLiveLinkPort);
    urls.LiveLink.setPath(QStringLiteral("/ws/"));
    urls.WebSite = urls.Api;
    urls.WebSite.setPath(QStringLiteral("/addon_v3/"));
    return urls;
}
