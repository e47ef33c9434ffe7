#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>
#include <utility>

using THttpHeaders = QList<std::pair<QByteArray, QByteArray>>;
using THttpFields = QList<std::pair<QString, QString>>;

struct TNetJob;

// Ends synchronous exchanges early from another thread: a worker that is told to stop must not
// sit out a slow server's read time-out. Once cancelled it stays so; the exchanges running with
// it, and every later one, end at once with TFailure::Cancelled.
class THttpCancel
{
public:
    void Cancel();
    bool IsCancelled() const;

private:
    friend struct TNetJobAccess;
    mutable std::mutex FMutex;
    bool FCancelled = false;
    QList<std::weak_ptr<TNetJob>> FJobs;
};

struct THttpOptions
{
    // Bounds only the connecting phase (name lookup, TCP, TLS): an unreachable server fails
    // after this long, a reachable one is not cut off while it answers.
    int ConnectTimeoutMs = 500;
    // Synchronous calls: the longest the whole exchange may take. Asynchronous downloads: the
    // longest silence between two pieces of the reply, since a download may rightly be long.
    int ReadTimeoutMs = 5000;
    THttpHeaders Headers;
    // Trusted certificates and the like; the system's defaults when not given.
    std::optional<QSslConfiguration> Ssl;
    // Synchronous calls only: lets another thread end the exchange (see THttpCancel).
    std::shared_ptr<THttpCancel> Cancel;
};

struct THttpFilePart
{
    QString FieldName;
    QString FileName;
    QByteArray Content;
    QByteArray ContentType = "application/octet-stream";
};

struct THttpResult
{
    enum class TFailure
    {
        None, // a 2xx reply
        // The server answered in full with an error status (4xx, 5xx); Body holds its answer.
        Http,
        // Refused, reset, name not found, TLS rejected, closed before the whole reply came, ...;
        // Status may be set then, but Body is empty: a part of an answer is no answer.
        Network,
        ConnectTimeout, // no connection within ConnectTimeoutMs
        ReadTimeout,    // connected, but the reply took longer than ReadTimeoutMs
        Cancelled,      // cancelled by the caller
        // No network thread (application shutting down), or a bad request such as a path with
        // a "." or ".." segment (ErrorText "bad request"); nothing is sent then.
        Unavailable,
    };

    TFailure Failure = TFailure::Unavailable;
    int Status = 0; // HTTP status, 0 when no status line came
    QNetworkReply::NetworkError Error = QNetworkReply::NoError;
    QString ErrorText;
    QByteArray Body;
    THttpHeaders Headers;
    qint64 ContentLength = -1; // the Content-Length header, -1 when there is none

    bool Ok() const { return Failure == TFailure::None; }
    // The body as UTF-8 text and its first line.
    QString Text() const;
    QString FirstLine() const;
    QByteArray Header(const QByteArray& name) const;
};

class THttpDownload;

// A caller that sets its own Accept-Encoding header gets the body with a gzip or deflate content
// encoding undone all the same (Qt decodes only what it asked for itself).
//
// Every exchange runs on one long-lived network thread with its own QNetworkAccessManager, so
// a synchronous call blocks its caller (any thread, with or without an event loop) for the
// exchange without running a nested event loop, and connections to a server are reused.
class THttpClient
{
public:
    static THttpResult Get(const QUrl& url, const THttpOptions& options = {});
    // The reply's headers only; ContentLength tells the size of the resource.
    static THttpResult Head(const QUrl& url, const THttpOptions& options = {});
    // application/x-www-form-urlencoded, UTF-8.
    static THttpResult PostForm(const QUrl& url, const THttpFields& fields,
                                const THttpOptions& options = {});
    // multipart/form-data with the text fields first and one file.
    static THttpResult PostMultipart(const QUrl& url, const THttpFields& fields,
                                     const THttpFilePart& file, const THttpOptions& options = {});

    // Starts a GET and returns at once. The download reports progress and its end to the thread
    // that calls this, which needs a running event loop; it is never finished before the caller
    // has had the chance to connect to it.
    static THttpDownload* GetAsync(const QUrl& url, const THttpOptions& options = {},
                                   QObject* parent = nullptr);

    static QByteArray EncodeForm(const THttpFields& fields);
    // Forgets kept-alive connections (a changed server certificate is then checked again).
    static void ClearConnections();
    // Ends the network thread; done by itself when the application object is destroyed.
    static void Shutdown();
};

struct TNetJob;

class THttpDownload : public QObject
{
    Q_OBJECT
public:
    ~THttpDownload() override;

    // Safe from any thread; the download then finishes with TFailure::Cancelled.
    void Cancel();
    bool IsRunning() const { return FRunning; }
    const THttpResult& Result() const { return FResult; }

signals:
    void progress(qint64 received, qint64 total);
    // Result() holds the outcome.
    void finished();

private:
    friend class THttpClient;
    friend struct TNetJob;
    explicit THttpDownload(QObject* parent);
    void DeliverProgress();
    void DeliverResult(const THttpResult& result);

    std::shared_ptr<TNetJob> FJob;
    bool FRunning = true;
    THttpResult FResult;
};
