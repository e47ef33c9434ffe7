#include "THttpClient.h"

#include "NetLog.h"
#include "NetText.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QThread>
#include <QTimer>
#include <zlib.h>

Q_LOGGING_CATEGORY(lcNet, "tavlora.net")

using TFailure = THttpResult::TFailure;

namespace {

enum class TMethod
{
    Get,
    Head,
    PostForm,
    PostMultipart
};

const char* MethodName(TMethod method)
{
    switch (method) {
    case TMethod::Get:
        return "GET";
    case TMethod::Head:
        return "HEAD";
    default:
        return "POST";
    }
}

THttpResult FailureResult(TFailure failure, const QString& text)
{
    THttpResult result;
    result.Failure = failure;
    result.ErrorText = text;
    return result;
}

QString FailureText(TFailure failure, const THttpOptions& options)
{
    switch (failure) {
    case TFailure::ConnectTimeout:
        return QStringLiteral("no connection within %1 ms").arg(options.ConnectTimeoutMs);
    case TFailure::ReadTimeout:
        return QStringLiteral("no complete answer within %1 ms").arg(options.ReadTimeoutMs);
    case TFailure::Cancelled:
        return QStringLiteral("cancelled");
    case TFailure::Unavailable:
        return QStringLiteral("the network thread has ended");
    default:
        return QString();
    }
}

// A quoted-string of a Content-Disposition header, escaped the way browsers do it so that a
// name can never end the header.
QByteArray DispositionQuoted(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('"', "%22").replace('\r', "%0D").replace('\n', "%0A");
    return '"' + bytes + '"';
}

} // namespace

// One exchange, shared by its caller and the network thread.
struct TNetJob
{
    // Atomic: a cancel from another thread may read it while the job is handed over.
    std::atomic<quint64> Id = 0;
    TMethod Method = TMethod::Get;
    QUrl Url;
    THttpOptions Options;
    THttpFields Fields;
    THttpFilePart File;

    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    THttpResult Result;
    // Asynchronous downloads only: the caller-side object, cleared when it is destroyed.
    THttpDownload* Download = nullptr;
    qint64 Received = 0;
    qint64 Total = -1;
    bool ProgressPosted = false;

    // Network thread. Progress is coalesced: one event waits in the caller's queue at most.
    void Progress(qint64 received, qint64 total)
    {
        std::lock_guard lock(Mutex);
        Received = received;
        Total = total;
        if (!Download || ProgressPosted || Finished) return;
        ProgressPosted = true;
        THttpDownload* download = Download;
        QMetaObject::invokeMethod(
            download, [download] { download->DeliverProgress(); }, Qt::QueuedConnection);
    }

    // Any thread; the first completion counts. The download object is alive while Mutex is
    // held (its destructor takes it), and its destruction drops the posted call.
    void Complete(THttpResult result)
    {
        std::lock_guard lock(Mutex);
        if (Finished) return;
        Finished = true;
        Result = std::move(result);
        Done.notify_all();
        if (Download) {
            THttpDownload* download = Download;
            QMetaObject::invokeMethod(
                download, [download, copy = Result] { download->DeliverResult(copy); },
                Qt::QueuedConnection);
        }
    }
};

// The cancel handle's side of a synchronous exchange.
struct TNetJobAccess
{
    // False when the handle was cancelled already.
    static bool Attach(THttpCancel& cancel, const std::shared_ptr<TNetJob>& job)
    {
        std::lock_guard lock(cancel.FMutex);
        if (cancel.FCancelled) return false;
        cancel.FJobs.append(job);
        return true;
    }

    static void Detach(THttpCancel& cancel, const std::shared_ptr<TNetJob>& job)
    {
        std::lock_guard lock(cancel.FMutex);
        cancel.FJobs.removeIf([&job](const std::weak_ptr<TNetJob>& item) {
            const auto locked = item.lock();
            return !locked || locked == job;
        });
    }

    static QList<std::shared_ptr<TNetJob>> TakeAll(THttpCancel& cancel)
    {
        std::lock_guard lock(cancel.FMutex);
        cancel.FCancelled = true;
        QList<std::shared_ptr<TNetJob>> jobs;
        for (const auto& item : std::as_const(cancel.FJobs))
            if (auto job = item.lock()) jobs.append(job);
        cancel.FJobs.clear();
        return jobs;
    }
};

