// Feeds arbitrary requests through the service's request path: path and parameter parsing, form
// and multipart bodies, and the whole handler over an in-memory database with a signed-in
// account, so every endpoint's checks meet malformed input.
//
// Input layout: method byte, then path, query, content type and body separated by 0x01 bytes.
// The first bit of the method byte sends the signed-in token.

#include "ApiText.h"
#include "TApiHandler.h"
#include "TNotifier.h"
#include "TSqliteStore.h"

#include <cstdint>
#include <memory>
#include <QCoreApplication>
#include <QTemporaryDir>

namespace {

class TSilentNotifier : public TNotifier
{
public:
    void NotifyAccount(qint64, const QString&) override {}
    void ConfirmConnection(const QString&) override {}
};

struct TWorld
{
    QTemporaryDir Dir;
    TSqliteStore Store{QStringLiteral(":memory:")};
    TSilentNotifier Notifier;
    std::unique_ptr<TApiHandler> Handler;
    QByteArray Token;
};

TWorld* gWorld = nullptr;

QByteArray Call(const QByteArray& path, const QByteArray& token = {})
{
    TApiRequest request;
    request.RawPath = path;
    request.Token = token;
    return gWorld->Handler->Handle(request).Body;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    qputenv("QT_LOGGING_RULES", "tavlora.*=false");
    gWorld = new TWorld;
    if (!gWorld->Store.Open(nullptr)) abort();
    TServiceOptions options;
    options.DataDir = gWorld->Dir.path();
    options.MaxUploadBytes = 64 * 1024;
    gWorld->Handler = std::make_unique<TApiHandler>(gWorld->Store, gWorld->Notifier, options);

    // One account with a token, a room, a collection and a workplace, so ids in the input can
    // reach real rows.
    const QString regCode = QStringLiteral("8d65ce80-972b-4e49-b78c-82e7a943f5cf");
    gWorld->Store.CreateAccount(regCode, QStringLiteral("fuzz@example.org"), 1);
    const QString token = QStringLiteral("3b14702d-252f-43dc-869b-2e77c133678b");
    gWorld->Store.AddToken(1, ApiText::HashSecret(token), QDateTime::currentSecsSinceEpoch());
    gWorld->Token = token.toLatin1();
    Call("/room/new/Fuzz", gWorld->Token);
    Call("/collection/new/Own/Fuzz", gWorld->Token);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 64 * 1024) return 0;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> fields = input.mid(1).split('\x01');

    TApiRequest request;
    request.Method = (data[0] & 2) ? "POST" : "GET";
    request.RawPath = fields.value(0);
    request.RawQuery = fields.value(1);
    request.ContentType = fields.value(2);
    request.Body = fields.value(3);
    if (data[0] & 1) request.Token = gWorld->Token;
    request.StudentKey = fields.value(4);

    const TApiReply reply = gWorld->Handler->Handle(request);
    // Every JSON reply is an object with "success".
    if (reply.ContentType == "application/json" && !reply.Body.startsWith("{\"success\":")) abort();

    // The parsers on their own, with the whole input.
    QStringList segments;
    ApiText::SplitPath(input, segments);
    QString normalised;
    ApiText::CheckFEN(QString::fromUtf8(input), normalised);
    QList<QPair<QString, QString>> form;
    ApiText::ParseForm(input, form);
    QList<ApiText::TFormPart> parts;
    ApiText::ParseMultipart(fields.value(2), fields.value(3), parts);
    return 0;
}
