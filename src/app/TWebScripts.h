#pragma once

#include "THttpClient.h"

#include <QString>
#include <QUrl>

// The scripts under "/addon_v3/" of the web site: the newest version and its executable, and
// the identifier of a new collection. Every call is one request; failures give empty results.
class TWebScripts
{
public:
    // base: the web site's "/addon_v3/" address (TServerUrls::WebSite).
    explicit TWebScripts(const QUrl& base, int connectTimeoutMs = 500, int readTimeoutMs = 5000);

    // The newest published version (four numbers separated by points), empty when none came.
    QString LastVersion() const;
    // The size of the newest executable in bytes; 0 when unknown.
    qint64 SizeLastExe() const;
    // The newest executable as one zlib stream, empty on failure. It may take a while, so the
    // read time-out here is its own.
    QByteArray LastExe(int readTimeoutMs = 10 * 60 * 1000) const;
    // The same as a download that reports its progress (see THttpClient::GetAsync).
    THttpDownload* LastExeAsync(QObject* parent = nullptr) const;
    // The identifier (13 digits) the site gives a new collection, empty when none came.
    QString NewCollectionId(const QString& user, const QString& name) const;

    QUrl ScriptUrl(const QString& scriptAndQuery) const;

private:
    QString FirstLine(const QString& scriptAndQuery) const;

    QUrl FBase;
    THttpOptions FOptions;
};