namespace {

bool HasHeader(const THttpHeaders& headers, const QByteArray& name)
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

// gzip, zlib-wrapped or raw deflate data, whole; false for anything else or beyond maxSize.
bool Inflate(const QByteArray& data, bool raw, QByteArray& out, qsizetype maxSize)
{
    z_stream stream{};
    // 15 + 32: a gzip or a zlib header, told apart by zlib itself.
    if (inflateInit2(&stream, raw ? -MAX_WBITS : MAX_WBITS + 32) != Z_OK) return false;
    out.clear();
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    char chunk[16384];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) break;
        out.append(chunk, qsizetype(sizeof chunk - stream.avail_out));
        if (out.size() > maxSize) {
            status = Z_MEM_ERROR;
            break;
        }
        if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            status = Z_DATA_ERROR; // the data ended before the stream did
            break;
        }
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END;
}

// Undoes a gzip or deflate content encoding; false when the body does not decode.
bool DecodeContent(const QByteArray& encoding, QByteArray& body)
{
    const QByteArray name = encoding.trimmed().toLower();
    if (name.isEmpty() || name == "identity" || body.isEmpty()) return true;
    if (name != "gzip" && name != "x-gzip" && name != "deflate") return false;
    constexpr qsizetype kMaxDecoded = qsizetype(256) << 20;
    QByteArray decoded;
    // "deflate" should be zlib-wrapped, but some servers send it raw.
    if (!Inflate(body, false, decoded, kMaxDecoded) &&
        (name != "deflate" || !Inflate(body, true, decoded, kMaxDecoded)))
        return false;
    body = decoded;
    return true;
}

// The codes Qt gives a reply with a 4xx or 5xx status: its content, protocol and server ranges,
// and the proxy one for 407. A reply cut off after its status line mostly gets a transport code.
bool IsStatusError(int status, QNetworkReply::NetworkError error)
{
    if (status < 400) return false;
    if (error == QNetworkReply::ProxyAuthenticationRequiredError) return status == 407;
    return (error >= QNetworkReply::ContentAccessDenied &&
            error <= QNetworkReply::UnknownContentError) ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           (error >= QNetworkReply::InternalServerError &&
            error <= QNetworkReply::UnknownServerError);
}

// Qt drops "." and ".." segments (also percent-encoded ones) before it sends a request, so such
// a segment, from a name put into the path, would send the request elsewhere.
bool HasDotSegment(const QUrl& url)
{
    const QList<QByteArray> segments = url.path(QUrl::FullyEncoded).toLatin1().split('/');
    for (const QByteArray& segment : segments) {
        if (segment.size() > 6) continue; // "%2E%2E" at most
        const QByteArray decoded = QByteArray::fromPercentEncoding(segment);
        if (decoded == "." || decoded == "..") return true;
    }
    return false;
}

class TNetWorker : public QObject
{
public:
    TNetWorker() : FManager(new QNetworkAccessManager(this)) {}

    void Start(const std::shared_ptr<TNetJob>& job);
    void Abort(quint64 id, TFailure reason);
    void AbortAll();
    void ClearConnections()
    {
        FManager->clearConnectionCache();
        FManager->clearAccessCache();
    }

private:
    struct TRunning
    {
        QNetworkReply* Reply = nullptr;
        std::shared_ptr<TNetJob> Job;
        TFailure AbortReason = TFailure::None;
        QElapsedTimer Clock;
    };

    void Finish(quint64 id);

    QNetworkAccessManager* FManager;
    QHash<quint64, TRunning> FRunning;
};

class TNetThread;

// Owner of the network thread. Jobs that were handed over but have not finished are kept here,
// so that a shutdown can still answer every waiting caller.
class TNetEngine
{
public:
    static TNetEngine& Instance()
    {
        static TNetEngine engine;
        return engine;
    }

    ~TNetEngine() { Stop(); }

    bool IsNetworkThread()
    {
        std::lock_guard lock(FMutex);
        return FThreadObject && QThread::currentThread() == FThreadObject;
    }

    bool Submit(const std::shared_ptr<TNetJob>& job)
    {
        std::unique_lock lock(FMutex);
        if (!EnsureStarted(lock)) return false;
        job->Id = FNextId++;
        FJobs.insert(job->Id, job);
        TNetWorker* worker = FWorker;
        QMetaObject::invokeMethod(
            worker, [worker, job] { worker->Start(job); }, Qt::QueuedConnection);
        return true;
    }

