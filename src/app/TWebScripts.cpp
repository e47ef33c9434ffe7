#include "TWebScripts.h"

#include "AppStoreLog.h"

#include <QRegularExpression>

TWebScripts::TWebScripts(const QUrl& base, int connectTimeoutMs, int readTimeoutMs) : FBase(base)
{
    FOptions.ConnectTimeoutMs = connectTimeoutMs;
    FOptions.ReadTimeoutMs = readTimeoutMs;
}

QUrl TWebScripts::ScriptUrl(const QString& scriptAndQuery) const
{
    return FBase.resolved(QUrl(scriptAndQuery));
}

QString TWebScripts::FirstLine(const QString& scriptAndQuery) const
{
    const THttpResult result = THttpClient::Get(ScriptUrl(scriptAndQuery), FOptions);
    return result.Ok() ? result.FirstLine().trimmed() : QString();
}

QString TWebScripts::LastVersion() const
{
    // Anything else (an error page, say) is no version.
    static const QRegularExpression version(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"));
    const QString line = FirstLine(QStringLiteral("update_exe.php?operation=LastVersion"));
    if (!line.isEmpty() && !version.match(line).hasMatch()) {
        qCInfo(lcAppStore) << "the version script answered no version:" << line.left(80);
        return QString();
    }
    return line;
}

qint64 TWebScripts::SizeLastExe() const
{
    bool ok = false;
    const qint64 size =
        FirstLine(QStringLiteral("update_exe.php?operation=SizeLastExe")).toLongLong(&ok);
    return ok && size > 0 ? size : 0;
}

QByteArray TWebScripts::LastExe(int readTimeoutMs) const
{
    THttpOptions options = FOptions;
    options.ReadTimeoutMs = readTimeoutMs;
    const THttpResult result =
        THttpClient::Get(ScriptUrl(QStringLiteral("update_exe.php?operation=LastExe")), options);
    return result.Ok() ? result.Body : QByteArray();
}

THttpDownload* TWebScripts::LastExeAsync(QObject* parent) const
{
    // For a download the read time-out is the longest silence, not the whole transfer.
    THttpOptions options = FOptions;
    options.ReadTimeoutMs = std::max(FOptions.ReadTimeoutMs, 30000);
    return THttpClient::GetAsync(ScriptUrl(QStringLiteral("update_exe.php?operation=LastExe")),
                                 options, parent);
}

QString TWebScripts::NewCollectionId(const QString& user, const QString& name) const
{
    // The identifier names a file in the collections folder, so it must be just the digits.
    static const QRegularExpression id(QStringLiteral("^\\d{13}$"));
    const THttpResult result =
        THttpClient::PostForm(ScriptUrl(QStringLiteral("collections.php?op=new")),
                              {{"user", user}, {"name", name}}, FOptions);
    const QString line = result.Ok() ? result.FirstLine().trimmed() : QString();
    if (!line.isEmpty() && !id.match(line).hasMatch()) {
        qCInfo(lcAppStore) << "the collection script answered no identifier:" << line.left(80);
        return QString();
    }
    return line;
}
