#pragma once

// A plain Qt HTTP and WebSocket client for the service tests, speaking as the application does.

#include <QEventLoop>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

struct TReply
{
    QByteArray Body;
    QJsonObject Json;
    bool Exchanged = false; // false when no reply came at all
    int Status = 0;
    QList<QNetworkReply::RawHeaderPair> Headers;
    QByteArray Header(const QByteArray& name) const
    {
        for (const auto& h : Headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0) return h.second;
        return {};
    }
    bool Success() const { return Json.value(QStringLiteral("success")).toInt() == 1; }
    QString Member(const char* name) const
    {
        return Json.value(QLatin1String(name)).toVariant().toString();
    }
};

// Percent-encodes one path segment (UTF-8), as the application's client does for names.
inline QByteArray Seg(const QString& text)
{
    return QUrl::toPercentEncoding(text);
}

class TClient
{
public:
    TClient(const QUrl& base, const QByteArray& token = {}) : FBase(base), FToken(token) {}
    void setToken(const QByteArray& token) { FToken = token; }
    void setBase(const QUrl& base) { FBase = base; }
    void setSsl(const QSslConfiguration& ssl)
    {
        FSsl = ssl;
        FHasSsl = true;
    }
    QNetworkAccessManager& Manager() { return FManager; }

    // path: already percent-encoded, starting with "/".
    TReply Get(const QByteArray& path) { return Run(Request(path), nullptr, {}); }
    // With extra headers, such as a student's "TVLStudent".
    TReply Get(const QByteArray& path, const QList<QPair<QByteArray, QByteArray>>& headers)
    {
        QNetworkRequest request = Request(path);
        for (const auto& h : headers)
            request.setRawHeader(h.first, h.second);
        return Run(request, nullptr, {});
    }
    TReply PostFile(const QByteArray& path, const QByteArray& bytes, const QString& fileName)
    {
        auto* multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QStringLiteral("form-data; name=\"file\"; filename=\"%1\"").arg(fileName));
        part.setBody(bytes);
        multi->append(part);
        return Run(Request(path), multi, {});
    }
    TReply PostForm(const QByteArray& path, const QByteArray& form)
    {
        QNetworkRequest request = Request(path);
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
        return Run(request, nullptr, form);
    }

private:
    QNetworkRequest Request(const QByteArray& path)
    {
        QNetworkRequest request(QUrl::fromEncoded(FBase.toEncoded() + path));
        if (!FToken.isEmpty()) request.setRawHeader("TVLToken", FToken);
        request.setRawHeader("Accept-Charset", "UTF-8");
        if (FHasSsl) request.setSslConfiguration(FSsl);
        request.setTransferTimeout(10000);
        // Redirects are looked at, not followed.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        return request;
    }

    TReply Run(const QNetworkRequest& request, QHttpMultiPart* multi, const QByteArray& form)
    {
        QNetworkReply* reply = multi            ? FManager.post(request, multi)
                               : !form.isNull() ? FManager.post(request, form)
                                                : FManager.get(request);
        if (multi) multi->setParent(reply);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        TReply result;
        result.Exchanged = reply->error() == QNetworkReply::NoError ||
                           reply->error() >= QNetworkReply::ContentAccessDenied;
        result.Body = reply->readAll();
        result.Status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.Headers = reply->rawHeaderPairs();
        result.Json = QJsonDocument::fromJson(result.Body).object();
        reply->deleteLater();
        return result;
    }

    QNetworkAccessManager FManager;
    QUrl FBase;
    QByteArray FToken;
    QSslConfiguration FSsl;
    bool FHasSsl = false;
};

// A teacher's live link: collects the decoded event words.
class TLiveClient
{
public:
    TLiveClient()
    {
        QObject::connect(&FSocket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            Words.append(QString::fromUtf8(QByteArray::fromBase64(text.toLatin1())));
            Raw.append(text);
        });
        QObject::connect(&FSocket, &QWebSocket::disconnected, [this] { Closed = true; });
    }
    void setSsl(const QSslConfiguration& ssl) { FSocket.setSslConfiguration(ssl); }
    bool Open(const QUrl& url)
    {
        FSocket.open(url);
        return QTest::qWaitFor(
                   [this] { return FSocket.state() == QAbstractSocket::ConnectedState || Closed; },
                   10000) &&
               FSocket.state() == QAbstractSocket::ConnectedState;
    }
    // Waits until the words have arrived (after the ones already seen); true when they did.
    bool WaitFor(const QString& words, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return Words.contains(words); }, timeoutMs);
    }
    void Clear()
    {
        Words.clear();
        Raw.clear();
    }
    QWebSocket& Socket() { return FSocket; }

    QStringList Words;
    QStringList Raw;
    bool Closed = false;

private:
    QWebSocket FSocket;
};