    void Abort(quint64 id, TFailure reason)
    {
        std::lock_guard lock(FMutex);
        if (TNetWorker* worker = FWorker)
            QMetaObject::invokeMethod(
                worker, [worker, id, reason] { worker->Abort(id, reason); }, Qt::QueuedConnection);
    }

    void Post(std::function<void(TNetWorker&)> work)
    {
        std::lock_guard lock(FMutex);
        if (TNetWorker* worker = FWorker)
            QMetaObject::invokeMethod(
                worker, [worker, work] { work(*worker); }, Qt::QueuedConnection);
    }

    void Forget(quint64 id)
    {
        std::lock_guard lock(FMutex);
        FJobs.remove(id);
    }

    void Attach(TNetWorker* worker)
    {
        std::lock_guard lock(FMutex);
        FWorker = worker;
        FReady.notify_all();
    }

    void Detach()
    {
        std::lock_guard lock(FMutex);
        FWorker = nullptr;
    }

    void Stop();

private:
    TNetEngine() = default;
    bool EnsureStarted(std::unique_lock<std::mutex>& lock);

    std::mutex FMutex;
    std::condition_variable FReady;
    TNetThread* FThread = nullptr;
    QThread* FThreadObject = nullptr;
    TNetWorker* FWorker = nullptr;
    bool FStopping = false;
    bool FPostRoutineAdded = false;
    quint64 FNextId = 1;
    QHash<quint64, std::shared_ptr<TNetJob>> FJobs;
};

class TNetThread : public QThread
{
public:
    explicit TNetThread(TNetEngine& engine) : FEngine(engine)
    {
        setObjectName(QStringLiteral("tavlora-network"));
    }

protected:
    void run() override
    {
        TNetWorker worker;
        FEngine.Attach(&worker);
        exec();
        FEngine.Detach();
        worker.AbortAll();
    }

private:
    TNetEngine& FEngine;
};

void StopEngineRoutine()
{
    TNetEngine::Instance().Stop();
}

bool TNetEngine::EnsureStarted(std::unique_lock<std::mutex>& lock)
{
    if (FWorker) return true;
    if (FStopping || !QCoreApplication::instance()) return false;
    if (!FThread) {
        FThread = new TNetThread(*this);
        FThreadObject = FThread;
        if (!FPostRoutineAdded) {
            // The thread must end while Qt is still whole: with the application object.
            qAddPostRoutine(StopEngineRoutine);
            FPostRoutineAdded = true;
        }
        FThread->start();
    }
    // Callers that come while the thread is starting wait for it too (the wait lets them in).
    FReady.wait(lock, [this] { return FWorker != nullptr || FStopping; });
    return FWorker != nullptr;
}

void TNetEngine::Stop()
{
    TNetThread* thread = nullptr;
    {
        std::lock_guard lock(FMutex);
        if (!FThread || FStopping) return;
        FStopping = true;
        thread = FThread;
        FReady.notify_all();
    }
    thread->quit();
    thread->wait();
    delete thread;

    QHash<quint64, std::shared_ptr<TNetJob>> left;
    {
        std::lock_guard lock(FMutex);
        left.swap(FJobs);
        FThread = nullptr;
        FThreadObject = nullptr;
        FWorker = nullptr;
        FStopping = false;
    }
    for (const auto& job : std::as_const(left))
        job->Complete(
            FailureResult(TFailure::Unavailable, FailureText(TFailure::Unavailable, job->Options)));
}

QHttpMultiPart* BuildMultipart(const THttpFields& fields, const THttpFilePart& file)
{
    auto* multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const auto& [name, value] : fields) {
        QHttpPart part;
        const QByteArray disposition = "form-data; name=" + DispositionQuoted(name);
        part.setHeader(QNetworkRequest::ContentDispositionHeader, disposition);
        part.setBody(value.toUtf8());
        multi->append(part);
    }
    QHttpPart part;
    const QByteArray disposition = "form-data; name=" + DispositionQuoted(file.FieldName) +
                                   "; filename=" + DispositionQuoted(file.FileName);
    part.setHeader(QNetworkRequest::ContentDispositionHeader, disposition);
    part.setHeader(QNetworkRequest::ContentTypeHeader, file.ContentType);
    part.setBody(file.Content);
    multi->append(part);
    return multi;
}

