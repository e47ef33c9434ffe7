#include "TWebAssets.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace TWebAssets {

namespace {

struct TAsset
{
    QByteArray Body;
    QByteArray ContentType;
};

const QByteArray kPortMark = "%WS_PORT%";

// Scripts and styles only from the service itself; the page talks to its own host only.
const QByteArray kPolicy = "default-src 'none'; script-src 'self'; style-src 'self'; "
                           "img-src 'self' data:; connect-src 'self' ws: wss:; base-uri 'none'; "
                           "form-action 'none'; frame-ancestors 'none'";

void AddHeader(TApiReply& reply, const QByteArray& name, const QByteArray& value)
{
    reply.Headers.append(QPair<QByteArray, QByteArray>(name, value));
}

std::optional<TAsset> Load(const QString& name)
{
    static QHash<QString, std::optional<TAsset>> cache;
    const auto cached = cache.constFind(name);
    if (cached != cache.constEnd()) return *cached;
    static const QRegularExpression valid(QStringLiteral("^[a-z0-9-]+\\.(html|css|js|pset)$"));
    std::optional<TAsset> asset;
    if (valid.match(name).hasMatch()) {
        QFile file(name == u"pieces.pset" ? QStringLiteral(":/pieces/0.pset")
                                          : QStringLiteral(":/web/") + name);
        if (file.open(QIODevice::ReadOnly)) {
            TAsset a;
            a.Body = file.readAll();
            const QString type = name.section(u'.', -1);
            a.ContentType = type == u"html"  ? "text/html; charset=utf-8"
                            : type == u"css" ? "text/css; charset=utf-8"
                            : type == u"js"  ? "text/javascript; charset=utf-8"
                                             : "text/plain; charset=utf-8";
            asset = a;
        }
    }
    // Only names that exist are kept, so an unknown name costs no memory.
    if (asset) cache.insert(name, asset);
    return asset;
}

} // namespace

TApiReply NotFound()
{
    TApiReply reply;
    reply.Status = 404;
    reply.ContentType = "text/plain; charset=utf-8";
    reply.Body = "Not found\n";
    return reply;
}

TApiReply Redirect(const QByteArray& path, const QByteArray& rawQuery)
{
    TApiReply reply;
    reply.Status = 301;
    reply.ContentType = "text/plain; charset=utf-8";
    // The query was percent-encoded by the URL parser; it goes back as it came.
    QByteArray location = path;
    if (!rawQuery.isEmpty()) location += '?' + rawQuery;
    AddHeader(reply, "Location", location);
    return reply;
}

TApiReply Reply(const QString& name, quint16 wsPort, const QByteArray& ifNoneMatch)
{
    const std::optional<TAsset> asset = Load(name);
    if (!asset) return NotFound();
    TApiReply reply;
    reply.ContentType = asset->ContentType;
    reply.Body = asset->Body;
    if (name.endsWith(QLatin1String(".html"))) {
        reply.Body.replace(kPortMark, QByteArray::number(wsPort));
        AddHeader(reply, "Content-Security-Policy", kPolicy);
    }
    const QByteArray etag =
        '"' + QCryptographicHash::hash(reply.Body, QCryptographicHash::Md5).toHex().left(20) + '"';
    AddHeader(reply, "ETag", etag);
    // Always asked again, so a new service version reaches every page; unchanged files cost
    // only the question.
    AddHeader(reply, "Cache-Control", "no-cache");
    AddHeader(reply, "X-Content-Type-Options", "nosniff");
    AddHeader(reply, "Referrer-Policy", "no-referrer");
    if (!ifNoneMatch.isEmpty() && ifNoneMatch.contains(etag)) {
        reply.Status = 304;
        reply.Body.clear();
    }
    return reply;
}

} // namespace TWebAssets