void TNetWorker::Start(const std::shared_ptr<TNetJob>& job)
{
    {
        std::lock_guard lock(job->Mutex);
        if (job->Finished) { // given up by its caller before it could start
            TNetEngine::Instance().Forget(job->Id);
            return;
        }
    }
    if (HasDotSegment(job->Url)) {
        qCWarning(lcNet) << "a path with a dot segment is not sent:" << job->Url;
        TNetEngine::Instance().Forget(job->Id);
        job->Complete(FailureResult(TFailure::Unavailable, QStringLiteral("bad request")));
        return;
    }
    const THttpOptions& options = job->Options;
    QNetworkRequest request(job->Url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Tavlora"));
    for (const auto& [name, value] : options.Headers)
        request.setRawHeader(name, value);
    if (options.Ssl) request.setSslConfiguration(*options.Ssl);

    QNetworkReply* reply = nullptr;
    switch (job->Method) {
    case TMethod::Get:
        reply = FManager->get(request);
        break;
    case TMethod::Head:
        reply = FManager->head(request);
        break;
    case TMethod::PostForm:
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
        reply = FManager->post(request, THttpClient::EncodeForm(job->Fields));
        break;
    case TMethod::PostMultipart: {
        QHttpMultiPart* multi = BuildMultipart(job->Fields, job->File);
        reply = FManager->post(request, multi);
        multi->setParent(reply);
        break;
    }
    }

    const quint64 id = job->Id;
    const bool async = [&] {
        std::lock_guard lock(job->Mutex);
        return job->Download != nullptr;
    }();
    TRunning running;
    running.Reply = reply;
    running.Job = job;
    running.Clock.start();
    FRunning.insert(id, running);

    // The connecting phase starts now and again whenever the reply opens a new socket (a
    // redirect, a dropped keep-alive connection); it ends when the request is on its way.
    auto* connectTimer = new QTimer(reply);
    connectTimer->setSingleShot(true);
    connectTimer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5 % early
    connectTimer->setInterval(std::max(1, options.ConnectTimeoutMs));
    auto* readTimer = new QTimer(reply);
    readTimer->setSingleShot(true);
    readTimer->setTimerType(Qt::PreciseTimer);
    readTimer->setInterval(std::max(1, options.ReadTimeoutMs));
    connect(connectTimer, &QTimer::timeout, this,
            [this, id] { Abort(id, TFailure::ConnectTimeout); });
    connect(readTimer, &QTimer::timeout, this, [this, id] { Abort(id, TFailure::ReadTimeout); });

    const auto connected = [connectTimer] { connectTimer->stop(); };
    connect(reply, &QNetworkReply::socketStartedConnecting, connectTimer,
            [connectTimer] { connectTimer->start(); });
    connect(reply, &QNetworkReply::encrypted, connectTimer, connected);
    connect(reply, &QNetworkReply::requestSent, connectTimer, connected);
    connect(reply, &QNetworkReply::metaDataChanged, connectTimer, connected);
    connect(reply, &QNetworkReply::uploadProgress, connectTimer,
            [connectTimer](qint64 sent, qint64) {
                if (sent > 0) connectTimer->stop();
            });
    connect(reply, &QNetworkReply::downloadProgress, this,
            [connectTimer, readTimer, async, job](qint64 received, qint64 total) {
                connectTimer->stop();
                if (async) {
                    readTimer->start(); // a download may be long; only silence ends it
                    job->Progress(received, total);
                }
            });
    connect(reply, &QNetworkReply::finished, this, [this, id] { Finish(id); });

    connectTimer->start();
    readTimer->start();
    qCDebug(lcNet) << MethodName(job->Method) << job->Url.toDisplayString();
}

void TNetWorker::Abort(quint64 id, TFailure reason)
{
    auto it = FRunning.find(id);
    if (it == FRunning.end()) return;
    if (it->AbortReason == TFailure::None) it->AbortReason = reason;
    QNetworkReply* reply = it->Reply;
    reply->abort(); // ends in Finish()
}

void TNetWorker::AbortAll()
{
    const QList<quint64> ids = FRunning.keys();
    for (quint64 id : ids)
        Abort(id, TFailure::Unavailable);
    // Whatever abort() did not finish at once.
    for (quint64 id : ids)
        Finish(id);
}

void TNetWorker::Finish(quint64 id)
{
    auto it = FRunning.find(id);
    if (it == FRunning.end()) return;
    const TRunning running = *it;
    FRunning.erase(it);
    QNetworkReply* reply = running.Reply;
    reply->disconnect(this);

    THttpResult result;
    result.Status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.Error = reply->error();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    result.ContentLength = length.isValid() ? length.toLongLong() : -1;
    for (const auto& pair : reply->rawHeaderPairs())
        result.Headers.append({pair.first, pair.second});
    if (running.AbortReason != TFailure::None) {
        // A part of an answer is no answer.
        result.Failure = running.AbortReason;
        result.ErrorText = FailureText(running.AbortReason, running.Job->Options);
    } else {
        result.Body = reply->readAll();
        const bool ownEncoding = HasHeader(running.Job->Options.Headers, "Accept-Encoding");
        const QByteArray encoding = result.Header("Content-Encoding").trimmed().toLower();
        // When Qt undoes an encoding itself, the body no longer has the declared length.
        const bool rawBody = ownEncoding || encoding.isEmpty() || encoding == "identity";
        // Qt does not always see that a reply ended early: when the close comes with the last
        // bytes it may report success or the error status instead.
        const bool cutShort = running.Job->Method != TMethod::Head && rawBody &&
                              result.ContentLength >= 0 &&
                              result.Body.size() < result.ContentLength;
        const bool transportError =
            result.Error != QNetworkReply::NoError && !IsStatusError(result.Status, result.Error);
        if (cutShort || transportError) {
            // A part of an answer is no answer.
            result.Failure = TFailure::Network;
            result.Body.clear();
            result.ErrorText = transportError
                                   ? reply->errorString()
                                   : QStringLiteral("the connection closed before the whole "
                                                    "reply came");
        } else if (ownEncoding && !DecodeContent(encoding, result.Body)) {
            result.Failure = TFailure::Network;
            result.Body.clear();
            result.ErrorText = QStringLiteral("the body does not decode as its content encoding");
        } else if (result.Error == QNetworkReply::NoError) {
            result.Failure = TFailure::None;
        } else {
            result.Failure = TFailure::Http;
            result.ErrorText = reply->errorString();
        }
    }
    reply->deleteLater();

    if (result.Ok())
        qCDebug(lcNet) << MethodName(running.Job->Method) << running.Job->Url.toDisplayString()
                       << result.Status << result.Body.size() << "bytes in"
                       << running.Clock.elapsed() << "ms";
    else
        qCInfo(lcNet) << MethodName(running.Job->Method) << running.Job->Url.toDisplayString()
                      << "failed after" << running.Clock.elapsed() << "ms:" << result.ErrorText;

    TNetEngine::Instance().Forget(id);
    running.Job->Complete(std::move(result));
}

std::shared_ptr<TNetJob> MakeJob(TMethod method, const QUrl& url, const THttpOptions& options)
{
    auto job = std::make_shared<TNetJob>();
    job->Method = method;
    job->Url = url;
    job->Options = options;
    return job;
}

THttpResult RunSync(const std::shared_ptr<TNetJob>& job)
{
    TNetEngine& engine = TNetEngine::Instance();
    if (engine.IsNetworkThread()) {
        // It would wait on itself.
        qCCritical(lcNet) << "a synchronous request on the network thread:" << job->Url;
        return FailureResult(TFailure::Unavailable,
                             QStringLiteral("synchronous request on the network thread"));
    }
    THttpCancel* cancel = job->Options.Cancel.get();
    if (cancel && !TNetJobAccess::Attach(*cancel, job))
        return FailureResult(TFailure::Cancelled, FailureText(TFailure::Cancelled, job->Options));
    struct TDetach
    {
        THttpCancel* Cancel;
        const std::shared_ptr<TNetJob>& Job;
        ~TDetach()
        {
            if (Cancel) TNetJobAccess::Detach(*Cancel, Job);
        }
    } detach{cancel, job};
    if (!engine.Submit(job))
        return FailureResult(TFailure::Unavailable,
                             FailureText(TFailure::Unavailable, job->Options));

    std::unique_lock lock(job->Mutex);
    const auto finished = [&job] { return job->Finished; };
    // The network thread keeps both time-outs; this bound only guards against it never
    // answering at all.
    const auto limit = std::chrono::milliseconds(std::max(0, job->Options.ConnectTimeoutMs) +
                                                 std::max(0, job->Options.ReadTimeoutMs) + 1000);
    if (!job->Done.wait_for(lock, limit, finished)) {
        lock.unlock();
        qCWarning(lcNet) << "the network thread did not answer in time:" << job->Url;
        engine.Abort(job->Id, TFailure::ReadTimeout);
        lock.lock();
        if (!job->Done.wait_for(lock, std::chrono::seconds(1), finished)) {
            lock.unlock();
            job->Complete(FailureResult(TFailure::ReadTimeout,
                                        FailureText(TFailure::ReadTimeout, job->Options)));
            lock.lock();
        }
    }
    return job->Result;
}

} // namespace

void THttpCancel::Cancel()
{
    const QList<std::shared_ptr<TNetJob>> jobs = TNetJobAccess::TakeAll(*this);
    for (const auto& job : jobs) {
        // The waiting caller is answered at once; the network thread drops the reply when it
        // gets to it.
        TNetEngine::Instance().Abort(job->Id, TFailure::Cancelled);
        job->Complete(
            FailureResult(TFailure::Cancelled, FailureText(TFailure::Cancelled, job->Options)));
    }
}

bool THttpCancel::IsCancelled() const
{
    std::lock_guard lock(FMutex);
    return FCancelled;
}

QString THttpResult::Text() const
{
    return NetText::Utf8(Body);
}

QString THttpResult::FirstLine() const
{
    return NetText::FirstLine(Text());
}

QByteArray THttpResult::Header(const QByteArray& name) const
{
    for (const auto& [key, value] : Headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return QByteArray();
}

THttpResult THttpClient::Get(const QUrl& url, const THttpOptions& options)
{
    return RunSync(MakeJob(TMethod::Get, url, options));
}

THttpResult THttpClient::Head(const QUrl& url, const THttpOptions& options)
{
    return RunSync(MakeJob(TMethod::Head, url, options));
}

THttpResult THttpClient::PostForm(const QUrl& url, const THttpFields& fields,
                                  const THttpOptions& options)
{
    auto job = MakeJob(TMethod::PostForm, url, options);
    job->Fields = fields;
    return RunSync(job);
}

THttpResult THttpClient::PostMultipart(const QUrl& url, const THttpFields& fields,
                                       const THttpFilePart& file, const THttpOptions& options)
{
    auto job = MakeJob(TMethod::PostMultipart, url, options);
    job->Fields = fields;
    job->File = file;
    return RunSync(job);
}

THttpDownload* THttpClient::GetAsync(const QUrl& url, const THttpOptions& options, QObject* parent)
{
    auto* download = new THttpDownload(parent);
    auto job = MakeJob(TMethod::Get, url, options);
    job->Download = download;
    download->FJob = job;
    TNetEngine& engine = TNetEngine::Instance();
    if (engine.IsNetworkThread() || !engine.Submit(job))
        job->Complete(
            FailureResult(TFailure::Unavailable, FailureText(TFailure::Unavailable, options)));
    return download;
}

QByteArray THttpClient::EncodeForm(const THttpFields& fields)
{
    QByteArray body;
    for (const auto& [name, value] : fields) {
        if (!body.isEmpty()) body += '&';
        body += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

void THttpClient::ClearConnections()
{
    TNetEngine::Instance().Post([](TNetWorker& worker) { worker.ClearConnections(); });
}

void THttpClient::Shutdown()
{
    TNetEngine::Instance().Stop();
}

THttpDownload::THttpDownload(QObject* parent) : QObject(parent) {}

THttpDownload::~THttpDownload()
{
    if (!FJob) return;
    bool finished = false;
    {
        std::lock_guard lock(FJob->Mutex);
        FJob->Download = nullptr;
        finished = FJob->Finished;
    }
    if (!finished) // nobody is left to hear the answer
        TNetEngine::Instance().Abort(FJob->Id, TFailure::Cancelled);
}

void THttpDownload::Cancel()
{
    if (FJob) TNetEngine::Instance().Abort(FJob->Id, TFailure::Cancelled);
}

void THttpDownload::DeliverProgress()
{
    qint64 received = 0;
    qint64 total = -1;
    {
        std::lock_guard lock(FJob->Mutex);
        received = FJob->Received;
        total = FJob->Total;
        FJob->ProgressPosted = false;
    }
    if (FRunning) emit progress(received, total);
}

void THttpDownload::DeliverResult(const THttpResult& result)
{
    FResult = result;
    FRunning = false;
    emit finished();
}
